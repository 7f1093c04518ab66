// The wizard's window against the real test server (started by the CTest fixture): Connect,
// cubes, schema trees and measures, a statement that runs, and the failures a user meets.
#include "../window/formtesting.h"

#include "catalog/connectionstring.h"
#include "catalog/xmladatasource.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
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
        auto *cubes = control<QComboBox>("CubeCombo");
        auto *measures = control<QListWidget>("MeasuresList");
        QStringList names, ticks;
        for (int i = 0; i < cubes->count(); ++i)
            names << cubes->itemText(i);
        for (int i = 0; i < measures->count(); ++i)
            ticks << measures->item(i)->text() + (measures->item(i)->checkState() ? "+" : "-");
        return QStringList { control<QLabel>("SubTitleLabel")->text(), names.join(','),
                             outline(tree("SchemaTree")).join(','), ticks.join(',') }
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
        connectTo(connection(mUrl));
        QCOMPARE(shown(),
                 "Budget: Planned amounts by scenario|Budget,Sales,Warehouse,Warehouse and Sales"
                 "|Scenario[ ],  Scenario[ ]|Amount+");
        control("CubeCombo")->setFocus();
        key(Qt::Key_Down);
        QCOMPARE(
            shown(),
            "Sales: Sales of the test stores|Budget,Sales,Warehouse,Warehouse and Sales"
            "|Store[ ],  (All)[ ],  Store Country[ ],  Store State[ ],  Store City[ ],  "
            "Store Name[ ],Time[ ],  Year[ ],  Quarter[ ],  Month[ ],Product[ ],  (All)[ ],  "
            "Product Family[ ],  Product Category[ ],  Product Name[ ],Store Type[ ],  "
            "(All)[ ],  Store Type[ ]|Unit Sales+,Store Cost+,Store Sales+,Sales [Net]+,Profit+");
        QCOMPARE(prompter->messages, QList<Message>());

        drag(at(tree("SchemaTree"), item(tree("SchemaTree"), "Time")), at(tree("RowTree")));
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
            connectTo(connectionString);
            QCOMPARE(
                prompter->take(),
                QList<Message>({ { Prompter::Icon::Information, "Connection Failed: MdxWizard.Xmla",
                                   "There is an error. The application cannot connect to "
                                   "the datasource.\r\n\r\n"
                                       + description } }));
        }
    }
};

QTEST_MAIN(TestWindowServer)
#include "tst_windowserver.moc"
