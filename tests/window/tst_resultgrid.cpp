// The preview's grid without a window: an Execute answer read into rows, columns and headers,
// the status line, the tab-separated copy, and the cell limit that keeps a huge answer small.
#include "catalog/xmla/xmlareader.h"
#include "window/resultgrid.h"

#include <QItemSelectionModel>
#include <QTest>

using namespace mdx;

namespace {

// An Execute answer as the server writes it. Axes: name -> tuples, each "A,B" for members A
// and B; cells: "ordinal=value" (a number), "ordinal=value/formatted", or "ordinal='text".
QByteArray answer(const QList<std::pair<QString, QStringList>> &axes, const QStringList &cells)
{
    QString xml = R"(<?xml version="1.0"?><SOAP-ENV:Envelope
xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/"><SOAP-ENV:Body>
<cxmla:ExecuteResponse xmlns:cxmla="urn:schemas-microsoft-com:xml-analysis"><cxmla:return>
<root xmlns="urn:schemas-microsoft-com:xml-analysis:mddataset"
xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"><OlapInfo/><Axes>)";
    for (const auto &[name, tuples] : axes) {
        xml += "<Axis name=\"" + name + "\"><Tuples>";
        for (const QString &tuple : tuples) {
            xml += "<Tuple>";
            for (const QString &member : tuple.split(u',', Qt::SkipEmptyParts))
                xml += "<Member><UName>[" + member + "]</UName><Caption>" + member
                    + "</Caption></Member>";
            xml += "</Tuple>";
        }
        xml += "</Tuples></Axis>";
    }
    xml += "</Axes><CellData>";
    for (const QString &cell : cells) {
        const QString ordinal = cell.section(u'=', 0, 0), value = cell.section(u'=', 1);
        xml += "<Cell CellOrdinal=\"" + ordinal + "\">";
        if (value.startsWith(u'\''))
            xml += "<Value xsi:type=\"xsd:string\">" + value.mid(1) + "</Value>";
        else
            xml += "<Value xsi:type=\"xsd:double\">" + value.section(u'/', 0, 0) + "</Value>"
                + (value.contains(u'/') ? "<FmtValue>" + value.section(u'/', 1) + "</FmtValue>"
                                        : QString());
        xml += "</Cell>";
    }
    return (xml
            + "</CellData></root></cxmla:return></cxmla:ExecuteResponse></SOAP-ENV:Body>"
              "</SOAP-ENV:Envelope>")
        .toUtf8();
}

// Every grid cell, rows by "\n", cells by "|"; a right-aligned cell ends in ">".
QString shown(const ResultGrid &grid)
{
    QStringList lines;
    for (int r = 0; r < grid.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid.columnCount(); ++c) {
            const QModelIndex index = grid.index(r, c);
            const bool right
                = grid.data(index, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight;
            cells << index.data().toString() + (right ? ">" : "");
        }
        lines << cells.join(u'|');
    }
    return lines.join(u'\n');
}

QStringList numbered(const QString &prefix, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << prefix + QString::number(i);
    return names;
}

} // namespace

