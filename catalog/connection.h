#pragma once

#include "datasource.h"
#include "waitindicator.h"

#include <QString>

#include <memory>

namespace mdx {

struct ConnectionData;

// An OLE DB style connection: created closed, opened with a connection string.
// Copies share one connection (reference counted).
class Connection
{
public:
    Connection();
    // An open connection over a source built elsewhere (tests, other front ends).
    static Connection fromDataSource(std::shared_ptr<DataSource> source);

    // Throws mdx::Failure when the string is malformed or the source cannot be opened.
    // `options` is accepted for hosts written against the OLE DB signature and ignored:
    // opening is always synchronous.
    void open(const QString &connectionString, const QString &userId = {},
              const QString &password = {}, int options = -1);
    bool isOpen() const;
    // Shows every wait of the source, and may cancel it; also for a source already open. None
    // (the default): user input is held back until a wait ends.
    void setWaitIndicator(std::shared_ptr<WaitIndicator> indicator);
    bool hasWaitIndicator() const;

    // The open source; throws when the connection is closed.
    std::shared_ptr<DataSource> dataSource() const;

private:
    std::shared_ptr<ConnectionData> d;
};

} // namespace mdx
