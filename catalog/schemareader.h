#pragma once

#include <QList>
#include <QString>

class QIODevice;

namespace mdx {

// A cube schema file as written (Mondrian 3 format), before names are resolved: only what the
// catalog needs. Line numbers point the person fixing the file to the element.
namespace schema {

struct Level
{
    QString name;
};

struct Hierarchy
{
    QString name; // empty: the hierarchy takes its dimension's name
    bool hasAll = true;
    QString allLevelName;
    QList<Level> levels;
    qint64 line = 0;
};

struct Dimension
{
    QString name;
    QList<Hierarchy> hierarchies;
    qint64 line = 0;
};

// A cube's dimension: defined in place, or a DimensionUsage of a shared one.
struct CubeDimension
{
    bool isUsage = false;
    Dimension dimension; // the private definition, or just name and line for a usage
    QString source; // the shared dimension a usage refers to
};

struct Measure
{
    QString name;
    bool visible = true;
    qint64 line = 0;
};

// A VirtualCubeDimension or VirtualCubeMeasure: a name, and the cube it comes from (empty for
// a shared dimension).
struct CubeReference
{
    QString cubeName;
    QString name;
    bool visible = true;
    qint64 line = 0;
};

struct Cube
{
    QString name;
    QString description;
    bool isVirtual = false;
    QList<CubeDimension> dimensions;
    QList<Measure> measures;
    QList<Measure> calculatedMeasures;
    QList<CubeReference> virtualDimensions;
    QList<CubeReference> virtualMeasures;
    qint64 line = 0;
};

struct Document
{
    QString name;
    QList<Dimension> sharedDimensions;
    QList<Cube> cubes; // enabled cubes and virtual cubes, in file order
};

// Reads a whole schema from the device. Throws mdx::Failure for text that is not well-formed
// XML, that is not a schema, or whose elements lack what the catalog needs (names, booleans);
// `label` names the file in the description. Elements the catalog does not use are skipped.
Document readSchema(QIODevice &device, const QString &label);

// Splits an MDX name such as "[Measures].[Sales [Net]]]" into its parts; brackets are
// optional around a part. Returns an empty list when the text is not such a name.
QStringList splitUniqueName(const QString &text);

// "[" + name + "]" with each "]" doubled, as servers spell unique names.
QString bracketed(const QString &name);

} // namespace schema
} // namespace mdx
