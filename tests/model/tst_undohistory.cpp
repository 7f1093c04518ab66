// Undo and redo without a window: what a snapshot brings back, how the history keeps steps.
#include "model/placement.h"
#include "model/undohistory.h"
#include "treebuilder.h"

#include <QTest>

using namespace mdx;

class TestUndoHistory : public QObject
{
    Q_OBJECT

    LayoutTree schema, rows, columns, slicers;
    MeasureList measures;
    QuerySnapshot now(const QString &statement = {})
    {
        return takeSnapshot({ &schema, &rows, &columns, &slicers }, measures, statement);
    }
    void restore(const QuerySnapshot &state)
    {
        restoreSnapshot(state, { &schema, &rows, &columns, &slicers }, measures);
    }

private slots:
    // A tree whose nodes are the same keeps its node objects: a big schema is not rebuilt
    // for a tick. Moves, flags, selection and measures come back either way.
    void snapshotBringsEverythingBack()
    {
        fill(schema, "Store=(All),Country*; Time*=Year,Month");
        fill(measures, "Units*|Sales");
        schema.find("[Time]")->setExpanded(true);
        schema.find("[Store].[(All)]")->setSelected(true);
        const QuerySnapshot before = now("hand-written");
        Node *year = schema.find("[Time].[Year]");
        year->setChecked(true);
        schema.find("[Store]")->setSelected(true);
        measures.setTicked(1, true);
        restore(before);
        QCOMPARE(schema.find("[Time].[Year]"), year);
        QCOMPARE(now("hand-written"), before);

        placeNode(schema, schema.find("[Store]"), rows);
        restore(before);
        QCOMPARE(now("hand-written"), before);
        QCOMPARE(schema.selectedItem()->key(), "[Store].[(All)]");
    }

    // Undo and redo walk the steps; a new step forgets the redo; the oldest steps go first.
    void steps()
    {
        UndoHistory history;
        const auto step = [this](int n) { return now(QString::number(n)); };
        history.record(step(1));
        history.record(step(2));
        QCOMPARE(history.undo(step(3))->statement, "2");
        QCOMPARE(history.redo(step(2))->statement, "3");
        QCOMPARE(history.undo(step(3))->statement, "2");
        history.record(step(4));
        QVERIFY(!history.redo(step(5)));

        for (int n = 1; n <= UndoHistory::maxSteps + 5; ++n)
            history.record(step(n));
        QString oldest;
        while (auto previous = history.undo(step(0)))
            oldest = previous->statement;
        QCOMPARE(oldest, "6");
    }
};

QTEST_GUILESS_MAIN(TestUndoHistory)
#include "tst_undohistory.moc"
