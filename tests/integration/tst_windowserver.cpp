// The wizard's window against the real test server (started by the CTest fixture): Connect,
// cubes, schema trees and measures, a statement that runs, and the failures a user meets.
#include "../window/formtesting.h"

#include "catalog/connectionstring.h"
#include "catalog/xmladatasource.h"

#include <QFile>
#include <QLabel>
#include <QTcpServer>

using namespace mdx;
using namespace mdx::test;

class TestWindowServer : public QObject, FormFixture
{
    Q_OBJECT

    QString mUrl;

    static QString connection(const QString &url, const QString &catalog = "OlapTest")
    {
        return QStringLiteral("provider=msolap;data source=%1;initial catalog=%2")
            .arg(url, catalog);
    }
    // "subtitle|cubes|schema tree|measures" as the window shows them; + marks a ticked measure.
    QString shown() const
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
    }
    void init() { QVERIFY(open()); }
    void cleanup() { form.reset(); }

    void connectChooseACubeAndRunTheStatement()
    {
        QCOMPARE(connectTo(connection(mUrl)), Messages());
        QCOMPARE(shown(),
                 "Budget: Planned amounts by scenario|Budget,Sales,Warehouse,Warehouse and Sales"
                 "|Scenario[ ],  Scenario[ ]|Amount+");
        key(Qt::Key_Down);
        QCOMPARE(
            shown(),
            "Sales: Sales of the test stores|Budget,Sales,Warehouse,Warehouse and Sales"
            "|Store[ ],  (All)[ ],  Store Country[ ],  Store State[ ],  Store City[ ],  "
            "Store Name[ ],Time[ ],  Year[ ],  Quarter[ ],  Month[ ],Product[ ],  (All)[ ],  "
            "Product Family[ ],  Product Category[ ],  Product Name[ ],Store Type[ ],  "
            "(All)[ ],  Store Type[ ]|Unit Sales+,Store Cost+,Store Sales+,Sales [Net]+,Profit+");
        QCOMPARE(messages(), Messages());

        drag("SchemaTree", "Time", "RowTree");
        QCOMPARE(statement(),
                 "select {descendants([Time].currentmember,[Time].[Month])} on rows, "
                 "{[Measures].[Unit Sales],[Measures].[Store Cost],[Measures].[Store Sales],"
                 "[Measures].[Sales [Net]]],[Measures].[Profit]} on columns from Sales");
        const XmlaExecuteResult result
            = XmlaDataSource::open(parseConnectionString(connection(mUrl)))->execute(statement());
        QCOMPARE(result.rowTuples(), 12); // the months of the first year
        QCOMPARE(result.cellCount, 12 * 5);
    }

    void connectFailures()
    {
        QTcpServer stopped; // a port where nothing listens any more
        QVERIFY(stopped.listen(QHostAddress::LocalHost, 0));
        const QString port = QString::number(stopped.serverPort());
        stopped.close();
        const QList<std::pair<QString, QString>> failures {
            { connection(mUrl, "FoodMart"),
              "The server at " + mUrl + " has no catalog \"FoodMart\". Its catalogs: OlapTest." },
            { connection("http://127.0.0.1:" + port + "/xmla"),
              "Nothing answers at 127.0.0.1, port " + port
                  + " (connection refused). Is the server running, and is the port right?" },
        };
        for (const auto &[connectionString, description] : failures) {
            QCOMPARE(connectTo(connectionString),
                     Messages({ { Prompter::Icon::Information, "Connection Failed: MdxWizard.Xmla",
                                  cannotConnect + description } }));
        }
    }
};

QTEST_MAIN(TestWindowServer)
#include "tst_windowserver.moc"
