#include "xmlaclient.h"

#include "connectionstring.h"
#include "waitindicator.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslError>
#include <QTimer>
#include <QXmlStreamWriter>

#include <algorithm>

namespace mdx {

namespace {

const QString SoapNs = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString XmlaNs = QStringLiteral("urn:schemas-microsoft-com:xml-analysis");

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
    xml.writeNamespace(SoapNs, QStringLiteral("soap"));
    xml.writeStartElement(SoapNs, QStringLiteral("Envelope"));
    xml.writeStartElement(SoapNs, QStringLiteral("Body"));
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

} // namespace

struct XmlaClient::Exchange
{
    enum class Abort { None, Cancelled, TimedOut, TooLarge, Unreadable, Sibling };

    Exchange(XmlaResponseReader::Kind kind, QByteArray body, QByteArray action)
        : body(std::move(body))
        , action(std::move(action))
        , reader(kind)
    {
    }

    QByteArray body;
    QByteArray action;
    XmlaResponseReader reader;
    QPointer<QNetworkReply> reply;
    Abort abort = Abort::None;
    bool done = false;
    bool finished = false; // the reader was told the body ended
    QStringList sslErrors;
};

XmlaClient::XmlaClient(XmlaSettings settings)
    : mSettings(std::move(settings))
{
    const QUrl &url = mSettings.url;
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || url.host().isEmpty()) {
        raise(XmlaFailure::BadAddress,
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

QString XmlaClient::displayUrl() const
{
    return withoutPassword(mRequestUrl.toDisplayString());
}

QByteArray XmlaClient::discoverBody(const XmlaDiscover &request)
{
    return envelope([&](QXmlStreamWriter &xml) {
        xml.writeStartElement(QStringLiteral("Discover"));
        xml.writeDefaultNamespace(XmlaNs);
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
        xml.writeDefaultNamespace(XmlaNs);
        xml.writeStartElement(QStringLiteral("Command"));
        xml.writeTextElement(QStringLiteral("Statement"), statement);
        xml.writeEndElement();
        writeList(xml, QStringLiteral("Properties"), QStringLiteral("PropertyList"), properties);
        xml.writeEndElement();
    });
}

QList<XmlaRowset> XmlaClient::discover(const QList<XmlaDiscover> &requests, const QString &waitText)
{
    std::vector<std::unique_ptr<Exchange>> exchanges;
    for (const XmlaDiscover &request : requests)
        exchanges.push_back(std::make_unique<Exchange>(
            XmlaResponseReader::Kind::Discover, discoverBody(request),
            QByteArrayLiteral("\"urn:schemas-microsoft-com:xml-analysis:Discover\"")));
    run(exchanges, waitText);
    QList<XmlaRowset> answers;
    for (const auto &exchange : exchanges)
        answers.append(exchange->reader.rowset());
    return answers;
}

XmlaRowset XmlaClient::discover(const XmlaDiscover &request, const QString &waitText)
{
    return discover(QList<XmlaDiscover> { request }, waitText).constFirst();
}

XmlaExecuteResult XmlaClient::execute(const QString &statement, const XmlaParameters &properties,
                                      const QString &waitText)
{
    std::vector<std::unique_ptr<Exchange>> exchanges;
    exchanges.push_back(std::make_unique<Exchange>(
        XmlaResponseReader::Kind::Execute, executeBody(statement, properties),
        QByteArrayLiteral("\"urn:schemas-microsoft-com:xml-analysis:Execute\"")));
    run(exchanges, waitText);
    return exchanges.front()->reader.executeResult();
}

void XmlaClient::run(std::vector<std::unique_ptr<Exchange>> &exchanges, const QString &waitText)
{
    if (!QCoreApplication::instance())
        raise(XmlaFailure::NoEventLoop,
              QStringLiteral("Talking to a server needs a running application object."));
    if (mBusy)
        raise(XmlaFailure::Busy,
              QStringLiteral("The previous request to the server has not ended yet."));
    mBusy = true;
    const auto notBusy = qScopeGuard([this] { mBusy = false; });
    if (!mManager)
        mManager = std::make_unique<QNetworkAccessManager>();

    QEventLoop loop;
    int pending = 0;
    bool cancelled = false;
    bool timedOut = false;

    auto abortAll = [&](Exchange::Abort why) {
        for (const auto &exchange : exchanges) {
            if (exchange->done)
                continue;
            if (exchange->abort == Exchange::Abort::None)
                exchange->abort = why;
            if (exchange->reply)
                exchange->reply->abort();
        }
    };

    // The indicator may call cancel late; it then finds nothing to do.
    auto cancelAction = std::make_shared<std::function<void()>>([&] {
        cancelled = true;
        abortAll(Exchange::Abort::Cancelled);
    });
    WaitIndicator *indicator = waitIndicator();
    bool indicatorBegun = false;
    const auto endWait = qScopeGuard([&] {
        *cancelAction = nullptr;
        if (indicatorBegun) {
            try {
                indicator->end();
            } catch (...) {
                // the wait is over either way; nothing to report it to
            }
        }
        for (const auto &exchange : exchanges) {
            if (exchange->reply) {
                // No slot of the reply is running any more; delete it now rather than at
                // some later turn of an event loop.
                exchange->reply->disconnect();
                if (!exchange->done)
                    exchange->reply->abort();
                delete exchange->reply.data();
            }
        }
    });

    // Slots run inside Qt's event loop: nothing may be thrown out of them.
    auto guarded = [&](Exchange *exchange, auto &&work) {
        try {
            work();
        } catch (...) {
            if (exchange->abort == Exchange::Abort::None)
                exchange->abort = Exchange::Abort::Unreadable;
            if (exchange->reply)
                exchange->reply->abort();
        }
    };

    for (const auto &owned : exchanges) {
        Exchange *exchange = owned.get();
        QNetworkRequest request(mRequestUrl);
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("text/xml; charset=utf-8"));
        request.setRawHeader("SOAPAction", exchange->action);
        request.setRawHeader("Accept", "text/xml, application/xml, application/soap+xml");
        request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("MdxWizard"));
        if (!mUser.isEmpty() || !mPassword.isEmpty())
            request.setRawHeader("Authorization",
                                 "Basic " + (mUser + u':' + mPassword).toUtf8().toBase64());
        // A redirect would carry the credentials elsewhere and turn POST into GET.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);

        exchange->reply = mManager->post(request, exchange->body);
        ++mRequestCount;
        ++pending;
        QNetworkReply *reply = exchange->reply;

        QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&, exchange] {
            guarded(exchange, [&] {
                QNetworkReply *r = exchange->reply;
                exchange->reader.setHttpCharset(
                    charsetOf(r->header(QNetworkRequest::ContentTypeHeader).toByteArray()));
                const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
                if (length.isValid() && length.toLongLong() > mSettings.responseLimit) {
                    exchange->abort = Exchange::Abort::TooLarge;
                    r->abort();
                }
            });
        });
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [&, exchange] {
            guarded(exchange, [&] {
                QNetworkReply *r = exchange->reply;
                const QByteArray chunk = r->readAll();
                if (exchange->reader.bytesRead() + chunk.size() > mSettings.responseLimit) {
                    exchange->abort = Exchange::Abort::TooLarge;
                    r->abort();
                    return;
                }
                exchange->reader.addData(chunk);
            });
        });
        QObject::connect(reply, &QNetworkReply::sslErrors, reply,
                         [exchange](const QList<QSslError> &errors) {
                             // Never ignored: the handshake fails and the reply reports it.
                             for (const QSslError &error : errors)
                                 exchange->sslErrors.append(error.errorString());
                         });
        QObject::connect(reply, &QNetworkReply::finished, reply, [&, exchange] {
            guarded(exchange, [&] {
                exchange->done = true;
                QNetworkReply *r = exchange->reply;
                if (exchange->abort == Exchange::Abort::None && r) {
                    const QByteArray rest = r->readAll();
                    if (exchange->reader.bytesRead() + rest.size() > mSettings.responseLimit)
                        exchange->abort = Exchange::Abort::TooLarge;
                    else
                        exchange->reader.addData(rest);
                }
            });
            // One failed answer makes the whole call fail: stop waiting for the others.
            if (exchange->abort != Exchange::Abort::None || exchange->reader.failed()
                || (exchange->reply && exchange->reply->error() != QNetworkReply::NoError))
                abortAll(Exchange::Abort::Sibling);
            if (--pending == 0)
                loop.quit();
        });
    }

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        abortAll(Exchange::Abort::TimedOut);
    });
    if (mSettings.timeoutSeconds > 0)
        deadline.start(std::min(mSettings.timeoutSeconds, MaxTimeoutSeconds) * 1000);

    if (indicator) {
        indicator->begin(waitText, [cancelAction] {
            if (*cancelAction)
                (*cancelAction)();
        });
        indicatorBegun = true;
    }
    if (pending > 0)
        loop.exec(indicator ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    deadline.stop();

    if (cancelled)
        raise(XmlaFailure::Cancelled, QStringLiteral("The request was cancelled by the user."));
    if (timedOut)
        raise(XmlaFailure::TimedOut,
              QStringLiteral("The server at %1 did not answer within %2 seconds "
                             "(Connect Timeout).")
                  .arg(displayUrl(), QString::number(mSettings.timeoutSeconds)));
    // The first request that failed for its own reason speaks for all.
    std::optional<XmlaFault> firstSibling;
    for (const auto &exchange : exchanges) {
        std::optional<XmlaFault> failure = outcome(*exchange);
        if (!failure)
            continue;
        if (exchange->abort != Exchange::Abort::Sibling)
            throw scrubbed(*failure);
        if (!firstSibling)
            firstSibling = failure;
    }
    if (firstSibling)
        throw scrubbed(*firstSibling);
}

