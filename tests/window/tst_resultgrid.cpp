// The preview's grid without a window: an Execute answer read into headers and cells, the
// status line, the tab-separated copy, and the cell limit that keeps a huge answer small.
#include "resultgridtesting.h"

#include "catalog/xmla/xmlareader.h"

#include <QTest>

using namespace mdx;
using namespace mdx::test;

namespace {

// An Execute answer: axes of tuples ("A,B": members A and B), and cells by ordinal holding
// "value" (a number), "value/formatted" or "'text".
QueryResult read(const QList<std::pair<QString, QStringList>> &axes, const QStringList &cells)
{
    QString xml
        = R"(<?xml version="1.0"?><e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/">
<e:Body><x:ExecuteResponse xmlns:x="urn:schemas-microsoft-com:xml-analysis"><x:return>
<root xmlns="urn:schemas-microsoft-com:xml-analysis:mddataset"
xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"><Axes>)";
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
        const QString value = cell.section(u'=', 1);
        xml += "<Cell CellOrdinal=\"" + cell.section(u'=', 0, 0) + "\"><Value xsi:type=\"xsd:"
            + (value.startsWith(u'\'') ? "string\">" + value.mid(1)
                                       : "double\">" + value.section(u'/', 0, 0))
            + "</Value>"
            + (value.contains(u'/') ? "<FmtValue>" + value.section(u'/', 1) + "</FmtValue>" : "")
            + "</Cell>";
    }
    return readXmlaExecuteResult(
        (xml + "</CellData></root></x:return></x:ExecuteResponse></e:Body></e:Envelope>").toUtf8());
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
    // Omitted cells stay blank, a value without a formatted one shows as it is, text is not
    // right-aligned; the copy brings the headers along, a tab inside a value becomes a space.
    void gridAndCopy()
    {
        const ResultGrid grid(read({ { "Axis0", { "Sales", "Cost", "Note" } },
                                     { "Axis1", { "USA,Drink", "USA,Food" } },
                                     { "SlicerAxis", { "1998" } } },
                                   { "0=5", "1=1234.5/1,234.50", "2='a\tb", "5=7" }));
        QCOMPARE(shown(grid), "||Sales|Cost|Note\nUSA|Drink|5>|1,234.50>|a\tb\nUSA|Food|||7>");
        QCOMPARE(grid.statusText(), "2 rows × 3 columns. The server took 0 ms.");
        QCOMPARE(grid.result().slicer, QStringList { "1998" });
        // Two cells of the first row, with a column header cell that adds nothing.
        QCOMPARE(grid.copyText({ grid.index(1, 3), grid.index(1, 4), grid.index(0, 3) }),
                 "\t\tCost\tNote\nUSA\tDrink\t1,234.50\ta b\n");
        // A row header alone takes the whole row.
        QCOMPARE(grid.copyText({ grid.index(2, 0) }), "\t\tSales\tCost\tNote\nUSA\tFood\t\t\t7\n");
    }

    // 400 columns by 300 rows: all columns are kept and the rows that fit in 100,000 cells;
    // the cells beyond are counted and dropped.
    void overTheCellLimit()
    {
        QStringList cells;
        for (const int ordinal : { 0, 399, 400, 249 * 400 + 399, 250 * 400, 300 * 400 - 1 })
            cells << QStringLiteral("%1=%1").arg(ordinal);
        const QueryResult result
            = read({ { "Axis0", numbered("c", 400) }, { "Axis1", numbered("r", 300) } }, cells);
        QCOMPARE(result.cells.size(), 100'000);
        const ResultGrid grid(result);
        QCOMPARE(grid.rowCount() * 1000 + grid.columnCount(), 251'401);
        QCOMPARE(grid.index(250, 400).data().toString(), "99999");
        QCOMPARE(grid.index(2, 1).data().toString(), "400");
        QCOMPARE(grid.statusText(),
                 "The result has 300 rows × 400 columns, more than the 100,000 cells a preview "
                 "shows: the first 250 rows and 400 columns are shown. The server took 0 ms.");
        // More columns than the limit: one row of the first 100,000.
        const QueryResult wide
            = read({ { "Axis0", numbered("c", 100'001) }, { "Axis1", { "r0", "r1" } } }, {});
        QCOMPARE(wide.shownColumns * 10 + wide.shownRows, 1'000'001);
    }
};

QTEST_MAIN(TestResultGrid)
#include "tst_resultgrid.moc"
