#include "xmlaclient.h"

#include "httpexchange.h"
#include "xmlanamespaces.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimer>
#include <QXmlStreamWriter>

#include <algorithm>
#include <functional>

namespace mdx {

namespace {

// QTimer counts milliseconds in an int.
constexpr int MaxTimeoutSeconds = 2'000'000;

void writeList(QXmlStreamWriter &xml, const QString &outer, const QString &inner,
               const XmlaParameters &items)
{
    xml.writeStartElement(outer);
    xml.writeStartElement(inner);
    for (const auto &[name, value] : items)
        xml.writeTextElement(name, value);
    xml.writeEndElement();
    xml.writeEndElement();
}

QByteArray envelope(const std::function<void(QXmlStreamWriter &)> &body)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeNamespace(XmlaNamespace::Soap, QStringLiteral("soap"));
    xml.writeStartElement(XmlaNamespace::Soap, QStringLiteral("Envelope"));
    xml.writeStartElement(XmlaNamespace::Soap, QStringLiteral("Body"));
    body(xml);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

QString megabytes(qint64 bytes)
{
    if (bytes >= 1024 * 1024)
        return QStringLiteral("%1 MB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
    return QStringLiteral("%1 KB").arg((bytes + 1023) / 1024);
}

QByteArray charsetOf(const QByteArray &contentType)
{
    for (const QByteArray &part : contentType.split(';')) {
        const QByteArray p = part.trimmed();
        if (p.toLower().startsWith("charset=")) {
            QByteArray value = p.mid(8).trimmed();
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

// The first words of a JSON error: {"error":{"code":"..","message":".."}} and its kin.
QString jsonMessage(const QJsonValue &value)
{
    if (value.isArray()) {
        for (const QJsonValue &item : value.toArray()) {
            if (QString found = jsonMessage(item); !found.isEmpty())
                return found;
        }
        return {};
    }
    const QJsonObject object = value.toObject();
    for (const char *key : { "message", "Message", "error_description", "description", "detail" }) {
        if (object.value(QLatin1String(key)).isString())
            return object.value(QLatin1String(key)).toString().trimmed();
    }
    for (const QJsonValue &inner : object) {
        if (QString found = jsonMessage(inner); !found.isEmpty())
            return found;
    }
    return {};
}

// What a body that is not XML for Analysis says in words: a JSON error's message, or a web
// page's title (else its text). Empty when it is neither.
QString bodyWords(const QByteArray &head)
{
    const QByteArray body = head.trimmed();
    if (body.startsWith('{') || body.startsWith('[')) {
        QJsonParseError error;
        const QJsonDocument json = QJsonDocument::fromJson(body, &error);
        return error.error == QJsonParseError::NoError
            ? jsonMessage(json.isArray() ? QJsonValue(json.array()) : QJsonValue(json.object()))
            : QString();
    }
    QString page = QString::fromUtf8(body);
    if (!page.contains(QLatin1String("<html"), Qt::CaseInsensitive))
        return {};
    static const QRegularExpression title(QStringLiteral("<title[^>]*>(.*?)</title>"),
                                          QRegularExpression::CaseInsensitiveOption
                                              | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression hidden(QStringLiteral("<(head|script|style)[^>]*>.*?</\\1>"),
                                           QRegularExpression::CaseInsensitiveOption
                                               | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    const QRegularExpressionMatch titled = title.match(page);
    QString words = titled.hasMatch() ? titled.captured(1)
                                      : page.remove(hidden).replace(tag, QStringLiteral(" "));
    words.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&#39;"), QLatin1String("'"))
        .replace(QLatin1String("&nbsp;"), QLatin1String(" "))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    words = words.simplified();
    return words.size() > 300 ? words.left(300) + QChar(0x2026) : words;
}

// Enough of a body to say what an error page or JSON error says.
constexpr qsizetype KeptHead = 16 * 1024;

} // namespace

// One request and its answer, read as it arrives.
struct XmlaClient::Exchange
{
    // Why the client stopped the request before its answer was in.
    enum class Abort { None, Cancelled, TimedOut, TooLarge, Unreadable, Sibling };

    Exchange(XmlaResponseReader::Kind kind, QByteArray body, QByteArray action, qint64 limit)
        : body(std::move(body))
        , action(std::move(action))
        , limit(limit)
        , reader(kind)
    {
    }

    // Slots run inside Qt's event loop: nothing may be thrown out of them.
    template<typename Work> void inSlot(Work &&work)
    {
        try {
            work();
        } catch (...) {
            stop(Abort::Unreadable);
        }
    }

    void stop(Abort why)
    {
        if (abort == Abort::None)
            abort = why;
        if (http)
            http->abort();
    }

    // A declared length over the limit stops the request before anything is read.
    void headRead()
    {
        inSlot([&] {
            const HttpResponse &response = http->response();
            reader.setHttpCharset(charsetOf(response.header("Content-Type")));
            bool number = false;
            const qint64 length = response.header("Content-Length").toLongLong(&number);
            if (number && length > limit)
                stop(Abort::TooLarge);
        });
    }

    void take(const QByteArray &chunk)
    {
        inSlot([&] {
            if (abort != Abort::None)
                return;
            if (reader.bytesRead() + chunk.size() > limit)
                return stop(Abort::TooLarge);
            if (head.size() < KeptHead)
                head += chunk.left(KeptHead - head.size());
            reader.addData(chunk);
            if (reader.failed())
                http->abort(); // nothing after a fault or malformed XML changes the outcome
        });
    }

    bool failed() const
    {
        return abort != Abort::None || reader.failed()
            || (http && http->error() != HttpExchange::Error::None);
    }

    void finishReading()
    {
        if (!readerFinished) {
            readerFinished = true;
            reader.finish();
        }
    }

    QByteArray body;
    QByteArray action;
    qint64 limit;
    XmlaResponseReader reader;
    QByteArray head; // the body's start, for the words of an answer that is no SOAP
    std::unique_ptr<HttpExchange> http;
    Abort abort = Abort::None;
    bool readerFinished = false;
    bool ahead = false; // see XmlaDiscover::ahead
    bool aheadFailed = false;
};

// The requests of one call while they are out: one failed answer stops the others, the wait
// ends when every answer is in, and the replies go however the call ends.
class XmlaClient::InFlight
{
public:
    explicit InFlight(Exchanges &exchanges)
        : mExchanges(exchanges)
    {
    }
    // No slot of an exchange is running any more: they go now rather than at some later turn
    // of an event loop, and their open connections wait for the next request.
    ~InFlight()
    {
        for (const auto &exchange : mExchanges)
            exchange->http.reset();
    }

    void sent(Exchange &exchange)
    {
        ++mPending;
        QObject::connect(exchange.http.get(), &HttpExchange::finished, exchange.http.get(),
                         [this, &exchange] { answered(exchange); });
    }

    void stopAll(Exchange::Abort why)
    {
        for (const auto &exchange : mExchanges) {
            if (exchange->http && !exchange->http->isFinished())
                exchange->stop(why);
        }
    }

    void exec(QEventLoop::ProcessEventsFlags flags)
    {
        if (mPending > 0)
            mLoop.exec(flags);
    }

private:
    void answered(Exchange &exchange)
    {
        if (exchange.failed() && !exchange.ahead)
            stopAll(Exchange::Abort::Sibling);
        if (--mPending == 0)
            mLoop.quit();
    }

    Exchanges &mExchanges;
    QEventLoop mLoop;
    int mPending = 0;
};

XmlaClient::XmlaClient(XmlaSettings settings)
    : mSettings(std::move(settings))
    , mConnections(std::make_unique<HttpConnections>())
{
    const QUrl &url = mSettings.url;
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || url.host().isEmpty()) {
        fail(XmlaFailure::BadAddress,
             QStringLiteral("The Data Source \"%1\" is not an http:// or https:// address.")
                 .arg(withoutPassword(url.toDisplayString(QUrl::RemoveUserInfo))));
    }
    mRequestUrl = url.adjusted(QUrl::RemoveUserInfo);
    mUser = mSettings.userId;
    mPassword = mSettings.password;
    if (mUser.isEmpty() && !url.userName().isEmpty()) {
        mUser = url.userName();
        mPassword = url.password();
    }
}

XmlaClient::~XmlaClient() = default;

int XmlaClient::connectionCount() const
{
    return mConnections->opened();
}

QString XmlaClient::displayUrl() const
{
    return withoutPassword(mRequestUrl.toDisplayString());
}

QByteArray XmlaClient::discoverBody(const XmlaDiscover &request)
{
    return envelope([&](QXmlStreamWriter &xml) {
        xml.writeStartElement(QStringLiteral("Discover"));
        xml.writeDefaultNamespace(XmlaNamespace::Xmla);
        xml.writeTextElement(QStringLiteral("RequestType"), request.requestType);
        writeList(xml, QStringLiteral("Restrictions"), QStringLiteral("RestrictionList"),
                  request.restrictions);
        writeList(xml, QStringLiteral("Properties"), QStringLiteral("PropertyList"),
                  request.properties);
        xml.writeEndElement();
    });
}

QByteArray XmlaClient::executeBody(const QString &statement, const XmlaParameters &properties)
{
    return envelope([&](QXmlStreamWriter &xml) {
        xml.writeStartElement(QStringLiteral("Execute"));
        xml.writeDefaultNamespace(XmlaNamespace::Xmla);
        xml.writeStartElement(QStringLiteral("Command"));
        xml.writeTextElement(QStringLiteral("Statement"), statement);
        xml.writeEndElement();
        writeList(xml, QStringLiteral("Properties"), QStringLiteral("PropertyList"), properties);
        xml.writeEndElement();
    });
}

QList<XmlaRowset> XmlaClient::discover(const QList<XmlaDiscover> &requests, const QString &waitText)
{
    QList<XmlaRowset> answers;
    for (std::optional<XmlaRowset> &answer : discoverAhead(requests, waitText))
        answers.append(answer ? std::move(*answer) : XmlaRowset());
    return answers;
}

QList<std::optional<XmlaRowset>> XmlaClient::discoverAhead(const QList<XmlaDiscover> &requests,
                                                           const QString &waitText)
{
    Exchanges exchanges;
    for (const XmlaDiscover &request : requests) {
        exchanges.push_back(std::make_unique<Exchange>(
            XmlaResponseReader::Kind::Discover, discoverBody(request),
            QByteArrayLiteral("\"urn:schemas-microsoft-com:xml-analysis:Discover\""),
            request.columns.isEmpty()
                ? mSettings.responseLimit
                : std::max(mSettings.responseLimit, mSettings.keptColumnsLimit)));
        exchanges.back()->reader.keepColumns(request.columns);
        exchanges.back()->ahead = request.ahead;
        if (request.rowSink)
            exchanges.back()->reader.setRowSink(request.rowSink);
    }
    run(exchanges, waitText);
    QList<std::optional<XmlaRowset>> answers;
    for (const auto &exchange : exchanges) {
        if (exchange->aheadFailed)
            answers.append(std::nullopt);
        else
            answers.append(exchange->reader.rowset());
    }
    return answers;
}

XmlaRowset XmlaClient::discover(const XmlaDiscover &request, const QString &waitText)
{
    return discover(QList<XmlaDiscover> { request }, waitText).constFirst();
}

XmlaExecuteResult XmlaClient::execute(const QString &statement, const XmlaParameters &properties,
                                      const QString &waitText)
{
    Exchanges exchanges;
    exchanges.push_back(std::make_unique<Exchange>(
        XmlaResponseReader::Kind::Execute, executeBody(statement, properties),
        QByteArrayLiteral("\"urn:schemas-microsoft-com:xml-analysis:Execute\""),
        mSettings.responseLimit));
    QElapsedTimer clock;
    clock.start();
    run(exchanges, waitText);
    XmlaExecuteResult result = exchanges.front()->reader.executeResult();
    result.elapsedMs = clock.elapsed();
    return result;
}

// Sends every request, waits for all answers, and throws the first failure.
void XmlaClient::run(Exchanges &exchanges, const QString &waitText)
{
    if (!QCoreApplication::instance())
        fail(XmlaFailure::NoEventLoop,
             QStringLiteral("Talking to a server needs a running application object."));
    if (mBusy)
        fail(XmlaFailure::Busy,
             QStringLiteral("The previous request to the server has not ended yet."));
    mBusy = true;
    const auto notBusy = qScopeGuard([this] { mBusy = false; });

    InFlight flight(exchanges);
    for (const auto &exchange : exchanges)
        send(*exchange, flight);
    switch (wait(flight, waitText)) {
    case WaitEnd::Cancelled:
        fail(CatalogFailure::Cancelled, QStringLiteral("The request was cancelled by the user."));
    case WaitEnd::TimedOut:
        fail(XmlaFailure::TimedOut,
             QStringLiteral("The server at %1 did not answer within %2 seconds "
                            "(Connect Timeout).")
                 .arg(displayUrl(), QString::number(mSettings.timeoutSeconds)));
    case WaitEnd::Answered:
        failOnFirstFailure(exchanges);
    }
}

void XmlaClient::send(Exchange &exchange, InFlight &flight)
{
    QByteArray head = "Content-Type: text/xml; charset=utf-8\r\nSOAPAction: " + exchange.action
        + "\r\nAccept: text/xml, application/xml, application/soap+xml\r\n"
          "Accept-Encoding: gzip, deflate\r\nUser-Agent: MdxWizard\r\n";
    if (!mUser.isEmpty() || !mPassword.isEmpty())
        head += "Authorization: Basic " + (mUser + u':' + mPassword).toUtf8().toBase64() + "\r\n";
    // A redirect is not followed: it would carry the credentials elsewhere.
    exchange.http = std::make_unique<HttpExchange>(
        *mConnections, mRequestUrl, head, std::exchange(exchange.body, {}),
        [&exchange](const QByteArray &chunk) { exchange.take(chunk); });
    QObject::connect(exchange.http.get(), &HttpExchange::headRead, exchange.http.get(),
                     [&exchange] { exchange.headRead(); });
    flight.sent(exchange);
    exchange.http->start();
    ++mRequestCount;
}

// Waits in a local event loop until every answer is in, the time is up or the user cancels.
XmlaClient::WaitEnd XmlaClient::wait(InFlight &flight, const QString &waitText)
{
    WaitEnd end = WaitEnd::Answered;
    // The indicator may call cancel late; it then finds nothing to do.
    auto cancel = std::make_shared<std::function<void()>>([&] {
        end = WaitEnd::Cancelled;
        flight.stopAll(Exchange::Abort::Cancelled);
    });
    WaitIndicator *indicator = mSettings.waitIndicator.get();
    bool begun = false;
    const auto endWait = qScopeGuard([&] {
        *cancel = nullptr;
        try {
            if (begun)
                indicator->end();
        } catch (...) {
            // the wait is over either way; nothing to report it to
        }
    });

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        if (end == WaitEnd::Answered)
            end = WaitEnd::TimedOut;
        flight.stopAll(Exchange::Abort::TimedOut);
    });
    if (mSettings.timeoutSeconds > 0)
        deadline.start(std::min(mSettings.timeoutSeconds, MaxTimeoutSeconds) * 1000);
    if (indicator) {
        indicator->begin(waitText, [cancel] {
            if (*cancel)
                (*cancel)();
        });
        begun = true;
    }
    flight.exec(indicator ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    return end;
}

// The first request that failed for its own reason speaks for all; one stopped because
// another failed speaks only when none did. One sent ahead speaks for none: whether it failed
// is noted here, while its reply is still there to tell.
void XmlaClient::failOnFirstFailure(Exchanges &exchanges) const
{
    std::optional<XmlaFault> firstStopped;
    for (const auto &exchange : exchanges) {
        if (exchange->ahead) {
            exchange->aheadFailed = outcome(*exchange).has_value();
            continue;
        }
        std::optional<XmlaFault> failure = outcome(*exchange);
        if (!failure)
            continue;
        if (exchange->abort != Exchange::Abort::Sibling)
            throw scrubbed(*failure);
        if (!firstStopped)
            firstStopped = failure;
    }
    if (firstStopped)
        throw scrubbed(*firstStopped);
}

std::optional<XmlaFault> XmlaClient::outcome(Exchange &exchange) const
{
    switch (exchange.abort) {
    case Exchange::Abort::TooLarge:
        return failure(XmlaFailure::TooLarge,
                       QStringLiteral("The server's answer is larger than %1, far more than it "
                                      "should be; reading stopped there.")
                           .arg(megabytes(exchange.limit)));
    case Exchange::Abort::Unreadable:
        return failure(XmlaFailure::NotXml,
                       QStringLiteral("The server's answer could not be read."));
    case Exchange::Abort::Sibling:
        return failure(XmlaFailure::Network, QStringLiteral("The request was stopped."));
    default:
        break;
    }
    const HttpExchange *http = exchange.http.get();
    if (!http)
        return failure(XmlaFailure::Network, QStringLiteral("The request could not be sent."));
    exchange.finishReading();
    const int status = http->response().headRead() ? http->response().status() : 0;
    if (status == 0)
        return networkFailure(*http);
    // Servers send faults with 500 as SOAP wants, or with 200; either way the fault explains
    // more than the status. Any other body under an error status explains less.
    const bool soapFault = exchange.reader.isServerFault();
    const QString words = soapFault ? QString() : bodyWords(exchange.head);
    if (soapFault || (status >= 200 && status < 300)) {
        if (!words.isEmpty() && exchange.reader.failure())
            return failure(XmlaFailure::NotXmla,
                           QStringLiteral("The server at %1 answered with \"%2\" instead of XML "
                                          "for Analysis. Is the Data Source the address of an XML "
                                          "for Analysis service?")
                               .arg(displayUrl(), words));
        return exchange.reader.failure();
    }
    return statusFailure(status, http->response(), words);
}

XmlaFault XmlaClient::statusFailure(int status, const HttpResponse &response,
                                    const QString &words) const
{
    const QString url = displayUrl();
    const QString reason = QString::fromLatin1(response.reason());
    if (status >= 300 && status < 400) {
        const QUrl location = QUrl::fromEncoded(response.header("Location"));
        return failure(XmlaFailure::Redirected,
                       QStringLiteral("The server at %1 redirects to %2 (HTTP %3); use that "
                                      "address as the Data Source.")
                           .arg(url,
                                withoutPassword(mRequestUrl.resolved(location).toDisplayString(
                                    QUrl::RemoveUserInfo)),
                                QString::number(status)));
    }
    switch (status) {
    case 401:
        if (mUser.isEmpty() && mPassword.isEmpty())
            return failure(XmlaFailure::NotAuthorized,
                           QStringLiteral("The server at %1 wants a user name and password "
                                          "(HTTP 401); give them as User ID and Password in "
                                          "the connection string.")
                               .arg(url));
        return failure(XmlaFailure::NotAuthorized,
                       QStringLiteral("The server at %1 did not accept the user name \"%2\" "
                                      "with the password given (HTTP 401).")
                           .arg(url, mUser));
    case 403:
        return failure(XmlaFailure::Forbidden,
                       QStringLiteral("The server at %1 refused access (HTTP 403 %2).")
                           .arg(url, reason.isEmpty() ? QStringLiteral("Forbidden") : reason));
    case 404:
        return failure(XmlaFailure::NotFound,
                       QStringLiteral("There is no XML for Analysis service at %1 (HTTP 404 "
                                      "Not Found); check the Data Source address.")
                           .arg(url));
    default:
        return failure(
            XmlaFailure::HttpStatus,
            QStringLiteral("The server at %1 answered HTTP %2 instead of a result%3")
                .arg(url, (QString::number(status) + u' ' + reason).trimmed(),
                     words.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + words));
    }
}

XmlaFault XmlaClient::networkFailure(const HttpExchange &http) const
{
    const QString url = displayUrl();
    const QString host = mRequestUrl.host();
    switch (http.error()) {
    case HttpExchange::Error::ConnectionRefused:
        return failure(
            XmlaFailure::ConnectionRefused,
            QStringLiteral("Nothing answers at %1, port %2 (connection refused). Is the server "
                           "running, and is the port right?")
                .arg(host,
                     QString::number(
                         mRequestUrl.port(mRequestUrl.scheme().toLower() == u"https" ? 443 : 80))));
    case HttpExchange::Error::HostNotFound:
        return failure(XmlaFailure::HostNotFound,
                       QStringLiteral("The host \"%1\" is unknown.").arg(host));
    case HttpExchange::Error::TimedOut:
        return failure(XmlaFailure::TimedOut,
                       QStringLiteral("The connection to %1 timed out.").arg(url));
    case HttpExchange::Error::Tls:
        return failure(
            XmlaFailure::Certificate,
            QStringLiteral("The secure connection to %1 failed: %2")
                .arg(host,
                     http.sslErrors().isEmpty()
                         ? http.errorString()
                         : QStringLiteral("the server's certificate could not be trusted (%1).")
                               .arg(http.sslErrors().join(QStringLiteral("; ")))));
    case HttpExchange::Error::Closed:
        return failure(
            XmlaFailure::Network,
            QStringLiteral("The server at %1 closed the connection without answering.").arg(url));
    case HttpExchange::Error::None:
    case HttpExchange::Error::NoHttp:
        return failure(XmlaFailure::Network,
                       QStringLiteral("The server at %1 sent no HTTP answer.").arg(url));
    case HttpExchange::Error::Aborted:
        return failure(XmlaFailure::Network, QStringLiteral("The request was stopped."));
    case HttpExchange::Error::Other:
        break;
    }
    return failure(XmlaFailure::Network,
                   QStringLiteral("The request to %1 failed: %2").arg(url, http.errorString()));
}

XmlaFault XmlaClient::failure(qint32 code, const QString &description) const
{
    return XmlaFault(code, description, FailureSource::Xmla, QString(), QString());
}

// A server's fault or the network stack's words may quote the request or its address: the
// password is hidden there by the rule of every other quoted text.
XmlaFault XmlaClient::scrubbed(const XmlaFault &failure) const
{
    return XmlaFault(failure.code(), withoutPassword(failure.description()),
                     withoutPassword(failure.source()), failure.faultCode(), failure.errorCode());
}

void XmlaClient::fail(qint32 code, const QString &description) const
{
    throw scrubbed(failure(code, description));
}

} // namespace mdx