std::optional<XmlaFault> XmlaClient::outcome(Exchange &exchange) const
{
    auto failure = [](qint32 code, const QString &description) {
        return std::optional<XmlaFault>(
            XmlaFault(code, description, XmlaSource, QString(), QString()));
    };
    switch (exchange.abort) {
    case Exchange::Abort::TooLarge:
        return failure(XmlaFailure::TooLarge,
                       QStringLiteral("The server's answer is larger than %1, far more than the "
                                      "metadata of a catalog should be; reading stopped there.")
                           .arg(megabytes(mSettings.responseLimit)));
    case Exchange::Abort::Unreadable:
        return failure(XmlaFailure::NotXml,
                       QStringLiteral("The server's answer could not be read."));
    case Exchange::Abort::Sibling:
        // Stopped because another request of the same call failed; that one reports.
        return failure(XmlaFailure::Network, QStringLiteral("The request was stopped."));
    default:
        break;
    }

    QNetworkReply *reply = exchange.reply;
    if (!reply)
        return failure(XmlaFailure::Network, QStringLiteral("The request could not be sent."));
    if (!exchange.finished) {
        exchange.finished = true;
        exchange.reader.finish();
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString url = displayUrl();
    if (status != 0) {
        // Servers send faults with 500 as SOAP wants, or with 200; either way the fault
        // explains more than the status.
        if (exchange.reader.isServerFault())
            return exchange.reader.failure();
        if (status >= 200 && status < 300) {
            if (exchange.reader.failed())
                return exchange.reader.failure();
            return std::nullopt;
        }
        const QString reason
            = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        if (status >= 300 && status < 400) {
            const QUrl location = reply->header(QNetworkRequest::LocationHeader).toUrl();
            return failure(XmlaFailure::Redirected,
                           QStringLiteral("The server at %1 redirects to %2 (HTTP %3); use that "
                                          "address as the Data Source.")
                               .arg(url,
                                    withoutPassword(mRequestUrl.resolved(location).toDisplayString(
                                        QUrl::RemoveUserInfo)),
                                    QString::number(status)));
        }
        if (status == 401) {
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
        }
        if (status == 403)
            return failure(XmlaFailure::Forbidden,
                           QStringLiteral("The server at %1 refused access (HTTP 403 %2).")
                               .arg(url, reason.isEmpty() ? QStringLiteral("Forbidden") : reason));
        if (status == 404)
            return failure(XmlaFailure::NotFound,
                           QStringLiteral("There is no XML for Analysis service at %1 (HTTP 404 "
                                          "Not Found); check the Data Source address.")
                               .arg(url));
        const QString statusText = (QString::number(status) + u' ' + reason).trimmed();
        return failure(XmlaFailure::HttpStatus,
                       QStringLiteral("The server at %1 answered HTTP %2 instead of a result.")
                           .arg(url, statusText));
    }

    const QString host = mRequestUrl.host();
    const int port
        = mRequestUrl.port(mRequestUrl.scheme().toLower() == QLatin1String("https") ? 443 : 80);
    switch (reply->error()) {
    case QNetworkReply::NoError:
        return failure(XmlaFailure::Network,
                       QStringLiteral("The server at %1 sent no HTTP answer.").arg(url));
    case QNetworkReply::ConnectionRefusedError:
        return failure(XmlaFailure::ConnectionRefused,
                       QStringLiteral("Nothing answers at %1, port %2 (connection refused). Is "
                                      "the server running, and is the port right?")
                           .arg(host, QString::number(port)));
    case QNetworkReply::HostNotFoundError:
        return failure(XmlaFailure::HostNotFound,
                       QStringLiteral("The host \"%1\" is unknown.").arg(host));
    case QNetworkReply::TimeoutError:
        return failure(XmlaFailure::TimedOut,
                       QStringLiteral("The connection to %1 timed out.").arg(url));
    case QNetworkReply::SslHandshakeFailedError:
        return failure(
            XmlaFailure::Certificate,
            QStringLiteral("The secure connection to %1 failed: %2")
                .arg(host,
                     exchange.sslErrors.isEmpty()
                         ? reply->errorString()
                         : QStringLiteral("the server's certificate could not be trusted (%1).")
                               .arg(exchange.sslErrors.join(QStringLiteral("; ")))));
    case QNetworkReply::RemoteHostClosedError:
        return failure(
            XmlaFailure::Network,
            QStringLiteral("The server at %1 closed the connection without answering.").arg(url));
    default:
        if (!exchange.sslErrors.isEmpty())
            return failure(XmlaFailure::Certificate,
                           QStringLiteral("The secure connection to %1 failed: the server's "
                                          "certificate could not be trusted (%2).")
                               .arg(host, exchange.sslErrors.join(QStringLiteral("; "))));
        return failure(
            XmlaFailure::Network,
            QStringLiteral("The request to %1 failed: %2").arg(url, reply->errorString()));
    }
}

// A server's fault or the network stack's words may quote the request or its address: the
// password is hidden there by the rule of every other quoted text.
XmlaFault XmlaClient::scrubbed(const XmlaFault &failure) const
{
    return XmlaFault(failure.code(), withoutPassword(failure.description()),
                     withoutPassword(failure.source()), failure.faultCode(), failure.errorCode());
}

void XmlaClient::raise(qint32 code, const QString &description) const
{
    throw scrubbed(XmlaFault(code, description, XmlaSource, QString(), QString()));
}

} // namespace mdx
