#include "schemadatasource.h"

#include "common/failure.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace mdx {

namespace {

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

} // namespace

SchemaDataSource::SchemaDataSource(SchemaReader file)
    : mFile(std::move(file))
{
    // Servers list cubes by name; stable, so equal names keep their file order.
    const QList<CubeInfo> inFile = mFile.cubes();
    mListed.reserve(inFile.size());
    for (int i = 0; i < inFile.size(); ++i)
        mListed.append(i);
    std::stable_sort(mListed.begin(), mListed.end(), [&inFile](int a, int b) {
        return inFile.at(a).name.compare(inFile.at(b).name, Qt::CaseInsensitive) < 0;
    });
    mCubes.reserve(inFile.size());
    for (int index : std::as_const(mListed))
        mCubes.append(inFile.at(index));
}

QString SchemaDataSource::catalogName() const
{
    return mFile.catalogName();
}

QList<CubeInfo> SchemaDataSource::cubes()
{
    return mCubes;
}

std::shared_ptr<const CubeSchema> SchemaDataSource::cubeSchema(int cubeIndex)
{
    if (cubeIndex < 0 || cubeIndex >= mListed.size())
        throw Failure(CatalogFailure::ItemOutOfRange,
                      QStringLiteral("The catalog %1 has no cube at position %2; it has %3.")
                          .arg(quoted(mFile.catalogName()), QString::number(cubeIndex),
                               QString::number(mListed.size())),
                      FailureSource::Catalog);
    return mFile.cubeSchema(mListed.at(cubeIndex));
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
    SchemaReader schema(file, label);
    if (!initialCatalog.isEmpty()
        && schema.catalogName().compare(initialCatalog, Qt::CaseInsensitive) != 0)
        throw Failure(
            CatalogFailure::CatalogNotFound,
            QStringLiteral("%1 holds the catalog %2, not %3.")
                .arg(capitalized(label), quoted(schema.catalogName()), quoted(initialCatalog)),
            FailureSource::SchemaFile);
    return std::make_shared<SchemaDataSource>(std::move(schema));
}

namespace {

std::vector<SchemaReader> readSamples()
{
    std::vector<SchemaReader> samples;
    const QStringList files = QDir(SamplesFolder).entryList(QDir::Files, QDir::Name);
    for (const QString &fileName : files) {
        QFile file(SamplesFolder + u'/' + fileName);
        if (!file.open(QIODevice::ReadOnly))
            failUnreadable(QStringLiteral("The sample catalog %1 cannot be read: %2.")
                               .arg(quoted(fileName), file.errorString()));
        samples.emplace_back(file, QStringLiteral("the sample catalog %1").arg(quoted(fileName)));
    }
    return samples;
}

} // namespace

std::shared_ptr<DataSource> openSampleCatalog(const QString &initialCatalog)
{
    std::vector<SchemaReader> samples = readSamples();
    QStringList names;
    for (SchemaReader &sample : samples) {
        if (initialCatalog.isEmpty()
            || sample.catalogName().compare(initialCatalog, Qt::CaseInsensitive) == 0)
            return std::make_shared<SchemaDataSource>(std::move(sample));
        names.append(quoted(sample.catalogName()));
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
