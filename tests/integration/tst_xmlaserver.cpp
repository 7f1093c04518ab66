// The XML for Analysis data source against the real test server (scripts/olap-server.sh,
// started by the CTest fixture): credentials, every cube's schema read from the server and from
// its schema file, and statements built by the model run on the server.
#include "catalog/catalog.h"
#include "catalog/opendatasource.h"
#include "catalog/schemadatasource.h"
#include "catalog/xmladatasource.h"
#include "model/layouttree.h"
#include "model/mdxstatement.h"
#include "model/measurelist.h"

#include "../catalog/catalogtesting.h"

#include <QFile>
#include <QTest>

using namespace mdx;
using test::failureOf;

namespace {

QString stateFile(const QString &name)
{
    QFile file(qEnvironmentVariable("OLAP_SERVER_STATE_DIR") + u'/' + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

// What the wizard shows of a cube: the measures (the members of the first level of
// Measures), and the other dimensions with the levels of their first hierarchy.
QStringList measuresOf(const CubeSchema &schema)
{
    QStringList names;
    for (const MemberInfo &m : schema.dimensions.at(0).hierarchies.at(0).levels.at(0).members)
        names << m.name;
    return names;
}

QList<const DimensionInfo *> dimensionsOf(const CubeSchema &schema)
{
    QList<const DimensionInfo *> shown;
    for (qsizetype d = 1; d < schema.dimensions.size(); ++d)
        shown << &schema.dimensions[d]; // the measures come first
    return shown;
}

const QList<LevelInfo> &levelsOf(const DimensionInfo *dimension)
{
    return dimension->hierarchies.at(0).levels;
}

QStringList shown(const CubeSchema &schema)
{
    QStringList lines { measuresOf(schema).join(u", ") };
    for (const DimensionInfo *d : dimensionsOf(schema)) {
        lines << d->name + u' ' + d->uniqueName + u':';
        for (const LevelInfo &l : levelsOf(d))
            lines.last() += u' ' + l.name + u' ' + l.uniqueName;
    }
    return lines;
}

// One tree of the layout: dimensions in order, each with the positions of its checked levels.
using Tree = QList<std::pair<const DimensionInfo *, QList<int>>>;

QString statement(const QString &cube, const QStringList &measures, const QStringList &ticked,
                  const Tree &rows, const Tree &columns = {}, const Tree &slicers = {})
{
    LayoutTree trees[3];
    const Tree *contents[] = { &rows, &columns, &slicers };
    for (int t = 0; t < 3; ++t) {
        for (const auto &[dimension, checked] : *contents[t]) {
            trees[t].add(dimension->uniqueName, dimension->name);
            for (int l = 0; l < levelsOf(dimension).size(); ++l)
                trees[t]
                    .add(dimension->uniqueName, LayoutTree::Child,
                         levelsOf(dimension).at(l).uniqueName, levelsOf(dimension).at(l).name)
                    ->setChecked(checked.contains(l));
        }
    }
    MeasureList list;
    for (const QString &m : measures) {
        list.addItem(m);
        list.setTicked(list.newIndex(), ticked.contains(m));
    }
    return composeMdx(trees[0], trees[1], trees[2], list, cube);
}

} // namespace

class TestXmlaServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        mUrl = stateFile(QStringLiteral("url"));
        if (mUrl.isEmpty())
            QFAIL("no test server: run through ctest (fixture olap_server) or start "
                  "scripts/olap-server.sh and set OLAP_SERVER_STATE_DIR");
    }

