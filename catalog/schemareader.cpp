#include "schemareader.h"

#include "common/failure.h"

#include <QSet>
#include <QXmlStreamReader>

namespace mdx {

namespace {

const QString MeasuresName = QStringLiteral("Measures");
const QString MeasuresLevelName = QStringLiteral("MeasuresLevel");
const QString DefaultAllLevelName = QStringLiteral("(All)");

// The file's elements as written, before names are resolved: only what the catalog needs.
// Line numbers point the person fixing the file to the element.

struct HierarchyElement
{
    QString name; // empty: the hierarchy takes its dimension's name
    bool hasAll = true;
    QString allLevelName;
    QStringList levels;
    qint64 line = 0;
};

struct DimensionElement
{
    QString name;
    QList<HierarchyElement> hierarchies;
    qint64 line = 0;
};

// A cube's dimension: defined in place, or a DimensionUsage of a shared one.
struct CubeDimensionElement
{
    bool isUsage = false;
    DimensionElement dimension; // the private definition, or just name and line for a usage
    QString source; // the shared dimension a usage refers to
};

struct MeasureElement
{
    QString name;
    bool visible = true;
    qint64 line = 0;
};

// A VirtualCubeDimension or VirtualCubeMeasure: a name, and the cube it comes from (empty for
// a shared dimension).
struct ReferenceElement
{
    QString cubeName;
    QString name;
    bool visible = true;
    qint64 line = 0;
};

struct CubeElement
{
    QString name;
    QString description;
    bool isVirtual = false;
    QList<CubeDimensionElement> dimensions;
    QList<MeasureElement> measures;
    QList<MeasureElement> calculatedMeasures;
    QList<ReferenceElement> virtualDimensions;
    QList<ReferenceElement> virtualMeasures;
    qint64 line = 0;
};

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

// Splits an MDX name such as "[Measures].[Sales [Net]]]" into its parts; brackets are
// optional around a part. Returns an empty list when the text is not such a name.
QStringList splitUniqueName(const QString &text)
{
    QStringList parts;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        QString part;
        if (text.at(i) == u'[') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text.at(i) == u']') {
                    if (i + 1 < n && text.at(i + 1) == u']') {
                        part += u']';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                part += text.at(i++);
            }
            if (!closed)
                return {};
        } else {
            while (i < n && text.at(i) != u'.')
                part += text.at(i++);
            part = part.trimmed();
        }
        if (part.isEmpty())
            return {};
        parts.append(part);
        if (i == n)
            break;
        if (text.at(i) != u'.' || i + 1 == n)
            return {};
        ++i;
    }
    return parts;
}

// "[" + name + "]" with each "]" doubled, as servers spell unique names.
QString bracketed(const QString &name)
{
    QString result = name;
    result.replace(u']', QStringLiteral("]]"));
    return u'[' + result + u']';
}

} // namespace

struct SchemaReader::Document
{
    QString label; // `the schema file "..."`
    QString name;
    QList<DimensionElement> sharedDimensions;
    QList<CubeElement> cubes; // enabled cubes and virtual cubes, in file order
    QList<std::shared_ptr<const CubeSchema>> schemas; // by index in cubes, once resolved

    std::shared_ptr<const CubeSchema> schemaOf(int index);
    std::shared_ptr<const CubeSchema> build(const CubeElement &cube);
    void addDimensions(const CubeElement &cube, CubeSchema &result);
    void addVirtualDimensions(const CubeElement &cube, CubeSchema &result);
    QList<MemberInfo> measuresOf(const CubeElement &cube);
    QList<MemberInfo> virtualMeasuresOf(const CubeElement &cube);
    DimensionInfo dimensionInfo(const CubeElement &cube, const QString &name,
                                const DimensionElement &definition) const;
    int findCube(const QString &name) const;
    // The stored cube a virtual cube's dimension or measure comes from; fails if none.
    int baseCubeOf(const CubeElement &cube, const ReferenceElement &reference,
                   const QString &kind) const;
    const DimensionElement *findSharedDimension(const QString &name) const;
    void checkUniqueNames(const CubeElement &cube, const CubeSchema &result) const;
    [[noreturn]] void fail(qint32 code, const CubeElement &cube, qint64 line,
                           const QString &what) const;
};

