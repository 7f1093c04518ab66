#pragma once

#include "datasource.h"
#include "schemareader.h"

#include <QList>
#include <QString>

#include <memory>

namespace mdx {

// A catalog read from a cube schema file (or the embedded sample, written the same way).
// The file is read whole at open; each cube's names are resolved the first time the cube is
// asked for, so a fault inside one cube fails only that cube.
class SchemaDataSource : public DataSource
{
public:
    // `label` names the file in failure descriptions, e.g. `the schema file "/tmp/x.xml"`.
    SchemaDataSource(schema::Document document, QString label);

    QString catalogName() const override;
    QList<CubeInfo> cubes() override;
    std::shared_ptr<const CubeSchema> cubeSchema(int cubeIndex) override;

private:
    std::shared_ptr<const CubeSchema> schemaOf(int documentIndex);
    std::shared_ptr<const CubeSchema> build(const schema::Cube &cube);
    void addDimensions(const schema::Cube &cube, CubeSchema &result);
    void addVirtualDimensions(const schema::Cube &cube, CubeSchema &result);
    QList<MemberInfo> measuresOf(const schema::Cube &cube);
    QList<MemberInfo> virtualMeasuresOf(const schema::Cube &cube);
    DimensionInfo dimensionInfo(const schema::Cube &cube, const QString &name,
                                const schema::Dimension &definition) const;
    int findCube(const QString &name) const;
    // The stored cube a virtual cube's dimension or measure comes from; fails if none.
    int baseCubeOf(const schema::Cube &cube, const schema::CubeReference &reference,
                   const QString &kind) const;
    const schema::Dimension *findSharedDimension(const QString &name) const;
    void checkUniqueNames(const schema::Cube &cube, const CubeSchema &result) const;
    [[noreturn]] void fail(qint32 code, const schema::Cube &cube, qint64 line,
                           const QString &what) const;

    schema::Document mDocument;
    QString mLabel;
    QList<int> mListed; // listed position -> index in mDocument.cubes
    QList<std::shared_ptr<const CubeSchema>> mSchemas; // by index in mDocument.cubes
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
