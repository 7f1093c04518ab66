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
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QByteArray target; // the path of the request line, e.g. "/xmla"
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

    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/xmla").arg(mServer.serverPort()));
    }
    void setHandler(Handler handler) { mHandler = std::move(handler); }
    // Answer nothing until this many requests are waiting, then answer them all: a client
    // that sends one request after another would wait for ever (and time out).
    void answerWhenWaiting(int count) { mAnswerWhen = count; }
    // Answer this many milliseconds after the request came in.
    void setDelay(int milliseconds) { mDelay = milliseconds; }
    const QList<HttpRequest> &requests() const { return mRequests; }

    // A whole HTTP/1.1 response with Content-Length.
    static QByteArray response(int status, const QByteArray &body,
                               const QByteArray &contentType = "text/xml",
                               const QByteArray &extraHeaders = {})
    {
        return "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Status")
            + "\r\n"
            + (contentType.isEmpty() ? QByteArray() : "Content-Type: " + contentType + "\r\n")
            + extraHeaders + "Content-Length: " + QByteArray::number(body.size())
            + "\r\nConnection: close\r\n\r\n" + body;
    }

    // A chunked response, as the real server sends them; `complete` false leaves out the
    // last chunk, as a server that died in the middle would.
    static QByteArray chunked(const QByteArray &body, int chunkSize, bool complete = true)
    {
        QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n"
                         "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
        for (qsizetype i = 0; i < body.size(); i += chunkSize) {
            const QByteArray part = body.mid(i, chunkSize);
            out += QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n";
        }
        return complete ? out + "0\r\n\r\n" : out;
    }

    static QByteArray file(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(path));
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

    void accept()
    {
        while (QTcpSocket *socket = mServer.nextPendingConnection()) {
            auto client = std::make_shared<Client>(Client { socket, {}, false, {} });
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
        const qsizetype end = client.buffer.indexOf("\r\n\r\n");
        if (client.waiting || end < 0)
            return;
        HttpRequest &request = client.request;
        request.target = client.buffer.left(client.buffer.indexOf("\r\n")).split(' ').value(1);
        for (const QByteArray &line : client.buffer.left(end).split('\n')) {
            if (const qsizetype colon = line.indexOf(':'); colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(),
                                       line.mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length").toLongLong();
        if (client.buffer.size() < end + 4 + length)
            return;
        request.body = client.buffer.mid(end + 4, length);
        client.waiting = true;
        mRequests.append(request);
        const auto waiting = [](const auto &c) { return c->socket && c->waiting; };
        if (std::count_if(mClients.cbegin(), mClients.cend(), waiting) < mAnswerWhen)
            return;
        for (const auto &c : mClients) {
            if (waiting(c))
                answer(*c);
        }
    }

    void answer(Client &client)
    {
        client.waiting = false;
        const std::optional<QByteArray> bytes = mHandler(client.request);
        if (!bytes)
            return; // held: the client waits until it gives up
        QTimer::singleShot(mDelay, client.socket, [socket = client.socket, data = *bytes] {
            socket->write(data);
            socket->disconnectFromHost();
        });
    }

    QTcpServer mServer;
    Handler mHandler;
    QList<std::shared_ptr<Client>> mClients;
    QList<HttpRequest> mRequests;
    int mAnswerWhen = 1;
    int mDelay = 0;
};

} // namespace mdx::test
