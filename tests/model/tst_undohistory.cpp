// Undo and redo without a window: what a snapshot brings back, and how the history keeps its
// steps.
#include "model/placement.h"
#include "model/undohistory.h"
#include "treebuilder.h"

#include <QTest>

using namespace mdx;

class TestUndoHistory : public QObject
{
    Q_OBJECT

    LayoutTree schema { "SchemaTree" }, rows { "RowTree" }, columns { "ColumnTree" },
        slicers { "SlicerTree" };
    MeasureList measures;
    QueryTrees trees() { return { &schema, &rows, &columns, &slicers }; }
    QuerySnapshot now(const QString &statement = {})
    {
        return takeSnapshot(trees(), measures, statement);
    }
    // A step with a recognisable statement: "step n".
    QuerySnapshot step(int n) { return now(QStringLiteral("step %1").arg(n)); }

private slots:
    void init()
    {
        for (LayoutTree *tree : trees())
            tree->clear();
        measures.clear();
        fill(schema, "Store=(All),Country*,City; Time*=Year,Month; Product=Family");
        fill(measures, "Units*|Sales|Cost*");
    }

    // A move, ticks, expansion, selection and measure ticks all come back; the node objects
    // of a tree whose nodes did not change are kept (a big schema is not rebuilt for a tick).
    void snapshotBringsEverythingBack()
    {
        schema.find("[Time]")->setExpanded(true);
        schema.find("[Store].[City]")->setSelected(true);
        const QuerySnapshot before = now("hand-written");
        const QStringList schemaBefore = outline(schema);

        placeNode(schema, schema.find("[Store].[Country]"), rows);
        rows.find("[Store].[City]")->setChecked(false);
        rows.find("[Store]")->setSelected(true);
        measures.setTicked(0, false);
        measures.setTicked(1, true);
        restoreSnapshot(before, trees(), measures);

        QCOMPARE(outline(schema), schemaBefore);
        QCOMPARE(rows.count(), 0);
        QVERIFY(rows.selectedItem() == nullptr);
        QCOMPARE(schema.selectedItem()->key(), "[Store].[City]");
        QVERIFY(schema.find("[Time]")->expanded());
        QVERIFY(!schema.find("[Store]")->expanded());
        QCOMPARE(now("hand-written"), before);
        QCOMPARE(before.statement, "hand-written");

        Node *kept = schema.find("[Time].[Year]");
        kept->setChecked(false);
        schema.find("[Store].[City]")->setSelected(false);
        restoreSnapshot(before, trees(), measures);
        QCOMPARE(schema.find("[Time].[Year]"), kept);
        QCOMPARE(now("hand-written"), before);
    }

    void undoAndRedo()
    {
        UndoHistory history;
        QVERIFY(!history.undo(step(0)));
        history.record(step(1));
        history.record(step(2));
        QCOMPARE(history.undo(step(3))->statement, "step 2");
        QCOMPARE(history.undo(step(2))->statement, "step 1");
        QVERIFY(!history.undo(step(1)));
        QCOMPARE(history.redo(step(1))->statement, "step 2");
        QCOMPARE(history.redo(step(2))->statement, "step 3");
        QVERIFY(!history.redo(step(3)));

        // A new change forgets what could be redone.
        QCOMPARE(history.undo(step(3))->statement, "step 2");
        history.record(step(2));
        QVERIFY(!history.redo(step(4)));
        QCOMPARE(history.undoCount(), 2);

        history.clear();
        QVERIFY(!history.undo(step(5)));
    }

    // The oldest steps go first once the history holds its most.
    void keepsAtMostItsSteps()
    {
        UndoHistory history;
        for (int n = 1; n <= UndoHistory::maxSteps + 5; ++n)
            history.record(step(n));
        QCOMPARE(history.undoCount(), UndoHistory::maxSteps);
        QString last;
        while (auto previous = history.undo(step(0)))
            last = previous->statement;
        QCOMPARE(last, "step 6");
        QCOMPARE(history.redoCount(), UndoHistory::maxSteps);
    }
};

QTEST_GUILESS_MAIN(TestUndoHistory)
#include "tst_undohistory.moc"
