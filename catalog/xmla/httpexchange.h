#pragma once

#include "httpresponse.h"

#include <QAbstractSocket>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <vector>

class QTcpSocket;

namespace mdx {

// The connections to one server left open after an answer, for the next request: HTTP/1.1
// keeps them, and each saves the round trip (and a TLS handshake) of opening a new one.
class HttpConnections
{
public:
    HttpConnections() = default;
    ~HttpConnections();
    HttpConnections(const HttpConnections &) = delete;
    HttpConnections &operator=(const HttpConnections &) = delete;

    // A kept connection that is still open, or none.
    QTcpSocket *take();
    // Takes a connection whose signals are no longer connected to anything.
    void keep(QTcpSocket *socket);
    // A new connection, not yet connected; counted.
    QTcpSocket *open(bool tls);
    // Connections opened so far.
    int opened() const { return mOpened; }

private:
    std::vector<QTcpSocket *> mIdle;
    int mOpened = 0;
};

// One HTTP/1.1 request and its answer. The body goes to the sink piece by piece as it arrives,
// and the socket's buffer is bounded: a server that writes faster than the answer is read
// waits in TCP, not in this program's memory.
class HttpExchange : public QObject
{
    Q_OBJECT
public:
    enum class Error {
        None,
        ConnectionRefused,
        HostNotFound,
        TimedOut,
        Tls, // see sslErrors()
        Closed, // the connection ended before the answer did
        NoHttp, // what came is no HTTP answer
        Other, // see errorString()
        Aborted,
    };
    using Sink = std::function<void(const QByteArray &)>;
    // The most the socket holds unread, and so the most the sink gets at once (before
    // decompression).
    static constexpr qint64 ReadBuffer = 256 * 1024;

    // `head`: the header lines after the request line, Host and Content-Length, each ended by
    // CRLF. Nothing is sent before start().
    HttpExchange(HttpConnections &connections, const QUrl &url, QByteArray head, QByteArray body,
                 Sink sink);
    ~HttpExchange() override;

    void start();
    // Stops the exchange; finished() follows at once if it had not come yet.
    void abort();

    const HttpResponse &response() const { return mResponse; }
    bool isFinished() const { return mFinished; }
    Error error() const { return mError; }
    QString errorString() const { return mErrorString; }
    QStringList sslErrors() const { return mSslErrors; }

signals:
    void headRead();
    void finished();

private:
    void open(QTcpSocket *kept);
    void readArrived();
    void socketFailed(QAbstractSocket::SocketError error);
    void finish(Error error, const QString &text = {});
    void dropSocket();

    HttpConnections &mConnections;
    QUrl mUrl;
    bool mTls = false; // https
    QByteArray mRequest;
    Sink mSink;
    QTcpSocket *mSocket = nullptr;
    bool mReused = false;
    bool mFinished = false;
    bool mReusable = false;
    Error mError = Error::None;
    QString mErrorString;
    QStringList mSslErrors;
    HttpResponse mResponse;
};

} // namespace mdx
