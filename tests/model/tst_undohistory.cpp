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
    QuerySnapshot now(const QString &statement)
    {
        return takeSnapshot({ &schema, &rows, &columns, &slicers }, measures, statement);
    }

private slots:
    // Moves, ticks, expansion, selection and measures come back; a tree whose nodes are the
    // same keeps its node objects (a big schema is not rebuilt for a tick).
    void snapshotBringsEverythingBack()
    {
        fill(schema, "Store=(All),Country*,City; Time*=Year,Month");
        fill(measures, "Units*|Sales|Cost*");
        schema.find("[Time]")->setExpanded(true);
        schema.find("[Store].[City]")->setSelected(true);
        const QuerySnapshot before = now("hand-written");
        Node *year = schema.find("[Time].[Year]");

        placeNode(schema, schema.find("[Store].[Country]"), rows);
        rows.find("[Store]")->setSelected(true);
        year->setChecked(true);
        measures.setTicked(0, false);
        measures.setTicked(1, true);
        restoreSnapshot(before, { &schema, &rows, &columns, &slicers }, measures);
        QCOMPARE(now("hand-written"), before);
        QCOMPARE(outline(schema),
                 QStringList({ "Store[ ]", "  (All)[ ]", "  Country[x]", "  City[ ]", "Time[x]",
                               "  Year[ ]", "  Month[ ]" }));
        QCOMPARE(schema.selectedItem()->key(), "[Store].[City]");

        year = schema.find("[Time].[Year]");
        year->setChecked(true);
        schema.find("[Store].[City]")->setSelected(false);
        restoreSnapshot(before, { &schema, &rows, &columns, &slicers }, measures);
        QCOMPARE(schema.find("[Time].[Year]"), year);
        QCOMPARE(now("hand-written"), before);
    }

    // Undo and redo walk the steps; a new step forgets the redo; the oldest steps go first.
    void steps()
    {
        UndoHistory history;
        const auto step = [this](int n) { return now(QString::number(n)); };
        QVERIFY(!history.undo(step(0)));
        history.record(step(1));
        history.record(step(2));
        QCOMPARE(history.undo(step(3))->statement, "2");
        QCOMPARE(history.undo(step(2))->statement, "1");
        QVERIFY(!history.undo(step(1)));
        QCOMPARE(history.redo(step(1))->statement, "2");
        history.record(step(4));
        QVERIFY(!history.redo(step(5)));

        history.clear();
        for (int n = 1; n <= UndoHistory::maxSteps + 5; ++n)
            history.record(step(n));
        QString oldest;
        while (auto previous = history.undo(step(0)))
            oldest = previous->statement;
        QCOMPARE(oldest, "6");
        QCOMPARE(history.redoCount(), UndoHistory::maxSteps);
    }
};

QTEST_GUILESS_MAIN(TestUndoHistory)
#include "tst_undohistory.moc"
