// The XML for Analysis data source against the real test server (scripts/olap-server.sh,
// started by the CTest fixture): connecting, the cube list, every cube's schema, the schema
// file read two ways, and statements built by the model run on the server.
#include "catalog/catalog.h"
#include "catalog/opendatasource.h"
#include "catalog/schemadatasource.h"
#include "catalog/xmladatasource.h"
#include "model/layouttree.h"
#include "model/mdxstatement.h"
#include "model/measurelist.h"

#include <QFile>
#include <QTcpServer>
#include <QTest>

using namespace mdx;

namespace {

const QString SchemaFile = QStringLiteral(MDX_TEST_DATA_DIR "/xmla/olaptest-schema.xml");

QString stateFile(const QString &name)
{
    const QString dir = qEnvironmentVariable("OLAP_SERVER_STATE_DIR");
    QFile file(dir + u'/' + name);
    if (dir.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

template<typename Operation> std::optional<Failure> failureOf(Operation &&operation)
{
    try {
        operation();
    } catch (const Failure &failure) {
        return failure;
    }
    return std::nullopt;
}

// What the wizard shows of a cube: the dimensions but Measures, each with the levels of its
// first hierarchy, and the members of the first level of Measures' first hierarchy.
struct Shown
{
    struct Dimension
    {
        QString name, uniqueName;
        QStringList levels, levelUniqueNames;
    };
    QList<Dimension> dimensions;
    QStringList measures;
};

Shown shownOf(const CubeSchema &schema)
{
    Shown shown;
    for (const DimensionInfo &d : schema.dimensions) {
        const HierarchyInfo &first = d.hierarchies.at(0);
        if (d.name == QLatin1String("Measures")) {
            for (const MemberInfo &m : first.levels.at(0).members)
                shown.measures.append(m.name);
            continue;
        }
        Shown::Dimension dimension { d.name, d.uniqueName, {}, {} };
        for (const LevelInfo &l : first.levels) {
            dimension.levels.append(l.name);
            dimension.levelUniqueNames.append(l.uniqueName);
        }
        shown.dimensions.append(dimension);
    }
    return shown;
}

// One axis tree's content: dimensions in order, each with the levels to check.
struct Placed
{
    const Shown::Dimension *dimension;
    QList<int> checked; // level positions
};

void place(LayoutTree &tree, const QList<Placed> &placed)
{
    for (const Placed &p : placed) {
        tree.add(p.dimension->uniqueName, p.dimension->name);
        for (qsizetype l = 0; l < p.dimension->levels.size(); ++l) {
            Node *level = tree.add(p.dimension->uniqueName, LayoutTree::Child,
                                   p.dimension->levelUniqueNames.at(l), p.dimension->levels.at(l));
            level->setChecked(p.checked.contains(int(l)));
        }
    }
}

QString statement(const QString &cube, const QStringList &measures, const QStringList &ticked,
                  const QList<Placed> &rows, const QList<Placed> &columns = {},
                  const QList<Placed> &slicers = {})
{
    LayoutTree rowTree, columnTree, slicerTree;
    place(rowTree, rows);
    place(columnTree, columns);
    place(slicerTree, slicers);
    MeasureList list;
    for (const QString &m : measures) {
        list.addItem(m);
        list.setTicked(list.newIndex(), ticked.contains(m));
    }
    return composeMdx(rowTree, columnTree, slicerTree, list, cube);
}

bool hasAllLevel(const Shown::Dimension &d)
{
    return !d.levels.isEmpty() && d.levels.first() == QLatin1String("(All)");
}

} // namespace

class TestXmlaServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void connectAndListCubes();
    void everyCubeCostsFourRequests();
    void badCatalogWrongPortAndCredentials();
    void sameSchemaReadTwoWays();
    void statementsBuiltByTheModelRun();
    void formsTheServerRejects();

private:
    std::shared_ptr<XmlaDataSource> openServer() const;

    QString mUrl;
};

void TestXmlaServer::initTestCase()
{
    mUrl = stateFile(QStringLiteral("url"));
    if (mUrl.isEmpty())
        QFAIL("no test server: run through ctest (fixture olap_server) or start "
              "scripts/olap-server.sh and set OLAP_SERVER_STATE_DIR");
}

std::shared_ptr<XmlaDataSource> TestXmlaServer::openServer() const
{
    ConnectionString cs;
    cs.dataSource = mUrl;
    cs.initialCatalog = QStringLiteral("olaptest");
    return XmlaDataSource::open(cs);
}

void TestXmlaServer::connectAndListCubes()
{
    Connection connection;
    connection.open(
        QStringLiteral("Provider=MSOLAP;Data Source=%1;Initial Catalog=OlapTest").arg(mUrl));
    Catalog catalog;
    catalog.setActiveConnection(connection);
    const CubeDefs cubes = catalog.cubeDefs();
    QStringList names;
    for (const CubeDef &cube : cubes)
        names.append(cube.name());
    QCOMPARE(names, QStringList({ "Budget", "Sales", "Warehouse", "Warehouse and Sales" }));
    QCOMPARE(cubes.item(1).description(), QStringLiteral("Sales of the test stores"));
    QCOMPARE(cubes.item(3).description(), QStringLiteral("Sales and stock side by side"));
    const Collection<Dimension> dimensions = cubes.item(1).dimensions();
    QCOMPARE(dimensions.item(0).name(), QStringLiteral("Measures"));
    QCOMPARE(dimensions.item(1).uniqueName(), QStringLiteral("[Store]"));
}

void TestXmlaServer::everyCubeCostsFourRequests()
{
    const auto source = openServer();
    const int afterOpen = source->requestCount();
    const QList<CubeInfo> cubes = source->cubes();
    QCOMPARE(source->requestCount(), afterOpen + 1);
    for (int i = 0; i < cubes.size(); ++i) {
        const int before = source->requestCount();
        const auto schema = source->cubeSchema(i);
        QCOMPARE(source->requestCount() - before, 4);
        QVERIFY(!shownOf(*schema).measures.isEmpty());
    }
    // The cube whose only dimension besides Measures has one level and no All member.
    const Shown budget = shownOf(*source->cubeSchema(0));
    QCOMPARE(budget.dimensions.size(), 1);
    QCOMPARE(budget.dimensions.at(0).levels, QStringList({ "Scenario" }));
}

void TestXmlaServer::badCatalogWrongPortAndCredentials()
{
    Connection connection;
    auto failure = failureOf([&] {
        connection.open(
            QStringLiteral("Provider=MSOLAP;Data Source=%1;Initial Catalog=FoodMart").arg(mUrl));
    });
    QVERIFY(failure);
    QVERIFY2(failure->description().contains(u"OlapTest"), qPrintable(failure->description()));

    quint16 port = 0;
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        port = closed.serverPort();
    }
    failure = failureOf([&] {
        Connection c;
        c.open(QStringLiteral("Provider=MSOLAP;Data Source=http://127.0.0.1:%1/xmla").arg(port));
    });
    QVERIFY(failure);
    QCOMPARE(failure->code(), XmlaFailure::ConnectionRefused);

