#include "catalog/catalog.h"
#include "catalog/failurecodes.h"
#include "catalogtesting.h"
#include "fakedatasource.h"

#include <QSet>
#include <QTest>

using namespace mdx;
using mdx::test::failureOf;
using mdx::test::FakeDataSource;
using mdx::test::level;

namespace {

// Store (All, Country), Measures (MeasuresLevel: Units, Profit), Flat (no hierarchy),
// Empty Measures (a hierarchy without levels).
std::shared_ptr<FakeDataSource> makeSource()
{
    auto source = std::make_shared<FakeDataSource>();
    source->cubeList = { CubeInfo { QStringLiteral("Sales"), QStringLiteral("Sales cube") },
                         CubeInfo { QStringLiteral("Sales"), QString() },
                         CubeInfo { QStringLiteral("Odd"), QString() } };
    auto sales = std::make_shared<CubeSchema>();
    sales->dimensions = {
        DimensionInfo { "Store",
                        "[Store]",
                        { HierarchyInfo { "Store",
                                          "[Store]",
                                          { level("(All)", "[Store].[(All)]"),
                                            level("Country", "[Store].[Country]") } },
                          HierarchyInfo { "Store.Size", "[Store.Size]", {} } } },
        DimensionInfo { "Measures",
                        "[Measures]",
                        { HierarchyInfo { "Measures",
                                          "[Measures]",
                                          { level("MeasuresLevel", "[Measures].[MeasuresLevel]",
                                                  { "Units", "Profit" }) } } } },
    };
    auto odd = std::make_shared<CubeSchema>();
    odd->dimensions = {
        DimensionInfo { "Flat", "[Flat]", {} },
        DimensionInfo {
            "Measures", "[Measures]", { HierarchyInfo { "Measures", "[Measures]", {} } } },
    };
    source->schemas = { sales, nullptr, odd };
    return source;
}

Catalog catalogOver(const std::shared_ptr<DataSource> &source)
{
    Catalog catalog;
    catalog.setActiveConnection(Connection::fromDataSource(source));
    return catalog;
}

} // namespace

class TestCatalogModel : public QObject
{
    Q_OBJECT

private slots:
    void connectionStartsClosed();
    void connectionCopiesShareOneConnection();
    void catalogNeedsAnOpenConnection();
    void cubesAreListedOncePerCatalog();
    void cubeSchemaIsReadOnFirstUse();
    void walksTheObjectTree();
    void objectsOutliveTheirCatalog();
    void itemOutsideACollectionFails_data();
    void itemOutsideACollectionFails();
    void sourceFailuresPassUnchanged_data();
    void sourceFailuresPassUnchanged();
    void unsetObjectsFail();
    void contract_data();
    void contract();
};

void TestCatalogModel::connectionStartsClosed()
{
    const Connection connection;
    QVERIFY(!connection.isOpen());
    const auto failure = failureOf([&] { connection.dataSource(); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), CatalogFailure::NotOpen);
}

void TestCatalogModel::connectionCopiesShareOneConnection()
{
    Connection connection;
    const Connection copy = connection;
    connection.open(QStringLiteral("provider=msolap;data source=local"));
    QVERIFY(copy.isOpen());
    QCOMPARE(copy.dataSource(), connection.dataSource());

    // Opening an open connection is refused and leaves it as it was.
    const auto failure = failureOf([&] { connection.open(QStringLiteral("data source=local")); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), CatalogFailure::AlreadyOpen);
    QCOMPARE(copy.dataSource(), connection.dataSource());
}

void TestCatalogModel::catalogNeedsAnOpenConnection()
{
    Catalog catalog;
    auto failure = failureOf([&] { catalog.cubeDefs(); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), CatalogFailure::NotOpen);
    QVERIFY(failure->description().contains(u"no active connection"));

    failure = failureOf([&] { catalog.setActiveConnection(Connection()); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), CatalogFailure::NotOpen);

    // A failed open leaves the connection closed, so a catalog cannot use it either.
    Connection broken;
    QVERIFY(failureOf([&] { broken.open(QStringLiteral("data source=local;catalog=none")); }));
    QVERIFY(!broken.isOpen());
    QVERIFY(failureOf([&] { catalog.setActiveConnection(broken); }));
}

void TestCatalogModel::cubesAreListedOncePerCatalog()
{
    const auto source = makeSource();
    const Catalog catalog = catalogOver(source);
    QCOMPARE(source->cubesCalls, 0);
    const CubeDefs first = catalog.cubeDefs();
    const CubeDefs second = catalog.cubeDefs();
    const Catalog shared = catalog;
    shared.cubeDefs();
    QCOMPARE(source->cubesCalls, 1);
    QCOMPARE(second.count(), 3);

    // A new catalog on the same connection reads the list again, and so does a rebinding.
    Catalog other = catalogOver(source);
    other.cubeDefs();
    QCOMPARE(source->cubesCalls, 2);
    other.setActiveConnection(Connection::fromDataSource(source));
    other.cubeDefs();
    QCOMPARE(source->cubesCalls, 3);
}