class SchemaReader::Parser
{
public:
    Parser(QIODevice &device, const QString &label)
        : mXml(&device)
        , mLabel(label)
    {
    }

    void read(Document &document)
    {
        if (mXml.readNextStartElement()) {
            if (mXml.name() != u"Schema")
                throw Failure(CatalogFailure::NotASchema,
                              QStringLiteral("%1 is not a cube schema: its root element is <%2>, "
                                             "where <Schema> was expected.")
                                  .arg(mLabel, mXml.name().toString()),
                              FailureSource::SchemaFile);
            readSchema(document);
            // Read on to the end so that damage after the schema is noticed too.
            while (!mXml.atEnd())
                mXml.readNext();
        }
        if (mXml.hasError())
            failXmlError();
        if (document.name.isNull())
            throw Failure(CatalogFailure::NotWellFormed,
                          QStringLiteral("%1 contains no XML.").arg(mLabel),
                          FailureSource::SchemaFile);
    }

private:
    [[noreturn]] void failXmlError()
    {
        if (mXml.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
            throw Failure(CatalogFailure::NotWellFormed,
                          mSawElement ? QStringLiteral("%1 ends at line %2 before its XML is "
                                                       "complete; the file may be truncated.")
                                            .arg(mLabel, QString::number(mXml.lineNumber()))
                                      : QStringLiteral("%1 contains no XML.").arg(mLabel),
                          FailureSource::SchemaFile);
        }
        throw Failure(CatalogFailure::NotWellFormed,
                      QStringLiteral("%1 is not well-formed XML at line %2, column %3: %4")
                          .arg(mLabel, QString::number(mXml.lineNumber()),
                               QString::number(mXml.columnNumber()), mXml.errorString()),
                      FailureSource::SchemaFile);
    }

    [[noreturn]] void failInvalid(const QString &what, qint64 line)
    {
        throw Failure(CatalogFailure::InvalidSchema,
                      QStringLiteral("%1, line %2: %3").arg(mLabel, QString::number(line), what),
                      FailureSource::SchemaFile);
    }

    // The name attribute every named element must carry.
    QString requiredName()
    {
        const QString name = mXml.attributes().value(QLatin1StringView("name")).toString();
        if (name.isEmpty())
            failInvalid(QStringLiteral("the <%1> element has no name.").arg(mXml.name()),
                        mXml.lineNumber());
        return name;
    }

    bool boolAttribute(QLatin1StringView attribute, bool absent)
    {
        const QStringView value = mXml.attributes().value(attribute).trimmed();
        if (value.isEmpty())
            return absent;
        if (value.compare(u"true", Qt::CaseInsensitive) == 0 || value == u"1")
            return true;
        if (value.compare(u"false", Qt::CaseInsensitive) == 0 || value == u"0")
            return false;
        failInvalid(QStringLiteral("the %1 attribute of <%2> must be \"true\" or \"false\", not "
                                   "\"%3\".")
                        .arg(attribute, mXml.name(), value),
                    mXml.lineNumber());
    }

    void readSchema(Document &document)
    {
        mSawElement = true;
        document.name = requiredName();
        while (mXml.readNextStartElement()) {
            const QStringView element = mXml.name();
            if (element == u"Dimension")
                readSharedDimension(document);
            else if (element == u"Cube")
                readCube(document, false);
            else if (element == u"VirtualCube")
                readCube(document, true);
            else
                mXml.skipCurrentElement(); // roles, parameters, user-defined functions, ...
        }
    }

    void readSharedDimension(Document &document)
    {
        DimensionElement dimension = readDimension();
        for (const DimensionElement &other : std::as_const(document.sharedDimensions)) {
            if (other.name == dimension.name)
                failInvalid(QStringLiteral("the shared dimension \"%1\" is already defined at "
                                           "line %2.")
                                .arg(dimension.name, QString::number(other.line)),
                            dimension.line);
        }
        document.sharedDimensions.append(std::move(dimension));
    }

    DimensionElement readDimension()
    {
        DimensionElement dimension;
        dimension.line = mXml.lineNumber();
        dimension.name = requiredName();
        while (mXml.readNextStartElement()) {
            if (mXml.name() == u"Hierarchy")
                dimension.hierarchies.append(readHierarchy());
            else
                mXml.skipCurrentElement();
        }
        return dimension;
    }

