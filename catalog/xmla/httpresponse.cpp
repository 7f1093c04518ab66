#include "httpresponse.h"

#include <zlib.h>

#include <limits>

namespace mdx {

namespace {

// A head beyond this is no server's answer; a chunk-size line or trailer line likewise.
constexpr qsizetype HeadLimit = 64 * 1024;
constexpr qsizetype LineLimit = 8 * 1024;

bool hasToken(const QByteArray &value, QByteArrayView token)
{
    for (const QByteArray &part : value.split(','))
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

// zlib's inflate, told gzip from zlib by the header (deflate is sent both ways in the wild).
class HttpResponse::Inflater
{
public:
    Inflater()
    {
        mStream.zalloc = Z_NULL;
        mStream.zfree = Z_NULL;
        mStream.opaque = Z_NULL;
        mReady = inflateInit2(&mStream, MAX_WBITS + 32) == Z_OK;
    }
    ~Inflater()
    {
        if (mReady)
            inflateEnd(&mStream);
    }

    // False when the bytes are no compressed stream.
    bool inflate(QByteArrayView in, QByteArray &out)
    {
        if (!mReady)
            return false;
        mStream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
        mStream.avail_in = uInt(in.size());
        while (mStream.avail_in > 0 && !mEnded) {
            const qsizetype start = out.size();
            constexpr qsizetype Step = 64 * 1024;
            out.resize(start + Step);
            mStream.next_out = reinterpret_cast<Bytef *>(out.data() + start);
            mStream.avail_out = uInt(Step);
            const int result = ::inflate(&mStream, Z_NO_FLUSH);
            out.resize(start + Step - qsizetype(mStream.avail_out));
            if (result == Z_STREAM_END)
                mEnded = true;
            else if (result != Z_OK && !(result == Z_BUF_ERROR && mStream.avail_out == 0))
                return false;
        }
        return true;
    }

private:
    z_stream mStream {};
    bool mReady = false;
    bool mEnded = false;
};

HttpResponse::HttpResponse() = default;
HttpResponse::~HttpResponse() = default;

QByteArray HttpResponse::header(QByteArrayView name) const
{
    for (const auto &[key, value] : mHeaders)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QByteArray HttpResponse::feed(QByteArrayView bytes)
{
    QByteArray out;
    mBytesSeen += bytes.size();
    while (!bytes.isEmpty() && (mState == State::Head || mState == State::Body)) {
        if (mState == State::Head)
            readHead(bytes);
        else
            readBody(bytes, out);
    }
    return out;
}

void HttpResponse::endOfInput()
{
    if (mState == State::Body && mFraming == Framing::ToEnd)
        mState = State::Done;
    else if (mState == State::Head || mState == State::Body)
        fail(QStringLiteral("The connection ended before the answer was complete."));
}

bool HttpResponse::takeLine(QByteArrayView &bytes, qsizetype limit)
{
    const qsizetype end = bytes.indexOf('\n');
    const qsizetype taken = end < 0 ? bytes.size() : end + 1;
    if (mLine.size() + taken > limit) {
        fail(QStringLiteral("The server's answer has a header or chunk line too long to be one."));
        return false;
    }
    mLine += bytes.first(taken);
    bytes = bytes.sliced(taken);
    if (end < 0)
        return false;
    mLine.chop(mLine.endsWith("\r\n") ? 2 : 1);
    return true;
}

void HttpResponse::readHead(QByteArrayView &bytes)
{
    if (!takeLine(bytes, HeadLimit - mHeadSize))
        return;
    const QByteArray line = std::exchange(mLine, {});
    mHeadSize += line.size() + 2;
    if (!line.isEmpty()) {
        if (mHeadLines.isEmpty() && !line.startsWith("HTTP/1."))
            return fail(QStringLiteral("The server sent no HTTP answer."));
        mHeadLines.append(line);
        return;
    }
    if (mHeadLines.isEmpty())
        return; // blank lines before the status line are tolerated
    const QList<QByteArray> status = mHeadLines.constFirst().split(' ');
    bool number = false;
    mStatus = status.value(1).toInt(&number);
    if (!number || mStatus < 100 || mStatus > 999 || status.value(1).size() != 3)
        return fail(QStringLiteral("The server sent no HTTP answer."));
    const QByteArray &statusLine = mHeadLines.constFirst();
    const qsizetype reasonAt = statusLine.indexOf(' ', statusLine.indexOf(' ') + 1);
    mReason = reasonAt < 0 ? QByteArray() : statusLine.mid(reasonAt + 1).trimmed();
    mHeaders.clear();
    for (qsizetype i = 1; i < mHeadLines.size(); ++i) {
        const QByteArray &field = mHeadLines.at(i);
        const qsizetype colon = field.indexOf(':');
        if (colon <= 0)
            return fail(QStringLiteral("The server's answer has a malformed header."));
        mHeaders.append({ field.left(colon).trimmed(), field.mid(colon + 1).trimmed() });
    }
    const bool http10 = mHeadLines.constFirst().startsWith("HTTP/1.0");
    mHeadLines.clear();
    mHeadSize = 0;
    if (mStatus < 200 && mStatus != 101)
        return; // an interim answer; the real one follows
    const QByteArray connection = header("Connection");
    mKeepAlive = http10 ? hasToken(connection, "keep-alive") : !hasToken(connection, "close");
    beginBody();
}

void HttpResponse::beginBody()
{
    mState = State::Body;
    const QByteArray coding = header("Content-Encoding").trimmed().toLower();
    if (coding == "gzip" || coding == "x-gzip" || coding == "deflate")
        mInflater = std::make_unique<Inflater>();
    const QByteArray transfer = header("Transfer-Encoding");
    const QByteArray length = header("Content-Length");
    if (mStatus == 204 || mStatus == 304 || mStatus == 101) {
        mState = State::Done; // no body at all
    } else if (!transfer.isEmpty() && hasToken(transfer, "chunked")) {
        mFraming = Framing::Chunked;
        mChunk = Chunk::Size;
    } else if (!length.isEmpty()) {
        bool number = false;
        mRemaining = length.trimmed().toLongLong(&number);
        if (!number || mRemaining < 0)
            return fail(QStringLiteral("The server's answer has a malformed Content-Length."));
        mFraming = Framing::Length;
        if (mRemaining == 0)
            mState = State::Done;
    } else {
        mFraming = Framing::ToEnd;
        mKeepAlive = false;
    }
}

void HttpResponse::readBody(QByteArrayView &bytes, QByteArray &out)
{
    switch (mFraming) {
    case Framing::Chunked:
        return readChunked(bytes, out);
    case Framing::Length: {
        const qsizetype taken = qsizetype(std::min<qint64>(mRemaining, bytes.size()));
        deliver(bytes.first(taken), out);
        bytes = bytes.sliced(taken);
        mRemaining -= taken;
        if (mRemaining == 0 && mState == State::Body)
            mState = State::Done;
        return;
    }
    case Framing::ToEnd:
        deliver(bytes, out);
        bytes = {};
        return;
    }
}

void HttpResponse::readChunked(QByteArrayView &bytes, QByteArray &out)
{
    switch (mChunk) {
    case Chunk::Size: {
        if (!takeLine(bytes, LineLimit))
            return;
        const QByteArray size = std::exchange(mLine, {}).split(';').constFirst().trimmed();
        bool number = size.size() <= 15; // at most 2^60: no overflow below
        mRemaining = number ? size.toLongLong(&number, 16) : -1;
        if (!number || mRemaining < 0)
            return fail(QStringLiteral("The server's answer has a malformed chunk."));
        mChunk = mRemaining == 0 ? Chunk::Trailer : Chunk::Data;
        return;
    }
    case Chunk::Data: {
        const qsizetype taken = qsizetype(std::min<qint64>(mRemaining, bytes.size()));
        deliver(bytes.first(taken), out);
        bytes = bytes.sliced(taken);
        mRemaining -= taken;
        if (mRemaining == 0)
            mChunk = Chunk::DataEnd;
        return;
    }
    case Chunk::DataEnd: {
        // CRLF, or a bare LF, ends a chunk's data.
        const char next = bytes.front();
        bytes = bytes.sliced(1);
        if (next == '\r' && mLine.isEmpty()) {
            mLine = "\r";
            return;
        }
        mLine.clear();
        if (next != '\n')
            return fail(QStringLiteral("The server's answer has a malformed chunk."));
        mChunk = Chunk::Size;
        return;
    }
    case Chunk::Trailer:
        if (!takeLine(bytes, LineLimit))
            return;
        if (std::exchange(mLine, {}).isEmpty() && mState == State::Body)
            mState = State::Done;
        return;
    }
}

void HttpResponse::deliver(QByteArrayView raw, QByteArray &out)
{
    if (!mInflater)
        out += raw;
    else if (!mInflater->inflate(raw, out))
        fail(QStringLiteral("The server's compressed answer could not be decompressed."));
}

void HttpResponse::fail(const QString &why)
{
    if (mState == State::Failed)
        return;
    mState = State::Failed;
    mFailure = why;
    mLine.clear();
    mKeepAlive = false;
}

} // namespace mdx
