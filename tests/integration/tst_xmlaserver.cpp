// The catalog, the window and its preview against the real test server (scripts/olap-server.sh,
// started by the CTest fixture): credentials, every cube's schema read from the server and from
// its schema file, statements built by the model run on the server, and what the window shows.
// The expected numbers are sums over tests/data/xmla/olaptest.sql worked out by hand from its
// rows, not the server's output; Time has no All member, so a statement without a slicer shows
// 1997.
#include "catalogtesting.h"
#include "formtesting.h"

#include "catalog/opendatasource.h"
#include "catalog/schemadatasource.h"
#include "catalog/xmladatasource.h"
#include "model/query.h"
#include "window/previewwindow.h"
#include "window/resultgrid.h"

#include <QClipboard>
#include <QFile>
#include <QLabel>

using namespace mdx;
using namespace mdx::test;

namespace {

QString stateFile(const QString &name)
{
    QFile file(qEnvironmentVariable("OLAP_SERVER_STATE_DIR") + u'/' + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

const QString countryRows = "select {[Store].[Store Country].members} on rows, "
                            "{[Measures].[Unit Sales],[Measures].[Store Sales]} on columns "
                            "from Sales";

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

class TestXmlaServer : public QObject, FormFixture
{
    Q_OBJECT

    QString mUrl;
    Connection mConnection;
    Catalog mCatalog;

    QString connection(const QString &catalog = "OlapTest") const
    {
        return "provider=msolap;data source=" + mUrl + ";initial catalog=" + catalog;
    }

private slots:
    void initTestCase()
    {
        mUrl = stateFile("url");
        QVERIFY2(!mUrl.isEmpty(), "no test server: run through ctest (fixture olap_server)");
        mConnection.open(connection());
        mCatalog.setActiveConnection(mConnection);
    }

    // The same catalog behind Basic authentication; the password never shows in a failure.
    void credentials()
    {
        const QString secure = QStringLiteral("Provider=MSOLAP;Data Source=%1;User ID=%2;")
                                   .arg(stateFile("secure-url"), stateFile("user"));
        const QString password = stateFile("password");
        const auto failure = test::openFailure(secure + "Password=" + password);
        QVERIFY2(!failure, failure ? qPrintable(failure->description()) : "");
        for (const auto &[connectionString, expected] :
             { std::pair(secure + "Password=" + password + 'x', "did not accept the user name"),
               std::pair(secure.section(u';', 0, 1), "wants a user name and password") }) {
            const auto refused = test::openFailure(connectionString);
            VERIFY_FAILURE(refused, XmlaFailure::NotAuthorized, expected);
            QVERIFY(!(refused->description() + refused->source()).contains(password));
        }
    }

    // Through a connection, as the window reads it. Allowed differences, which the server
    // makes on its own: it lists cubes by name (the file in definition order), and makes up a
    // description for a cube that has none.
    void sameSchemaReadTwoWays()
    {
        const auto file
            = openSchemaFile(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/olaptest-schema.xml"),
                             QString(), QStringLiteral("the test schema"));
        const auto server = mConnection.dataSource();
        QCOMPARE(server->catalogName(), file->catalogName());
        const QList<CubeInfo> serverCubes = server->cubes(), fileCubes = file->cubes();
        QCOMPARE(serverCubes.size(), fileCubes.size());
        for (int f = 0; f < fileCubes.size(); ++f) {
            const CubeInfo &cube = fileCubes.at(f);
            const auto s = std::find_if(serverCubes.cbegin(), serverCubes.cend(),
                                        [&](const CubeInfo &c) { return c.name == cube.name; });
            QVERIFY2(s != serverCubes.cend(), qPrintable(cube.name));
            QVERIFY(cube.description.isEmpty() || s->description == cube.description);
            QCOMPARE(outline(*server->cubeSchema(int(s - serverCubes.cbegin()))),
                     outline(*file->cubeSchema(f)));
        }
    }

    // Every dimension of every cube alone on rows, from all its levels checked down to none,
    // then four over the three axis trees (column and slicer sets join the rows), with every
    // measure ticked ("Sales [Net]" holds a "]"): the server runs whatever the model writes.
    void statementsBuiltByTheModelRun()
    {
        QStringList refused;
        int run = 0;
        for (const CubeDef &cube : mCatalog.cubeDefs()) {
            Query query;
            query.setCube(cube.name());
            query.fillSchema(cube);
            const auto execute = [&] {
                ++run;
                if (const auto failure
                    = test::failureOf([&] { mCatalog.execute(query.statement()); }))
                    refused << query.statement() + "\n  -> " + failure->description();
            };
            LayoutTree &schemaTree = query.tree(Query::Tree::Schema);
            LayoutTree &rows = query.tree(Query::Tree::Rows);
            QStringList keys;
            for (const Node *node : schemaTree) {
                if (!node->parent())
                    keys << node->key();
            }
            for (const QString &key : keys) {
                query.moveTo(schemaTree, schemaTree.find(key), rows);
                QList<Node *> levels; // the deepest first
                for (Node *level = rows.find(key)->child(); level; level = level->next())
                    levels.prepend(level);
                for (Node *level : levels) {
                    execute();
                    query.pressNode(*level);
                }
                // "(All)" only where the dimension has one: a server refuses it elsewhere.
                if (levels.last()->text() == u"(All)")
                    execute();
                // Loaded again: a full schema would refuse the dimension back.
                query.clearForCube();
                query.fillSchema(cube);
            }
            for (int k = 0; k < std::min(int(keys.size()), 4); ++k)
                query.moveTo(schemaTree, schemaTree.find(keys[k]),
                             query.tree(Query::Tree(1 + k % 3)));
            execute();
        }
        QCOMPARE(refused, QStringList());
        QVERIFY(run > 40);
    }

    // Results with headers and formatted values; refusals in the server's own words, with the
    // statement beside them to correct it.
    void statements_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("shown");
        // One dimension on rows is the wizard's case below. Narrowed to chosen members, and
        // without the empty rows: of the six rows of March 1997, Canada's stores and the drinks,
        // three hold sales.
        QTest::newRow("chosen members")
            << "select crossjoin({descendants({[Store].[USA]},[Store].[Store State])},{[Store "
               "Type].[Small Grocery],[Store Type].[Supermarket]}) on rows, {[Measures].[Unit "
               "Sales]} on columns from Sales"
            << "\t\tUnit Sales\nCA\tSmall Grocery\t\nCA\tSupermarket\t229\nOR\tSmall "
               "Grocery\t314\nOR\tSupermarket\t\nWA\tSmall Grocery\t\nWA\tSupermarket\t259\n";
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

    // A catalog the server lacks, in its words; then Connect takes the cubes and measures as
    // the server gives them (their schemas are compared above), a drag writes the statement,
    // F9 shows the result of the text and Ctrl+C copies all of it.
    void fromTheWizard()
    {
        QVERIFY(open());
        QCOMPARE(connectTo(connection("FoodMart")),
                 Messages({ { Prompter::Icon::Information, "Connection Failed: MdxWizard.Xmla",
                              cannotConnect + "The server at " + mUrl
                                  + " has no catalog \"FoodMart\". Its catalogs: OlapTest." } }));
        QCOMPARE(connectTo(connection()), Messages());
        key(Qt::Key_Down); // Sales, the second of the cubes the server lists by name
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
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 "\tUnit Sales\tStore Sales\nCanada\t486\t1,060.50\nUSA\t802\t1,739.83\n");
        QCOMPARE(messages(), Messages());
        form.reset();
    }
};

QTEST_MAIN(TestXmlaServer)
#include "tst_xmlaserver.moc"
