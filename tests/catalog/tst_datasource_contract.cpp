// What every data source promises the catalog and the window, checked on each kind: the sample
// carried in the program, a schema file, a server (on its recorded answers) and the fake the
// other catalog tests stand on.
#include "catalogtesting.h"
#include "fakedatasource.h"
#include "fakehttpserver.h"

using namespace mdx;
using test::failureOf;

class TestDataSourceContract : public QObject
{
    Q_OBJECT

    test::FakeHttpServer mServer;

private slots:
    // Each source with its cubes as listed, the positions of the cubes whose schema it can
    // deliver (the server's recorded answers are the cube Sales'), and the dimensions of the
    // first of those, in order.
    void keepsTheContract_data()
    {
        QTest::addColumn<QString>("dataSource"); // none: the fake
        QTest::addColumn<QStringList>("cubes");
        QTest::addColumn<QList<int>>("readable");
        QTest::addColumn<QStringList>("dimensions");
        mServer.setHandler(test::recordedAnswer); // the cube Sales only
        QTest::newRow("sample") << "local"
                                << QStringList { "Budget", "HR", "Sales", "Warehouse",
                                                 "Warehouse and Sales" }
                                << QList<int> { 0, 1, 2, 3, 4 }
                                << QStringList { "[Measures]", "[Account]", "[Category]", "[Store]",
                                                 "[Time]" };
        QTest::newRow("schema file")
            << test::schemaPath("shapes.xml")
            << QStringList { "budget lines", "Combined",   "Counts Only",
                             "Inventory",    "Loose Ends", "Sales" }
            << QList<int> { 1, 0, 2, 3, 4, 5 }
            << QStringList { "[Measures]", "[Store]", "[Size [sqft]]]", "[Product]" };
        QTest::newRow("server") << mServer.url().toString()
                                << QStringList { "Budget", "Sales", "Warehouse",
                                                 "Warehouse and Sales" }
                                << QList<int> { 1 }
                                << QStringList { "[Measures]", "[Store]", "[Time]", "[Product]",
                                                 "[Store Type]" };
        QTest::newRow("fake") << QString() << QStringList { "Sales", "Sales", "Odd" }
                              << QList<int> { 0 } << QStringList { "[Measures]", "[Store]" };
    }

    void keepsTheContract()
    {
        QFETCH(QString, dataSource);
        QFETCH(QList<int>, readable);
        std::shared_ptr<DataSource> source = test::salesSource();
        if (!dataSource.isEmpty()) {
            Connection connection;
            connection.open("Provider=MSOLAP;Data Source=" + dataSource);
            source = connection.dataSource();
        }
        Catalog catalog;
        catalog.setActiveConnection(Connection::fromDataSource(source));

        // The order is the source's, and the catalog keeps it.
        QStringList listed, defined, dimensions;
        for (const CubeInfo &cube : source->cubes())
            listed << cube.name;
        for (const CubeDef &cube : catalog.cubeDefs())
            defined << cube.name();
        QTEST(listed, "cubes");
        QCOMPARE(defined, listed);
        for (const Dimension &dimension : catalog.cubeDefs().item(readable.first()).dimensions())
            dimensions << dimension.uniqueName();
        QTEST(dimensions, "dimensions");

        // A position outside the list fails with one code, whatever the source.
        for (int position : { -1, int(listed.size()) }) {
            const auto failure = failureOf([&] { source->cubeSchema(position); });
            QCOMPARE(failure ? failure->code() : 0, CatalogFailure::ItemOutOfRange);
        }

        for (int position : readable) {
            // Read when first asked for and kept: asking again sends nothing, gives the same.
            const auto schema = source->cubeSchema(position);
            const int requests = source->requestCount();
            QCOMPARE(source->cubeSchema(position), schema);
            QCOMPARE(source->requestCount(), requests);

            // Measures first, the only dimension with members; each level inside its
            // hierarchy (the trees key their nodes on these names).
            QCOMPARE(schema->dimensions.first().uniqueName, u"[Measures]");
            for (const DimensionInfo &dimension : schema->dimensions.mid(1)) {
                for (const HierarchyInfo &hierarchy : dimension.hierarchies) {
                    for (const LevelInfo &level : hierarchy.levels) {
                        QVERIFY2(level.uniqueName.startsWith(hierarchy.uniqueName + ".["),
                                 qPrintable(level.uniqueName));
                        QVERIFY(level.members.isEmpty());
                    }
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestDataSourceContract)
#include "tst_datasource_contract.moc"
