#include "schemareader.h"

#include "common/failure.h"

#include <QXmlStreamReader>

namespace mdx::schema {

namespace {

class Reader
{
public:
    Reader(QIODevice &device, const QString &label)
        : mXml(&device)
        , mLabel(label)
    {
    }

    Document read()
    {
        Document document;
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
        return document;
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
        Dimension dimension = readDimension();
        for (const Dimension &other : std::as_const(document.sharedDimensions)) {
            if (other.name == dimension.name)
                failInvalid(QStringLiteral("the shared dimension \"%1\" is already defined at "
                                           "line %2.")
                                .arg(dimension.name, QString::number(other.line)),
                            dimension.line);
        }
        document.sharedDimensions.append(std::move(dimension));
    }

    Dimension readDimension()
    {
        Dimension dimension;
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

    Hierarchy readHierarchy()
    {
        Hierarchy hierarchy;
        hierarchy.line = mXml.lineNumber();
        const QXmlStreamAttributes attributes = mXml.attributes();
        hierarchy.name = attributes.value(QLatin1StringView("name")).toString();
        hierarchy.hasAll = boolAttribute(QLatin1StringView("hasAll"), true);
        hierarchy.allLevelName = attributes.value(QLatin1StringView("allLevelName")).toString();
        while (mXml.readNextStartElement()) {
            if (mXml.name() == u"Level")
                hierarchy.levels.append(Level { requiredName() });
            mXml.skipCurrentElement(); // a level's key expressions, properties, ...
        }
        return hierarchy;
    }

    void readCube(Document &document, bool isVirtual)
    {
        Cube cube;
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
                cube.dimensions.append(CubeDimension { false, readDimension(), {} });
            } else if (!isVirtual && element == u"DimensionUsage") {
                CubeDimension usage { true, {}, {} };
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
                CubeReference reference;
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

    Measure readMeasure()
    {
        Measure measure;
        measure.line = mXml.lineNumber();
        measure.name = requiredName();
        measure.visible = boolAttribute(QLatin1StringView("visible"), true);
        mXml.skipCurrentElement();
        return measure;
    }

    // Only members of the Measures dimension are measures; others belong to their dimension
    // and do not show in the catalog's levels.
    void readCalculatedMember(Cube &cube)
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
            for (const CubeDimension &other : std::as_const(cube.dimensions)) {
                if (other.dimension.name == dimension) {
                    mXml.skipCurrentElement();
                    return;
                }
            }
        }
        Measure measure = readMeasure();
        measure.line = line;
        cube.calculatedMeasures.append(std::move(measure));
    }

    void readAnnotations(Cube &cube)
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

} // namespace

Document readSchema(QIODevice &device, const QString &label)
{
    return Reader(device, label).read();
}

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

QString bracketed(const QString &name)
{
    QString result = name;
    result.replace(u']', QStringLiteral("]]"));
    return u'[' + result + u']';
}

} // namespace mdx::schema
