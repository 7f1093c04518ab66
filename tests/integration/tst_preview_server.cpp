// The preview against the real test server (started by the CTest fixture). The expected
// numbers are sums over tests/olap-server/olaptest.sql worked out by hand from its rows, not
// the server's output; Time has no All member, so a statement without a slicer shows 1997.
#include "../window/formtesting.h"
#include "../window/resultgridtesting.h"

#include "catalog/connection.h"
#include "window/previewwindow.h"
#include "window/resultgrid.h"

#include <QClipboard>
#include <QFile>
#include <QLabel>

using namespace mdx;
using namespace mdx::test;

namespace {

const QString countryRows = "select {[Store].[Store Country].members} on rows, "
                            "{[Measures].[Unit Sales],[Measures].[Store Sales]} on columns "
                            "from Sales";

} // namespace

class TestPreviewServer : public QObject, FormFixture
{
    Q_OBJECT

    QString mConnection;
    Catalog mCatalog;

    QString text(PreviewWindow &window, const char *name)
    {
        return window.findChild<QLabel *>(name)->text();
    }

private slots:
    void initTestCase()
    {
        QFile file(qEnvironmentVariable("OLAP_SERVER_STATE_DIR") + "/url");
        QVERIFY2(file.open(QIODevice::ReadOnly), "no test server: run through ctest");
        mConnection = "provider=msolap;data source=" + QString::fromUtf8(file.readAll()).trimmed()
            + ";initial catalog=OlapTest";
        Connection connection;
        connection.open(mConnection);
        mCatalog.setActiveConnection(connection);
    }

    void layouts_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("slicer");
        QTest::newRow("one dimension on rows")
            << countryRows << "|Unit Sales|Store Sales\nCanada|486>|1,060.50>\nUSA|802>|1,739.83>"
            << "";
        QTest::newRow("a crossjoin of two on rows")
            << "select crossjoin({[Store].[Store Country].members},{[Product].[Product "
               "Family].members}) on rows, {[Measures].[Unit Sales]} on columns from Sales"
            << "||Unit Sales\nCanada|Drink|265>\nCanada|Food|151>\nCanada|Non-Consumable|70>\n"
               "USA|Drink|424>\nUSA|Food|257>\nUSA|Non-Consumable|121>"
            << "";
        QTest::newRow("rows and a slicer")
            << countryRows + " where [Time].[1998]"
            << "|Unit Sales|Store Sales\nCanada|439>|1,021.14>\nUSA|783>|1,851.15>"
            << "Slicer: 1998";
        QTest::newRow("only measures")
            << "select {[Measures].[Unit Sales],[Measures].[Store Cost],[Measures].[Profit]} on "
               "columns from Sales"
            << "Unit Sales|Store Cost|Profit\n1,288>|1,260.20>|1,540.13>"
            << "";
    }

    void layouts()
    {
        QFETCH(QString, statement);
        PreviewWindow window(nullptr);
        window.preview(mCatalog, "Sales", statement);
        QCOMPARE(window.windowTitle(), "Preview - Sales");
        QVERIFY(window.grid());
        QTEST(shown(*window.grid()), "grid");
        QTEST(window.findChild<QLabel *>("SlicerLabel")->isVisible() ? text(window, "SlicerLabel")
                                                                     : QString(),
              "slicer");
    }

    // The server's own words, with the statement beside them to correct it.
    void refusals_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("named");
        QTest::newRow("a hand edit naming no member") << countryRows + " where [Time].[1999]"
                                                      << "'[Time].[1999]' not found";
        QTest::newRow("(All) of a dimension without an All level")
            << "select {[Scenario].[(All)].members} on rows, {[Measures].[Amount]} on columns "
               "from Budget"
            << "[Scenario].[(All)]";
    }

    void refusals()
    {
        QFETCH(QString, statement);
        QFETCH(QString, named);
        PreviewWindow window(nullptr);
        window.preview(mCatalog, "Sales", statement);
        const QString message = text(window, "MessageLabel");
        QVERIFY2(message.startsWith("The statement could not be run.\n\n")
                     && message.contains(named) && message.endsWith("\n\nSource: Mondrian"),
                 qPrintable(message));
        QCOMPARE(window.findChild<QPlainTextEdit *>("StatementText")->toPlainText(), statement);
    }

    // Store has 17 members, Time 34, Product 15, Store Type 4: 578 rows by 180 columns.
    void overTheCellLimit()
    {
        PreviewWindow window(nullptr);
        window.preview(mCatalog, "Sales",
                       "with member [Measures].[One] as 1 member [Measures].[Two] as 2 select "
                       "crossjoin({[Store].members},{[Time].members}) on rows, "
                       "crossjoin(crossjoin({[Product].members},{[Store Type].members}),"
                       "{[Measures].[One],[Measures].[Two],[Measures].[Unit Sales]}) on columns "
                       "from Sales");
        QVERIFY2(text(window, "StatusLabel")
                     .startsWith("The result has 578 rows × 180 columns, more than the 100,000 "
                                 "cells a preview shows: the first 555 rows and 180 columns are "
                                 "shown."),
                 qPrintable(text(window, "StatusLabel")));
        const ResultGrid &grid = *window.grid();
        QCOMPARE(grid.rowCount(), 3 + 555);
        QCOMPARE(grid.columnCount(), 2 + 180);
        // The last row shown: the 555th of Store x Time, with One in its first cell.
        QCOMPARE(grid.index(3 + 554, 2).data().toString(), "1");
    }

    // Connect, lay out, F9: the window shows the result and Ctrl+C copies it.
    void fromTheWizard()
    {
        QVERIFY(open());
        QCOMPARE(connectTo(mConnection), Messages());
        key(Qt::Key_Down);
        drag("SchemaTree", "Store Type", "RowTree");
        key(Qt::Key_F9);
        auto *window = form->findChild<PreviewWindow *>();
        QVERIFY(window && QTest::qWaitForWindowActive(window));
        QTest::keyClick(window->windowHandle(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 "\tUnit Sales\tStore Cost\tStore Sales\tSales [Net]\tProfit\n"
                 "Deluxe Supermarket\t225\t229.67\t510.38\t459.36\t280.71\n"
                 "Small Grocery\t575\t558.90\t1,241.97\t1,117.71\t683.07\n"
                 "Supermarket\t488\t471.63\t1,047.98\t943.16\t576.35\n");
        form.reset();
    }
};

QTEST_MAIN(TestPreviewServer)
#include "tst_preview_server.moc"
