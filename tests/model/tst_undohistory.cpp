// The history's bound, which the query's undo tests cannot reach in a few actions: only the
// newest steps are kept.
#include "model/undohistory.h"

#include <QTest>

using namespace mdx;

class TestUndoHistory : public QObject
{
    Q_OBJECT

private slots:
    void steps()
    {
        UndoHistory history;
        const auto step = [](int n) {
            QuerySnapshot snapshot;
            snapshot.statement = QString::number(n);
            return snapshot;
        };
        for (int n = 1; n <= UndoHistory::maxSteps + 5; ++n)
            history.record(step(n));
        QCOMPARE(history.undo(step(0))->statement, "105");
        QString oldest;
        while (auto previous = history.undo(step(0)))
            oldest = previous->statement;
        QCOMPARE(oldest, "6");
    }
};

QTEST_GUILESS_MAIN(TestUndoHistory)
#include "tst_undohistory.moc"
