// The XML for Analysis client: its answer readers, XML for Analysis and HTTP, on answers
// recorded from the test server and on hand-made ones for what that server never sends, each
// read whole and in chunks (the outcome must not depend on how the network splits it); then the
// data source over HTTP, against a scripted local server: what is asked, in which order the
// answers are put, and every way a server can fail, also in the shapes of servers other than the
// test server.
#include "catalog/xmla/httpresponse.h"
#include "catalog/xmla/xmlareader.h"
#include "catalog/xmladatasource.h"
#include "catalogtesting.h"
#include "fakehttpserver.h"
#include "xmlareading.h"

#include <QDir>
#include <QScopeGuard>
#include <QSslKey>
#include <QStringEncoder>
#include <QXmlStreamReader>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace mdx;
using namespace mdx::test;
using Kind = XmlaResponseReader::Kind;

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

const QString Password = QStringLiteral("Pa55-word-secret");

// The texts of the request's elements of the XMLA namespace by these names (RequestType,
// CATALOG_NAME, Catalog, Statement, ...), read the way a server reads them, joined by '|'.
QString sent(const HttpRequest &request, const QStringList &names)
{
    QStringList texts(names.size());
    for (QXmlStreamReader xml(request.body); !xml.atEnd();) {
        if (xml.readNext() == QXmlStreamReader::StartElement
            && xml.namespaceUri() == u"urn:schemas-microsoft-com:xml-analysis"
            && names.contains(xml.name()))
            texts[names.indexOf(xml.name())] = xml.readElementText();
    }
    return texts.join(u'|');
}

// A TLS configuration serving the certificate tests/data/xmla/tls/<name>.crt.
QSslConfiguration serving(const QString &name)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(testData("xmla/tls/" + name + ".crt")));
    tls.setPrivateKey(QSslKey(testData("xmla/tls/" + name + ".key"), QSsl::Rsa));
    return tls;
}

XmlaSettings settingsFor(const FakeHttpServer &server)
{
    XmlaSettings settings;
    settings.url = server.url();
    settings.userId = QStringLiteral("ann");
    settings.password = Password;
    settings.timeoutSeconds = 10; // a fault that loses a request fails here, not at CTest's limit
    return settings;
}

// Records what it is told and runs `onBegin`.
struct Indicator : WaitIndicator
{
    void begin(const QString &text, std::function<void()> cancel) override
    {
        texts << text;
        cancelWait = std::move(cancel);
        onBegin();
    }
    void end() override { ++ends; }

    std::function<void()> onBegin, cancelWait;
    QStringList texts;
    int ends = 0;
};

const QStringList SalesOutline {
    "[Measures] [Measures]: MeasuresLevel = Unit Sales, Store Cost, Store Sales, Sales [Net], "
    "Profit",
    "[Store] [Store]: (All); Store Country; Store State; Store City; Store Name",
    "[Time] [Time]: Year; Quarter; Month",
    "[Time] [Time.Weekly]: (All); Year; Week; Day",
    "[Product] [Product]: (All); Product Family; Product Category; Product Name",
    "[Store Type] [Store Type]: (All); Store Type",
};

} // namespace

