#pragma once

#include "xmlareader.h"

#include "waitindicator.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace mdx {

class HttpConnections;
class HttpExchange;
class HttpResponse;

struct XmlaSettings
{
    static constexpr int DefaultTimeoutSeconds = 30;
    // An answer kept whole (a statement's result, or a Discover that keeps every column) costs
    // memory by its size; one far beyond a few megabytes is a wrong address or a runaway
    // server.
    static constexpr qint64 DefaultResponseLimit = 32 * 1024 * 1024;
    // An answer of which only a few columns are kept (the catalog's metadata, a level's
    // members) is read as a stream and costs memory by what is kept, however big the cube;
    // the limit only stops a server that never ends.
    static constexpr qint64 KeptColumnsResponseLimit = qint64(1024) * 1024 * 1024;

    QUrl url; // http:// or https://; user info in it serves when userId is empty
    QString userId;
    QString password;
    int timeoutSeconds = DefaultTimeoutSeconds; // whole request, each; 0: no limit
    qint64 responseLimit = DefaultResponseLimit; // bytes of one answer kept whole
    qint64 keptColumnsLimit = KeptColumnsResponseLimit; // bytes of one answer read as a stream
    // Shows every wait and may cancel it; none: user input is held back until a wait ends.
    std::shared_ptr<WaitIndicator> waitIndicator;
};

using XmlaParameters = QList<std::pair<QString, QString>>;

struct XmlaDiscover
{
    QString requestType;
    XmlaParameters restrictions;
    XmlaParameters properties;
    // The columns to keep of each row; none named: every column.
    QStringList columns;
    // Takes each row as soon as it is read (while the answer still arrives), instead of the
    // answer's rowset; may throw a failure, which then is the request's.
    std::function<void(XmlaRow &&)> rowSink;
    // Sent along before it is known to be needed, to save a round trip: its own failure
    // neither fails the call nor stops the other requests (see discoverAhead()).
    bool ahead = false;
};

// SOAP 1.1 over HTTP POST. Each call sends its requests at once, waits for all of them in a
// local event loop (see WaitIndicator) and returns the answers or throws one Failure that
// says what went wrong in words; the password never appears in it.
class XmlaClient
{
public:
    // Throws when the address is not an http(s) URL.
    explicit XmlaClient(XmlaSettings settings);
    ~XmlaClient();
    XmlaClient(const XmlaClient &) = delete;
    XmlaClient &operator=(const XmlaClient &) = delete;

    // Answers in the order of the requests; sent concurrently.
    QList<XmlaRowset> discover(const QList<XmlaDiscover> &requests, const QString &waitText);
    XmlaRowset discover(const XmlaDiscover &request, const QString &waitText);
    // As discover(); an answer to a request sent `ahead` that failed comes back as none.
    QList<std::optional<XmlaRowset>> discoverAhead(const QList<XmlaDiscover> &requests,
                                                   const QString &waitText);
    XmlaExecuteResult execute(const QString &statement, const XmlaParameters &properties,
                              const QString &waitText);

    // HTTP requests sent so far, and the connections they took.
    int requestCount() const { return mRequestCount; }
    int connectionCount() const;
    // The address for messages: without user name and password.
    QString displayUrl() const;
    void setWaitIndicator(std::shared_ptr<WaitIndicator> indicator)
    {
        mSettings.waitIndicator = std::move(indicator);
    }

    // Builders of the request bodies; public for tests.
    static QByteArray discoverBody(const XmlaDiscover &request);
    static QByteArray executeBody(const QString &statement, const XmlaParameters &properties);

private:
    struct Exchange;
    class InFlight;
    using Exchanges = std::vector<std::unique_ptr<Exchange>>;
    enum class WaitEnd { Answered, Cancelled, TimedOut };

    void run(Exchanges &exchanges, const QString &waitText);
    void send(Exchange &exchange, InFlight &flight);
    WaitEnd wait(InFlight &flight, const QString &waitText);
    void failOnFirstFailure(Exchanges &exchanges) const;
    std::optional<XmlaFault> outcome(Exchange &exchange) const;
    // `words`: what the body said, if anything (bodyWords).
    XmlaFault statusFailure(int status, const HttpResponse &response, const QString &words) const;
    XmlaFault networkFailure(const HttpExchange &http) const;
    XmlaFault failure(qint32 code, const QString &description) const;
    XmlaFault scrubbed(const XmlaFault &failure) const;
    [[noreturn]] void fail(qint32 code, const QString &description) const;

    XmlaSettings mSettings;
    QUrl mRequestUrl; // without user info
    QString mUser;
    QString mPassword;
    std::unique_ptr<HttpConnections> mConnections;
    int mRequestCount = 0;
    bool mBusy = false;
};

} // namespace mdx
