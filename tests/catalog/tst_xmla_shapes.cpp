// Answers in the shapes other XML for Analysis servers send (hand-made in tests/data/xmla-msas
// after their documentation; a .gz file is `gzip -n` of its namesake), served by the
// scripted server: the catalog however the answer travels, and every shape of error.
#include "catalog/xmladatasource.h"

#include "catalogtesting.h"
#include "fakehttpserver.h"

using namespace mdx;
using namespace mdx::test;

namespace {

QByteArray answer(const QString &name)
{
    return FakeHttpServer::file(QStringLiteral(MDX_TEST_DATA_DIR "/xmla-msas/") + name);
}

} // namespace

class TestXmlaShapes : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("reply"); // empty: the catalog's files, sent as `transport`
        QTest::addColumn<QString>("transport");
        QTest::addColumn<qint32>("code"); // 0: no failure
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, int status, const QByteArray &body, qint32 code,
                            const char *expected, const QByteArray &type = "text/xml") {
            QTest::newRow(name) << FakeHttpServer::response(status, body,
                                                            "Content-Type: " + type + "\r\n")
                                << QString() << code << QString(expected);
        };
        // A perspective is a cube; a dimension listed as a cube is not.
        for (const char *transport : { "plain", "gzip", "chunked", "gzip, chunked" })
            QTest::newRow(transport)
                << QByteArray() << QString(transport) << 0
                << "Retail Analysis: Sales| Direct Sales|Sales without resellers";
        using namespace XmlaFailure;
        row("qualified fault", 500, answer("fault-qualified.xml"), qint32(3238658052u),
            "the user, ann, does not have access to the Retail Analysis database");
        row("exception instead of rows", 200, answer("exception-instead-of-rows.xml"), -1055129598,
            "The Retail Analysis cube is being processed; try again later.");
        row("exception after rows", 200, answer("exception-after-rows.xml"), qint32(3238658057u),
            "ended by the server while the catalogs were listed");
        row("400 with JSON", 400,
            R"({"error":{"code":"X","details":[{}],"message":"No XMLA for you."}})", HttpStatus,
            "answered HTTP 400 Status instead of a result: No XMLA for you.", "application/json");
        row("200 with a web page", 200,
            "<html><head><title>Runtime Error</title><style>p{}</style></head>x", NotXmla,
            "answered with \"Runtime Error\" instead of XML for Analysis", "text/html");
        row("502 with a page without title", 502,
            "<html><style>p{}</style><h1>Bad Gateway</h1><p>Gone &amp; away.</p>", HttpStatus,
            "instead of a result: Bad Gateway Gone & away.", "text/html");
        row("empty 200", 200, "", Truncated, "The server sent an empty reply.");
    }

    // The server's own words in every shape, never a parse error and never an empty catalog;
    // every request as such a server expects it.
    void answers()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, transport);
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        FakeHttpServer server;
        server.setHandler([&](const HttpRequest &request) {
            const QString type = QString::fromUtf8(request.body).section("<RequestType>", 1);
            const bool zipped = transport.contains(u"gzip");
            const QByteArray body = answer(type.section(u'<', 0, 0).section(u'_', 1).toLower()
                                           + ".xml" + (zipped ? ".gz" : ""));
            const QByteArray header = zipped ? "Content-Encoding: gzip\r\n" : "";
            return !reply.isEmpty() ? reply
                : transport.contains(u"chunked")
                ? FakeHttpServer::chunked(body, 97).replace("Transfer-", header + "Transfer-")
                : FakeHttpServer::response(200, body, "Content-Type: text/xml\r\n" + header);
        });
        XmlaSettings settings;
        settings.url = server.url().resolved(QUrl(QStringLiteral("/olap/msmdpump.dll")));
        settings.timeoutSeconds = 10;
        qint32 seenCode = 0;
        QString seen;
        try {
            const auto source = XmlaDataSource::open(settings, QStringLiteral("retail analysis"));
            seen = source->catalogName() + u':';
            for (const CubeInfo &cube : source->cubes())
                seen += u' ' + cube.name + u'|' + cube.description;
        } catch (const Failure &failure) {
            seenCode = failure.code();
            seen = failure.description();
        }
        QVERIFY2(seenCode == code && (code ? seen.contains(expected) : seen == expected),
                 qPrintable(QString::number(quint32(seenCode), 16) + u' ' + seen));
        // The address, SOAPAction with its colon, XML content type, gzip offered (the network
        // layer decodes only what it offered), and the catalog as property and restriction.
        for (const HttpRequest &request : server.requests) {
            QCOMPARE(request.target, "/olap/msmdpump.dll");
            QCOMPARE(request.headers.value("soapaction"),
                     "\"urn:schemas-microsoft-com:xml-analysis:Discover\"");
            QVERIFY(request.headers.value("content-type").startsWith("text/xml"));
            QVERIFY(request.headers.value("accept-encoding").contains("gzip"));
        }
        const QByteArray last = server.requests.last().body;
        QVERIFY(!reply.isEmpty()
                || (last.contains("<Catalog>Retail Analysis<")
                    && last.contains("<RestrictionList><CATALOG_NAME>Retail Analysis<")));
    }
};

QTEST_MAIN(TestXmlaShapes)
#include "tst_xmla_shapes.moc"