// Windows programs are tested under Wine, whose TLS differs from Windows' own here.
static bool underWine()
{
#ifdef Q_OS_WIN
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

class TestXmlaDataSource : public QObject
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
        row("namespaces matched by URI, not prefix",
            testData("xmla/handmade/namespaces-by-uri.xml"),
            ok + "CUBE_NAME=Sales\nCUBE_NAME=Budget");

        // Encodings: the document's own mark or declaration decides; HTTP fills in.
        // Code page 1252 by our own table: its first and last bytes past Latin-1.
        row("no declaration, charset from HTTP",
            discoverAnswer("<row><DESCRIPTION>Caf\xE9 \x80\x9F</DESCRIPTION></row>", QByteArray()),
            ok + u"DESCRIPTION=Caf\u00e9 \u20ac\u0178"_qs, false, "windows-1252");
        row("declaration wins over HTTP",
            discoverAnswer(u"<row><DESCRIPTION>Caf\u00e9 \u20ac</DESCRIPTION></row>"_qs.toUtf8()),
            ok + u"DESCRIPTION=Caf\u00e9 \u20ac"_qs, false, "iso-8859-1");
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
            testData("xmla/handmade/fault-detail-attributes.xml"),
            "failed c10a0004 Query (1, 8) The syntax for 'x' is incorrect.|Analysis Server|"
            "XMLAnalysisError.0xc10a0004|3238658052|server",
            true);
        row("error inside a result", testData("xmla/handmade/error-inside-result.xml"),
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

    // What is asked (names escaped, credentials, statements), what is kept, and a cube's
    // four requests sent at once. The answers declare no encoding: they are read in the
    // charset the HTTP header names.
    void requestsAndAnswers()
    {
        const QString odd = QStringLiteral("A&B <\"x\"> ]]> caf\u00e9");
        FakeHttpServer server;
        server.setHandler([&](const HttpRequest &request) {
            QByteArray body = recorded(recordedFile(request));
            body = body.mid(body.indexOf("?>") + 2)
                       .replace("OlapTest", odd.toHtmlEscaped().toLatin1())
                       .replace("CARDINALITY>0<", "CARDINALITY>3<");
            return FakeHttpServer::chunked(body, 1000)
                .replace("text/xml", "text/xml; Charset=\"ISO-8859-1\"");
        });
        const auto source = XmlaDataSource::open(settingsFor(server), odd);
        QCOMPARE(source->cubes().size(), 4);
        source->cubes(); // kept for the connection: the requests are counted at the end
        server.answerWhenWaiting = 4;
        const auto schema = source->cubeSchema(1);
        QCOMPARE(outline(*schema), SalesOutline); // kept: the contract test
        QCOMPARE(sent(server.requests.last(), { "CATALOG_NAME", "Catalog" }), odd + u'|' + odd);
        server.answerWhenWaiting = 1;
        // A level's members and a member's children, by name and with their children's count.
        const QList<MemberInfo> members
            = source->members(1, MemberQuery { "[Measures].[MeasuresLevel]", {} });
        QCOMPARE(members.size(), 5);
        QCOMPARE(members.at(3).name + members.at(3).uniqueName
                     + QString::number(members.at(3).childCount),
                 "Sales [Net][Measures].[Sales [Net]]]3");
        const QStringList asked { "Format", "CUBE_NAME", "LEVEL_UNIQUE_NAME", "MEMBER_UNIQUE_NAME",
                                  "TREE_OP" };
        QCOMPARE(sent(server.requests.last(), asked), "Tabular|Sales|[Measures].[MeasuresLevel]||");
        source->members(1, MemberQuery { {}, "[Store].[USA]" });
        QCOMPARE(sent(server.requests.last(), asked), "Tabular|Sales||[Store].[USA]|1");
        QCOMPARE(source->requestCount(), 8); // 2 for the catalog, 4 for the cube, 2 for members
        const QueryResult result = source->execute(QStringLiteral("select ... from Sales"));
        QCOMPARE(sent(server.requests.last(), { "Statement" }), u"select ... from Sales");
        QCOMPARE(result.axisNames, (QList<QString> { "Axis0", "Axis1" })); // not the slicer
        QCOMPARE(result.columnTuples() * 10 + result.rowTuples(), 24); // 2 measures, 4 rows
        QCOMPARE(result.cellCount, 8);
        for (const HttpRequest &request : server.requests) {
            QCOMPARE(request.headers.value("authorization"),
                     "Basic " + ("ann:" + Password.toUtf8()).toBase64());
            QCOMPARE(request.headers.value("host"), server.url().authority().toUtf8());
        }
    }

    // Rows may come in any order; ordinals decide, the default hierarchy comes first, and
    // members without ordinals (some servers send none) keep the server's order.
    void orderComesFromOrdinalsNotRows()
    {
        QList<XmlaRowset> r;
        for (const char *part : { "dimensions", "hierarchies", "levels", "members" }) {
            r << readXmlaRowset(recorded(QStringLiteral("sales-%1.xml").arg(part)));
            std::reverse(r.last().rows.begin(), r.last().rows.end());
        }
        QCOMPARE(outline(XmlaDataSource::buildSchema(r[0], r[1], r[2], r[3])), SalesOutline);
        const qsizetype defaultHierarchy = r[0].column(QStringLiteral("DEFAULT_HIERARCHY"));
        for (XmlaRow &row : r[0].rows) {
            if (r[0].value(row, QStringLiteral("DIMENSION_UNIQUE_NAME")) == u"[Time]")
                row[defaultHierarchy] = QStringLiteral("[Time.Weekly]");
        }
        const qsizetype ordinal = r[3].column(QStringLiteral("MEMBER_ORDINAL"));
        for (XmlaRow &row : r[3].rows)
            row[ordinal] = QString();
        // A dimension without hierarchies gets none (the schema tree fails on it, not the load).
        r[1].rows.removeIf([&](const XmlaRow &row) {
            return r[1].value(row, QStringLiteral("DIMENSION_UNIQUE_NAME")) == u"[Store Type]";
        });
        QStringList expected = SalesOutline;
        expected[0] = "[Measures] [Measures]: MeasuresLevel = Profit, Sales [Net], Store Sales, "
                      "Store Cost, Unit Sales";
        expected.swapItemsAt(2, 3);
        expected[5] = QStringLiteral("[Store Type] -");
        QCOMPARE(outline(XmlaDataSource::buildSchema(r[0], r[1], r[2], r[3])), expected);
    }

    // The answer to one request (`failing`); the others get the recorded ones, or, for a
    // cube's four requests, none at all: the failed one must end the wait for them. The
    // server's own words in every shape, also in those of servers of other kinds, never a
    // parse error and never an empty catalog.
    void serverFailures_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("expected");
        // Failing the first request unless told which.
        const auto row = [](const char *name, const QByteArray &answer, qint32 code,
                            const char *expected, const char *failing = "DBSCHEMA_CATALOGS") {
            QTest::newRow(name) << QString::fromLatin1(failing) << answer << code
                                << QString::fromUtf8(expected);
        };
        const QByteArray fault = recorded(QStringLiteral("fault-unknown-catalog.xml"));
        const QByteArray catalogs = recorded(QStringLiteral("catalogs.xml"));
        const QByteArray levels = recorded(QStringLiteral("sales-levels.xml"));
        const QByteArray html = "Content-Type: text/html\r\n", xml = "Content-Type: text/xml\r\n";
        using namespace XmlaFailure;
        // Servers send faults with 500, as SOAP wants (or with 200).
        const QByteArray quoting = "http://ann:" + Password.toUtf8() + "@h/";
        row("fault quoting the address", reply(500, QByteArray(fault).replace("Unknown", quoting)),
            ServerFault, "http://ann:****@h/ catalog 'Nope'");
        row("500 with a page", reply(500, "<html><body>Service Unavailable</body></html>", html),
            HttpStatus, "answered HTTP 500 Status instead of a result");
        row("403", reply(403, ""), Forbidden, "refused access (HTTP 403 Status)");
        row("404", reply(404, ""), NotFound, "no XML for Analysis service at");
        row("redirect", reply(302, "", "Location: http://127.0.0.1:9/x\r\n"), Redirected,
            "redirects to http://127.0.0.1:9/x");
        row("cut short", FakeHttpServer::chunked(catalogs, 300, false).chopped(10), Truncated,
            "ended early");
        // Metadata answers keep a few columns: their limit is the higher one, and it is named.
        row("too large, chunked", FakeHttpServer::chunked(QByteArray(200000, ' ') + catalogs, 4096),
            TooLarge, "larger than 128 KB");
        row("declared too large", "HTTP/1.1 200 OK\r\nContent-Length: 140000\r\n\r\n" + catalogs,
            TooLarge, "larger than 128 KB");
        const qsizetype rows = catalogs.indexOf("<row>");
        row("no catalogs",
            reply(200, QByteArray(catalogs).remove(rows, catalogs.indexOf("</row>") + 6 - rows)),
            CatalogFailure::CatalogNotFound, "has no catalogs");
        row("qualified fault", reply(500, otherServerAnswer("fault-qualified.xml"), xml),
            qint32(3238658052u),
            "the user, ann, does not have access to the Retail Analysis database");
        row("exception instead of rows",
            reply(200, otherServerAnswer("exception-instead-of-rows.xml"), xml), -1055129598,
            "The Retail Analysis cube is being processed; try again later.");
        row("exception after rows", reply(200, otherServerAnswer("exception-after-rows.xml"), xml),
            qint32(3238658057u), "ended by the server while the catalogs were listed");
        row("400 with JSON",
            reply(400, R"({"error":{"code":"X","details":[{}],"message":"No XMLA for you."}})",
                  "Content-Type: application/json\r\n"),
            HttpStatus, "answered HTTP 400 Status instead of a result: No XMLA for you.");
        row("200 with a web page",
            reply(200, "<html><head><title>Runtime Error</title><style>p{}</style></head>x", html),
            NotXmla, "answered with \"Runtime Error\" instead of XML for Analysis");
        row("502 with a page without title",
            reply(502, "<html><style>p{}</style><h1>Bad Gateway</h1><p>Gone &amp; &gt; away.</p>",
                  html),
            HttpStatus, "instead of a result: Bad Gateway Gone & > away.");
        row("empty 200", reply(200, "", xml), Truncated, "The server sent an empty reply.");
        // The cube list goes along with the catalog list; its failure is told as its own.
        const QByteArray cubes = recorded(QStringLiteral("cubes.xml"));
        row("cube list fails", reply(500, fault), ServerFault, "Unknown catalog 'Nope'",
            "MDSCHEMA_CUBES");
        row("cube list lacks a column", reply(200, QByteArray(cubes).replace("CUBE_NAME>", "X>")),
            MissingColumn, "MDSCHEMA_CUBES answer lacks the column CUBE_NAME", "MDSCHEMA_CUBES");
        row("one of four fails", reply(500, fault), ServerFault, "Unknown catalog 'Nope'",
            "MDSCHEMA_LEVELS");
        row("column missing", reply(200, QByteArray(levels).replace("LEVEL_NAME>", "X>")),
            MissingColumn, "MDSCHEMA_LEVELS answer lacks the column LEVEL_NAME", "MDSCHEMA_LEVELS");
        row("not a number",
            reply(200, QByteArray(levels).replace(">1</LEVEL_NUMBER", ">two</LEVEL_NUMBER")),
            BadValue, "MDSCHEMA_LEVELS answer holds \"two\" in the column LEVEL_NUMBER",
            "MDSCHEMA_LEVELS");
    }

    void serverFailures()
    {
        QFETCH(QString, failing);
        QFETCH(QByteArray, answer);
        const bool holdOthers = QByteArray(QTest::currentDataTag()) == "one of four fails";
        FakeHttpServer server;
        server.setHandler([&](const HttpRequest &request) -> std::optional<QByteArray> {
            if (sent(request, { "RequestType" }) == failing)
                return answer;
            if (holdOthers && recordedFile(request).startsWith(u"sales-"))
                return std::nullopt;
            return recordedAnswer(request);
        });
        XmlaSettings settings = settingsFor(server);
        settings.responseLimit = 64 * 1024;
        settings.keptColumnsLimit = 128 * 1024;
        const auto failure = failureOf(
            [&] { XmlaDataSource::open(settings, QStringLiteral("OlapTest"))->cubeSchema(1); });
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        VERIFY_FAILURE(failure, code, expected);
        QVERIFY2(!QByteArray(failure->what()).contains("Pa55"), failure->what());
    }

    // A catalog from a server of another kind (otherServerAnswer), however the answer travels;
    // every request as such a server expects it: the address, SOAPAction with its colon, XML
    // content type, gzip offered (such a server compresses only when offered), and the
    // catalog as property and restriction, spelt as the server does.
    void otherServers_data()
    {
        QTest::addColumn<QString>("transport");
        for (const char *transport : { "plain", "gzip", "chunked", "gzip, chunked" })
            QTest::newRow(transport) << QString(transport);
    }

    void otherServers()
    {
        QFETCH(QString, transport);
        FakeHttpServer server;
        server.setHandler([&](const HttpRequest &request) {
            const bool zipped = transport.contains(u"gzip");
            const QByteArray body
                = otherServerAnswer(sent(request, { "RequestType" }).section(u'_', 1).toLower()
                                    + ".xml" + (zipped ? ".gz" : ""));
            const QByteArray header = zipped ? "Content-Encoding: gzip\r\n" : "";
            return transport.contains(u"chunked")
                ? FakeHttpServer::chunked(body, 97).replace("Transfer-", header + "Transfer-")
                : reply(200, body, "Content-Type: text/xml\r\n" + header);
        });
        XmlaSettings settings = settingsFor(server);
        settings.url = server.url().resolved(QUrl(QStringLiteral("/olap/msmdpump.dll")));
        const auto source = XmlaDataSource::open(settings, QStringLiteral("retail analysis"));
        QString seen = source->catalogName() + u':';
        for (const CubeInfo &cube : source->cubes())
            seen += u' ' + cube.name + u'|' + cube.description;
        // A perspective is a cube; a dimension listed as a cube is not.
        QCOMPARE(seen, u"Retail Analysis: Sales| Direct Sales|Sales without resellers");
        for (const HttpRequest &request : server.requests) {
            QCOMPARE(request.target, "/olap/msmdpump.dll");
            QCOMPARE(request.headers.value("soapaction"),
                     "\"urn:schemas-microsoft-com:xml-analysis:Discover\"");
            QVERIFY(request.headers.value("content-type").startsWith("text/xml"));
            QVERIFY(request.headers.value("accept-encoding").contains("gzip"));
        }
        QCOMPARE(sent(server.requests.last(), { "Catalog", "CATALOG_NAME" }),
                 u"Retail Analysis|Retail Analysis");
    }

    // Whatever the server does not answer, the wait ends: at the time limit, or when the user
    // cancels from the indicator; its texts and ends pair up. A request made while one waits
    // is refused.
    void waitEnds()
    {
        FakeHttpServer server;
        server.setHandler([](const HttpRequest &) { return std::optional<QByteArray>(); });
        for (const auto &[timeoutSeconds, cancel, code, expected] :
             { std::tuple(1, false, XmlaFailure::TimedOut, "within 1 seconds"),
               std::tuple(10, true, CatalogFailure::Cancelled, "cancelled by the user") }) {
            XmlaSettings settings = settingsFor(server);
            settings.timeoutSeconds = timeoutSeconds;
            auto indicator = std::make_shared<Indicator>();
            indicator->onBegin = [&, cancel = cancel] {
                if (cancel)
                    QTimer::singleShot(100, [&] { indicator->cancelWait(); });
            };
            settings.waitIndicator = indicator;
            VERIFY_FAILURE(failureOf([&] { XmlaDataSource::open(settings, QString()); }), code,
                           expected);
            QCOMPARE(indicator->texts,
                     QStringList { "Connecting to " + server.url().toString() + u'\u2026' });
            QCOMPARE(indicator->ends, 1);
            indicator->cancelWait(); // too late: nothing happens
        }

        server.setHandler(recordedAnswer);
        XmlaSettings settings = settingsFor(server);
        auto indicator = std::make_shared<Indicator>();
        settings.waitIndicator = indicator;
        std::shared_ptr<XmlaDataSource> source;
        std::optional<Failure> nested;
        indicator->onBegin = [&] {
            if (source)
                QTimer::singleShot(50, [&] {
                    nested = failureOf([&] {
                        source->members(1, MemberQuery { "[Measures].[MeasuresLevel]", {} });
                    });
                });
        };
        source = XmlaDataSource::open(settings, QString());
        server.delayMs = 300;
        QCOMPARE(source->cubeSchema(1)->dimensions.size(), 5);
        VERIFY_FAILURE(nested, XmlaFailure::Busy, "has not ended yet");
        QCOMPARE(indicator->ends, 2);
    }

    // A connection the server keeps open carries the next request, over http and over https
    // (the server's certificate trusted); when the server closes it just as a request comes,
    // the request goes again on a new one, unseen by the user.
    void keptConnections_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::newRow("http") << false;
        QTest::newRow("https") << true;
    }

    void keptConnections()
    {
        QFETCH(bool, secure);
        if (secure && underWine())
            QSKIP("Wine's TLS does not complete this handshake");
        FakeHttpServer server(secure ? std::optional(serving("localhost")) : std::nullopt);
        server.keepOpen = true;
        int answers = 0;
        server.setHandler([&](const HttpRequest &request) {
            if (++answers == 3)
                return QByteArray();
            return reply(200, recorded(recordedFile(request)))
                .replace("Connection: close\r\n", ""); // the connection kept
        });
        const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
        const auto restore
            = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(before); });
        QSslConfiguration trusting = before;
        trusting.addCaCertificate(QSslCertificate(testData("xmla/tls/localhost.crt")));
        QSslConfiguration::setDefaultConfiguration(trusting);
        XmlaClient client(settingsFor(server));
        XmlaDiscover catalogs;
        catalogs.requestType = QStringLiteral("DBSCHEMA_CATALOGS");
        for (int i = 0; i < 3; ++i)
            QCOMPARE(client.discover(catalogs, QString()).rows.size(), 1);
        QCOMPARE(server.requests.size(), 4);
        QCOMPARE(client.connectionCount(), 2);
    }

    void unreachable()
    {
        XmlaSettings settings;
        const auto failure = [&](const QString &address) {
            settings.url = QUrl(address);
            return failureOf([&] { XmlaDataSource::open(settings, QString()); });
        };
        VERIFY_FAILURE(failure(QStringLiteral("ftp://127.0.0.1/xmla")), XmlaFailure::BadAddress,
                       "\"ftp://127.0.0.1/xmla\" is not an http://");
        if (underWine())
            QSKIP("Wine's TLS ends the handshake instead of reporting the certificate");
        FakeHttpServer tls(serving("untrusted")); // completes no handshake: not trusted
        VERIFY_FAILURE(failure(tls.url().toString()), XmlaFailure::Certificate,
                       "certificate could not be trusted");
    }
};

QTEST_GUILESS_MAIN(TestXmlaDataSource)
#include "tst_xmladatasource.moc"
