// What every data source promises the catalog and the window, checked on each kind: the sample
// carried in the program, a schema file, a server (on its recorded answers) and a fake made in
// code. Then the catalog object model over that fake: what it reads when, what its objects
// hold, and how it fails when misused or when its source fails.
#include "catalogtesting.h"
#include "fakehttpserver.h"

#include "catalog/datasource.h"

#include <functional>

using namespace mdx;

namespace {

// A data source made in code: it delivers the cubes and schemas it is given (a null schema
// stands for a source that delivers none), counts the requests it receives, refuses positions
// outside its cube list as real sources do, and fails at the operation it is told to fail at.
class FakeDataSource : public DataSource
{
public:
    enum class FailAt { Nothing, Cubes, CubeSchema };

    QList<CubeInfo> cubeList;
    QList<std::shared_ptr<const CubeSchema>> schemas; // by cube position
    FailAt failAt = FailAt::Nothing;
    Failure failure { qint32(0x80040E37), QStringLiteral("The fake source failed on purpose."),
                      QStringLiteral("FakeSource") };
    int cubesCalls = 0;
    QList<int> schemaCalls;

    QString catalogName() const override { return QStringLiteral("Fake"); }

    QList<CubeInfo> cubes() override
    {
        ++cubesCalls;
        if (failAt == FailAt::Cubes)
            throw failure;
        return cubeList;
    }

    std::shared_ptr<const CubeSchema> cubeSchema(int cubeIndex) override
    {
        schemaCalls.append(cubeIndex);
        if (failAt == FailAt::CubeSchema)
            throw failure;
        if (cubeIndex < 0 || cubeIndex >= cubeList.size())
            throw Failure(CatalogFailure::ItemOutOfRange, QStringLiteral("No such cube."), {});
        return schemas.value(cubeIndex);
    }
};

// Cubes "Sales" (Measures: Units, Profit; Store: (All), Country, and a second hierarchy
// without levels), a second "Sales" without a schema, and "Odd" (Flat, without hierarchies).
std::shared_ptr<FakeDataSource> salesSource()
{
    auto source = std::make_shared<FakeDataSource>();
    source->cubeList = { { "Sales", "Sales cube" }, { "Sales", {} }, { "Odd", {} } };
    const LevelInfo measures { "MeasuresLevel",
                               "[Measures].[MeasuresLevel]",
                               { { "Units" }, { "Profit" } } };
    const QList<LevelInfo> store { { "(All)", "[Store].[(All)]", {} },
                                   { "Country", "[Store].[Country]", {} } };
    const QList<DimensionInfo> sales {
        { "Measures", "[Measures]", { { "Measures", "[Measures]", { measures } } } },
        { "Store", "[Store]", { { "Store", "[Store]", store }, { "Store.1", "[Store.1]", {} } } }
    };
    source->schemas = { std::make_shared<CubeSchema>(sales), nullptr,
                        std::make_shared<CubeSchema>(CubeSchema { { { "Flat", "[Flat]", {} } } }) };
    return source;
}

} // namespace

using test::failureOf;

using Operation = std::function<void()>;
Q_DECLARE_METATYPE(Operation)

