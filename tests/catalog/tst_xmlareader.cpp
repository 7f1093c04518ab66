// The client's answer readers: the XML for Analysis reader, on answers recorded from the test
// server and on hand-made ones for what that server never sends, and the HTTP reader. Every
// answer is read whole and in chunks: the outcome must not depend on how the network splits it.
#include "catalog/xmla/httpresponse.h"
#include "catalog/xmla/xmlareader.h"

#include "fakehttpserver.h"
#include "xmlareading.h"

#include <QDir>
#include <QStringEncoder>
#include <QTest>

using namespace mdx;
using Kind = XmlaResponseReader::Kind;
using test::readXmla;
using test::recorded;

namespace {

// A Discover answer around the given rows, with the namespaces the way most servers write.
QByteArray discoverAnswer(const QByteArray &rows,
                          const QByteArray &declaration
                          = R"(<?xml version="1.0" encoding="utf-8"?>)")
{
    return declaration
        + "\n<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
          "<DiscoverResponse xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><return>"
          "<root xmlns=\"urn:schemas-microsoft-com:xml-analysis:rowset\">"
        + rows + "</root></return></DiscoverResponse></soap:Body></soap:Envelope>";
}

void row(const char *name, const QByteArray &body, const QString &expected, bool execute = false,
         const QByteArray &charset = {})
{
    QTest::newRow(name) << body << execute << charset << expected;
}

// The failure of a byte that is no character, at its offset in `body`.
QString badAt(const QByteArray &body, const QByteArray &bad, const char *encoding)
{
    return QStringLiteral("not valid %1 text: there is no valid character at byte offset %2")
        .arg(QLatin1String(encoding))
        .arg(body.indexOf(bad));
}

// Status, reason, whether the connection may be kept, and the body; or the failure.
QString httpOutcome(const QByteArray &bytes, qsizetype piece, bool ended)
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

class TestXmlaReader : public QObject
{
    Q_OBJECT

private slots:
    // Expected: the whole outcome (test::outcome) of a good rowset, else a part of it.
    void answers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("execute");
        QTest::addColumn<QByteArray>("charset"); // of the HTTP Content-Type
        QTest::addColumn<QString>("expected");
        const QString ok = QStringLiteral("ok  cells 0\n");

