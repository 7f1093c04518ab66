#include "connection.h"
#include "connectionstring.h"
#include "opendatasource.h"
#include "schemadatasource.h"
#include "xmladatasource.h"

#include "common/failure.h"

#include <QFileInfo>
#include <QUrl>

namespace mdx {

struct ConnectionData
{
    std::shared_ptr<DataSource> source;
    std::shared_ptr<WaitIndicator> waitIndicator;
};

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
    const QString label
        = withoutPassword(QStringLiteral("the schema file \"%1\"").arg(file.absoluteFilePath()));
    if (!file.exists())
        throw Failure(
            CatalogFailure::FileNotReadable,
            QStringLiteral("The data source \"%1\" is neither \"local\", an http(s) URL "
                           "nor an existing file: there is no file \"%2\".")
                .arg(withoutPassword(dataSource), withoutPassword(file.absoluteFilePath())),
            FailureSource::Connection);
    return openSchemaFile(path, connectionString.initialCatalog, label);
}

Connection::Connection()
    : d(std::make_shared<ConnectionData>())
{
}

Connection Connection::fromDataSource(std::shared_ptr<DataSource> source)
{
    Connection connection;
    connection.d->source = std::move(source);
    return connection;
}

void Connection::open(const QString &connectionString, const QString &userId,
                      const QString &password, int options)
{
    Q_UNUSED(options); // kept for the OLE DB signature; opening is always synchronous
    if (d->source)
        failConnection(CatalogFailure::AlreadyOpen,
                       QStringLiteral("The connection is already open."));
    if (connectionString.trimmed().isEmpty())
        failConnection(CatalogFailure::EmptyConnectionString,
                       QStringLiteral("The connection string is empty. A connection string "
                                      "such as \"Provider=MSOLAP;Data Source=local;Initial "
                                      "Catalog=FoodMart 2000\" is needed."));
    ConnectionString parsed = parseConnectionString(connectionString);
    if (!userId.isEmpty())
        parsed.userId = userId;
    if (!password.isEmpty())
        parsed.password = password;
    d->source = openDataSource(parsed, d->waitIndicator);
}

void Connection::setWaitIndicator(std::shared_ptr<WaitIndicator> indicator)
{
    d->waitIndicator = std::move(indicator);
    if (d->source)
        d->source->setWaitIndicator(d->waitIndicator);
}

bool Connection::hasWaitIndicator() const
{
    return d->waitIndicator != nullptr;
}

bool Connection::isOpen() const
{
    return d->source != nullptr;
}

std::shared_ptr<DataSource> Connection::dataSource() const
{
    if (!d->source)
        failConnection(CatalogFailure::NotOpen, QStringLiteral("The connection is not open."));
    return d->source;
}

} // namespace mdx
