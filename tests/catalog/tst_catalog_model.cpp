// The catalog object model over a data source made in code: what it reads when, what its
// objects hold, and how it fails when misused. What every source promises: the contract test.
#include "catalogtesting.h"
#include "fakedatasource.h"

#include <functional>

using namespace mdx;
using test::failureOf;
using test::FakeDataSource;

using Operation = std::function<void()>;
Q_DECLARE_METATYPE(Operation)

static Catalog catalogOver(const std::shared_ptr<DataSource> &source)
{
    Catalog catalog;
    catalog.setActiveConnection(Connection::fromDataSource(source));
    return catalog;
}

class TestCatalogModel : public QObject
{
    Q_OBJECT

private slots:
    void connectionCopiesShareOneConnection()
    {
        Connection connection;
        const Connection copy = connection;
        connection.open(QStringLiteral("provider=msolap;data source=local"));
        const auto source = copy.dataSource();
        QCOMPARE(source, connection.dataSource());
        // Opening an open connection is refused and leaves it as it was.
        VERIFY_FAILURE(failureOf([&] { connection.open(QStringLiteral("data source=local")); }),
                       CatalogFailure::AlreadyOpen, "already open");
        QCOMPARE(copy.dataSource(), source);
    }

    // The cube list is read once per catalog binding, each cube's schema on its first use, and
    // the objects hold what they need when catalog, connection and source are gone.
    void readsOnFirstUse()
    {
        const auto source = test::salesSource();
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

    void misuseFails_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("expected");
        const auto add = [](const char *name, qint32 code, const char *part, Operation operation) {
            QTest::newRow(name) << operation << code << QString::fromUtf8(part);
        };
        using namespace CatalogFailure;
        add("closed connection", NotOpen, "not open", [] { Connection().dataSource(); });
        add("binding a closed connection", NotOpen, "not open",
            [] { Catalog().setActiveConnection(Connection()); });
        add("catalog without a connection", NotOpen, "no active connection",
            [] { Catalog().cubeDefs(); });
        add("unset object", ObjectNotSet, "The level object is not set.", [] { Level().name(); });
        add("unset cube", ObjectNotSet, "cube definition", [] { CubeDef().dimensions(); });
        const CubeDefs cubes = catalogOver(test::salesSource()).cubeDefs();
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

    void misuseFails()
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
            const auto source = test::salesSource();
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

QTEST_GUILESS_MAIN(TestCatalogModel)
#include "tst_catalog_model.moc"
