// Opening catalogs: a large generated schema file, and the embedded sample.
#include "catalog/catalog.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace mdx;

namespace {

// One cube of `dimensions` private dimensions, each one hierarchy of `levels` levels, and
// `measures` stored measures, written with the clutter a real schema carries (tables,
// columns, properties) so that skipping it is measured too.
QString writeLargeSchema(const QString &folder, int dimensions, int levels, int measures)
{
    const QString path = folder + QStringLiteral("/large.xml");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    QByteArray xml = "<?xml version=\"1.0\"?>\n<Schema name=\"Large\">\n"
                     "<Cube name=\"Big\" description=\"Generated\">\n<Table name=\"fact\"/>\n";
    for (int d = 0; d < dimensions; ++d) {
        xml += QStringLiteral("<Dimension name=\"Dimension %1\" foreignKey=\"d%1_id\">\n"
                              "<Hierarchy hasAll=\"true\" primaryKey=\"id\">\n"
                              "<Table name=\"dim_%1\"/>\n")
                   .arg(d)
                   .toUtf8();
        for (int l = 0; l < levels; ++l)
            xml += QStringLiteral("<Level name=\"Level %1\" column=\"c%1\" uniqueMembers=\"false\">"
                                  "<Property name=\"P\" column=\"p\"/></Level>\n")
                       .arg(l)
                       .toUtf8();
        xml += "</Hierarchy>\n</Dimension>\n";
    }
    for (int m = 0; m < measures; ++m)
        xml += QStringLiteral("<Measure name=\"Measure %1\" column=\"m%1\" aggregator=\"sum\"/>\n")
                   .arg(m)
                   .toUtf8();
    xml += "</Cube>\n</Schema>\n";
    file.write(xml);
    return path;
}

const QString &largeSchemaPath()
{
    static QTemporaryDir folder;
    static const QString path = writeLargeSchema(folder.path(), 2000, 10, 2000);
    return path;
}

// What the window does with a cube: every name of every dimension's first hierarchy, and the
// measures.
qsizetype walk(const CubeDef &cube)
{
    qsizetype names = 0;
    for (const Dimension &dimension : cube.dimensions()) {
        names += dimension.uniqueName().size();
        for (const Level &level : dimension.hierarchies().item(0).levels()) {
            names += level.uniqueName().size();
            for (const Member &member : level.members())
                names += member.name().size();
        }
    }
    return names;
}

// A catalog bound to a newly opened connection to the large file.
Catalog openLargeCatalog()
{
    Connection connection;
    connection.open(QStringLiteral("data source=\"%1\"").arg(largeSchemaPath()));
    Catalog catalog;
    catalog.setActiveConnection(connection);
    return catalog;
}

// Open only: the file is read and checked, the cube list made.
void openLargeSchema(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(openLargeCatalog().cubeDefs().count());
    state.SetLabel(
        QStringLiteral("%1 KiB").arg(QFile(largeSchemaPath()).size() / 1024).toStdString());
}
BENCHMARK(openLargeSchema)->Unit(benchmark::kMillisecond);

// Open, then read the cube's dimensions, levels and measures as a cube load does.
void loadLargeCube(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(walk(openLargeCatalog().cubeDefs().item(0)));
}
BENCHMARK(loadLargeCube)->Unit(benchmark::kMillisecond);

// The default connection: open the sample and list its cubes.
void openSample(benchmark::State &state)
{
    for (auto _ : state) {
        Connection connection;
        connection.open(
            QStringLiteral("provider=msolap;data source=local;initial catalog=foodmart 2000"));
        Catalog catalog;
        catalog.setActiveConnection(connection);
        benchmark::DoNotOptimize(catalog.cubeDefs().count());
    }
}
BENCHMARK(openSample)->Unit(benchmark::kMicrosecond);

// The sample opened and every one of its cubes loaded.
void loadEverySampleCube(benchmark::State &state)
{
    for (auto _ : state) {
        Connection connection;
        connection.open(QStringLiteral("data source=local"));
        Catalog catalog;
        catalog.setActiveConnection(connection);
        qsizetype names = 0;
        for (const CubeDef &cube : catalog.cubeDefs())
            names += walk(cube);
        benchmark::DoNotOptimize(names);
    }
}
BENCHMARK(loadEverySampleCube)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