static Catalog catalogOver(const std::shared_ptr<DataSource> &source)
{
    Catalog catalog;
    catalog.setActiveConnection(Connection::fromDataSource(source));
    return catalog;
}

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
        QTest::addColumn<QString>("cubes");
        QTest::addColumn<QList<int>>("readable");
        QTest::addColumn<QString>("dimensions");
        // Of the second dimension's first level: a server's requests for them, or the failure.
        QTest::addColumn<QString>("members");
        const QString none = "This catalog lists no members: connect to an OLAP server to "
                             "choose members";
        mServer.setHandler(test::recordedAnswer); // the cube Sales only
        QTest::newRow("sample") << "local"
                                << "Budget,HR,Sales,Warehouse,Warehouse and Sales"
                                << QList<int> { 0, 1, 2, 3, 4 }
                                << "[Measures],[Account],[Category],[Store],[Time]" << none;
        QTest::newRow("schema file")
            << test::schemaPath("shapes.xml")
            << "budget lines,Combined,Counts Only,Inventory,Loose Ends,Sales"
            << QList<int> { 1, 0, 2, 3, 4, 5 } << "[Measures],[Store],[Size [sqft]]],[Product]"
            << none;
        QTest::newRow("server") << mServer.url().toString()
                                << "Budget,Sales,Warehouse,Warehouse and Sales" << QList<int> { 1 }
                                << "[Measures],[Store],[Time],[Product],[Store Type]"
                                << "1";
        QTest::newRow("fake") << QString() << "Sales,Sales,Odd" << QList<int> { 0 }
                              << "[Measures],[Store]" << none;
    }

    void keepsTheContract()
    {
        QFETCH(QString, dataSource);
        QFETCH(QList<int>, readable);
        std::shared_ptr<DataSource> source = salesSource();
        if (!dataSource.isEmpty()) {
            Connection connection;
            connection.open("Provider=MSOLAP;Data Source=" + dataSource);
            source = connection.dataSource();
        }
        const Catalog catalog = catalogOver(source);

        // The order is the source's, and the catalog keeps it.
        QStringList listed, defined, dimensions;
        for (const CubeInfo &cube : source->cubes())
            listed << cube.name;
        for (const CubeDef &cube : catalog.cubeDefs())
            defined << cube.name();
        QTEST(listed.join(u','), "cubes");
        QCOMPARE(defined, listed);
        const Collection<Dimension> firstDimensions
            = catalog.cubeDefs().item(readable.first()).dimensions();
        for (const Dimension &dimension : firstDimensions)
            dimensions << dimension.uniqueName();
        QTEST(dimensions.join(u','), "dimensions");
        // Beyond the measures, members are a server's to list; the others say where to go.
        const Level level = firstDimensions.item(1).hierarchies().item(0).levels().item(0);
        const int asked = source->requestCount();
        const auto membersFailure = failureOf([&] { level.members(); });
        QTEST(membersFailure ? membersFailure->description()
                             : QString::number(source->requestCount() - asked),
              "members");

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

    // The cube list is read once per catalog binding, each cube's schema on its first use, and
    // the objects hold what they need when catalog, connection and source are gone.
    void catalogReadsOnFirstUse()
    {
        const auto source = salesSource();
        Catalog catalog = catalogOver(source);
        QCOMPARE(source->cubesCalls, 0);
        const CubeDefs cubes = Catalog(catalog).cubeDefs();
        catalog.cubeDefs();
        catalog.setActiveConnection(Connection::fromDataSource(source));
        catalog.cubeDefs();
        QCOMPARE(source->cubesCalls, 2);
        QVERIFY(source->schemaCalls.isEmpty());
        QCOMPARE(cubes.item(2).dimensions().count(), 1);
        const Dimension store = cubes.item(0).dimensions().item(1);
        QCOMPARE(source->schemaCalls, (QList<int> { 2, 0 })); // each by its position, not name
        const Level country = store.hierarchies().item(0).levels().item(1);
        catalog = Catalog();
        const Level measures
            = cubes.item(0).dimensions().item(0).hierarchies().item(0).levels().item(0);
        QCOMPARE(
            QStringList({ cubes.item(0).description(), store.uniqueName(),
                          store.hierarchies().item(1).name(), country.uniqueName(),
                          measures.members().item(1).name() }),
            QStringList({ "Sales cube", "[Store]", "Store.1", "[Store].[Country]", "Profit" }));
    }

    void catalogMisuseFails_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("expected");
        const auto add = [](const char *name, qint32 code, const char *part, Operation operation) {
            QTest::newRow(name) << operation << code << QString::fromUtf8(part);
        };
        using namespace CatalogFailure;
        add("closed connection", NotOpen, "not open", [] { Connection().dataSource(); });
        // Copies of a connection share it, open or not.
        add("opening a copy of an open connection", AlreadyOpen, "The connection is already open.",
            [] {
                Connection connection;
                const Connection copy = connection;
                connection.open(QStringLiteral("data source=local"));
                Connection(copy).open(QStringLiteral("data source=local"));
            });
        add("binding a closed connection", NotOpen, "not open",
            [] { Catalog().setActiveConnection(Connection()); });
        add("catalog without a connection", NotOpen, "no active connection",
            [] { Catalog().cubeDefs(); });
        add("unset object", ObjectNotSet, "The level object is not set.", [] { Level().name(); });
        add("unset dimension", ObjectNotSet, "The dimension object is not set.",
            [] { Dimension().hierarchies(); });
        add("unset cube", ObjectNotSet, "cube definition", [] { CubeDef().dimensions(); });
        const CubeDefs cubes = catalogOver(salesSource()).cubeDefs();
        add("cube after the last", ItemOutOfRange,
            "no item 3 among the cubes of catalog \"Fake\": they are numbered 0 to 2.",
            [=] { cubes.item(3); });
        add("cube before the first", ItemOutOfRange, "no item -1", [=] { cubes.item(-1); });
        add("hierarchy of a dimension without one", ItemOutOfRange,
            "no item 0 among the hierarchies of dimension [Flat]: there are none.",
            [=] { cubes.item(2).dimensions().item(0).hierarchies().item(0); });
        add("cube without a schema", InvalidSchema, "no schema for the cube \"Sales\"",
            [=] { cubes.item(1).dimensions(); });
    }

    void catalogMisuseFails()
    {
        QFETCH(Operation, operation);
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        VERIFY_FAILURE(failureOf(operation), code, expected);
    }

    // Listing the cubes or reading one: the failure passes unchanged and is not remembered.
    void sourceFailuresPassUnchanged()
    {
        for (const auto failAt :
             { FakeDataSource::FailAt::Cubes, FakeDataSource::FailAt::CubeSchema }) {
            const auto source = salesSource();
            const Catalog catalog = catalogOver(source);
            source->failAt = failAt;
            const auto failure = failureOf([&] { catalog.cubeDefs().item(0).dimensions(); });
            VERIFY_FAILURE(failure, source->failure.code(), source->failure.description());
            QCOMPARE(failure->source(), source->failure.source());
            source->failAt = FakeDataSource::FailAt::Nothing;
            QCOMPARE(catalog.cubeDefs().item(0).dimensions().count(), 2);
        }
    }
};

QTEST_GUILESS_MAIN(TestDataSourceContract)
#include "tst_datasource_contract.moc"
