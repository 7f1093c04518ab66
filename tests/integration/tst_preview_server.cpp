// The window and its preview against the real test server (started by the CTest fixture). The
// expected numbers are sums over tests/olap-server/olaptest.sql worked out by hand from its
// rows, not the server's output; Time has no All member, so a statement without a slicer shows
// 1997.
#include "formtesting.h"

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
const QString countryCopy
    = "\tUnit Sales\tStore Sales\nCanada\t486\t1,060.50\nUSA\t802\t1,739.83\n";

// What the window shows: the slicer line and the whole grid as copied, or the message with
// the statement beside it.
QString shown(const PreviewWindow &window)
{
    QString text;
    for (const char *name : { "SlicerLabel", "MessageLabel" }) {
        if (const auto *label = window.findChild<QLabel *>(name); label->isVisible())
            text += label->text() + '\n';
    }
    const auto *statement = window.findChild<QPlainTextEdit *>("StatementText");
    return text + (statement->isVisible() ? statement->toPlainText() : window.grid()->copyText({}));
}

} // namespace

class TestPreviewServer : public QObject, FormFixture
{
    Q_OBJECT

    QString mUrl;
    Catalog mCatalog;

    QString connection(const QString &catalog = "OlapTest") const
    {
        return "provider=msolap;data source=" + mUrl + ";initial catalog=" + catalog;
    }
    // "subtitle|cubes|schema tree|measures" as the wizard shows them; + marks a ticked measure.
    QString wizard() const
    {
        QStringList names;
        for (int i = 0; i < cubes()->count(); ++i)
            names << cubes()->itemText(i);
        return QStringList { control<QLabel>("SubTitleLabel")->text(), names.join(','),
                             outline(schema()).join(','), measureTicks().join(',') }
            .join('|');
    }

private slots:
    void initTestCase()
    {
        QFile file(qEnvironmentVariable("OLAP_SERVER_STATE_DIR") + "/url");
        QVERIFY2(file.open(QIODevice::ReadOnly), "no test server: run through ctest");
        mUrl = QString::fromUtf8(file.readAll()).trimmed();
        Connection connection;
        connection.open(this->connection());
        mCatalog.setActiveConnection(connection);
    }

