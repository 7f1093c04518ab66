// The HTTP answer reader on the shapes servers send and on broken ones. Each answer is read
// whole, a byte at a time and in pieces of 7: the outcome must not depend on how the
// connection splits it.
#include "catalog/xmla/httpresponse.h"

#include <QTest>

using namespace mdx;

namespace {

// Status, reason, whether the connection may be kept, and the body; or the failure.
QString outcome(const QByteArray &bytes, qsizetype piece, bool ended)
{
    HttpResponse response;
    QByteArray body;
    for (qsizetype at = 0; at < bytes.size() && !response.failed(); at += piece)
        body += response.feed(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
    if (ended)
        response.endOfInput();
    if (response.failed())
        return QStringLiteral("failed: ") + response.failure();
    if (!response.done())
        return QStringLiteral("not done");
    return QString::number(response.status())
        + QString::fromLatin1(response.reason().isEmpty() ? "" : " " + response.reason())
        + (response.keepAlive() ? QStringLiteral(" keep|") : QStringLiteral("|"))
        + QString::fromLatin1(body);
}

} // namespace

class TestHttpResponse : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("ended"); // the connection ends after the bytes
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QByteArray &bytes, const char *expected,
                            bool ended = false) {
            QTest::newRow(name) << bytes << ended << QString::fromUtf8(expected);
        };
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
        row("length", ok + "Content-Length: 5\r\n\r\nhello", "200 OK keep|hello");
        row("length, then more bytes", ok + "content-length: 2\r\n\r\nhello", "200 OK keep|he");
        row("chunked, extension and trailer",
            chunked + "5;x=y\r\nhello\r\n6\r\n world\r\n0\r\nT: 1\r\n\r\n",
            "200 OK keep|hello world");
        row("chunked, bare line feeds", ok + "Transfer-Encoding: chunked\n\nA\n0123456789\n0\n\n",
            "200 OK keep|0123456789");
        row("to the end", "HTTP/1.0 500 Internal Server Error\r\n\r\nbroken",
            "500 Internal Server Error|broken", true);
        row("to the end, not yet", ok + "\r\nso far", "not done");
        row("interim answer first",
            "HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 0\r\n\r\n", "200 OK keep|");
        row("closing", ok + "X: y\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx", "200 OK|x");
        row("HTTP/1.0 keeping",
            "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 1\r\n\r\nx",
            "200 OK keep|x");
        row("no reason", "HTTP/1.1 204\r\n\r\n", "204 keep|");
        const QByteArray deflated = qCompress(QByteArray(36, 'a')).mid(4); // a zlib stream
        row("deflate",
            ok + "Content-Encoding: deflate\r\nContent-Length: "
                + QByteArray::number(deflated.size()) + "\r\n\r\n" + deflated,
            "200 OK keep|aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");
        row("no HTTP", "<html><body>hello</body></html>\r\n",
            "failed: The server sent no HTTP answer.");
        row("bad status", "HTTP/1.1 2000 OK\r\n\r\n", "failed: The server sent no HTTP answer.");
        row("header without a colon", ok + "Server\r\n\r\n",
            "failed: The server's answer has a malformed header.");
        row("bad length", ok + "Content-Length: -1\r\n\r\n",
            "failed: The server's answer has a malformed Content-Length.");
        const char *badChunk = "failed: The server's answer has a malformed chunk.";
        row("bad chunk size", chunked + "zz\r\n", badChunk);
        row("huge chunk size", chunked + "ffffffffffffffff\r\n", badChunk);
        row("chunk longer than said", chunked + "1\r\nab\r\n", badChunk);
        row("cut short", ok + "Content-Length: 10\r\n\r\nhello",
            "failed: The connection ended before the answer was complete.", true);
        row("head too long", ok + "X: " + QByteArray(70000, 'x') + "\r\n\r\n",
            "failed: The server's answer has a header or chunk line too long to be one.");
        row("not compressed", ok + "Content-Encoding: gzip\r\nContent-Length: 5\r\n\r\nhello",
            "failed: The server's compressed answer could not be decompressed.");
    }

    void answers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, ended);
        QFETCH(QString, expected);
        for (const qsizetype piece : { bytes.size(), qsizetype(1), qsizetype(7) })
            QCOMPARE(outcome(bytes, piece, ended), expected);
    }
};

QTEST_APPLESS_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