    // The same catalog behind Basic authentication.
    const QString secureUrl = stateFile(QStringLiteral("secure-url"));
    const QString user = stateFile(QStringLiteral("user"));
    const QString password = stateFile(QStringLiteral("password"));
    QVERIFY(!secureUrl.isEmpty() && !user.isEmpty() && password.size() >= 8);
    const QString base
        = QStringLiteral("Provider=MSOLAP;Data Source=%1;User ID=%2;").arg(secureUrl, user);
    Connection secure;
    secure.open(base + QStringLiteral("Password=%1").arg(password));
    QCOMPARE(secure.dataSource()->catalogName(), QStringLiteral("OlapTest"));

    const QString wrong = password + QStringLiteral("x");
    failure = failureOf([&] {
        Connection c;
        c.open(base + QStringLiteral("Password=%1").arg(wrong));
    });
    QVERIFY(failure);
    QCOMPARE(failure->code(), XmlaFailure::NotAuthorized);
    QVERIFY(!(failure->description() + failure->source()).contains(password));

    failure = failureOf([&] {
        Connection c;
        c.open(QStringLiteral("Provider=MSOLAP;Data Source=%1").arg(secureUrl));
    });
    QVERIFY(failure);
    QCOMPARE(failure->code(), XmlaFailure::NotAuthorized);
}

// Allowed differences, which the server makes on its own:
// - cube order: the server lists cubes by name, the file in definition order;
// - descriptions: the server makes one up for a cube that has none ("... Warehouse Cube");
// - names of second hierarchies ("Time.Weekly"): only first hierarchies are shown.
void TestXmlaServer::sameSchemaReadTwoWays()
{
    const auto file = openSchemaFile(SchemaFile, QString(), QStringLiteral("the test schema"));
    const auto server = openServer();
    QCOMPARE(server->catalogName(), file->catalogName());
    const QList<CubeInfo> fileCubes = file->cubes();
    const QList<CubeInfo> serverCubes = server->cubes();
    QCOMPARE(serverCubes.size(), fileCubes.size());
    for (int f = 0; f < fileCubes.size(); ++f) {
        int s = 0;
        while (s < serverCubes.size() && serverCubes.at(s).name != fileCubes.at(f).name)
            ++s;
        QVERIFY2(s < serverCubes.size(), qPrintable(fileCubes.at(f).name));
        if (!fileCubes.at(f).description.isEmpty())
            QCOMPARE(serverCubes.at(s).description, fileCubes.at(f).description);

        const Shown a = shownOf(*file->cubeSchema(f));
        const Shown b = shownOf(*server->cubeSchema(s));
        const QString cube = fileCubes.at(f).name;
        QVERIFY2(a.dimensions.size() == b.dimensions.size(), qPrintable(cube));
        for (qsizetype d = 0; d < a.dimensions.size(); ++d) {
            QCOMPARE(b.dimensions.at(d).name, a.dimensions.at(d).name);
            QCOMPARE(b.dimensions.at(d).uniqueName, a.dimensions.at(d).uniqueName);
            QCOMPARE(b.dimensions.at(d).levels, a.dimensions.at(d).levels);
            QCOMPARE(b.dimensions.at(d).levelUniqueNames, a.dimensions.at(d).levelUniqueNames);
        }
        QCOMPARE(b.measures, a.measures);
    }
}