    HierarchyElement readHierarchy()
    {
        HierarchyElement hierarchy;
        hierarchy.line = mXml.lineNumber();
        const QXmlStreamAttributes attributes = mXml.attributes();
        hierarchy.name = attributes.value(QLatin1StringView("name")).toString();
        hierarchy.hasAll = boolAttribute(QLatin1StringView("hasAll"), true);
        hierarchy.allLevelName = attributes.value(QLatin1StringView("allLevelName")).toString();
        while (mXml.readNextStartElement()) {
            if (mXml.name() == u"Level")
                hierarchy.levels.append(requiredName());
            mXml.skipCurrentElement(); // a level's key expressions, properties, ...
        }
        return hierarchy;
    }

    void readCube(Document &document, bool isVirtual)
    {
        CubeElement cube;
        cube.line = mXml.lineNumber();
        cube.isVirtual = isVirtual;
        cube.name = requiredName();
        cube.description = mXml.attributes().value(QLatin1StringView("description")).toString();
        // A disabled cube is one the server does not build; its content is not checked either.
        if (!boolAttribute(QLatin1StringView("enabled"), true)) {
            mXml.skipCurrentElement();
            return;
        }
        while (mXml.readNextStartElement()) {
            const QStringView element = mXml.name();
            if (!isVirtual && element == u"Dimension") {
                cube.dimensions.append(CubeDimensionElement { false, readDimension(), {} });
            } else if (!isVirtual && element == u"DimensionUsage") {
                CubeDimensionElement usage { true, {}, {} };
                usage.dimension.line = mXml.lineNumber();
                usage.dimension.name = requiredName();
                usage.source = mXml.attributes().value(QLatin1StringView("source")).toString();
                if (usage.source.isEmpty())
                    failInvalid(QStringLiteral("the dimension usage \"%1\" has no source.")
                                    .arg(usage.dimension.name),
                                usage.dimension.line);
                cube.dimensions.append(std::move(usage));
                mXml.skipCurrentElement();
            } else if (!isVirtual && element == u"Measure") {
                cube.measures.append(readMeasure());
            } else if (element == u"CalculatedMember") {
                readCalculatedMember(cube);
            } else if (isVirtual
                       && (element == u"VirtualCubeDimension"
                           || element == u"VirtualCubeMeasure")) {
                ReferenceElement reference;
                reference.line = mXml.lineNumber();
                reference.name = requiredName();
                reference.cubeName
                    = mXml.attributes().value(QLatin1StringView("cubeName")).toString();
                reference.visible = boolAttribute(QLatin1StringView("visible"), true);
                if (element == u"VirtualCubeDimension")
                    cube.virtualDimensions.append(std::move(reference));
                else
                    cube.virtualMeasures.append(std::move(reference));
                mXml.skipCurrentElement();
            } else if (element == u"Annotations") {
                readAnnotations(cube);
            } else {
                mXml.skipCurrentElement(); // tables, joins, aggregates, named sets, ...
            }
        }
        document.cubes.append(std::move(cube));
    }

    MeasureElement readMeasure()
    {
        MeasureElement measure;
        measure.line = mXml.lineNumber();
        measure.name = requiredName();
        measure.visible = boolAttribute(QLatin1StringView("visible"), true);
        mXml.skipCurrentElement();
        return measure;
    }

    // Only members of the Measures dimension are measures; others belong to their dimension
    // and do not show in the catalog's levels.
    void readCalculatedMember(CubeElement &cube)
    {
        const qint64 line = mXml.lineNumber();
        const QXmlStreamAttributes attributes = mXml.attributes();
        QString dimension = attributes.value(QLatin1StringView("dimension")).toString();
        if (dimension.isEmpty()) {
            const QStringList parts
                = splitUniqueName(attributes.value(QLatin1StringView("hierarchy")).toString());
            if (parts.size() == 1)
                dimension = parts.first();
        }
        if (dimension.compare(u"Measures", Qt::CaseInsensitive) != 0) {
            mXml.skipCurrentElement();
            return;
        }
        // A cube may have an ordinary dimension named "measures"; its members are not measures.
        if (dimension != u"Measures") {
            for (const CubeDimensionElement &other : std::as_const(cube.dimensions)) {
                if (other.dimension.name == dimension) {
                    mXml.skipCurrentElement();
                    return;
                }
            }
        }
        MeasureElement measure = readMeasure();
        measure.line = line;
        cube.calculatedMeasures.append(std::move(measure));
    }