    // The same catalog behind Basic authentication; the password never shows in a failure.
    void credentials()
    {
        const QString secure
            = QStringLiteral("Provider=MSOLAP;Data Source=%1;User ID=%2;")
                  .arg(stateFile(QStringLiteral("secure-url")), stateFile(QStringLiteral("user")));
        const QString password = stateFile(QStringLiteral("password"));
        QVERIFY(password.size() >= 8);
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

    // Allowed differences, which the server makes on its own:
    // - cube order: the server lists cubes by name, the file in definition order;
    // - descriptions: the server makes one up for a cube that has none ("... Warehouse Cube");
    // - names of second hierarchies ("Time.Weekly"): only first hierarchies are shown.
    void sameSchemaReadTwoWays()
    {
        const auto file
            = openSchemaFile(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/olaptest-schema.xml"),
                             QString(), QStringLiteral("the test schema"));
        Connection connection;
        connection.open(
            QStringLiteral("Provider=MSOLAP;Data Source=%1;Initial Catalog=OlapTest").arg(mUrl));
        const auto server = connection.dataSource();
        QCOMPARE(server->catalogName(), file->catalogName());
        const QList<CubeInfo> fileCubes = file->cubes();
        const QList<CubeInfo> serverCubes = server->cubes();
        QCOMPARE(serverCubes.size(), fileCubes.size());
        for (int f = 0; f < fileCubes.size(); ++f) {
            const CubeInfo &cube = fileCubes.at(f);
            const auto s = std::find_if(serverCubes.cbegin(), serverCubes.cend(),
                                        [&](const CubeInfo &c) { return c.name == cube.name; });
            QVERIFY2(s != serverCubes.cend(), qPrintable(cube.name));
            QVERIFY(cube.description.isEmpty() || s->description == cube.description);
            QCOMPARE(shown(*server->cubeSchema(int(s - serverCubes.cbegin()))),
                     shown(*file->cubeSchema(f)));
        }
    }

    void statementsBuiltByTheModelRun()
    {
        const auto server = openServer();
        const QList<CubeInfo> cubes = server->cubes();
        int run = 0;
        for (int c = 0; c < cubes.size(); ++c) {
            const QString cube = cubes.at(c).name;
            const auto schema = server->cubeSchema(c);
            const QStringList m = measuresOf(*schema);
            const QList<const DimensionInfo *> d = dimensionsOf(*schema);
            QList<std::tuple<QStringList, Tree, Tree, Tree>> layouts { { m, {}, {}, {} } };
            for (const DimensionInfo *dimension : d) {
                const int levels = int(levelsOf(dimension).size());
                // "(All)" only where the dimension has one (the other case is rejected below).
                if (levelsOf(dimension).first().name == u"(All)")
                    layouts.append({ m, { { dimension, {} } }, {}, {} });
                QList<int> all;
                for (int l = 0; l < levels; ++l) {
                    layouts.append({ { m.first() }, { { dimension, { l } } }, {}, {} });
                    all << l;
                }
                if (levels >= 2)
                    layouts.append({ m, { { dimension, all } }, {}, {} });
                // The same set from the column and slicer trees (both feed rows).
                layouts.append({ m, {}, { { dimension, { levels - 1 } } }, {} });
                layouts.append({ m, {}, {}, { { dimension, { 0 } } } });
            }
            if (d.size() >= 2)
                layouts.append({ m, { { d.first(), { 1 } }, { d.last(), { 0, 1 } } }, {}, {} });
            if (d.size() >= 3) {
                layouts.append({ m, { { d[0], { 1 } }, { d[1], { 1 } }, { d[2], {} } }, {}, {} });
                // All three trees filled, one of them with two dimensions.
                layouts.append({ { m.last() },
                                 { { d[0], { 1 } } },
                                 { { d[1], { 0, 2 } } },
                                 { { d[2], { 1 } } } });
                layouts.append({ m,
                                 { { d[0], { 1 } }, { d.last(), { 1 } } },
                                 { { d[1], { 1 } } },
                                 { { d[2], { 1 } } } });
            }
            // The measure whose name holds "]", alone.
            if (m.contains(u"Sales [Net]"))
                layouts.append({ { QStringLiteral("Sales [Net]") }, { { d[0], { 1 } } }, {}, {} });
            for (const auto &[ticked, rows, columns, slicers] : layouts) {
                const QString mdx = statement(cube, m, ticked, rows, columns, slicers);
                if (const auto failure = failureOf([&] { server->execute(mdx); }))
                    QFAIL(qPrintable(mdx + QStringLiteral("\n  -> ") + failure->description()));
            }
            run += int(layouts.size());
        }
        qInfo("%d statements ran on the server", run);
        QVERIFY(run > 60);
    }

    // Two forms the wizard writes although a server may refuse them: they are expected to fail
    // with the server's own description, not to be hidden.
    void formsTheServerRejects()
    {
        const auto server = openServer();
        const auto budget = server->cubeSchema(0);
        const DimensionInfo *scenario = dimensionsOf(*budget).at(0);
        QVERIFY(levelsOf(scenario).first().name != u"(All)");
        const QString allOfScenario = statement(QStringLiteral("Budget"), measuresOf(*budget),
                                                measuresOf(*budget), { { scenario, {} } });
        QVERIFY(allOfScenario.contains(u"{[Scenario].[(All)].members} on rows"));
        const auto sales = server->cubeSchema(1);
        const QString noMeasure = statement(QStringLiteral("Sales"), measuresOf(*sales), {},
                                            { { dimensionsOf(*sales).at(0), { 1 } } });
        QVERIFY(noMeasure.contains(u"{} on columns"));
        const std::pair<QString, QString> rejected[]
            = { { allOfScenario, "[Scenario].[(All)]" }, { noMeasure, QString() } };
        for (const auto &[mdx, named] : rejected) {
            const auto failure = failureOf([&] { server->execute(mdx); });
            QVERIFY2(failure, qPrintable(mdx));
            QCOMPARE(failure->source(), QStringLiteral("Mondrian"));
            QVERIFY2(!failure->description().isEmpty() && failure->description().contains(named),
                     qPrintable(failure->description()));
        }
    }

private:
    std::shared_ptr<XmlaDataSource> openServer() const
    {
        return XmlaDataSource::open(
            parseConnectionString("Data Source=" + mUrl + ";Initial Catalog=olaptest"));
    }

    QString mUrl;
};

QTEST_GUILESS_MAIN(TestXmlaServer)
#include "tst_xmlaserver.moc"
