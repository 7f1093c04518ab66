#include "treebuilder.h"

#include "model/failure.h"
#include "model/placement.h"

#include <QTest>

#include <functional>

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

} // namespace

class TestLayoutTree : public QObject
{
    Q_OBJECT

    LayoutTree schema { QStringLiteral("SchemaTree") };
    LayoutTree rows { QStringLiteral("RowTree") };
    LayoutTree columns { QStringLiteral("ColumnTree") };

    // Selects the node with this key and drops it on the target.
    Placement drop(LayoutTree &source, const QString &key, LayoutTree &target)
    {
        source.find(key)->setSelected(true);
        return placeDroppedNode(source, target);
    }

private slots:
    void addKeepsSequenceOrderAndLinks()
    {
        LayoutTree tree;
        Node *store = tree.add("[Store]", "Store");
        Node *time = tree.add("[Time]", "Time");
        // A child goes to the end of the sequence even when its parent is not last.
        Node *country = tree.add("[Store]", LayoutTree::Child, "[Store].[Country]", "Country");
        Node *city = tree.add("[Store]", LayoutTree::Child, "[Store].[City]", "City");
        QCOMPARE(outline(tree),
                 QStringList({ "Store[ ]", "Time[ ]", "  Country[ ]", "  City[ ]" }));
        QCOMPARE(tree.item(3), country);
        QCOMPARE(city->index(), 4);
        QCOMPARE(country->parent(), store);
        QCOMPARE(store->child(), country);
        QCOMPARE(country->next(), city);
        QCOMPARE(city->next(), nullptr);
        QCOMPARE(country->lastSibling(), city);
        QCOMPARE(store->next(), time);
        QCOMPARE(store->lastSibling(), time);
        QCOMPARE(tree.countRootNodes(), 2);
        // An equal key in another tree names another node.
        LayoutTree other;
        fill(other, "Store=Country");
        QCOMPARE(other.find("[Store].[Country]")->parent(), other.find("[Store]"));
    }

    // Every refused operation throws, with its code, and leaves the tree and list unchanged.
    void failures()
    {
        LayoutTree tree(QStringLiteral("RowTree"));
        MeasureList measures;
        fill(tree, "A=1");
        fill(measures, "Units");
        const QList<std::pair<qint32, std::function<void()>>> cases {
            { FailureCode::KeyExists, [&] { tree.add("[A]", "Again"); } },
            { FailureCode::KeyExists, [&] { tree.add("[A]", LayoutTree::Child, "[A].[1]", "1"); } },
            { FailureCode::KeyNotFound,
              [&] { tree.add("[B]", LayoutTree::Child, "[B].[1]", "1"); } },
            { FailureCode::KeyNotFound, [&] { tree.remove("[B]"); } },
            { FailureCode::PositionOutOfRange, [&] { tree.item(0); } },
            { FailureCode::PositionOutOfRange, [&] { tree.item(3); } },
            { FailureCode::PositionOutOfRange, [&] { measures.text(1); } },
            { FailureCode::PositionOutOfRange, [&] { measures.setTicked(-1, true); } },
        };
        for (qsizetype i = 0; i < cases.size(); ++i) {
            qint32 code = 0; // and -1 for a failure that does not say what and where
            try {
                cases[i].second();
            } catch (const Failure &f) {
                code = f.description().isEmpty() || f.source().isEmpty() ? -1 : f.code();
            }
            QVERIFY2(code == cases[i].first, qPrintable(QString::number(i)));
        }
        QCOMPARE(outline(tree), QStringList({ "A[ ]", "  1[ ]" }));
        QCOMPARE(measures.count(), 1);
    }