    void readAnnotations(CubeElement &cube)
    {
        while (mXml.readNextStartElement()) {
            if (mXml.name() == u"Annotation"
                && mXml.attributes()
                        .value(QLatin1StringView("name"))
                        .compare(u"description", Qt::CaseInsensitive)
                    == 0) {
                const QString text = mXml.readElementText(QXmlStreamReader::SkipChildElements);
                if (cube.description.isEmpty())
                    cube.description = text.trimmed();
            } else {
                mXml.skipCurrentElement();
            }
        }
    }

    QXmlStreamReader mXml;
    const QString &mLabel;
    bool mSawElement = false;
};

SchemaReader::SchemaReader(QIODevice &device, const QString &label)
    : d(std::make_unique<Document>())
{
    d->label = label;
    Parser(device, capitalized(label)).read(*d);
    d->schemas.resize(d->cubes.size());
}

SchemaReader::SchemaReader(SchemaReader &&) noexcept = default;
SchemaReader &SchemaReader::operator=(SchemaReader &&) noexcept = default;
SchemaReader::~SchemaReader() = default;

QString SchemaReader::catalogName() const
{
    return d->name;
}

QList<CubeInfo> SchemaReader::cubes() const
{
    QList<CubeInfo> result;
    result.reserve(d->cubes.size());
    for (const CubeElement &cube : std::as_const(d->cubes))
        result.append(CubeInfo { cube.name, cube.description });
    return result;
}

std::shared_ptr<const CubeSchema> SchemaReader::cubeSchema(int index)
{
    return d->schemaOf(index);
}

std::shared_ptr<const CubeSchema> SchemaReader::Document::schemaOf(int documentIndex)
{
    std::shared_ptr<const CubeSchema> &cached = schemas[documentIndex];
    if (!cached)
        cached = build(cubes.at(documentIndex));
    return cached;
}

void SchemaReader::Document::fail(qint32 code, const CubeElement &cube, qint64 line,
                                  const QString &what) const
{
    throw Failure(code,
                  QStringLiteral("Cube %1 of %2, line %3: %4")
                      .arg(quoted(cube.name), label, QString::number(line), what),
                  FailureSource::SchemaFile);
}

