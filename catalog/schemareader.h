#pragma once

#include "datasource.h"

#include <QList>
#include <QString>

#include <memory>

class QIODevice;

namespace mdx {

// A cube schema file (Mondrian 3 format) read whole into the catalog's plain data. Each cube's
// names are resolved the first time the cube is asked for, so a fault inside one cube fails
// only that cube; its description names the cube and the line of the element at fault.
class SchemaReader
{
public:
    // Throws mdx::Failure for text that is not well-formed XML, that is not a schema, or whose
    // elements lack what the catalog needs (names, booleans); `label` names the file in
    // descriptions, e.g. `the schema file "/tmp/x.xml"`. Elements the catalog does not use
    // are skipped.
    SchemaReader(QIODevice &device, const QString &label);
    SchemaReader(SchemaReader &&) noexcept;
    SchemaReader &operator=(SchemaReader &&) noexcept;
    ~SchemaReader();

    QString catalogName() const;
    // Enabled cubes and virtual cubes, in file order.
    QList<CubeInfo> cubes() const;
    // The dimensions of the cube at `index` of cubes(); resolved on first use and kept.
    // Throws mdx::Failure when the cube refers to what the file does not define, or when two
    // of its objects would share a unique name.
    std::shared_ptr<const CubeSchema> cubeSchema(int index);

private:
    struct Document;
    class Parser;
    std::unique_ptr<Document> d;
};

} // namespace mdx
