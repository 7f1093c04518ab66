#include "httpexchange.h"

#include <QSslError>
#include <QSslSocket>
#include <QTcpSocket>

namespace mdx {

HttpConnections::~HttpConnections()
{
    for (QTcpSocket *socket : mIdle)
        delete socket;
}

QTcpSocket *HttpConnections::take()
{
    while (!mIdle.empty()) {
        QTcpSocket *socket = mIdle.back();
        mIdle.pop_back();
        // A server closes an idle connection when it likes; bytes waiting on one are no answer
        // to anything asked.
        if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0)
            return socket;
        delete socket;
    }
    return nullptr;
}

QTcpSocket *HttpConnections::open(bool tls)
{
    ++mOpened;
    return tls ? new QSslSocket : new QTcpSocket;
}

void HttpConnections::keep(QTcpSocket *socket)
{
    mIdle.push_back(socket);
}

HttpExchange::HttpExchange(HttpConnections &connections, const QUrl &url, QByteArray head,
                           QByteArray body, Sink sink)
    : mConnections(connections)
    , mUrl(url)
    , mTls(url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0)
    , mSink(std::move(sink))
{
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() != -1 && url.port() != (mTls ? 443 : 80))
        host += ':' + QByteArray::number(url.port());
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    mRequest = "POST " + target + " HTTP/1.1\r\nHost: " + host + "\r\n" + head
        + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

HttpExchange::~HttpExchange()
{
    if (mSocket && mReusable)
        mConnections.keep(std::exchange(mSocket, nullptr));
    dropSocket();
}

void HttpExchange::start()
{
    open(mConnections.take());
}

// On a kept connection, or on a new one when there is none.
void HttpExchange::open(QTcpSocket *kept)
{
    mReused = kept != nullptr;
    mSocket = kept ? kept : mConnections.open(mTls);
    mSocket->setReadBufferSize(ReadBuffer);
    connect(mSocket, &QTcpSocket::readyRead, this, &HttpExchange::readArrived);
    connect(mSocket, &QTcpSocket::errorOccurred, this, &HttpExchange::socketFailed);
    connect(mSocket, &QTcpSocket::disconnected, this,
            [this] { socketFailed(QAbstractSocket::RemoteHostClosedError); });
    if (auto *tls = qobject_cast<QSslSocket *>(mSocket); tls && !kept) {
        // Never ignored: the handshake then fails and says why.
        connect(tls, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
            for (const QSslError &error : errors)
                mSslErrors.append(error.errorString());
        });
        tls->connectToHostEncrypted(mUrl.host(), quint16(mUrl.port(443)));
    } else if (!kept) {
        mSocket->connectToHost(mUrl.host(), quint16(mUrl.port(80)));
    }
    // Written once the connection (and its encryption) is up.
    mSocket->write(mRequest);
}

void HttpExchange::readArrived()
{
    while (!mFinished && mSocket && mSocket->bytesAvailable() > 0) {
        const bool headBefore = mResponse.headRead();
        const QByteArray body = mResponse.feed(mSocket->read(ReadBuffer));
        if (!headBefore && mResponse.headRead()) {
            emit headRead();
            if (mFinished)
                return;
        }
        if (!body.isEmpty())
            mSink(body);
        if (mFinished)
            return;
        if (mResponse.failed())
            return finish(mResponse.headRead() ? Error::Other : Error::NoHttp, mResponse.failure());
        if (mResponse.done()) {
            mReusable = mResponse.keepAlive() && mSocket->bytesAvailable() == 0;
            return finish(Error::None);
        }
    }
}

void HttpExchange::socketFailed(QAbstractSocket::SocketError error)
{
    if (mFinished || !mSocket)
        return;
    readArrived(); // what came before the end is the answer's
    if (mFinished)
        return;
    // A kept connection the server had closed meanwhile: the request goes again on a new one.
    if (mReused && mResponse.nothingRead()) {
        mSocket->disconnect(this);
        mSocket->abort();
        std::exchange(mSocket, nullptr)->deleteLater(); // its signal is running
        open(nullptr);
        return;
    }
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        mResponse.endOfInput();
        if (mResponse.done())
            return finish(Error::None);
        return finish(Error::Closed);
    case QAbstractSocket::ConnectionRefusedError:
        return finish(Error::ConnectionRefused);
    case QAbstractSocket::HostNotFoundError:
        return finish(Error::HostNotFound);
    case QAbstractSocket::SocketTimeoutError:
        return finish(Error::TimedOut);
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return finish(Error::Tls, mSocket->errorString());
    default:
        return finish(Error::Other, mSocket->errorString());
    }
}

void HttpExchange::abort()
{
    finish(Error::Aborted);
}

void HttpExchange::finish(Error error, const QString &text)
{
    if (mFinished)
        return;
    mFinished = true;
    mError = error;
    mErrorString = text;
    if (mSocket) {
        mSocket->disconnect(this);
        if (!mReusable)
            mSocket->abort();
    }
    emit finished();
}

void HttpExchange::dropSocket()
{
    if (!mSocket)
        return;
    mSocket->disconnect(this);
    mSocket->abort();
    delete std::exchange(mSocket, nullptr);
}

} // namespace mdx
