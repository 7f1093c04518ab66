#include "treebuilder.h"

#include "model/failure.h"
#include "model/mdxstatement.h"
#include "model/placement.h"

#include <QTest>

using namespace mdx;

namespace {

// Records what a view bound to a tree would be told.
class RecordingObserver : public LayoutTreeObserver
{
public:
    QStringList events;
    void nodeAdded(const Node &node) override { events << "add " + node.key(); }
    void nodeAboutToBeRemoved(const Node &node) override { events << "remove " + node.key(); }
    void treeCleared() override { events << "clear"; }
    void nodeChanged(const Node &node) override { events << "change " + node.key(); }
};

bool allChecked(const LayoutTree &tree, const QString &dimensionKey)
{
    const Node *dimension = tree.find(dimensionKey);
    if (!dimension || !dimension->checked() || !dimension->expanded())
        return false;
    for (const Node *level = dimension->child(); level; level = level->next()) {
        if (!level->checked())
            return false;
    }
    return true;
}

} // namespace

class TestPlacement : public QObject
{
    Q_OBJECT

    LayoutTree schema { QStringLiteral("SchemaTree") };
    LayoutTree rows { QStringLiteral("RowTree") };
    LayoutTree columns { QStringLiteral("ColumnTree") };

private slots:
    void init()
    {
        for (LayoutTree *tree : { &schema, &rows, &columns })
            tree->clear();
        addDimension(schema, "[Store]",
                     { "[Store].[(All)]", "[Store].[Country]", "[Store].[City]" });
        addDimension(schema, "[Time]", { "[Time].[Year]", "[Time].[Month]" });
        addDimension(schema, "[Product]", { "[Product].[(All)]", "[Product].[Family]" });
        addDimension(schema, "[Gender]", { "[Gender].[(All)]", "[Gender].[Gender]" });
    }

    void movingALevelNodeMovesItsDimension()
    {
        schema.find("[Time].[Month]")->setSelected(true);
        QCOMPARE(placeDroppedNode(schema, rows), Placement::Moved);

        QCOMPARE(keysOf(rows), (QStringList { "[Time]", "  [Time].[Year]", "  [Time].[Month]" }));
        QVERIFY(allChecked(rows, "[Time]"));
        QCOMPARE(rows.find("[Time]")->text(), QStringLiteral("Time"));
        QCOMPARE(schema.find("[Time]"), nullptr);
        QCOMPARE(schema.count(), 10);
        // The nodes behind the removed block moved up and stay contiguous.
        QCOMPARE(schema.item(5)->key(), QStringLiteral("[Product]"));
        QCOMPARE(schema.find("[Gender].[Gender]")->index(), 10);
        QCOMPARE(schema.selectedItem(), nullptr);
    }

    void movesRecheckLevelsAndAppendOnReturn()
    {
        schema.find("[Store]")->setSelected(true);
        placeDroppedNode(schema, rows);
        rows.find("[Store].[Country]")->setChecked(false);
        rows.find("[Store]")->setExpanded(false);

        rows.find("[Store].[City]")->setSelected(true);
        QCOMPARE(placeDroppedNode(rows, columns), Placement::Moved);
        QVERIFY(allChecked(columns, "[Store]"));
        QCOMPARE(rows.count(), 0);

        // Back to the schema tree: appended after the dimensions that stayed.
        columns.find("[Store]")->setSelected(true);
        schema.find("[Gender]")->setSelected(true);
        schema.find("[Product]")->setSelected(true);
        placeDroppedNode(schema, rows); // Product out, so the schema tree has room
        QCOMPARE(placeDroppedNode(columns, schema), Placement::Moved);
        QCOMPARE(keysOf(schema).filter(QRegularExpression("^\\[")),
                 (QStringList { "[Time]", "[Gender]", "[Store]" }));
        QVERIFY(allChecked(schema, "[Store]"));
        QCOMPARE(schema.find("[Store].[City]")->index(), schema.count());
        QCOMPARE(schema.find("[Store]")->text(), QStringLiteral("Store"));
    }