class TestResultGrid : public QObject
{
    Q_OBJECT

private slots:
    void layouts_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("status");
        const QString slicer = "SlicerAxis";
        QTest::newRow("two row dimensions, a blank and a formatted cell")
            << answer({ { "Axis0", { "Sales", "Cost" } },
                        { "Axis1", { "USA,Drink", "USA,Food" } },
                        { slicer, { "1998" } } },
                      { "0=5", "1=1234.5/1,234.50", "3=7/seven" })
            << "||Sales|Cost\nUSA|Drink|5>|1,234.50>\nUSA|Food||seven>"
            << "2 rows × 2 columns. The server took 0 ms.";
        QTest::newRow("only columns: one row, no row headers; text left")
            << answer({ { "Axis0", { "Sales,Q1", "Sales,Q2" } } }, { "0='n/a", "1=3" })
            << "Sales|Sales\nQ1|Q2\nn/a|3>"
            << "1 row × 2 columns. The server took 0 ms.";
        QTest::newRow("no axes: one cell") << answer({}, { "0=42/42.0" }) << "42.0>"
                                           << "1 row × 1 column. The server took 0 ms.";
        QTest::newRow("an empty rows axis")
            << answer({ { "Axis0", { "Sales" } }, { "Axis1", {} } }, {}) << "Sales"
            << "0 rows × 1 column. The server took 0 ms.";
    }

    void layouts()
    {
        QFETCH(QByteArray, body);
        const ResultGrid grid(readXmlaExecuteResult(body));
        QTEST(shown(grid), "grid");
        QTEST(grid.statusText(), "status");
    }

    void slicerMembersAreKept()
    {
        const QueryResult result = readXmlaExecuteResult(
            answer({ { "Axis0", { "Sales" } }, { "SlicerAxis", { "1998,Drink" } } }, {}));
        QCOMPARE(result.slicer, QStringList({ "1998", "Drink" }));
        QCOMPARE(result.axisNames, QStringList { "Axis0" });
    }

    // Headers come along with the cells; tabs and line breaks inside a value become spaces.
    void copyText()
    {
        const ResultGrid grid(
            readXmlaExecuteResult(answer({ { "Axis0", { "Sales", "Cost", "Profit" } },
                                           { "Axis1", { "USA,Drink", "USA,Food" } } },
                                         { "0=1", "1=2", "2=3", "3=4", "4=5/a\tb", "5=6" })));
        QCOMPARE(grid.copyText(),
                 "\t\tSales\tCost\tProfit\nUSA\tDrink\t1\t2\t3\n"
                 "USA\tFood\t4\ta b\t6\n");
        // Two cells of the second row, and a header cell that adds nothing but its column.
        const QModelIndexList selection { grid.index(2, 3), grid.index(2, 4), grid.index(0, 3) };
        QCOMPARE(grid.copyText(selection), "\t\tCost\tProfit\nUSA\tFood\ta b\t6\n");
        // A row header alone takes the whole row.
        QCOMPARE(grid.copyText({ grid.index(1, 0) }),
                 "\t\tSales\tCost\tProfit\nUSA\tDrink\t1\t2\t3\n");
    }

    // 400 columns by 300 rows: 120,000 cells. All columns are kept, and as many rows as fit
    // in 100,000 cells; the cells beyond are counted and dropped.
    void overTheCellLimit()
    {
        QStringList cells;
        for (const int ordinal : { 0, 399, 400, 249 * 400 + 399, 250 * 400, 300 * 400 - 1 })
            cells << QStringLiteral("%1=%1").arg(ordinal);
        const QueryResult result = readXmlaExecuteResult(
            answer({ { "Axis0", numbered("c", 400) }, { "Axis1", numbered("r", 300) } }, cells));
        QCOMPARE(result.cellCount, 6);
        QCOMPARE(result.rowTuples(), 300);
        QCOMPARE(result.shownRows, 250);
        QCOMPARE(result.shownColumns, 400);
        QCOMPARE(result.cells.size(), 100'000);
        QCOMPARE(result.rowHeaders().size(), 250);
        QVERIFY(result.truncated());
        const ResultGrid grid(result);
        QCOMPARE(grid.rowCount(), 251);
        QCOMPARE(grid.columnCount(), 401);
        QCOMPARE(grid.index(250, 400).data().toString(), "99999");
        QCOMPARE(grid.index(1, 400).data().toString(), "399");
        QCOMPARE(grid.index(2, 1).data().toString(), "400");
        QCOMPARE(grid.statusText(),
                 "The result has 300 rows × 400 columns, more than the 100,000 cells a preview "
                 "shows: the first 250 rows and 400 columns are shown. The server took 0 ms.");
        // More columns than the limit: one row of the first 100,000 columns.
        const QueryResult wide = readXmlaExecuteResult(answer(
            { { "Axis0", numbered("c", 100'001) }, { "Axis1", { "r0", "r1" } } }, { "100000=1" }));
        QCOMPARE(wide.shownColumns, 100'000);
        QCOMPARE(wide.shownRows, 1);
        QCOMPARE(wide.columnTuples(), 100'001);
        QCOMPARE(wide.cell(0, 99'999).text(), QString());
    }
};

QTEST_MAIN(TestResultGrid)
#include "tst_resultgrid.moc"