    // Results with headers and formatted values; refusals in the server's own words, with the
    // statement beside them to correct it.
    void statements_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one dimension on rows") << countryRows << countryCopy;
        QTest::newRow("a crossjoin of two on rows")
            << "select crossjoin({[Store].[Store Country].members},{[Product].[Product "
               "Family].members}) on rows, {[Measures].[Unit Sales]} on columns from Sales"
            << "\t\tUnit Sales\nCanada\tDrink\t265\nCanada\tFood\t151\nCanada\tNon-Consumable\t70\n"
               "USA\tDrink\t424\nUSA\tFood\t257\nUSA\tNon-Consumable\t121\n";
        // Narrowed to chosen members (of two levels too), and without the empty rows: of the
        // six rows of March 1997, Canada's stores and the drinks, three hold sales.
        QTest::newRow("chosen members")
            << "select crossjoin({descendants({[Store].[USA]},[Store].[Store State])},{[Store "
               "Type].[Small Grocery],[Store Type].[Supermarket]}) on rows, {[Measures].[Unit "
               "Sales]} on columns from Sales"
            << "\t\tUnit Sales\nCA\tSmall Grocery\t\nCA\tSupermarket\t229\nOR\tSmall "
               "Grocery\t314\nOR\tSupermarket\t\nWA\tSmall Grocery\t\nWA\tSupermarket\t259\n";
        QTest::newRow("members of two levels")
            << "select {[Store].[Canada],[Store].[USA].[WA]} on rows, {[Measures].[Unit Sales]} "
               "on columns from Sales"
            << "\tUnit Sales\nCanada\t486\nWA\t259\n";
        QTest::newRow("non empty")
            << "select non empty crossjoin(crossjoin({[Time].[1997].[Q1].[3]},{descendants({["
               "Store].[Canada]},[Store].[Store Name])}),{descendants({[Product].[Drink]},["
               "Product].[Product Name])}) on rows, {[Measures].[Unit Sales]} on columns from "
               "Sales"
            << "\t\t\tUnit Sales\n3\tStore 4\tCola\t9\n3\tStore 4\tMilk\t2\n3\tStore "
               "5\tCola\t5\n";
        QTest::newRow("rows and a slicer") << countryRows + " where [Time].[1998]"
                                           << "Slicer: 1998\n\tUnit Sales\tStore Sales\n"
                                              "Canada\t439\t1,021.14\nUSA\t783\t1,851.15\n";
        QTest::newRow("only measures")
            << "select {[Measures].[Unit Sales],[Measures].[Store Cost],[Measures].[Profit]} on "
               "columns from Sales"
            << "Unit Sales\tStore Cost\tProfit\n1,288\t1,260.20\t1,540.13\n";
        QTest::newRow("a hand edit naming no member")
            << countryRows + " where [Time].[1999]"
            << "The statement could not be run.\n\nThe Mondrian XML: Mondrian Error:MDX object "
               "'[Time].[1999]' not found in cube 'Sales'\n\nSource: Mondrian\n"
                + countryRows + " where [Time].[1999]";
        QTest::newRow("(All) of a dimension without an All level")
            << "select {[Scenario].[(All)].members} on rows, {[Measures].[Amount]} on columns "
               "from Budget"
            << "The statement could not be run.\n\nThe Mondrian XML: Mondrian Error:MDX object "
               "'[Scenario].[(All)]' not found in cube 'Budget'\n\nSource: Mondrian\n"
               "select {[Scenario].[(All)].members} on rows, {[Measures].[Amount]} on columns "
               "from Budget";
    }

    void statements()
    {
        QFETCH(QString, statement);
        PreviewWindow window(nullptr);
        window.preview(mCatalog, "Sales", statement);
        QTEST(shown(window), "shown");
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
        const QString status = window.findChild<QLabel *>("StatusLabel")->text();
        QVERIFY2(status.startsWith("The result has 578 rows × 180 columns, more than the 100,000 "
                                   "cells a preview shows: the first 555 rows and 180 columns are "
                                   "shown."),
                 qPrintable(status));
        // Below 3 header rows, the last row shown has One in its first cell.
        QCOMPARE(window.grid()->index(3 + 554, 2).data().toString(), "1");
    }

    // A catalog the server lacks, in its words; then Connect lists the cubes, the schema tree
    // and the measures as the server gives them, a drag writes the statement, F9 shows the
    // result of the text and Ctrl+C copies all of it.
    void fromTheWizard()
    {
        QVERIFY(open());
        QCOMPARE(connectTo(connection("FoodMart")),
                 Messages({ { Prompter::Icon::Information, "Connection Failed: MdxWizard.Xmla",
                              cannotConnect + "The server at " + mUrl
                                  + " has no catalog \"FoodMart\". Its catalogs: OlapTest." } }));
        QCOMPARE(connectTo(connection()), Messages());
        QCOMPARE(wizard(),
                 "Budget: Planned amounts by scenario|Budget,Sales,Warehouse,Warehouse and Sales"
                 "|Scenario[ ],  Scenario[ ]|Amount+");
        key(Qt::Key_Down);
        QCOMPARE(
            wizard(),
            "Sales: Sales of the test stores|Budget,Sales,Warehouse,Warehouse and Sales"
            "|Store[ ],  (All)[ ],  Store Country[ ],  Store State[ ],  Store City[ ],  "
            "Store Name[ ],Time[ ],  Year[ ],  Quarter[ ],  Month[ ],Product[ ],  (All)[ ],  "
            "Product Family[ ],  Product Category[ ],  Product Name[ ],Store Type[ ],  "
            "(All)[ ],  Store Type[ ]|Unit Sales+,Store Cost+,Store Sales+,Sales [Net]+,Profit+");
        drag("SchemaTree", "Time", "RowTree");
        QCOMPARE(statement(),
                 "select {descendants([Time].currentmember,[Time].[Month])} on rows, "
                 "{[Measures].[Unit Sales],[Measures].[Store Cost],[Measures].[Store Sales],"
                 "[Measures].[Sales [Net]]],[Measures].[Profit]} on columns from Sales");
        control<QPlainTextEdit>("MdxTextbox")->setPlainText(countryRows);
        key(Qt::Key_F9);
        auto *window = form->findChild<PreviewWindow *>();
        QVERIFY(window && QTest::qWaitForWindowActive(window));
        QTest::keyClick(window->windowHandle(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), countryCopy);
        QCOMPARE(messages(), Messages());
        form.reset();
    }
};

QTEST_MAIN(TestPreviewServer)
#include "tst_preview_server.moc"