    void contiguityAfterManyMoves()
    {
        LayoutTree *trees[] = { &schema, &rows, &columns };
        for (int round = 0; round < 60; ++round) {
            LayoutTree &source = *trees[round % 3];
            LayoutTree &target = *trees[(round + 1 + round / 3) % 3];
            if (source.count() == 0)
                continue;
            source.item(source.count())->setSelected(true); // a level of the last dimension
            placeDroppedNode(source, target);
        }
        int total = 0;
        for (LayoutTree *tree : trees) {
            total += tree->count();
            const Node *dimension = nullptr;
            for (int p = 1; p <= tree->count(); ++p) {
                const Node *node = tree->item(p);
                QCOMPARE(node->index(), p);
                if (!node->parent())
                    dimension = node;
                else
                    QCOMPARE(node->parent(), dimension); // each level follows its dimension
            }
        }
        QCOMPARE(total, 13);
    }

    void refusals()
    {
        schema.item(1)->setSelected(true);
        QCOMPARE(placeDroppedNode(schema, schema), Placement::SameTree);
        QCOMPARE(schema.count(), 13);

        // The schema tree holds four dimensions: it refuses a drop, even from an axis tree.
        placeDroppedNode(schema, rows);
        addDimension(rows, "[Extra]", { "[Extra].[X]" })->setSelected(true);
        addDimension(schema, "[Fifth]", { "[Fifth].[F]" });
        QCOMPARE(placeDroppedNode(rows, schema), Placement::TargetFull);
        QCOMPARE(rows.countRootNodes(), 2);

        // An axis tree takes three and refuses the fourth; a drop on its own tree is no refusal.
        schema.item(1)->setSelected(true);
        QCOMPARE(placeDroppedNode(schema, rows), Placement::Moved);
        QCOMPARE(rows.countRootNodes(), 3);
        schema.item(1)->setSelected(true);
        const QStringList before = keysOf(schema);
        QCOMPARE(placeDroppedNode(schema, rows), Placement::TargetFull);
        QCOMPARE(keysOf(schema), before);
        QCOMPARE(placeDroppedNode(rows, rows), Placement::SameTree);

        LayoutTree empty;
        QCOMPARE(placeDroppedNode(empty, columns), Placement::NothingSelected);
    }

    void aClashingKeyLeavesBothTreesAlone()
    {
        addDimension(rows, "[Other]", { "[Time].[Month]" });
        Node *time = schema.find("[Time]");
        QVERIFY_THROWS_EXCEPTION(Failure, moveDimension(*time, rows));
        QCOMPARE(schema.count(), 13);
        QCOMPARE(rows.count(), 2);
        QVERIFY_THROWS_EXCEPTION(Failure, moveDimension(*schema.find("[Time].[Year]"), columns));
    }

    void viewsAreToldEveryChange()
    {
        RecordingObserver observer;
        rows.setObserver(&observer);
        schema.find("[Gender]")->setSelected(true);
        placeDroppedNode(schema, rows);
        rows.find("[Gender].[Gender]")->setSelected(true);
        rows.clear();
        rows.setObserver(nullptr);
        QCOMPARE(observer.events,
                 (QStringList { "add [Gender]", "change [Gender]", "add [Gender].[(All)]",
                                "change [Gender].[(All)]", "add [Gender].[Gender]",
                                "change [Gender].[Gender]", "change [Gender]",
                                "change [Gender].[Gender]", "clear" }));
    }

    void schemaChecksNeverReachTheStatement()
    {
        MeasureList measures;
        fillMeasures(measures, { "Units" }, { "Units" });
        const QString before = composeMdx(rows, columns, columns, measures, "Sales");
        schema.find("[Store].[City]")->setChecked(true);
        schema.find("[Store]")->setChecked(true);
        QCOMPARE(composeMdx(rows, columns, columns, measures, "Sales"), before);
        // The mark is lost when the dimension moves: every copy is checked.
        schema.find("[Store].[Country]")->setSelected(true);
        placeDroppedNode(schema, rows);
        QVERIFY(allChecked(rows, "[Store]"));
    }
};

QTEST_GUILESS_MAIN(TestPlacement)
#include "tst_placement.moc"
