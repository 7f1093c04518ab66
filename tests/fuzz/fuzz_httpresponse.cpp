// The HTTP answer reader, fed whole and in pieces: both reads must end alike, with the same
// status, headers and body, or the same failure. The first byte of the input chooses the piece
// size and whether the connection ends after the input; the rest is what the server sent.
#include "catalog/xmla/httpresponse.h"
#include "fuzzing.h"

using namespace mdx;

namespace {

QString read(QByteArrayView bytes, qsizetype piece, bool ended)
{
    HttpResponse response;
    QByteArray body;
    for (qsizetype at = 0; at < bytes.size(); at += piece)
        body += response.feed(bytes.sliced(at, std::min(piece, bytes.size() - at)));
    if (ended)
        response.endOfInput();
    if (response.failed() && response.failure().trimmed().isEmpty())
        fuzz::finding("a failure without words", QString());
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(response.failed() ? response.failure() : QString())
        .arg(response.done())
        .arg(response.status())
        .arg(QString::fromLatin1(response.header("Content-Type")))
        .arg(response.keepAlive())
        .arg(QString::fromLatin1(body.toHex()));
}

} // namespace

int mdx::fuzz::run(const QByteArray &input)
{
    if (input.isEmpty())
        return 0;
    const auto first = uchar(input[0]);
    const qsizetype piece = first % 32 + 1;
    const bool ended = first & 0x80;
    const QByteArrayView bytes = QByteArrayView(input).sliced(1);
    const QString whole = read(bytes, std::max<qsizetype>(bytes.size(), 1), ended);
    const QString pieces = read(bytes, piece, ended);
    if (whole != pieces)
        finding(
            "read whole and in pieces, the answer reads differently",
            QStringLiteral("pieces of %1\nwhole:  %2\npieces: %3").arg(piece).arg(whole, pieces));
    return 0;
}
