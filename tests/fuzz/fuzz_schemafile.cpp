// A schema file opened through a connection, as a user's "Data Source=<file>" opens it, and
// every cube walked down to the members: each step either works or fails with a failure.
#include "catalog/catalog.h"
#include "fuzzing.h"

#include <QFile>
#include <QTemporaryDir>

using namespace mdx;

int mdx::fuzz::run(const QByteArray &input)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("schema.xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input) != input.size())
        finding("cannot write the schema file", path);
    file.close();

    Connection connection;
    connection.open(QStringLiteral("Provider=MSOLAP;Data Source=") + path);
    Catalog catalog;
    catalog.setActiveConnection(connection);
    // A fault inside one cube fails only that cube.
    for (const CubeDef &cube : catalog.cubeDefs()) {
        try {
            for (const Dimension &dimension : cube.dimensions())
                for (const Hierarchy &hierarchy : dimension.hierarchies())
                    for (const Level &level : hierarchy.levels())
                        level.members().count();
        } catch (const Failure &failure) {
            checkFailure(failure);
        }
    }
    return 0;
}