        for (const QString &file :
             QDir(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/recorded")).entryList(QDir::Files))
            row(qPrintable(file), recorded(file), file.startsWith(u"fault") ? "|server" : "ok ",
                file.startsWith(u"execute"));

        // The schema's annotation holds what looks like a row. An empty column (<ROLES/>) is
        // there and empty; one left out (a null) is absent.
        row("inline schema skipped", discoverAnswer(R"(
<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema"><xsd:annotation><xsd:appinfo>
<row><CUBE_NAME>Ghost</CUBE_NAME></row></xsd:appinfo></xsd:annotation></xsd:schema>
<row><CUBE_NAME>Sales</CUBE_NAME><ROLES/></row>)"),
            ok + "CUBE_NAME=Sales|ROLES=");
        // Markup inside a column is text of the column; a column given twice keeps its first value.
        row("markup, entities, CDATA, a column twice",
            discoverAnswer(
                R"(<row><DESCRIPTION>a &amp; b <![CDATA[<c>]]> <i>d</i>&#233;</DESCRIPTION>)"
                R"(<CUBE_NAME>x</CUBE_NAME><CUBE_NAME>second</CUBE_NAME></row>)"),
            ok + u"CUBE_NAME=x|DESCRIPTION=a & b <c> d\u00e9"_qs);
        row("namespaces matched by URI, not prefix", recorded("../handmade/namespaces-by-uri.xml"),
            ok + "CUBE_NAME=Sales\nCUBE_NAME=Budget");

        // Encodings: the document's own mark or declaration decides; HTTP fills in.
        const QString cafe = u"<row><DESCRIPTION>Caf\u00e9 \u20ac</DESCRIPTION></row>"_qs;
        const QString cafeRow = ok + u"DESCRIPTION=Caf\u00e9 \u20ac"_qs;
        // Code page 1252 by our own table: its first and last bytes past Latin-1.
        row("no declaration, charset from HTTP",
            discoverAnswer("<row><DESCRIPTION>Caf\xE9 \x80\x9F</DESCRIPTION></row>", QByteArray()),
            ok + u"DESCRIPTION=Caf\u00e9 \u20ac\u0178"_qs, false, "windows-1252");
        row("declaration wins over HTTP", discoverAnswer(cafe.toUtf8()), cafeRow, false,
            "iso-8859-1");
        const QString text = u"<row><CUBE_NAME>\u00e9\u20ac\U0001F600\uFEFF.</CUBE_NAME></row>"_qs;
        const QString textRow = ok + u"CUBE_NAME=\u00e9\u20ac\U0001F600\uFEFF."_qs;
        row("UTF-8 characters of 2, 3 and 4 bytes", "\xEF\xBB\xBF" + discoverAnswer(text.toUtf8()),
            textRow);
        const QByteArray utf16
            = QStringEncoder(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom)
                  .encode(QString::fromUtf8(
                      discoverAnswer(text.toUtf8(), R"(<?xml version="1.0" encoding="utf-16"?>)")));
        row("UTF-16 surrogate pair", utf16, textRow);
        // The parser is given the text in pieces of 4096 characters, never ending inside a pair.
        const QByteArray name = QByteArray(4095 - discoverAnswer("").indexOf("</root>") - 16, 'x')
            + "\xF0\x9F\x98\x80";
        row("surrogate pair at the 4096th character",
            discoverAnswer("<row><CUBE_NAME>" + name + "</CUBE_NAME></row>"),
            ok + "CUBE_NAME=" + QString::fromUtf8(name));

        // Bytes that are no characters fail the answer: a name read wrongly would not be found.
        const QByteArray lone = discoverAnswer("<row><CUBE_NAME>a\xFFz</CUBE_NAME></row>");
        row("invalid UTF-8 byte", lone, badAt(lone, "\xFF", "UTF-8"));
        const QByteArray cut = discoverAnswer("<row><CUBE_NAME>a\xE2\x82z</CUBE_NAME></row>");
        row("UTF-8 character cut short", cut, badAt(cut, "\xE2", "UTF-8"));
        const QByteArray ascii = discoverAnswer("<row><CUBE_NAME>a\xE9</CUBE_NAME></row>",
                                                R"(<?xml version="1.0" encoding="us-ascii"?>)");
        row("byte over 127 in US-ASCII", ascii, badAt(ascii, "\xE9", "US-ASCII"));
        QByteArray unpaired = utf16;
        unpaired.replace(QByteArray("\x3D\xD8\x00\xDE", 4), QByteArray("\x3D\xD8.\x00", 4));
        row("UTF-16 surrogate unpaired", unpaired, badAt(unpaired, "\x3D\xD8", "UTF-16LE"));
        // Only the first 512 bytes are searched for the encoding: a declaration ending later is
        // read as UTF-8, where the fault's Latin-1 "é" is no character.
        QByteArray late = recorded(QStringLiteral("fault-iso-8859-1.xml"));
        late.insert(late.indexOf("encoding="), QByteArray(500, ' '));
        row("encoding declared after byte 512", late, badAt(late, "\xE9", "UTF-8"));
        row("unknown charset", discoverAnswer("<row/>", QByteArray()),
            "failed 8004b118 The server's reply is in the encoding \"x-no-such-charset\"", false,
            "x-no-such-charset");

        // Where an error stands must not depend on how the text was split: after a comment over
        // two lines, however the comment was split.
        row("comment over two lines, then a wrong end tag",
            discoverAnswer("<!-- a\nb --><row></rov>"),
            "failed 8004b10c The server's reply is not well-formed XML (line 3, column 17: Opening "
            "and ending tag mismatch: row line 3 and rov).|MdxWizard.Xmla||");
        // A prefix never declared, and a document type (which SOAP forbids, and whose entities
        // could blow a short answer up): neither is read as an answer.
        row("prefix never declared", discoverAnswer("<row><x:CUBE_NAME>a</x:CUBE_NAME></row>"),
            "failed 8004b10c The server's reply is not well-formed XML (line 2, column");
        row("document type with an entity",
            discoverAnswer("<row><CUBE_NAME>&e;</CUBE_NAME></row>",
                           R"(<?xml version="1.0"?><!DOCTYPE e [<!ENTITY e "boom">]>)"),
            "failed 8004b10c The server's reply is not well-formed XML (line 2, column");
        // The right names in the wrong namespace.
        row("SOAP 1.2 envelope",
            discoverAnswer("<row/>").replace("http://schemas.xmlsoap.org/soap/envelope/",
                                             "http://www.w3.org/2003/05/soap-envelope"),
            "failed 8004b10e The server's reply is not a SOAP 1.1 envelope");

        // Faults: code (the server's when it is a number), description, source, fault code and
        // error code; the first error of the detail is the report.
        row("fault with its detail in attributes",
            recorded("../handmade/fault-detail-attributes.xml"),
            "failed c10a0004 Query (1, 8) The syntax for 'x' is incorrect.|Analysis Server|"
            "XMLAnalysisError.0xc10a0004|3238658052|server",
            true);
        row("error inside a result", recorded("../handmade/error-inside-result.xml"),
            "failed c10a0009 The 'Nope' cube was not found.|Server||3238658057|server", true);
    }

    void answers()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, execute);
        QFETCH(QByteArray, charset);
        QFETCH(QString, expected);
        const Kind kind = execute ? Kind::Execute : Kind::Discover;
        const QString whole = test::outcome(*readXmla(kind, body, 0, charset));
        if (expected.startsWith(u"ok ") && expected.contains(u'\n'))
            QCOMPARE(whole, expected);
        else
            QVERIFY2(whole.contains(expected), qPrintable(whole));
        for (int size = 1; size <= 64; ++size) {
            const QString chunked = test::outcome(*readXmla(kind, body, size, charset));
            QVERIFY2(chunked == whole,
                     qPrintable(QStringLiteral("in chunks of %1: %2").arg(size).arg(chunked)));
        }
    }