std::shared_ptr<const CubeSchema> SchemaReader::Document::build(const CubeElement &cube)
{
    auto result = std::make_shared<CubeSchema>();
    // The measures dimension comes first, as servers list it at ordinal 0.
    LevelInfo measuresLevel { MeasuresLevelName,
                              bracketed(MeasuresName) + u'.' + bracketed(MeasuresLevelName),
                              cube.isVirtual ? virtualMeasuresOf(cube) : measuresOf(cube) };
    HierarchyInfo measuresHierarchy { MeasuresName,
                                      bracketed(MeasuresName),
                                      { std::move(measuresLevel) } };
    result->dimensions.append(
        DimensionInfo { MeasuresName, bracketed(MeasuresName), { std::move(measuresHierarchy) } });
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

QList<MemberInfo> SchemaReader::Document::measuresOf(const CubeElement &cube)
{
    // Stored measures in their order, then the calculated ones: the server's member order.
    QList<MemberInfo> members;
    for (const MeasureElement &measure : cube.measures) {
        if (measure.visible)
            members.append(MemberInfo { measure.name });
    }
    for (const MeasureElement &measure : cube.calculatedMeasures) {
        if (measure.visible)
            members.append(MemberInfo { measure.name });
    }
    return members;
}

QList<MemberInfo> SchemaReader::Document::virtualMeasuresOf(const CubeElement &cube)
{
    QList<MemberInfo> stored;
    QList<MemberInfo> calculated;
    for (const ReferenceElement &reference : cube.virtualMeasures) {
        const QStringList parts = splitUniqueName(reference.name);
        if (parts.size() != 2 || parts.first().compare(MeasuresName, Qt::CaseInsensitive) != 0)
            fail(CatalogFailure::InvalidSchema, cube, reference.line,
                 QStringLiteral("the virtual cube measure %1 is not named like "
                                "[Measures].[Measure Name].")
                     .arg(quoted(reference.name)));
        if (reference.cubeName.isEmpty())
            fail(CatalogFailure::InvalidSchema, cube, reference.line,
                 QStringLiteral("the virtual cube measure %1 names no cube (cubeName).")
                     .arg(quoted(reference.name)));
        const CubeElement &base = cubes.at(baseCubeOf(cube, reference, QStringLiteral("measure")));
        const auto nameOf = [](const MeasureElement &m) -> const QString & { return m.name; };
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
    for (const MeasureElement &measure : cube.calculatedMeasures) {
        if (measure.visible)
            calculated.append(MemberInfo { measure.name });
    }
    return stored + calculated;
}

void SchemaReader::Document::addDimensions(const CubeElement &cube, CubeSchema &result)
{
    for (const CubeDimensionElement &cubeDimension : cube.dimensions) {
        const DimensionElement *definition = &cubeDimension.dimension;
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

void SchemaReader::Document::addVirtualDimensions(const CubeElement &cube, CubeSchema &result)
{
    for (const ReferenceElement &reference : cube.virtualDimensions) {
        if (reference.cubeName.isEmpty()) {
            const DimensionElement *shared = findSharedDimension(reference.name);
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

DimensionInfo SchemaReader::Document::dimensionInfo(const CubeElement &cube, const QString &name,
                                                    const DimensionElement &definition) const
{
    DimensionInfo dimension { name, bracketed(name), {} };
    for (const HierarchyElement &hierarchy : definition.hierarchies) {
        // The server names a hierarchy after its dimension, or "Dimension.Hierarchy".
        const QString hierarchyName = hierarchy.name.isEmpty() || hierarchy.name == name
            ? name
            : name + u'.' + hierarchy.name;
        HierarchyInfo info { hierarchyName, bracketed(hierarchyName), {} };
        if (hierarchy.levels.isEmpty())
            fail(CatalogFailure::InvalidSchema, cube, hierarchy.line,
                 QStringLiteral("the hierarchy %1 of dimension %2 has no levels.")
                     .arg(info.uniqueName, quoted(name)));
        if (hierarchy.hasAll) {
            const QString allName
                = hierarchy.allLevelName.isEmpty() ? DefaultAllLevelName : hierarchy.allLevelName;
            info.levels.append(
                LevelInfo { allName, info.uniqueName + u'.' + bracketed(allName), {} });
        }
        for (const QString &level : hierarchy.levels)
            info.levels.append(LevelInfo { level, info.uniqueName + u'.' + bracketed(level), {} });
        dimension.hierarchies.append(std::move(info));
    }
    return dimension;
}

int SchemaReader::Document::findCube(const QString &name) const
{
    return indexByName(cubes, name, [](const CubeElement &c) -> const QString & { return c.name; });
}

int SchemaReader::Document::baseCubeOf(const CubeElement &cube, const ReferenceElement &reference,
                                       const QString &kind) const
{
    const int index = findCube(reference.cubeName);
    if (index < 0 || cubes.at(index).isVirtual)
        fail(CatalogFailure::UnknownReference, cube, reference.line,
             QStringLiteral("the virtual cube %1 %2 comes from the cube %3, which the schema "
                            "does not define.")
                 .arg(kind, quoted(reference.name), quoted(reference.cubeName)));
    return index;
}

const DimensionElement *SchemaReader::Document::findSharedDimension(const QString &name) const
{
    const int i = indexByName(sharedDimensions, name,
                              [](const DimensionElement &d) -> const QString & { return d.name; });
    return i < 0 ? nullptr : &sharedDimensions.at(i);
}

// Unique names are what the window keys its tree nodes on; a clash would make two nodes
// indistinguishable, so it is refused here with the name that clashes.
void SchemaReader::Document::checkUniqueNames(const CubeElement &cube,
                                              const CubeSchema &result) const
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
        claim(measures, bracketed(MeasuresName) + u'.' + bracketed(measure.name),
              QStringLiteral("measures"));
}

} // namespace mdx