void TestCatalogModel::cubeSchemaIsReadOnFirstUse()
{
    const auto source = makeSource();
    const CubeDefs cubes = catalogOver(source).cubeDefs();
    QVERIFY(source->schemaCalls.isEmpty());
    QCOMPARE(cubes.item(2).dimensions().count(), 2);
    QCOMPARE(source->schemaCalls, QList<int> { 2 });

    // Equal names do not matter: each definition reads its own position.
    QCOMPARE(cubes.item(0).name(), cubes.item(1).name());
    QCOMPARE(cubes.item(0).dimensions().count(), 2);
    QCOMPARE(source->schemaCalls, (QList<int> { 2, 0 }));

    // A source that delivers no schema at all fails instead of handing out nothing.
    const auto failure = failureOf([&] { cubes.item(1).dimensions(); });
    QVERIFY(failure);
    QVERIFY(failure->description().contains(u"no schema"));
}

void TestCatalogModel::walksTheObjectTree()
{
    const CubeDefs cubes = catalogOver(makeSource()).cubeDefs();
    const CubeDef sales = cubes.item(0);
    QCOMPARE(sales.name(), u"Sales");
    QCOMPARE(sales.description(), u"Sales cube");
    QCOMPARE(cubes.item(1).description(), QString());

    const Collection<Dimension> dimensions = sales.dimensions();
    const Dimension store = dimensions.item(0);
    QCOMPARE(store.name(), u"Store");
    QCOMPARE(store.uniqueName(), u"[Store]");
    QCOMPARE(store.hierarchies().count(), 2);
    QCOMPARE(store.hierarchies().item(1).uniqueName(), u"[Store.Size]");

    QStringList levels;
    for (const Level &level : store.hierarchies().item(0).levels())
        levels << level.name() + u' ' + level.uniqueName();
    QCOMPARE(levels, (QStringList { "(All) [Store].[(All)]", "Country [Store].[Country]" }));

    QStringList measures;
    for (const Member &member : dimensions.item(1).hierarchies().item(0).levels().item(0).members())
        measures << member.name();
    QCOMPARE(measures, (QStringList { "Units", "Profit" }));
}

void TestCatalogModel::objectsOutliveTheirCatalog()
{
    Level country;
    Member profit;
    {
        const auto source = makeSource();
        const Catalog catalog = catalogOver(source);
        const Collection<Dimension> dimensions = catalog.cubeDefs().item(0).dimensions();
        country = dimensions.item(0).hierarchies().item(0).levels().item(1);
        profit = dimensions.item(1).hierarchies().item(0).levels().item(0).members().item(1);
    }
    // The catalog, connection and source are gone; the objects hold what they need.
    QCOMPARE(country.uniqueName(), u"[Store].[Country]");
    QCOMPARE(profit.name(), u"Profit");
}

void TestCatalogModel::itemOutsideACollectionFails_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");

    // which: 0 cubes, 1 dimensions, 2 hierarchies of a dimension without any, 3 levels of a
    // hierarchy without any, 4 members
    QTest::newRow("cube after the last") << 0 << 3
                                         << "no item 3 among the cubes of catalog \"Fake\": "
                                            "they are numbered 0 to 2.";
    QTest::newRow("negative cube") << 0 << -1 << "no item -1 among the cubes";
    QTest::newRow("dimension") << 1 << 2 << "no item 2 among the dimensions of cube \"Odd\"";
    QTest::newRow("hierarchy of a dimension without one")
        << 2 << 0 << "no item 0 among the hierarchies of dimension [Flat]: there are none.";
    QTest::newRow("level of a hierarchy without one")
        << 3 << 0 << "no item 0 among the levels of hierarchy [Measures]: there are none.";
    QTest::newRow("member") << 4 << 2
                            << "no item 2 among the members of level [Measures].[MeasuresLevel]";
}

void TestCatalogModel::itemOutsideACollectionFails()
{
    QFETCH(int, which);
    QFETCH(int, position);
    QFETCH(QString, expected);
    const CubeDefs cubes = catalogOver(makeSource()).cubeDefs();
    const auto failure = failureOf([&] {
        switch (which) {
        case 0:
            cubes.item(position);
            break;
        case 1:
            cubes.item(2).dimensions().item(position);
            break;
        case 2:
            cubes.item(2).dimensions().item(0).hierarchies().item(position);
            break;
        case 3:
            cubes.item(2).dimensions().item(1).hierarchies().item(0).levels().item(position);
            break;
        default:
            cubes.item(0)
                .dimensions()
                .item(1)
                .hierarchies()
                .item(0)
                .levels()
                .item(0)
                .members()
                .item(position);
        }
    });
    QVERIFY(failure);
    QCOMPARE(failure->code(), CatalogFailure::ItemOutOfRange);
    QCOMPARE(failure->source(), CatalogSource::Catalog);
    QVERIFY2(failure->description().contains(expected), qPrintable(failure->description()));
}