void TestXmlaServer::statementsBuiltByTheModelRun()
{
    const auto server = openServer();
    const QList<CubeInfo> cubes = server->cubes();
    int run = 0;
    auto expectRuns = [&](const QString &mdx) {
        const auto failure = failureOf([&] { server->execute(mdx); });
        if (failure)
            QFAIL(qPrintable(mdx + QStringLiteral("\n  -> ") + failure->description()));
        ++run;
    };
    for (int c = 0; c < cubes.size(); ++c) {
        const QString cube = cubes.at(c).name;
        const Shown shown = shownOf(*server->cubeSchema(c));
        const QStringList &measures = shown.measures;
        const QList<Shown::Dimension> &dims = shown.dimensions;

        expectRuns(statement(cube, measures, measures, {}));
        for (const Shown::Dimension &d : dims) {
            const int levels = int(d.levels.size());
            // "(All)" form only where the dimension has one (the other case is rejected below)
            if (hasAllLevel(d))
                expectRuns(statement(cube, measures, measures, { { &d, {} } }));
            for (int l = 0; l < levels; ++l)
                expectRuns(statement(cube, measures, { measures.first() }, { { &d, { l } } }));
            QList<int> all;
            for (int l = 0; l < levels; ++l)
                all.append(l);
            if (levels >= 2)
                expectRuns(statement(cube, measures, measures, { { &d, all } }));
            // The same set from the column and slicer trees (both feed rows).
            expectRuns(statement(cube, measures, measures, {}, { { &d, { levels - 1 } } }));
            expectRuns(statement(cube, measures, measures, {}, {}, { { &d, { 0 } } }));
        }
        const int last = int(dims.size()) - 1;
        if (dims.size() >= 2)
            expectRuns(statement(cube, measures, measures,
                                 { { &dims[0], { 1 } }, { &dims[last], { 0, 1 } } }));
        if (dims.size() >= 3) {
            expectRuns(statement(cube, measures, measures,
                                 { { &dims[0], { 1 } }, { &dims[1], { 1 } }, { &dims[2], {} } }));
            // All three trees filled.
            expectRuns(statement(cube, measures, { measures.last() }, { { &dims[0], { 1 } } },
                                 { { &dims[1], { 0, 2 } } }, { { &dims[2], { 1 } } }));
            // Three trees of which one holds two dimensions.
            expectRuns(statement(cube, measures, measures,
                                 { { &dims[0], { 1 } }, { &dims[last], { 1 } } },
                                 { { &dims[1], { 1 } } }, { { &dims[2], { 1 } } }));
        }
    }
    // The measure whose name holds "]", alone.
    const QString sales = QStringLiteral("Sales");
    const Shown shown = shownOf(*server->cubeSchema(1));
    QVERIFY(shown.measures.contains(QStringLiteral("Sales [Net]")));
    expectRuns(statement(sales, shown.measures, { QStringLiteral("Sales [Net]") },
                         { { &shown.dimensions[0], { 1 } } }));
    qInfo("%d statements ran on the server", run);
    QVERIFY(run > 60);
}

// Two forms the wizard writes although a server may refuse them: they are expected to fail
// with the server's own description, not to be hidden.
void TestXmlaServer::formsTheServerRejects()
{
    const auto server = openServer();
    const Shown budget = shownOf(*server->cubeSchema(0));
    const Shown::Dimension &scenario = budget.dimensions.at(0);
    QVERIFY(!hasAllLevel(scenario));
    const QString allOfScenario = statement(QStringLiteral("Budget"), budget.measures,
                                            budget.measures, { { &scenario, {} } });
    QCOMPARE(allOfScenario,
             QStringLiteral("select {[Scenario].[(All)].members} on rows, {[Measures].[Amount]} on "
                            "columns from Budget"));
    auto failure = failureOf([&] { server->execute(allOfScenario); });
    QVERIFY(failure);
    QCOMPARE(failure->source(), QStringLiteral("Mondrian"));
    QVERIFY2(failure->description().contains(u"[Scenario].[(All)]"),
             qPrintable(failure->description()));

    const Shown sales = shownOf(*server->cubeSchema(1));
    const QString noMeasure = statement(QStringLiteral("Sales"), sales.measures, {},
                                        { { &sales.dimensions[0], { 1 } } });
    QVERIFY(noMeasure.contains(u"{} on columns"));
    failure = failureOf([&] { server->execute(noMeasure); });
    QVERIFY(failure);
    QCOMPARE(failure->source(), QStringLiteral("Mondrian"));
    QVERIFY(!failure->description().isEmpty());
}

QTEST_GUILESS_MAIN(TestXmlaServer)
#include "tst_xmlaserver.moc"
