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

// The gzip framing around the deflate data qCompress makes (behind its 4-byte length and
// 2-byte zlib header, before its 4-byte checksum).
QByteArray gzip(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    const QByteArray zlib = qCompress(data, 9);
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    out += zlib.mid(6, zlib.size() - 10);
    for (const quint32 value : { ~crc, quint32(data.size()) }) {
        for (int i = 0; i < 4; ++i)
            out += char((value >> (8 * i)) & 0xff);
    }
    return out;
}

// The body as one of the ways an answer travels.
QByteArray sent(const QByteArray &body, const QString &transport)
{
    if (transport == u"gzip")
        return FakeHttpServer::response(200, gzip(body), "text/xml; charset=utf-8",
                                        "Content-Encoding: gzip\r\n");
    if (transport == u"chunked")
        return FakeHttpServer::chunked(body, 97);
    if (transport == u"gzip, chunked")
        return FakeHttpServer::chunked(gzip(body), 61)
            .replace("Transfer-Encoding:", "Content-Encoding: gzip\r\nTransfer-Encoding:");
    return FakeHttpServer::response(200, body, "text/xml",
                                    "Session: 6F2B1C3A-0D4E-4A55-9C1B-2E7F1A0B9C11\r\n");
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
        for (const char *transport :
             { "plain, Session header", "gzip", "chunked", "gzip, chunked" })
            QTest::newRow(transport) << QString::fromLatin1(transport);
    }

    // Hidden objects left out, the default hierarchy first wherever it is listed, measures
    // in row order, a perspective kept and a dimension listed as a cube dropped.
    void catalogInTheirShapes()
    {
        QFETCH(QString, transport);
        FakeHttpServer server;
        server.setHandler([&](const HttpRequest &request) {
            return sent(answer(requestType(request).section(u'_', 1).toLower() + ".xml"),
                        transport);
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
        // content type, gzip offered (so that the network layer decodes it), the Catalog
        // property and the restrictions.
        QCOMPARE(server.requests().size(), 6);
        for (const HttpRequest &request : server.requests()) {
            QCOMPARE(request.target, "/olap/msmdpump.dll");
            QCOMPARE(request.headers.value("soapaction"),
                     "\"urn:schemas-microsoft-com:xml-analysis:Discover\"");
            QVERIFY(request.headers.value("content-type").startsWith("text/xml"));
            QVERIFY(request.headers.value("accept-encoding").contains("gzip"));
        }
        const auto levels = std::find_if(server.requests().cbegin(), server.requests().cend(),
                                         [](const HttpRequest &r) {
                                             return requestType(r) == u"MDSCHEMA_LEVELS";
                                         })
                                ->body;
        QVERIFY(levels.contains("<RestrictionList><CATALOG_NAME>Retail Analysis</CATALOG_NAME>"
                                "<CUBE_NAME>Sales</CUBE_NAME></RestrictionList>"));
        QVERIFY(levels.contains("<Catalog>Retail Analysis</Catalog>"));
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
                  return FakeHttpServer::response(status, body, type);
              };
        using namespace XmlaFailure;
        row("qualified fault", response(500, answer("fault-qualified.xml")), qint32(3238658052u),
            "the user, ann, does not have access to the Retail Analysis database");
        row("exception instead of rows", response(200, answer("exception-instead-of-rows.xml")),
            -1055129598, "The Retail Analysis cube is being processed; try again later.");
        row("exception after rows", response(200, answer("exception-after-rows.xml")),
            qint32(3238658057u), "ended by the server while the catalogs were listed");
        row("400 with JSON",
            response(400,
                     R"({"error":{"code":"XmlaNotAuthorized","details":[{"code":"Reason",)"
                     R"("detail":{"type":1}}],"message":"The user has no permission to use )"
                     R"(the XMLA endpoint."}})",
                     "application/json"),
            HttpStatus,
            "answered HTTP 400 Status instead of a result: The user has no permission to use "
            "the XMLA endpoint.");
        row("200 with a web page",
            response(200,
                     "<!DOCTYPE html><html><head><title>Detailed Error - 500.19 - Internal "
                     "Server Error</title><style>p{}</style></head><body><p>x</p></body></html>",
                     "text/html"),
            NotXmla, "answered with \"Detailed Error - 500.19 - Internal Server Error\"");
        row("502 with a page without title",
            response(502,
                     "<html><body><h1>502 Bad Gateway</h1><p>No answer &amp; no "
                     "retry.</p></body></html>",
                     "text/html"),
            HttpStatus, "instead of a result: 502 Bad Gateway No answer & no retry.");
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
