#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

namespace mdx::test {

struct HttpRequest
{
    QByteArray method;
    QByteArray path;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// A scripted HTTP server on 127.0.0.1 for the client's failure paths: each request is
// answered with the raw bytes the handler returns (written as they are, then the connection
// is closed), or held unanswered while the handler returns nothing.
class FakeHttpServer
{
public:
    using Handler = std::function<std::optional<QByteArray>(const HttpRequest &)>;

    FakeHttpServer()
    {
        mServer.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&mServer, &QTcpServer::newConnection, &mServer, [this] { accept(); });
    }

    QUrl url(const QString &path = QStringLiteral("/xmla")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(mServer.serverPort()).arg(path));
    }

    void setHandler(Handler handler) { mHandler = std::move(handler); }
    // Answer nothing until this many requests are waiting, then answer them all: a client
    // that sends one request after another would wait for ever (and time out).
    void answerWhenWaiting(int count) { mAnswerWhen = count; }
    // Answer this many milliseconds after the request came in.
    void setDelay(int milliseconds) { mDelay = milliseconds; }

    const QList<HttpRequest> &requests() const { return mRequests; }
    int mostWaitingAtOnce() const { return mMostWaiting; }

    // A whole HTTP/1.1 response with Content-Length.
    static QByteArray response(int status, const QByteArray &body,
                               const QByteArray &contentType = "text/xml",
                               const QByteArray &extraHeaders = {})
    {
        QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " " + reason(status) + "\r\n";
        if (!contentType.isEmpty())
            out += "Content-Type: " + contentType + "\r\n";
        out += extraHeaders;
        out += "Content-Length: " + QByteArray::number(body.size())
            + "\r\nConnection: close\r\n\r\n";
        return out + body;
    }

    // A chunked response, as the real server sends them; `complete` false leaves out the
    // last chunk, as a server that died in the middle would.
    static QByteArray chunked(const QByteArray &body, int chunkSize, bool complete = true,
                              const QByteArray &contentType = "text/xml")
    {
        QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: " + contentType
            + "\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
        for (qsizetype i = 0; i < body.size(); i += chunkSize) {
            const QByteArray part = body.mid(i, chunkSize);
            out += QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n";
        }
        if (complete)
            out += "0\r\n\r\n";
        return out;
    }

    static QByteArray file(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }

private:
    struct Client
    {
        QPointer<QTcpSocket> socket;
        QByteArray buffer;
        bool waiting = false;
        HttpRequest request;
    };

    static QByteArray reason(int status)
    {
        switch (status) {
        case 200:
            return "OK";
        case 302:
            return "Found";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
        }
    }

    void accept()
    {
        while (QTcpSocket *socket = mServer.nextPendingConnection()) {
            auto client = std::make_shared<Client>();
            client->socket = socket;
            mClients.append(client);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, client] {
                client->buffer += client->socket->readAll();
                parse(*client);
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void parse(Client &client)
    {
        if (client.waiting)
            return;
        const qsizetype end = client.buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        HttpRequest request;
        const QList<QByteArray> lines = client.buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                       lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length").toLongLong();
        if (client.buffer.size() < end + 4 + length)
            return;
        request.body = client.buffer.mid(end + 4, length);
        client.request = request;
        client.waiting = true;
        mRequests.append(request);
        const int waiting
            = int(std::count_if(mClients.cbegin(), mClients.cend(),
                                [](const auto &c) { return c->socket && c->waiting; }));
        mMostWaiting = std::max(mMostWaiting, waiting);
        if (waiting < mAnswerWhen)
            return;
        for (const auto &c : mClients) {
            if (c->socket && c->waiting)
                answer(*c);
        }
    }

    void answer(Client &client)
    {
        client.waiting = false;
        const std::optional<QByteArray> bytes
            = mHandler ? mHandler(client.request) : std::optional<QByteArray>();
        if (!bytes)
            return; // held: the client waits until it gives up
        QPointer<QTcpSocket> socket = client.socket;
        auto send = [socket, data = *bytes] {
            if (!socket)
                return;
            socket->write(data);
            socket->disconnectFromHost();
        };
        if (mDelay > 0)
            QTimer::singleShot(mDelay, socket, send);
        else
            send();
    }

    QTcpServer mServer;
    Handler mHandler;
    QList<std::shared_ptr<Client>> mClients;
    QList<HttpRequest> mRequests;
    int mAnswerWhen = 1;
    int mDelay = 0;
    int mMostWaiting = 0;
};

} // namespace mdx::test