    void removingMovesLaterNodesUp()
    {
        LayoutTree tree;
        fill(tree, "A=1; B=1*,2; C=1,2*,3");
        Node *c = tree.find("[C]");
        tree.find("[B].[2]")->setSelected(true);
        tree.remove("[B]");
        QCOMPARE(outline(tree),
                 QStringList({ "A[ ]", "  1[ ]", "C[ ]", "  1[ ]", "  2[x]", "  3[ ]" }));
        QCOMPARE(tree.item(3), c);
        QCOMPARE(c->child()->index(), 4);
        QCOMPARE(tree.find("[B].[2]"), nullptr);
        QCOMPARE(tree.selectedItem(), nullptr); // the selected node went with its block
        QCOMPARE(tree.item(1)->next(), c);
        QCOMPARE(c->lastSibling(), c);
        QCOMPARE(tree.countRootNodes(), 2);
        // Siblings after a removed level keep their links.
        tree.remove("[C].[1]");
        QCOMPARE(c->child(), tree.find("[C].[2]"));
        QCOMPARE(c->child()->next(), tree.find("[C].[3]"));
        QCOMPARE(tree.find("[C].[3]")->index(), 5);
        // The freed key can be used again.
        QCOMPARE(tree.add("[B]", "B")->index(), 6);
    }

    void selectionIsSingle()
    {
        LayoutTree tree;
        Node *a = fill(tree, "A; B").find("[A]");
        Node *b = tree.find("[B]");
        a->setSelected(true);
        b->setSelected(true);
        QVERIFY(tree.selectedItem() == b && !a->selected());
        b->setSelected(false);
        QCOMPARE(tree.selectedItem(), nullptr);
        a->setSelected(true);
        tree.clear();
        QVERIFY(tree.selectedItem() == nullptr && tree.count() == 0);
    }

    void measureListEntries()
    {
        MeasureList list;
        fill(list, "Units|Units*"); // equal texts are two entries
        QCOMPARE(list.newIndex(), 1);
        QCOMPARE(list.tickedCount(), 1);
        QVERIFY(!list.isTicked(0) && list.isTicked(1));
        list.clear();
        QVERIFY(list.count() == 0 && list.newIndex() == -1);
    }

    // ---- Placement between trees

    void init()
    {
        for (LayoutTree *tree : { &schema, &rows, &columns })
            tree->clear();
        fill(schema,
             "Store=(All),Country,City; Time=Year,Month; Product=(All),Family; "
             "Gender=(All),Gender");
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
        QCOMPARE(drop(schema, "[Store]", schema), Placement::SameTree);
        // Every tree holds three dimensions at most, the schema tree too.
        drop(schema, "[Store]", rows);
        QCOMPARE(drop(rows, "[Store]", schema), Placement::TargetFull);
        QCOMPARE(rows.countRootNodes(), 1);
        // An axis tree takes three and refuses the fourth; its own tree is no refusal.
        drop(schema, "[Time]", rows);
        drop(schema, "[Product]", rows);
        const QStringList before = outline(schema);
        QCOMPARE(drop(schema, "[Gender]", rows), Placement::TargetFull);
        QCOMPARE(outline(schema), before);
        QCOMPARE(drop(rows, "[Time]", rows), Placement::SameTree);
        LayoutTree empty;
        QCOMPARE(placeDroppedNode(empty, columns), Placement::NothingSelected);
    }

    void aClashingKeyLeavesBothTreesAlone()
    {
        rows.add("[Other]", "Other");
        rows.add("[Other]", LayoutTree::Child, "[Time].[Month]", "Month");
        QVERIFY_THROWS_EXCEPTION(Failure, moveDimension(*schema.find("[Time]"), rows));
        QCOMPARE(schema.count(), 13);
        QCOMPARE(rows.count(), 2);
        QVERIFY_THROWS_EXCEPTION(Failure, moveDimension(*schema.find("[Time].[Year]"), columns));
    }

    void viewsAreToldEveryChange()
    {
        RecordingObserver observer;
        rows.setObserver(&observer);
        drop(schema, "[Gender]", rows);
        rows.find("[Gender]")->setSelected(true);
        rows.find("[Gender].[Gender]")->setSelected(true);
        rows.clear();
        rows.setObserver(nullptr);
        QCOMPARE(observer.events,
                 QStringList({ "add [Gender]", "change [Gender]", "add [Gender].[(All)]",
                               "change [Gender].[(All)]", "add [Gender].[Gender]",
                               "change [Gender].[Gender]", "change [Gender]", "change [Gender]",
                               "change [Gender]", "change [Gender].[Gender]", "clear" }));
    }
};

QTEST_GUILESS_MAIN(TestLayoutTree)
#include "tst_layouttree.moc"
