#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>
#include <utility>

namespace mdx {

// Reads an HTTP/1.1 answer from the bytes of a connection, in pieces of any size: the status
// line and headers, then the body as its framing says (Content-Length, chunked, or to the end
// of the connection), decoded from gzip or deflate when the server compressed it. Keeps no more
// than one piece of the body at a time: what feed() returns is the caller's to keep.
class HttpResponse
{
public:
    HttpResponse();
    ~HttpResponse();
    HttpResponse(const HttpResponse &) = delete;
    HttpResponse &operator=(const HttpResponse &) = delete;

    // Takes the next bytes of the connection; returns the body bytes they complete. Bytes past
    // the end of the answer are ignored (a server sends none before it is asked again).
    QByteArray feed(QByteArrayView bytes);
    // The connection ended: an answer framed by the connection's end is complete now; any other
    // that is not complete fails.
    void endOfInput();

    // The status line and the headers are in (a 100 Continue before them is passed over).
    bool headRead() const { return mState > State::Head; }
    bool done() const { return mState == State::Done; }
    bool failed() const { return mState == State::Failed; }
    // Why reading failed, in words; empty while it has not.
    QString failure() const { return mFailure; }
    // The bytes taken so far came before any answer began (an empty connection so far).
    bool nothingRead() const { return mBytesSeen == 0; }

    int status() const { return mStatus; }
    QByteArray reason() const { return mReason; }
    // The header's value (the first of its name, compared without letter case); empty if none.
    QByteArray header(QByteArrayView name) const;
    // The connection may carry another request once this answer is done.
    bool keepAlive() const { return mKeepAlive; }

private:
    enum class State { Head, Body, Done, Failed };
    enum class Framing { Length, Chunked, ToEnd };
    enum class Chunk { Size, Data, DataEnd, Trailer };
    class Inflater;

    void readHead(QByteArrayView &bytes);
    void beginBody();
    void readBody(QByteArrayView &bytes, QByteArray &out);
    void readChunked(QByteArrayView &bytes, QByteArray &out);
    // Takes a line ended by LF from the bytes into mLine; false while it is not complete.
    bool takeLine(QByteArrayView &bytes, qsizetype limit);
    void deliver(QByteArrayView raw, QByteArray &out);
    void fail(const QString &why);

    State mState = State::Head;
    Framing mFraming = Framing::ToEnd; // HTTP's own, when nothing else is said
    Chunk mChunk = Chunk::Size;
    QByteArray mLine;
    QList<QByteArray> mHeadLines;
    qsizetype mHeadSize = 0;
    qint64 mRemaining = 0;
    qint64 mBytesSeen = 0;
    int mStatus = 0;
    QByteArray mReason;
    QList<std::pair<QByteArray, QByteArray>> mHeaders;
    bool mKeepAlive = false;
    std::unique_ptr<Inflater> mInflater;
    QString mFailure;
};

} // namespace mdx
