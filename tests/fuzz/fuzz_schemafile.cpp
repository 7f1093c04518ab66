// A schema file opened through a connection, as a user's "Data Source=<file>" opens it, and
// every cube walked down to the measures: each step either works or fails with a failure.
#include "catalog/catalog.h"
#include "fuzzing.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

using namespace mdx;

namespace {

void walk(const CubeDef &cube)
{
    for (const Dimension &dimension : cube.dimensions()) {
        dimension.name();
        dimension.uniqueName();
        for (const Hierarchy &hierarchy : dimension.hierarchies()) {
            hierarchy.uniqueName();
            for (const Level &level : hierarchy.levels()) {
                level.uniqueName();
                for (const Member &member : level.members())
                    member.name();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("schema.xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        fuzz::finding("cannot write the schema file", path);
    file.close();

    Catalog catalog;
    CubeDefs cubes;
    try {
        Connection connection;
        connection.open(QStringLiteral("Provider=MSOLAP;Data Source=") + path);
        catalog.setActiveConnection(connection);
        cubes = catalog.cubeDefs();
    } catch (const Failure &failure) {
        fuzz::checkFailure(failure);
        return 0;
    }
    // A fault inside one cube fails only that cube.
    for (const CubeDef &cube : cubes) {
        try {
            walk(cube);
        } catch (const Failure &failure) {
            fuzz::checkFailure(failure);
        }
    }
    return 0;
}
