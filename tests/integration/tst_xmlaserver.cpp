// The XML for Analysis data source against the real test server (scripts/olap-server.sh,
// started by the CTest fixture): credentials, every cube's schema read from the server and from
// its schema file, and statements built by the model run on the server.
#include "catalog/catalog.h"
#include "catalog/opendatasource.h"
#include "catalog/schemadatasource.h"
#include "catalog/xmladatasource.h"

#include "catalogtesting.h"
#include "treebuilder.h"

#include <QFile>
#include <QTest>

using namespace mdx;

namespace {

QString stateFile(const QString &name)
{
    QFile file(qEnvironmentVariable("OLAP_SERVER_STATE_DIR") + u'/' + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

const QList<LevelInfo> &levelsOf(const DimensionInfo &dimension)
{
    return dimension.hierarchies.at(0).levels;
}

// What the wizard shows of a cube: the measures (the members of the first level of
// Measures, which comes first), and the other dimensions with the levels of their first
// hierarchy.
QStringList shown(const CubeSchema &schema)
{
    QStringList lines { QString() };
    for (const MemberInfo &m : levelsOf(schema.dimensions.at(0)).at(0).members)
        lines[0] += m.name + u'|';
    for (const DimensionInfo &d : schema.dimensions.mid(1)) {
        lines << d.name + u' ' + d.uniqueName + u':';
        for (const LevelInfo &l : levelsOf(d))
            lines.last() += u' ' + l.name + u' ' + l.uniqueName;
    }
    return lines;
}

// A dimension in the notation of fill(), the levels at these positions checked.
QString layout(const DimensionInfo &dimension, const QList<int> &checked)
{
    QStringList levels;
    for (int l = 0; l < levelsOf(dimension).size(); ++l)
        levels << levelsOf(dimension).at(l).name + (checked.contains(l) ? "*" : "");
    return dimension.name + u'=' + levels.join(u',');
}

} // namespace

class TestXmlaServer : public QObject
{
    Q_OBJECT

    QString mUrl;

    std::shared_ptr<XmlaDataSource> openServer() const
    {
        return XmlaDataSource::open(
            parseConnectionString("Data Source=" + mUrl + ";Initial Catalog=olaptest"));
    }

private slots:
    void initTestCase()
    {
        mUrl = stateFile(QStringLiteral("url"));
        QVERIFY2(!mUrl.isEmpty(), "no test server: run through ctest (fixture olap_server)");
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

    // Through a connection, as the window reads it. Allowed differences, which the server
    // makes on its own: it lists cubes by name (the file in definition order), and makes up a
    // description for a cube that has none.
    void sameSchemaReadTwoWays()
    {
        const auto file
            = openSchemaFile(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/olaptest-schema.xml"),
                             QString(), QStringLiteral("the test schema"));
        Connection connection;
        connection.open("Provider=MSOLAP;Data Source=" + mUrl + ";Initial Catalog=OlapTest");
        const auto server = connection.dataSource();
        QCOMPARE(server->catalogName(), file->catalogName());
        const QList<CubeInfo> serverCubes = server->cubes(), fileCubes = file->cubes();
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

    // Every level of every dimension on each axis, alone and together, and a ticked measure
    // whose name holds "]": the server runs whatever the model writes.
    void statementsBuiltByTheModelRun()
    {
        const auto server = openServer();
        int run = 0;
        for (int c = 0; c < server->cubes().size(); ++c) {
            const auto schema = server->cubeSchema(c);
            const QList<DimensionInfo> d = schema->dimensions.mid(1);
            const QStringList m = shown(*schema).first().split(u'|', Qt::SkipEmptyParts);
            const QString all = m.join("*|") + u'*';
            QList<std::pair<QStringList, QString>> layouts { { {}, all } };
            for (const DimensionInfo &dimension : d) {
                const int levels = int(levelsOf(dimension).size());
                // "(All)" only where the dimension has one: a server refuses it elsewhere.
                if (levelsOf(dimension).first().name == u"(All)")
                    layouts.append({ { layout(dimension, {}) }, all });
                QList<int> every;
                for (int l = 0; l < levels; ++l) {
                    layouts.append({ { layout(dimension, { l }) }, m.first() + u'*' });
                    every << l;
                }
                layouts.append({ { layout(dimension, every) }, all });
            }
            // Every tree filled, one of them with two dimensions (column and slicer sets
            // join the rows).
            if (d.size() >= 3)
                layouts.append({ { layout(d[0], { 1 }) + u';' + layout(d.last(), { 1 }),
                                   layout(d[1], { 0, 2 }), layout(d[2], {}) },
                                 m.last() + u'*' });
            if (m.contains(u"Sales [Net]"))
                layouts.append({ { layout(d[0], { 1 }) }, QStringLiteral("Sales [Net]*") });
            for (const auto &[axes, measures] : layouts) {
                const QString mdx = compose(axes, measures, server->cubes().at(c).name);
                if (const auto failure = test::failureOf([&] { server->execute(mdx); }))
                    QFAIL(qPrintable(mdx + QStringLiteral("\n  -> ") + failure->description()));
            }
            run += int(layouts.size());
        }
        QVERIFY(run > 40);
    }
};

QTEST_GUILESS_MAIN(TestXmlaServer)
#include "tst_xmlaserver.moc"
