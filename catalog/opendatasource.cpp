#include "opendatasource.h"
#include "schemadatasource.h"
#include "xmladatasource.h"

#include "common/failure.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace mdx {

namespace {

[[noreturn]] void failConnection(qint32 code, const QString &description)
{
    throw Failure(code, description, FailureSource::Connection);
}

bool startsWith(const QString &text, QLatin1StringView prefix)
{
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

} // namespace

std::shared_ptr<DataSource> openDataSource(const ConnectionString &connectionString,
                                           std::shared_ptr<WaitIndicator> waitIndicator)
{
    const QString provider = connectionString.provider.trimmed();
    // A string without a provider is taken as meant for this one: there is no other.
    if (!provider.isEmpty() && !isOlapProvider(provider))
        failConnection(CatalogFailure::UnsupportedProvider,
                       QStringLiteral("The provider \"%1\" is not supported; use MSOLAP (with or "
                                      "without a version, such as MSOLAP.2).")
                           .arg(withoutPassword(provider)));

    const QString dataSource = connectionString.dataSource.trimmed();
    if (dataSource.isEmpty())
        failConnection(CatalogFailure::NoDataSource,
                       QStringLiteral("The connection string names no Data Source. Use "
                                      "\"Data Source=local\" for the sample catalogs, or the path "
                                      "of a cube schema file."));

    if (dataSource.compare(u"local", Qt::CaseInsensitive) == 0)
        return openSampleCatalog(connectionString.initialCatalog);

    if (startsWith(dataSource, QLatin1StringView("http://"))
        || startsWith(dataSource, QLatin1StringView("https://"))) {
        ConnectionString server = connectionString;
        server.dataSource = dataSource;
        return XmlaDataSource::open(server, std::move(waitIndicator));
    }

    QString path = dataSource;
    if (startsWith(dataSource, QLatin1StringView("file:"))) {
        const QUrl url(dataSource);
        path = url.isValid() && url.isLocalFile() ? url.toLocalFile() : QString();
        if (path.isEmpty())
            failConnection(CatalogFailure::FileNotReadable,
                           QStringLiteral("The Data Source \"%1\" is not a usable file: URL.")
                               .arg(withoutPassword(dataSource)));
    }
    const QFileInfo file(path);
    // Named as the system writes paths (backslashes on Windows), once a password in it is
    // hidden: the pattern that finds one in an address wants its slashes.
    const QString absolute = QDir::toNativeSeparators(withoutPassword(file.absoluteFilePath()));
    const QString label = QStringLiteral("the schema file \"%1\"").arg(absolute);
    if (!file.exists())
        failConnection(CatalogFailure::FileNotReadable,
                       QStringLiteral("The data source \"%1\" is neither \"local\", an http(s) URL "
                                      "nor an existing file: there is no file \"%2\".")
                           .arg(withoutPassword(dataSource), absolute));
    return openSchemaFile(path, connectionString.initialCatalog, label);
}

} // namespace mdx
