#pragma once

#include <QFile>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QSslServer>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace mdx::test {

struct HttpRequest
{
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QByteArray target; // the path of the request line, e.g. "/xmla"
};

// A scripted HTTP server on 127.0.0.1, or an https one with the TLS configuration given: each
// request is answered with the raw bytes the handler returns (then the connection is closed,
// unless kept open), or held unanswered while it returns nothing. Empty bytes close the
// connection without an answer.
class FakeHttpServer
{
public:
    using Handler = std::function<std::optional<QByteArray>(const HttpRequest &)>;
    // Nothing is answered until this many requests wait: a client that sends one request
    // after another would wait for ever.
    int answerWhenWaiting = 1;
    int delayMs = 0;
    bool keepOpen = false;
    QList<HttpRequest> requests;

    explicit FakeHttpServer(const std::optional<QSslConfiguration> &tls = std::nullopt)
        : mServer(tls ? new QSslServer : new QTcpServer)
    {
        if (tls)
            static_cast<QSslServer *>(mServer.get())->setSslConfiguration(*tls);
        mServer->listen(QHostAddress::LocalHost, 0);
        // Over TLS, once the handshake is done.
        QObject::connect(mServer.get(), &QTcpServer::pendingConnectionAvailable, mServer.get(),
                         [this] {
                             while (QTcpSocket *socket = mServer->nextPendingConnection()) {
                                 QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                                  [=, this] { read(socket); });
                                 QObject::connect(socket, &QTcpSocket::disconnected, socket,
                                                  &QObject::deleteLater);
                             }
                         });
    }

    void setHandler(Handler handler) { mHandler = std::move(handler); }
    QUrl url() const
    {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2/xmla")
                        .arg(qobject_cast<QSslServer *>(mServer.get()) ? "https" : "http")
                        .arg(mServer->serverPort()));
    }

    // Chunked, as the real server answers; `complete` false leaves out the last chunk.
    static QByteArray chunked(const QByteArray &body, int size, bool complete = true)
    {
        QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n"
                         "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
        for (qsizetype i = 0; i < body.size(); i += size)
            out += QByteArray::number(body.mid(i, size).size(), 16) + "\r\n" + body.mid(i, size)
                + "\r\n";
        return complete ? out + "0\r\n\r\n" : out;
    }

private:
    void read(QTcpSocket *socket)
    {
        const QByteArray data = socket->peek(socket->bytesAvailable());
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        HttpRequest request;
        request.target = data.left(data.indexOf("\r\n")).split(' ').value(1);
        for (const QByteArray &line : data.left(end).split('\n')) {
            if (const qsizetype colon = line.indexOf(':'); colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(),
                                       line.mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length").toLongLong();
        if (data.size() < end + 4 + length)
            return; // not all in yet
        request.body = socket->readAll().mid(end + 4, length);
        requests.append(request);
        mWaiting.append({ socket, request });
        mWaiting.removeIf([](const auto &waiting) { return !waiting.first; });
        if (mWaiting.size() < answerWhenWaiting)
            return;
        for (const auto &[client, asked] : std::exchange(mWaiting, {})) {
            if (const std::optional<QByteArray> bytes = mHandler(asked))
                QTimer::singleShot(delayMs, client.data(), [this, client, bytes] {
                    client->write(*bytes);
                    if (!keepOpen || bytes->isEmpty())
                        client->disconnectFromHost();
                });
        }
    }

    std::unique_ptr<QTcpServer> mServer;
    Handler mHandler;
    QList<std::pair<QPointer<QTcpSocket>, HttpRequest>> mWaiting;
};

// An answer with this status, these header lines and this body; the connection closes after it.
inline QByteArray reply(int status, const QByteArray &body, const QByteArray &headers = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n" + headers + "Content-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// A file under tests/data, e.g. "xmla/handmade/namespaces-by-uri.xml".
inline QByteArray testData(const QString &path)
{
    QFile file(QStringLiteral(MDX_TEST_DATA_DIR "/") + path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return file.readAll();
}

// A hand-made answer in the shape of a server of another kind (tests/data/xmla-msas, after its
// documentation; a .gz file is `gzip -n` of its namesake).
inline QByteArray otherServerAnswer(const QString &file)
{
    return testData(QStringLiteral("xmla-msas/") + file);
}

// What the test server answered (tests/data/xmla/recorded), and the file of its answer for the
// cube Sales to a request: DBSCHEMA_CATALOGS catalogs.xml, MDSCHEMA_LEVELS sales-levels.xml, ...,
// a statement execute-sales.xml.
inline QByteArray recorded(const QString &file)
{
    return testData(QStringLiteral("xmla/recorded/") + file);
}

inline QString recordedFile(const HttpRequest &request)
{
    static const QRegularExpression type(QStringLiteral("RequestType>\\w+_(\\w+)<"));
    const QString asked = type.match(QString::fromUtf8(request.body)).captured(1).toLower();
    if (asked.isEmpty())
        return QStringLiteral("execute-sales.xml");
    return (asked == u"catalogs" || asked == u"cubes" ? asked : "sales-" + asked) + ".xml";
}

inline std::optional<QByteArray> recordedAnswer(const HttpRequest &request)
{
    return FakeHttpServer::chunked(recorded(recordedFile(request)), 1000);
}

} // namespace mdx::test
