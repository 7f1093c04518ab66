// delay-proxy PORT UPSTREAM_PORT [DELAY_MS]: an HTTP proxy on 127.0.0.1:PORT (0: any free port,
// printed on start) that passes every request on to 127.0.0.1:UPSTREAM_PORT DELAY_MS (default 50)
// after it has fully arrived, and answers straight back: a server DELAY_MS of latency away, for
// timing how many round trips a step waits for. Each connection keeps its requests in order;
// requests on different connections are delayed side by side, as on a real network. Runs until
// killed.
#include <QCoreApplication>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

#include <deque>

namespace {

// The length of the first whole request in `buffer` (head and Content-Length body), or 0 while
// it is incomplete. Chunked request bodies are not needed: the client sends lengths.
qsizetype requestLength(const QByteArray &buffer)
{
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return 0;
    qsizetype bodyLength = 0;
    for (const QByteArray &line : buffer.left(headEnd).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
            bodyLength = line.mid(colon + 1).trimmed().toLongLong();
    }
    const qsizetype length = headEnd + 4 + bodyLength;
    return buffer.size() >= length ? length : 0;
}

class Link : public QObject
{
public:
    Link(QTcpSocket *client, quint16 upstreamPort, int delayMs)
        : mClient(client)
        , mDelayMs(delayMs)
    {
        client->setParent(this);
        mUpstream.connectToHost(QStringLiteral("127.0.0.1"), upstreamPort);
        connect(client, &QTcpSocket::readyRead, this, &Link::fromClient);
        connect(&mUpstream, &QTcpSocket::readyRead, this,
                [this] { mClient->write(mUpstream.readAll()); });
        connect(client, &QTcpSocket::disconnected, this, &Link::close);
        connect(&mUpstream, &QTcpSocket::disconnected, this, &Link::close);
        connect(&mUpstream, &QTcpSocket::errorOccurred, this, &Link::close);
    }

private:
    void fromClient()
    {
        mPending += mClient->readAll();
        while (const qsizetype length = requestLength(mPending)) {
            mQueue.push_back(mPending.left(length));
            mPending.remove(0, length);
            QTimer::singleShot(mDelayMs, this, [this] {
                mUpstream.write(mQueue.front());
                mQueue.pop_front();
            });
        }
    }

    void close()
    {
        if (mClosing)
            return;
        mClosing = true;
        if (mClient)
            mClient->disconnectFromHost();
        mUpstream.disconnectFromHost();
        deleteLater();
    }

    QPointer<QTcpSocket> mClient;
    QTcpSocket mUpstream;
    int mDelayMs;
    QByteArray mPending;
    std::deque<QByteArray> mQueue;
    bool mClosing = false;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QTextStream out(stdout);
    bool portOk = false, upstreamOk = false, delayOk = true;
    const quint16 port = arguments.value(1).toUShort(&portOk);
    const quint16 upstream = arguments.value(2).toUShort(&upstreamOk);
    const int delayMs = arguments.size() > 3 ? arguments.at(3).toInt(&delayOk) : 50;
    if (arguments.size() < 3 || !portOk || !upstreamOk || !delayOk || delayMs < 0) {
        QTextStream(stderr) << "usage: delay-proxy PORT UPSTREAM_PORT [DELAY_MS]\n"
                               "  both ports on 127.0.0.1; PORT 0 takes a free one\n";
        return 2;
    }
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, port)) {
        QTextStream(stderr) << "delay-proxy: " << server.errorString() << '\n';
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *client = server.nextPendingConnection())
            new Link(client, upstream, delayMs);
    });
    out << "delay-proxy: 127.0.0.1:" << server.serverPort() << " -> 127.0.0.1:" << upstream << ", "
        << delayMs << " ms per request" << Qt::endl;
    return app.exec();
}
