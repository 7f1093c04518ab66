// The preview's grid without a window: headers beside the cells, alignment, the status line
// and the tab-separated copy of a selection.
#include "window/resultgrid.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace mdx;

class TestResultGrid : public QObject
{
    Q_OBJECT

    // Two rows of two header columns by three columns under one header row.
    static QueryResult filled()
    {
        QueryResult result;
        result.axisNames = { "Axis0", "Axis1" };
        result.axisTupleCounts = { 3, 2 };
        result.axisTuples = { { { "Sales" }, { "Cost" }, { "Note" } },
                              { { "USA", "Drink" }, { "USA", "Food" } } };
        result.shownColumns = 3;
        result.shownRows = 2;
        result.cells = { { "5", "", true, false, {} },
                         { "1234.5", "1,234.50", true, false, {} },
                         { "a\tb", "", false, false, {} },
                         {},
                         {},
                         { "7", "", true, false, {} } };
        result.elapsedMs = 1500;
        return result;
    }

private slots:
    // A cell the server left out stays blank, a value without a formatted one shows as it
    // is, text is not right-aligned; a tab inside a value is copied as a space.
    void gridAndCopy()
    {
        const ResultGrid grid(filled());
        const auto right = [&](int row, int column) {
            return grid.index(row, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>()
                & Qt::AlignRight;
        };
        QVERIFY(right(1, 2) && right(2, 4) && !right(1, 4) && !right(0, 2) && !right(1, 0));
        QCOMPARE(grid.statusText(), "2 rows × 3 columns. The server took 1.5 s.");
        // Two cells of the first row, with a column header cell that adds nothing.
        QCOMPARE(grid.copyText({ grid.index(1, 3), grid.index(1, 4), grid.index(0, 3) }),
                 "\t\tCost\tNote\nUSA\tDrink\t1,234.50\ta b\n");
        // A row header alone takes the whole row.
        QCOMPARE(grid.copyText({ grid.index(2, 0) }), "\t\tSales\tCost\tNote\nUSA\tFood\t\t\t7\n");
    }

    // The grid keeps every rule of a Qt item model, filled and empty alike.
    void modelRules_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::newRow("filled") << false;
        QTest::newRow("empty") << true;
    }

    void modelRules()
    {
        QFETCH(bool, empty);
        ResultGrid grid(empty ? QueryResult() : filled());
        QAbstractItemModelTester tester(&grid,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        QCOMPARE(grid.rowCount() == 0, empty);
    }
};

QTEST_MAIN(TestResultGrid)
#include "tst_resultgrid.moc"
