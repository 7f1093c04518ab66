// Answers in the shapes other XML for Analysis servers send (hand-made in tests/data/xmla-msas
// after their documentation), served by the scripted server: what is kept of a catalog however
// the answer travels, and every shape of error.
#include "catalog/xmladatasource.h"

#include "catalogtesting.h"
#include "fakehttpserver.h"

#include <QTest>

using namespace mdx;
using test::FakeHttpServer;
using test::HttpRequest;

namespace {

QByteArray answer(const QString &name)
{
    return FakeHttpServer::file(QStringLiteral(MDX_TEST_DATA_DIR "/xmla-msas/") + name);
}

QString requestType(const HttpRequest &request)
{
    return QString::fromUtf8(request.body).section("<RequestType>", 1).section(u'<', 0, 0);
}

// gzip's framing around the deflate data of qCompress (behind its 6-byte head, before its
// 4-byte checksum).
QByteArray gzip(const QByteArray &data)
{
    quint32 crc = ~0u;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    const QByteArray zlib = qCompress(data, 9);
    QByteArray out = QByteArray("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10) + zlib.mid(6, zlib.size() - 10);
    for (const quint32 value : { ~crc, quint32(data.size()) })
        out += QByteArray(1, char(value)) + char(value >> 8) + char(value >> 16)
            + char(value >> 24);
    return out;
}

XmlaSettings settingsFor(const FakeHttpServer &server)
{
    XmlaSettings settings;
    settings.url = server.url().resolved(QUrl(QStringLiteral("/olap/msmdpump.dll")));
    settings.timeoutSeconds = 10;
    return settings;
}

} // namespace

class TestXmlaShapes : public QObject
{
    Q_OBJECT

private slots:
    void catalogInTheirShapes_data()
    {
        QTest::addColumn<QString>("transport");
        for (const char *transport : { "plain", "gzip", "chunked", "gzip, chunked" })
            QTest::newRow(transport) << QString::fromLatin1(transport);
    }

    // Hidden objects left out, the default hierarchy first wherever it is listed, measures
    // in row order, a perspective kept and a dimension listed as a cube dropped.
    void catalogInTheirShapes()
    {
        QFETCH(QString, transport);
        FakeHttpServer server;
        server.setHandler([&](const HttpRequest &request) {
            const QByteArray body
                = answer(requestType(request).section(u'_', 1).toLower() + ".xml");
            const bool zipped = transport.contains(u"gzip");
            const QByteArray header = zipped ? "Content-Encoding: gzip\r\n" : "";
            const QByteArray bytes = zipped ? gzip(body) : body;
            return transport.contains(u"chunked")
                ? FakeHttpServer::chunked(bytes, 97).replace("Transfer-", header + "Transfer-")
                : FakeHttpServer::response(200, bytes, "Content-Type: text/xml\r\n" + header);
        });
        const auto source
            = XmlaDataSource::open(settingsFor(server), QStringLiteral("retail analysis"));
        QCOMPARE(source->catalogName(), "Retail Analysis");
        QStringList cubes;
        for (const CubeInfo &cube : source->cubes())
            cubes << cube.name + u'|' + cube.description;
        QCOMPARE(cubes, QStringList({ "Sales|", "Direct Sales|Sales without resellers" }));
        QCOMPARE(test::outline(*source->cubeSchema(0)),
                 QStringList({
                     "[Measures] [Measures]: MeasuresLevel = Sales Amount, Order Count, "
                     "Margin [Net], Average Price",
                     "[Date] [Date].[Calendar]: (All); Year; Month",
                     "[Date] [Date].[Fiscal]: (All); Fiscal Year",
                     "[Product] [Product].[Category]: (All); Category",
                 }));

        // What the requests keep: the address, the SOAPAction with its colon, the XML
        // content type, gzip offered (the network layer decodes only what it offered), the
        // Catalog property and the restrictions.
        QCOMPARE(server.requests.size(), 6);
        for (const HttpRequest &request : server.requests) {
            QCOMPARE(request.target, "/olap/msmdpump.dll");
            QCOMPARE(request.headers.value("soapaction"),
                     "\"urn:schemas-microsoft-com:xml-analysis:Discover\"");
            QVERIFY(request.headers.value("content-type").startsWith("text/xml"));
            QVERIFY(request.headers.value("accept-encoding").contains("gzip"));
            QVERIFY(requestType(request) == u"DBSCHEMA_CATALOGS"
                    || request.body.contains("<RestrictionList><CATALOG_NAME>Retail Analysis<"));
        }
        QVERIFY(server.requests.last().body.contains("<Catalog>Retail Analysis</Catalog>"));
    }

    void errorShapes_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("expected");
        const auto row
            = [](const char *name, const QByteArray &reply, qint32 code, const char *expected) {
                  QTest::newRow(name) << reply << code << QString::fromUtf8(expected);
              };
        const auto response
            = [](int status, const QByteArray &body, const QByteArray &type = "text/xml") {
                  return FakeHttpServer::response(status, body, "Content-Type: " + type + "\r\n");
              };
        using namespace XmlaFailure;
        row("qualified fault", response(500, answer("fault-qualified.xml")), qint32(3238658052u),
            "the user, ann, does not have access to the Retail Analysis database");
        row("exception instead of rows", response(200, answer("exception-instead-of-rows.xml")),
            -1055129598, "The Retail Analysis cube is being processed; try again later.");
        row("exception after rows", response(200, answer("exception-after-rows.xml")),
            qint32(3238658057u), "ended by the server while the catalogs were listed");
        row("400 with JSON",
            response(400, R"({"error":{"code":"X","details":[{}],"message":"No XMLA for you."}})",
                     "application/json"),
            HttpStatus, "answered HTTP 400 Status instead of a result: No XMLA for you.");
        row("200 with a web page",
            response(200, "<html><head><title>Runtime Error</title><style>p{}</style></head>x",
                     "text/html"),
            NotXmla, "answered with \"Runtime Error\" instead of XML for Analysis");
        row("502 with a page without title",
            response(502, "<html><style>p{}</style><h1>Bad Gateway</h1><p>Gone &amp; away.</p>",
                     "text/html"),
            HttpStatus, "instead of a result: Bad Gateway Gone & away.");
        row("empty 200", response(200, ""), Truncated, "The server sent an empty reply.");
    }

    // Each gives the server's own words, never a parse error and never an empty catalog.
    void errorShapes()
    {
        QFETCH(QByteArray, reply);
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        FakeHttpServer server;
        server.setHandler([&](const HttpRequest &) { return reply; });
        const auto failure = test::failureOf(
            [&] { XmlaDataSource::open(settingsFor(server), QStringLiteral("Retail Analysis")); });
        VERIFY_FAILURE(failure, code, expected);
        QVERIFY(!failure->description().contains(u"well-formed"));
    }
};

QTEST_MAIN(TestXmlaShapes)
#include "tst_xmla_shapes.moc"
