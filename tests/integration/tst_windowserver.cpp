// The wizard's window against the real test server (started by the CTest fixture): Connect,
// cubes, schema trees and measures, a statement that runs, and a failure only a server gives.
#include "formtesting.h"

#include "catalog/connectionstring.h"
#include "catalog/xmladatasource.h"

#include <QFile>
#include <QLabel>

using namespace mdx;
using namespace mdx::test;

class TestWindowServer : public QObject, FormFixture
{
    Q_OBJECT

    QString mUrl;

    QString connection(const QString &catalog = "OlapTest") const
    {
        return "provider=msolap;data source=" + mUrl + ";initial catalog=" + catalog;
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
        QCOMPARE(connectTo(connection()), Messages());
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
        const QueryResult result
            = XmlaDataSource::open(parseConnectionString(connection()))->execute(statement());
        QCOMPARE(result.rowTuples(), 12); // the months of the first year
        QCOMPARE(result.cellCount, 12 * 5);
    }

    void unknownCatalog()
    {
        QCOMPARE(connectTo(connection("FoodMart")),
                 Messages({ { Prompter::Icon::Information, "Connection Failed: MdxWizard.Xmla",
                              cannotConnect + "The server at " + mUrl
                                  + " has no catalog \"FoodMart\". Its catalogs: OlapTest." } }));
    }
};

QTEST_MAIN(TestWindowServer)
#include "tst_windowserver.moc"
