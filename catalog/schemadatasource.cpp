#include "schemadatasource.h"

#include "common/failure.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <filesystem>

namespace mdx {

namespace {

const QString MeasuresName = QStringLiteral("Measures");
const QString MeasuresLevelName = QStringLiteral("MeasuresLevel");
const QString DefaultAllLevelName = QStringLiteral("(All)");
const QString SamplesFolder = QStringLiteral(":/mdx/samples");

QString capitalized(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

// Exact match first; failing that, the one match that ignores case (servers look names up
// without regard to case unless told otherwise).
template<typename List, typename NameOf>
int indexByName(const List &list, const QString &name, NameOf nameOf)
{
    int folded = -1;
    for (int i = 0; i < list.size(); ++i) {
        const QString &candidate = nameOf(list.at(i));
        if (candidate == name)
            return i;
        if (folded < 0 && candidate.compare(name, Qt::CaseInsensitive) == 0)
            folded = i;
    }
    return folded;
}

} // namespace

SchemaDataSource::SchemaDataSource(schema::Document document, QString label)
    : mDocument(std::move(document))
    , mLabel(std::move(label))
{
    // Servers list cubes by name; stable, so equal names keep their file order.
    mListed.reserve(mDocument.cubes.size());
    for (int i = 0; i < mDocument.cubes.size(); ++i)
        mListed.append(i);
    std::stable_sort(mListed.begin(), mListed.end(), [this](int a, int b) {
        return mDocument.cubes.at(a).name.compare(mDocument.cubes.at(b).name, Qt::CaseInsensitive)
            < 0;
    });
    mSchemas.resize(mDocument.cubes.size());
}

QString SchemaDataSource::catalogName() const
{
    return mDocument.name;
}

QList<CubeInfo> SchemaDataSource::cubes()
{
    QList<CubeInfo> result;
    result.reserve(mListed.size());
    for (int index : std::as_const(mListed)) {
        const schema::Cube &cube = mDocument.cubes.at(index);
        result.append(CubeInfo { cube.name, cube.description });
    }
    return result;
}

std::shared_ptr<const CubeSchema> SchemaDataSource::cubeSchema(int cubeIndex)
{
    if (cubeIndex < 0 || cubeIndex >= mListed.size())
        throw Failure(CatalogFailure::ItemOutOfRange,
                      QStringLiteral("The catalog %1 has no cube at position %2; it has %3.")
                          .arg(quoted(mDocument.name), QString::number(cubeIndex),
                               QString::number(mListed.size())),
                      FailureSource::Catalog);
    return schemaOf(mListed.at(cubeIndex));
}

std::shared_ptr<const CubeSchema> SchemaDataSource::schemaOf(int documentIndex)
{
    std::shared_ptr<const CubeSchema> &cached = mSchemas[documentIndex];
    if (!cached)
        cached = build(mDocument.cubes.at(documentIndex));
    return cached;
}

void SchemaDataSource::fail(qint32 code, const schema::Cube &cube, qint64 line,
                            const QString &what) const
{
    throw Failure(code,
                  QStringLiteral("Cube %1 of %2, line %3: %4")
                      .arg(quoted(cube.name), mLabel, QString::number(line), what),
                  FailureSource::SchemaFile);
}

std::shared_ptr<const CubeSchema> SchemaDataSource::build(const schema::Cube &cube)
{
    auto result = std::make_shared<CubeSchema>();
    // The measures dimension comes first, as servers list it at ordinal 0.
    LevelInfo measuresLevel { MeasuresLevelName,
                              schema::bracketed(MeasuresName) + u'.'
                                  + schema::bracketed(MeasuresLevelName),
                              cube.isVirtual ? virtualMeasuresOf(cube) : measuresOf(cube) };
    HierarchyInfo measuresHierarchy { MeasuresName,
                                      schema::bracketed(MeasuresName),
                                      { std::move(measuresLevel) } };
    result->dimensions.append(DimensionInfo {
        MeasuresName, schema::bracketed(MeasuresName), { std::move(measuresHierarchy) } });
    if (cube.isVirtual)
        addVirtualDimensions(cube, *result);
    else
        addDimensions(cube, *result);

    if (result->dimensions.size() == 1
        && result->dimensions.first().hierarchies.first().levels.first().members.isEmpty())
        fail(CatalogFailure::InvalidSchema, cube, cube.line,
             QStringLiteral("the cube defines no dimensions and no measures."));
    checkUniqueNames(cube, *result);
    return result;
}

QList<MemberInfo> SchemaDataSource::measuresOf(const schema::Cube &cube)
{
    // Stored measures in their order, then the calculated ones: the server's member order.
    QList<MemberInfo> members;
    for (const schema::Measure &measure : cube.measures) {
        if (measure.visible)
            members.append(MemberInfo { measure.name });
    }
    for (const schema::Measure &measure : cube.calculatedMeasures) {
        if (measure.visible)
            members.append(MemberInfo { measure.name });
    }
    return members;
}

QList<MemberInfo> SchemaDataSource::virtualMeasuresOf(const schema::Cube &cube)
{
    QList<MemberInfo> stored;
    QList<MemberInfo> calculated;
    for (const schema::CubeReference &reference : cube.virtualMeasures) {
        const QStringList parts = schema::splitUniqueName(reference.name);
        if (parts.size() != 2 || parts.first().compare(MeasuresName, Qt::CaseInsensitive) != 0)
            fail(CatalogFailure::InvalidSchema, cube, reference.line,
                 QStringLiteral("the virtual cube measure %1 is not named like "
                                "[Measures].[Measure Name].")
                     .arg(quoted(reference.name)));
        if (reference.cubeName.isEmpty())
            fail(CatalogFailure::InvalidSchema, cube, reference.line,
                 QStringLiteral("the virtual cube measure %1 names no cube (cubeName).")
                     .arg(quoted(reference.name)));
        const schema::Cube &base
            = mDocument.cubes.at(baseCubeOf(cube, reference, QStringLiteral("measure")));
        const auto nameOf = [](const schema::Measure &m) -> const QString & { return m.name; };
        if (int i = indexByName(base.measures, parts.at(1), nameOf); i >= 0) {
            if (reference.visible)
                stored.append(MemberInfo { base.measures.at(i).name });
        } else if (int j = indexByName(base.calculatedMeasures, parts.at(1), nameOf); j >= 0) {
            if (reference.visible)
                calculated.append(MemberInfo { base.calculatedMeasures.at(j).name });
        } else {
            fail(CatalogFailure::UnknownReference, cube, reference.line,
                 QStringLiteral("the cube %1 has no measure %2.")
                     .arg(quoted(base.name), quoted(parts.at(1))));
        }
    }
    for (const schema::Measure &measure : cube.calculatedMeasures) {
        if (measure.visible)
            calculated.append(MemberInfo { measure.name });
    }
    return stored + calculated;
}

void SchemaDataSource::addDimensions(const schema::Cube &cube, CubeSchema &result)
{
    for (const schema::CubeDimension &cubeDimension : cube.dimensions) {
        const schema::Dimension *definition = &cubeDimension.dimension;
        if (cubeDimension.isUsage) {
            definition = findSharedDimension(cubeDimension.source);
            if (!definition)
                fail(CatalogFailure::UnknownReference, cube, cubeDimension.dimension.line,
                     QStringLiteral("the dimension usage %1 refers to the shared dimension %2, "
                                    "which the schema does not define.")
                         .arg(quoted(cubeDimension.dimension.name), quoted(cubeDimension.source)));
        }
        result.dimensions.append(dimensionInfo(cube, cubeDimension.dimension.name, *definition));
    }
}

void SchemaDataSource::addVirtualDimensions(const schema::Cube &cube, CubeSchema &result)
{
    for (const schema::CubeReference &reference : cube.virtualDimensions) {
        if (reference.cubeName.isEmpty()) {
            const schema::Dimension *shared = findSharedDimension(reference.name);
            if (!shared)
                fail(CatalogFailure::UnknownReference, cube, reference.line,
                     QStringLiteral("the virtual cube dimension %1 names no cube and the schema "
                                    "has no shared dimension of that name.")
                         .arg(quoted(reference.name)));
            result.dimensions.append(dimensionInfo(cube, reference.name, *shared));
            continue;
        }
        const std::shared_ptr<const CubeSchema> base
            = schemaOf(baseCubeOf(cube, reference, QStringLiteral("dimension")));
        const int i = indexByName(base->dimensions, reference.name,
                                  [](const DimensionInfo &d) -> const QString & { return d.name; });
        if (i < 0)
            fail(CatalogFailure::UnknownReference, cube, reference.line,
                 QStringLiteral("the cube %1 has no dimension %2.")
                     .arg(quoted(reference.cubeName), quoted(reference.name)));
        result.dimensions.append(base->dimensions.at(i));
    }
}

DimensionInfo SchemaDataSource::dimensionInfo(const schema::Cube &cube, const QString &name,
                                              const schema::Dimension &definition) const
{
    DimensionInfo dimension { name, schema::bracketed(name), {} };
    for (const schema::Hierarchy &hierarchy : definition.hierarchies) {
        // The server names a hierarchy after its dimension, or "Dimension.Hierarchy".
        const QString hierarchyName = hierarchy.name.isEmpty() || hierarchy.name == name
            ? name
            : name + u'.' + hierarchy.name;
        HierarchyInfo info { hierarchyName, schema::bracketed(hierarchyName), {} };
        if (hierarchy.levels.isEmpty())
            fail(CatalogFailure::InvalidSchema, cube, hierarchy.line,
                 QStringLiteral("the hierarchy %1 of dimension %2 has no levels.")
                     .arg(info.uniqueName, quoted(name)));
        if (hierarchy.hasAll) {
            const QString allName
                = hierarchy.allLevelName.isEmpty() ? DefaultAllLevelName : hierarchy.allLevelName;
            info.levels.append(
                LevelInfo { allName, info.uniqueName + u'.' + schema::bracketed(allName), {} });
        }
        for (const schema::Level &level : hierarchy.levels)
            info.levels.append(LevelInfo {
                level.name, info.uniqueName + u'.' + schema::bracketed(level.name), {} });
        dimension.hierarchies.append(std::move(info));
    }
    return dimension;
}

int SchemaDataSource::findCube(const QString &name) const
{
    return indexByName(mDocument.cubes, name,
                       [](const schema::Cube &c) -> const QString & { return c.name; });
}

int SchemaDataSource::baseCubeOf(const schema::Cube &cube, const schema::CubeReference &reference,
                                 const QString &kind) const
{
    const int index = findCube(reference.cubeName);
    if (index < 0 || mDocument.cubes.at(index).isVirtual)
        fail(CatalogFailure::UnknownReference, cube, reference.line,
             QStringLiteral("the virtual cube %1 %2 comes from the cube %3, which the schema "
                            "does not define.")
                 .arg(kind, quoted(reference.name), quoted(reference.cubeName)));
    return index;
}

const schema::Dimension *SchemaDataSource::findSharedDimension(const QString &name) const
{
    const int i = indexByName(mDocument.sharedDimensions, name,
                              [](const schema::Dimension &d) -> const QString & { return d.name; });
    return i < 0 ? nullptr : &mDocument.sharedDimensions.at(i);
}

// Unique names are what the window keys its tree nodes on; a clash would make two nodes
// indistinguishable, so it is refused here with the name that clashes.
void SchemaDataSource::checkUniqueNames(const schema::Cube &cube, const CubeSchema &result) const
{
    QSet<QString> dimensions;
    QSet<QString> hierarchies;
    QSet<QString> levels;
    QSet<QString> measures;
    const auto claim = [&](QSet<QString> &taken, const QString &uniqueName, const QString &kind) {
        if (taken.contains(uniqueName))
            fail(CatalogFailure::DuplicateUniqueName, cube, cube.line,
                 QStringLiteral("two %1 have the unique name %2.").arg(kind, uniqueName));
        taken.insert(uniqueName);
    };
    for (const DimensionInfo &dimension : result.dimensions) {
        claim(dimensions, dimension.uniqueName, QStringLiteral("dimensions"));
        for (const HierarchyInfo &hierarchy : dimension.hierarchies) {
            claim(hierarchies, hierarchy.uniqueName, QStringLiteral("hierarchies"));
            for (const LevelInfo &level : hierarchy.levels)
                claim(levels, level.uniqueName, QStringLiteral("levels"));
        }
    }
    const LevelInfo &measuresLevel = result.dimensions.first().hierarchies.first().levels.first();
    for (const MemberInfo &measure : measuresLevel.members)
        claim(measures, schema::bracketed(MeasuresName) + u'.' + schema::bracketed(measure.name),
              QStringLiteral("measures"));
}

namespace {

[[noreturn]] void failUnreadable(const QString &what)
{
    throw Failure(CatalogFailure::FileNotReadable, what, FailureSource::SchemaFile);
}

} // namespace

std::shared_ptr<DataSource> openSchemaFile(const QString &path, const QString &initialCatalog,
                                           const QString &label)
{
    namespace fs = std::filesystem;
    const fs::path native(QFile::encodeName(path).toStdString());
    std::error_code error;
    const fs::file_status status = fs::status(native, error);
    if (!fs::exists(status))
        failUnreadable(QStringLiteral("%1 does not exist.").arg(capitalized(label)));
    if (fs::is_directory(status))
        failUnreadable(QStringLiteral("%1 is a folder, not a file.").arg(capitalized(label)));
    // Devices and pipes could stream forever or block; only plain files are read.
    if (!fs::is_regular_file(status))
        failUnreadable(QStringLiteral("%1 is not a plain file.").arg(capitalized(label)));
    const auto size = fs::file_size(native, error);
    if (error)
        failUnreadable(QStringLiteral("%1 cannot be read: %2.")
                           .arg(capitalized(label), QString::fromStdString(error.message())));
    if (size == 0)
        throw Failure(CatalogFailure::NotWellFormed,
                      QStringLiteral("%1 is empty.").arg(capitalized(label)),
                      FailureSource::SchemaFile);
    if (size > std::uintmax_t(MaxSchemaFileSize))
        throw Failure(CatalogFailure::FileTooLarge,
                      QStringLiteral("%1 is %2 MiB; schema files larger than %3 MiB are not read.")
                          .arg(capitalized(label), QString::number(size / (1024 * 1024)),
                               QString::number(MaxSchemaFileSize / (1024 * 1024))),
                      FailureSource::SchemaFile);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        failUnreadable(
            QStringLiteral("%1 cannot be read: %2.").arg(capitalized(label), file.errorString()));
    schema::Document document = schema::readSchema(file, capitalized(label));
    if (!initialCatalog.isEmpty()
        && document.name.compare(initialCatalog, Qt::CaseInsensitive) != 0)
        throw Failure(CatalogFailure::CatalogNotFound,
                      QStringLiteral("%1 holds the catalog %2, not %3.")
                          .arg(capitalized(label), quoted(document.name), quoted(initialCatalog)),
                      FailureSource::SchemaFile);
    return std::make_shared<SchemaDataSource>(std::move(document), label);
}

namespace {

struct Sample
{
    QString label;
    schema::Document document;
};

QList<Sample> readSamples()
{
    QList<Sample> samples;
    const QStringList files = QDir(SamplesFolder).entryList(QDir::Files, QDir::Name);
    for (const QString &fileName : files) {
        QFile file(SamplesFolder + u'/' + fileName);
        if (!file.open(QIODevice::ReadOnly))
            failUnreadable(QStringLiteral("The sample catalog %1 cannot be read: %2.")
                               .arg(quoted(fileName), file.errorString()));
        const QString label = QStringLiteral("the sample catalog %1").arg(quoted(fileName));
        samples.append(Sample { label, schema::readSchema(file, capitalized(label)) });
    }
    return samples;
}

} // namespace

std::shared_ptr<DataSource> openSampleCatalog(const QString &initialCatalog)
{
    QList<Sample> samples = readSamples();
    QStringList names;
    for (Sample &sample : samples) {
        if (initialCatalog.isEmpty()
            || sample.document.name.compare(initialCatalog, Qt::CaseInsensitive) == 0)
            return std::make_shared<SchemaDataSource>(std::move(sample.document), sample.label);
        names.append(quoted(sample.document.name));
    }
    if (names.isEmpty())
        throw Failure(CatalogFailure::CatalogNotFound,
                      QStringLiteral("The local data source has no catalogs."),
                      FailureSource::Catalog);
    throw Failure(CatalogFailure::CatalogNotFound,
                  QStringLiteral("The local data source has no catalog %1. Its catalogs are: %2.")
                      .arg(quoted(initialCatalog), names.join(QStringLiteral(", "))),
                  FailureSource::Catalog);
}

} // namespace mdx