void TestCatalogModel::sourceFailuresPassUnchanged_data()
{
    QTest::addColumn<int>("failAt");
    QTest::newRow("listing the cubes") << int(FakeDataSource::FailAt::Cubes);
    QTest::newRow("naming the catalog") << int(FakeDataSource::FailAt::CatalogName);
    QTest::newRow("reading a cube") << int(FakeDataSource::FailAt::CubeSchema);
}

void TestCatalogModel::sourceFailuresPassUnchanged()
{
    QFETCH(int, failAt);
    const auto source = makeSource();
    const Catalog catalog = catalogOver(source);
    source->failAt = FakeDataSource::FailAt(failAt);
    const auto failure = failureOf([&] { catalog.cubeDefs().item(0).dimensions(); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), source->failure.code());
    QCOMPARE(failure->description(), source->failure.description());
    QCOMPARE(failure->source(), source->failure.source());

    // The failure is not remembered: once the source recovers, the same calls work.
    source->failAt = FakeDataSource::FailAt::Nothing;
    QCOMPARE(catalog.cubeDefs().item(0).dimensions().count(), 2);
}

void TestCatalogModel::unsetObjectsFail()
{
    const QList<std::function<void()>> operations = {
        [] { Level().name(); },         [] { Level().members(); },
        [] { Hierarchy().levels(); },   [] { Hierarchy().uniqueName(); },
        [] { Dimension().name(); },     [] { Dimension().hierarchies(); },
        [] { CubeDef().dimensions(); },
    };
    for (const auto &operation : operations) {
        const auto failure = failureOf(operation);
        QVERIFY(failure);
        QCOMPARE(failure->code(), CatalogFailure::ObjectNotSet);
        QVERIFY(failure->description().contains(u"not set"));
    }
    QCOMPARE(Member().name(), QString());
    QCOMPARE(CubeDef().name(), QString());
}

// What every data source promises the window, whatever it reads from.
void TestCatalogModel::contract_data()
{
    QTest::addColumn<QString>("connectionString");
    QTest::newRow("embedded sample")
        << "provider=msolap;data source=local;initial catalog=foodmart 2000";
    QTest::newRow("schema file") << "Provider=MSOLAP.8;Data Source="
            + test::schemaPath("shapes.xml");
}

void TestCatalogModel::contract()
{
    QFETCH(QString, connectionString);
    Connection connection;
    connection.open(connectionString);
    Catalog catalog;
    catalog.setActiveConnection(connection);
    const CubeDefs cubes = catalog.cubeDefs();
    QVERIFY(cubes.count() > 0);
    for (const CubeDef &cube : cubes) {
        const QByteArray context = cube.name().toUtf8();
        const Collection<Dimension> dimensions = cube.dimensions();
        // The measures dimension comes first, with its one level holding the measures.
        const Dimension measures = dimensions.item(0);
        QCOMPARE(measures.name(), u"Measures");
        QCOMPARE(measures.uniqueName(), u"[Measures]");
        const Level measuresLevel = measures.hierarchies().item(0).levels().item(0);
        QCOMPARE(measuresLevel.uniqueName(), u"[Measures].[MeasuresLevel]");
        QCOMPARE(measures.hierarchies().item(0).levels().count(), 1);

        QSet<QString> dimensionNames;
        QSet<QString> levelNames;
        for (const Dimension &dimension : dimensions) {
            QVERIFY2(!dimensionNames.contains(dimension.uniqueName()), context);
            dimensionNames.insert(dimension.uniqueName());
            for (const Hierarchy &hierarchy : dimension.hierarchies()) {
                QVERIFY2(hierarchy.levels().count() > 0, context);
                for (const Level &level : hierarchy.levels()) {
                    QVERIFY2(!levelNames.contains(level.uniqueName()), context);
                    levelNames.insert(level.uniqueName());
                    QVERIFY2(level.uniqueName().startsWith(hierarchy.uniqueName()
                                                           + QStringLiteral(".[")),
                             qPrintable(level.uniqueName()));
                    if (dimension.name() != u"Measures")
                        QVERIFY2(level.members().count() == 0, context);
                }
            }
        }
        // Asking again gives the same answer without reading anything anew.
        QCOMPARE(cube.dimensions().count(), dimensions.count());
    }
}

QTEST_GUILESS_MAIN(TestCatalogModel)
#include "tst_catalog_model.moc"
