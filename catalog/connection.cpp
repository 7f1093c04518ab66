#include "connection.h"
#include "connectionstring.h"
#include "opendatasource.h"

#include "common/failure.h"

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

} // namespace

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