    // A body cut anywhere before the envelope's end tag must never pass for a whole answer (a
    // half-read cube list would silently lack cubes); a fault read to its end tag is the server's.
    void cutShortAnswersFail()
    {
        for (const auto &[file, kind] :
             { std::pair(QStringLiteral("cubes.xml"), Kind::Discover),
               std::pair(QStringLiteral("fault-iso-8859-1.xml"), Kind::Execute) }) {
            const QByteArray body = recorded(file);
            const qsizetype end = body.lastIndexOf("</SOAP-ENV:Envelope>") + 20;
            const qsizetype faultEnd = body.indexOf("</SOAP-ENV:Fault>");
            QVERIFY(end > 20);
            for (qsizetype cut = 0; cut < end; cut += cut < end - 25 ? 53 : 1) {
                const QString outcome = test::outcome(*readXmla(kind, body.left(cut)));
                const bool fault = faultEnd >= 0 && cut >= faultEnd + 17;
                QVERIFY2(outcome.startsWith(fault ? "failed 8004b10f" : "failed 8004b10d")
                             && outcome.endsWith(fault ? "|server" : "|"),
                         qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(outcome)));
            }
        }
    }

    // The HTTP answer reader on the shapes servers send and on broken ones, read whole, a byte
    // at a time and in pieces of 7.
    void httpAnswers_data()
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

    void httpAnswers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, ended);
        QFETCH(QString, expected);
        for (const qsizetype piece : { bytes.size(), qsizetype(1), qsizetype(7) })
            QCOMPARE(httpOutcome(bytes, piece, ended), expected);
    }
};

QTEST_GUILESS_MAIN(TestXmlaReader)
#include "tst_xmlareader.moc"
