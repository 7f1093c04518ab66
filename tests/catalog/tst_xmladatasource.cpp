// The XML for Analysis client and data source over HTTP, against a scripted local server:
// what is asked, in which order the answers are put, and every way a server can fail, also
// in the shapes of servers other than the test server.
#include "catalog/xmladatasource.h"
#include "catalogtesting.h"
#include "fakehttpserver.h"

#include <QScopeGuard>
#include <QSslKey>
#include <QXmlStreamReader>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace mdx;
using test::FakeHttpServer;
using test::HttpRequest;
using test::outline;
using test::recorded;
using test::recordedAnswer;

namespace {

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

QByteArray otherServer(const QString &name)
{
    return FakeHttpServer::file(QStringLiteral(MDX_TEST_DATA_DIR "/xmla-msas/") + name);
}

// A TLS configuration serving the certificate tests/data/tls/<name>.crt.
QSslConfiguration serving(const QString &name)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(recorded("../tls/" + name + ".crt")));
    tls.setPrivateKey(QSslKey(recorded("../tls/" + name + ".key"), QSsl::Rsa));
    return tls;
}

XmlaSettings settingsFor(const FakeHttpServer &server)
{
    XmlaSettings settings;
    settings.url = server.url();
    settings.userId = QStringLiteral("ann");
    settings.password = Password;
    settings.timeoutSeconds = 10;
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
    // What is asked (names escaped, credentials, statements), what is kept, and a cube's
    // four requests sent at once. The answers declare no encoding: they are read in the
    // charset the HTTP header names.
    void requestsAndAnswers()
    {
        const QString odd = QStringLiteral("A&B <\"x\"> ]]> caf\u00e9");
        FakeHttpServer server;
        server.setHandler([&](const HttpRequest &request) {
            QByteArray body = recorded(test::recordedFile(request));
            body = body.mid(body.indexOf("?>") + 2)
                       .replace("OlapTest", odd.toHtmlEscaped().toLatin1())
                       .replace("CARDINALITY>0<", "CARDINALITY>3<");
            return FakeHttpServer::chunked(body, 1000)
                .replace("text/xml", "text/xml; Charset=\"ISO-8859-1\"");
        });
        const auto source = XmlaDataSource::open(settingsFor(server), odd);
        QCOMPARE(source->cubes().size(), 4);
        source->cubes(); // kept for the connection
        QCOMPARE(source->requestCount(), 2);
        QCOMPARE(source->catalogName(), odd);
        server.answerWhenWaiting = 4;
        const auto schema = source->cubeSchema(1);
        QCOMPARE(outline(*schema), SalesOutline); // kept: the contract test
        QCOMPARE(source->requestCount(), 6);
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
        QCOMPARE(source->requestCount(), 8);
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
        const auto reply = [](int status, const QByteArray &body, const QByteArray &headers = {}) {
            return FakeHttpServer::response(status, body, headers);
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
        row("qualified fault", reply(500, otherServer("fault-qualified.xml"), xml),
            qint32(3238658052u),
            "the user, ann, does not have access to the Retail Analysis database");
        row("exception instead of rows",
            reply(200, otherServer("exception-instead-of-rows.xml"), xml), -1055129598,
            "The Retail Analysis cube is being processed; try again later.");
        row("exception after rows", reply(200, otherServer("exception-after-rows.xml"), xml),
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
            if (holdOthers && test::recordedFile(request).startsWith(u"sales-"))
                return std::nullopt;
            return recordedAnswer(request);
        });
        XmlaSettings settings = settingsFor(server);
        settings.responseLimit = 64 * 1024;
        settings.keptColumnsLimit = 128 * 1024;
        const auto failure = test::failureOf(
            [&] { XmlaDataSource::open(settings, QStringLiteral("OlapTest"))->cubeSchema(1); });
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        VERIFY_FAILURE(failure, code, expected);
        const QString shown = failure->description() + failure->source() + failure->what();
        QVERIFY2(!shown.contains(u"Pa55"), qPrintable(shown));
    }

    // A catalog from a server of another kind (hand-made answers in tests/data/xmla-msas after
    // its documentation; a .gz file is `gzip -n` of its namesake), however the answer travels;
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
                = otherServer(sent(request, { "RequestType" }).section(u'_', 1).toLower() + ".xml"
                              + (zipped ? ".gz" : ""));
            const QByteArray header = zipped ? "Content-Encoding: gzip\r\n" : "";
            return transport.contains(u"chunked")
                ? FakeHttpServer::chunked(body, 97).replace("Transfer-", header + "Transfer-")
                : FakeHttpServer::response(200, body, "Content-Type: text/xml\r\n" + header);
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
        const QByteArray last = server.requests.last().body;
        QVERIFY(last.contains("<Catalog>Retail Analysis<")
                && last.contains("<RestrictionList><CATALOG_NAME>Retail Analysis<"));
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
            VERIFY_FAILURE(test::failureOf([&] { XmlaDataSource::open(settings, QString()); }),
                           code, expected);
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
                    nested = test::failureOf([&] {
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
            return FakeHttpServer::response(200, recorded(test::recordedFile(request)), {})
                .replace("Connection: close\r\n", ""); // the connection kept
        });
        const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
        const auto restore
            = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(before); });
        QSslConfiguration trusting = before;
        trusting.addCaCertificate(QSslCertificate(recorded("../tls/localhost.crt")));
        QSslConfiguration::setDefaultConfiguration(trusting);
        XmlaClient client(settingsFor(server));
        XmlaDiscover catalogs;
        catalogs.requestType = QStringLiteral("DBSCHEMA_CATALOGS");
        for (int i = 0; i < 3; ++i)
            QCOMPARE(client.discover(catalogs, QString()).rows.size(), 1);
        QCOMPARE(server.requests.size(), 4);
        QCOMPARE(client.connectionCount(), 2);
        QCOMPARE(server.connections, 2);
    }

    void unreachable()
    {
        XmlaSettings settings;
        const auto failure = [&](const QString &address) {
            settings.url = QUrl(address);
            return test::failureOf([&] { XmlaDataSource::open(settings, QString()); });
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
