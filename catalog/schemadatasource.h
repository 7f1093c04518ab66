#pragma once

#include "datasource.h"
#include "schemareader.h"

#include <QList>
#include <QString>

#include <memory>

namespace mdx {

// A catalog read from a cube schema file (or the embedded sample, written the same way),
// listing its cubes by name as servers do.
class SchemaDataSource : public DataSource
{
public:
    explicit SchemaDataSource(SchemaReader file);

    QString catalogName() const override;
    QList<CubeInfo> cubes() override;
    std::shared_ptr<const CubeSchema> cubeSchema(int cubeIndex) override;

private:
    SchemaReader mFile;
    QList<int> mListed; // listed position -> index in the file
    QList<CubeInfo> mCubes; // in listed order
};

// Size above which a schema file is refused unread.
constexpr qint64 MaxSchemaFileSize = qint64(256) * 1024 * 1024;

// Opens a schema file. `label` names it in failures (the caller keeps secrets out of it);
// a non-empty `initialCatalog` must match the schema's name, ignoring case.
std::shared_ptr<DataSource> openSchemaFile(const QString &path, const QString &initialCatalog,
                                           const QString &label);

// Opens one of the sample catalogs carried in the program: the one named `initialCatalog`
// (ignoring case), or the first when it is empty.
std::shared_ptr<DataSource> openSampleCatalog(const QString &initialCatalog);

} // namespace mdx
