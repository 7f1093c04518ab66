// The XML for Analysis answer reader, on answers recorded from the test server and on
// hand-made ones for what that server never sends.
#include "catalog/xmlareader.h"

#include "catalogtesting.h"
#include "fakehttpserver.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

using namespace mdx;

namespace {

QByteArray recorded(const QString &name)
{
    const QByteArray bytes
        = test::FakeHttpServer::file(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/recorded/") + name);
    if (bytes.isEmpty())
        qFatal("missing recorded answer %s", qPrintable(name));
    return bytes;
}

const QByteArray Utf8Declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

// A Discover answer around the given rows, with the namespaces the way most servers write.
QByteArray discoverAnswer(const QByteArray &rows, const QByteArray &declaration = Utf8Declaration)
{
    return declaration
        + "\n<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
          "<DiscoverResponse xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><return>"
          "<root xmlns=\"urn:schemas-microsoft-com:xml-analysis:rowset\">"
        + rows + "</root></return></DiscoverResponse></soap:Body></soap:Envelope>";
}

std::optional<XmlaFault> readFailure(XmlaResponseReader::Kind kind, const QByteArray &body,
                                     const QByteArray &charset = {})
{
    XmlaResponseReader reader(kind);
    reader.setHttpCharset(charset);
    reader.addData(body);
    reader.finish();
    return reader.failure();
}

QList<XmlaRow> readInChunks(const QByteArray &body, int chunkSize)
{
    XmlaResponseReader reader(XmlaResponseReader::Kind::Discover);
    for (qsizetype i = 0; i < body.size(); i += chunkSize)
        reader.addData(body.mid(i, chunkSize));
    reader.finish();
    if (reader.failure())
        qWarning("chunked read failed: %s", qPrintable(reader.failure()->description()));
    return reader.rowset().rows;
}

} // namespace

class TestXmlaReader : public QObject
{
    Q_OBJECT

private slots:
    void recordedRowsets_data();
    void recordedRowsets();
    void omittedColumnIsAbsentNotEmpty();
    void chunkBoundariesDoNotMatter_data();
    void chunkBoundariesDoNotMatter();
    void everyCutShortAnswerFails_data();
    void everyCutShortAnswerFails();
    void inlineSchemaIsSkipped();
    void columnTextWithMarkupEntitiesAndCdata();
    void emptyRowset();
    void namespacesMatchByUriNotPrefix();
    void rightNamesInWrongNamespacesAreRefused_data();
    void rightNamesInWrongNamespacesAreRefused();
    void recordedFaultInLatin1();
    void recordedFaultForUnknownCatalog();
    void faultWithAttributesAndNumericCode();
    void faultWithoutDetailUsesFaultstring();
    void errorInsideExecuteResult();
    void encodings_data();
    void encodings();
    void unreadableEncodings();
    void notXml_data();
    void notXml();
    void recordedExecuteResult();
};

void TestXmlaReader::recordedRowsets_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("value");

    QTest::newRow("catalogs") << "catalogs.xml" << 1 << 0 << "CATALOG_NAME"
                              << "OlapTest";
    QTest::newRow("cubes") << "cubes.xml" << 4 << 3 << "CUBE_NAME"
                           << "Warehouse and Sales";
    QTest::newRow("cube description") << "cubes.xml" << 4 << 1 << "DESCRIPTION"
                                      << "Sales of the test stores";
    QTest::newRow("dimensions") << "sales-dimensions.xml" << 5 << 0 << "DIMENSION_UNIQUE_NAME"
                                << "[Measures]";
    QTest::newRow("hierarchies") << "sales-hierarchies.xml" << 6 << 5 << "HIERARCHY_UNIQUE_NAME"
                                 << "[Time.Weekly]";
    QTest::newRow("levels") << "sales-levels.xml" << 19 << 1 << "LEVEL_NAME"
                            << "(All)";
    QTest::newRow("members, bracket doubled")
        << "sales-members.xml" << 5 << 3 << "MEMBER_UNIQUE_NAME"
        << "[Measures].[Sales [Net]]]";
}

void TestXmlaReader::recordedRowsets()
{
    QFETCH(QString, file);
    QFETCH(int, rowCount);
    QFETCH(int, row);
    QFETCH(QString, column);
    QFETCH(QString, value);

    const XmlaRowset rowset = readXmlaRowset(recorded(file));
    QCOMPARE(rowset.rows.size(), rowCount);
    QCOMPARE(rowset.rows.at(row).value(column), value);
}

void TestXmlaReader::omittedColumnIsAbsentNotEmpty()
{
    const XmlaRowset cubes = readXmlaRowset(recorded(QStringLiteral("cubes.xml")));
    // The server leaves out null columns (CUBE_GUID), writes empty ones as <X/> (ROLES).
    QVERIFY(!cubes.rows.at(0).contains(QStringLiteral("CUBE_GUID")));
    QVERIFY(cubes.rows.at(0).contains(QStringLiteral("IS_WRITE_ENABLED")));
    const XmlaRowset catalogs = readXmlaRowset(recorded(QStringLiteral("catalogs.xml")));
    QVERIFY(catalogs.rows.at(0).contains(QStringLiteral("ROLES")));
    QCOMPARE(catalogs.rows.at(0).value(QStringLiteral("ROLES")), QString());
}

void TestXmlaReader::chunkBoundariesDoNotMatter_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("chunkSize");
    for (const char *file : { "cubes.xml", "sales-levels.xml", "sales-members.xml" }) {
        for (int size : { 1, 7, 4096 })
            QTest::addRow("%s by %d", file, size) << QString::fromLatin1(file) << size;
    }
}

void TestXmlaReader::chunkBoundariesDoNotMatter()
{
    QFETCH(QString, file);
    QFETCH(int, chunkSize);
    const QByteArray body = recorded(file);
    const QList<XmlaRow> whole = readXmlaRowset(body).rows;
    QVERIFY(!whole.isEmpty());
    QCOMPARE(readInChunks(body, chunkSize), whole);
}

void TestXmlaReader::everyCutShortAnswerFails_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("execute");
    QTest::newRow("cubes") << "cubes.xml" << false;
    QTest::newRow("members") << "sales-members.xml" << false;
    QTest::newRow("execute") << "execute-sales.xml" << true;
    QTest::newRow("fault") << "fault-iso-8859-1.xml" << true;
}

// A body cut anywhere before the envelope's end tag must never pass for a whole answer:
// a half-read cube list would silently lack cubes.
void TestXmlaReader::everyCutShortAnswerFails()
{
    QFETCH(QString, file);
    QFETCH(bool, execute);
    const QByteArray body = recorded(file);
    const qsizetype end = body.lastIndexOf("</SOAP-ENV:Envelope>") + 20;
    QVERIFY(end > 20);
    const auto kind
        = execute ? XmlaResponseReader::Kind::Execute : XmlaResponseReader::Kind::Discover;
    QList<qsizetype> cuts;
    for (qsizetype cut = 0; cut < end; cut += 53)
        cuts.append(cut);
    for (qsizetype cut = end - 25; cut < end; ++cut)
        cuts.append(cut);
    // A fault read to its end tag is reported as the server's fault even if the envelope's
    // end is missing: it is complete.
    const qsizetype faultEnd = body.indexOf("</SOAP-ENV:Fault>");
    for (qsizetype cut : cuts) {
        const std::optional<XmlaFault> failure = readFailure(kind, body.left(cut));
        if (faultEnd >= 0 && cut >= faultEnd + 17) {
            QVERIFY(failure);
            QCOMPARE(failure->errorCode(), QStringLiteral("00HSBD01"));
            continue;
        }
        QVERIFY2(failure, qPrintable(QStringLiteral("cut at %1 passed").arg(cut)));
        QVERIFY2(failure->code() == XmlaFailure::Truncated,
                 qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(failure->description())));
    }
    QVERIFY(!readFailure(kind, body.left(end)) || file.startsWith(u"fault"));
}

void TestXmlaReader::inlineSchemaIsSkipped()
{
    // A schema whose annotation holds what looks like a row of the rowset namespace.
    const XmlaRowset rowset = readXmlaRowset(discoverAnswer(R"(
<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema"><xsd:annotation><xsd:appinfo>
<row><CUBE_NAME>Ghost</CUBE_NAME></row></xsd:appinfo></xsd:annotation></xsd:schema>
<row><CUBE_NAME>Sales</CUBE_NAME></row>)"));
    QCOMPARE(rowset.rows.size(), 1);
    QCOMPARE(rowset.rows.at(0).value(QStringLiteral("CUBE_NAME")), QStringLiteral("Sales"));
}

void TestXmlaReader::columnTextWithMarkupEntitiesAndCdata()
{
    const XmlaRowset rowset = readXmlaRowset(
        discoverAnswer(R"(<row><DESCRIPTION>a &amp; b <![CDATA[<c>]]> <i>d</i>&#233;</DESCRIPTION>)"
                       R"(<CUBE_NAME>x</CUBE_NAME><CUBE_NAME>second</CUBE_NAME></row>)"));
    QCOMPARE(rowset.rows.at(0).value(QStringLiteral("DESCRIPTION")),
             QStringLiteral("a & b <c> d\u00e9"));
    // A column given twice keeps its first value.
    QCOMPARE(rowset.rows.at(0).value(QStringLiteral("CUBE_NAME")), QStringLiteral("x"));
}

void TestXmlaReader::emptyRowset()
{
    const XmlaRowset rowset = readXmlaRowset(
        discoverAnswer(R"(<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema"/>)"));
    QVERIFY(rowset.rows.isEmpty());
}

void TestXmlaReader::namespacesMatchByUriNotPrefix()
{
    const QByteArray body = R"(<?xml version="1.0"?>
<e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/"><e:Header><x:return
 xmlns:x="urn:schemas-microsoft-com:xml-analysis"/></e:Header><e:Body>
<r:DiscoverResponse xmlns:r="urn:schemas-microsoft-com:xml-analysis"><r:return>
<rs:root xmlns:rs="urn:schemas-microsoft-com:xml-analysis:rowset"><rs:row>
<rs:CUBE_NAME>Sales</rs:CUBE_NAME></rs:row>
<row xmlns="urn:schemas-microsoft-com:xml-analysis:rowset"><CUBE_NAME>Budget</CUBE_NAME></row>
</rs:root></r:return></r:DiscoverResponse></e:Body></e:Envelope>)";
    const XmlaRowset rowset = readXmlaRowset(body);
    QCOMPARE(rowset.rows.size(), 2);
    QCOMPARE(rowset.rows.at(0).value(QStringLiteral("CUBE_NAME")), QStringLiteral("Sales"));
    QCOMPARE(rowset.rows.at(1).value(QStringLiteral("CUBE_NAME")), QStringLiteral("Budget"));
}

void TestXmlaReader::rightNamesInWrongNamespacesAreRefused_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint32>("code");
    const QByteArray rows = "<row><CUBE_NAME>Sales</CUBE_NAME></row>";
    QByteArray answer = discoverAnswer(rows);
    QTest::newRow("SOAP 1.2 envelope") << QByteArray(answer).replace(
        "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/2003/05/soap-envelope")
                                       << XmlaFailure::NotXmla;
    QTest::newRow("root of another namespace") << QByteArray(answer).replace(
        "urn:schemas-microsoft-com:xml-analysis:rowset", "urn:example:rowset")
                                               << XmlaFailure::NotXmla;
    QTest::newRow("response of another namespace") << QByteArray(answer).replace(
        "<DiscoverResponse xmlns=\"urn:schemas-microsoft-com:xml-analysis\">",
        "<DiscoverResponse xmlns=\"urn:example\">") << XmlaFailure::NotXmla;
    QTest::newRow("undeclared prefix")
        << QByteArray(answer).replace("<root ", "<q:root ").replace("</root>", "</q:root>")
        << XmlaFailure::NotXml;
}

void TestXmlaReader::rightNamesInWrongNamespacesAreRefused()
{
    QFETCH(QByteArray, body);
    QFETCH(qint32, code);
    const auto failure = readFailure(XmlaResponseReader::Kind::Discover, body);
    QVERIFY(failure);
    QCOMPARE(failure->code(), code);
}

void TestXmlaReader::recordedFaultInLatin1()
{
    const QByteArray body = recorded(QStringLiteral("fault-iso-8859-1.xml"));
    QVERIFY(body.contains("Montr\xe9"
                          "al")); // really Latin-1 on the wire
    XmlaResponseReader reader(XmlaResponseReader::Kind::Execute);
    reader.addData(body);
    reader.finish();
    QVERIFY(reader.isServerFault());
    const XmlaFault &fault = *reader.failure();
    QCOMPARE(fault.description(),
             QStringLiteral("The Mondrian XML: Mondrian Error:MDX object '[Store].[Montr\u00e9al]' "
                            "not found in cube 'Sales'"));
    QCOMPARE(fault.source(), QStringLiteral("Mondrian"));
    QCOMPARE(fault.errorCode(), QStringLiteral("00HSBD01"));
    QCOMPARE(fault.faultCode(), QStringLiteral("SOAP-ENV:Client.00HSBD01"));
    QCOMPARE(fault.code(), XmlaFailure::ServerFault);
}

void TestXmlaReader::recordedFaultForUnknownCatalog()
{
    const auto failure = readFailure(XmlaResponseReader::Kind::Discover,
                                     recorded(QStringLiteral("fault-unknown-catalog.xml")));
    QVERIFY(failure);
    QVERIFY2(failure->description().contains(QStringLiteral("Unknown catalog 'Nope'")),
             qPrintable(failure->description()));
}

void TestXmlaReader::faultWithAttributesAndNumericCode()
{
    const QByteArray body = R"(<?xml version="1.0" encoding="utf-8"?>
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><soap:Fault>
<faultcode>XMLAnalysisError.0xc10a0004</faultcode><faultstring>Parser error</faultstring>
<detail><Error ErrorCode="3238658052" Description="Query (1, 8) The syntax for 'x' is incorrect."
 Source="Analysis Server" HelpFile=""/><Error ErrorCode="1" Description="second"/></detail>
</soap:Fault></soap:Body></soap:Envelope>)";
    const auto failure = test::failureOf([&] { readXmlaExecuteResult(body); });
    QVERIFY(failure);
    QCOMPARE(failure->description(),
             QStringLiteral("Query (1, 8) The syntax for 'x' is incorrect."));
    QCOMPARE(failure->source(), QStringLiteral("Analysis Server"));
    QCOMPARE(failure->code(), qint32(quint32(3238658052u)));
}

void TestXmlaReader::faultWithoutDetailUsesFaultstring()
{
    const QByteArray body
        = R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">
<soap:Body><soap:Fault><faultcode>soap:Server</faultcode><faultstring>Out of memory</faultstring>
</soap:Fault></soap:Body></soap:Envelope>)";
    XmlaResponseReader reader(XmlaResponseReader::Kind::Discover);
    reader.addData(body);
    reader.finish();
    QVERIFY(reader.isServerFault());
    QCOMPARE(reader.failure()->description(), QStringLiteral("Out of memory"));
    QCOMPARE(reader.failure()->source(), QStringLiteral("XML for Analysis server"));
    QCOMPARE(reader.failure()->faultCode(), QStringLiteral("soap:Server"));
}

void TestXmlaReader::errorInsideExecuteResult()
{
    const QByteArray body
        = R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">
<soap:Body><ExecuteResponse xmlns="urn:schemas-microsoft-com:xml-analysis"><return>
<root xmlns="urn:schemas-microsoft-com:xml-analysis:mddataset">
<Exception xmlns="urn:schemas-microsoft-com:xml-analysis:exception"/>
<Messages xmlns="urn:schemas-microsoft-com:xml-analysis:exception">
<Error ErrorCode="3238658057" Description="The 'Nope' cube was not found." Source="Server"/>
</Messages></root></return></ExecuteResponse></soap:Body></soap:Envelope>)";
    const auto failure = readFailure(XmlaResponseReader::Kind::Execute, body);
    QVERIFY(failure);
    QCOMPARE(failure->description(), QStringLiteral("The 'Nope' cube was not found."));
    QCOMPARE(failure->source(), QStringLiteral("Server"));
}

void TestXmlaReader::encodings_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("httpCharset");
    QTest::addColumn<QString>("expected");

    const QString text = QStringLiteral("Caf\u00e9 \u20ac");
    auto encoded = [](const char *encoding, const QString &s) {
        QStringEncoder encoder(encoding);
        return QByteArray(encoder.encode(s));
    };
    const QString rowXml = QStringLiteral("<row><DESCRIPTION>%1</DESCRIPTION></row>").arg(text);
    const QString utf16Doc = QString::fromUtf8(
        discoverAnswer(rowXml.toUtf8(), R"(<?xml version="1.0" encoding="utf-16"?>)"));

    QTest::newRow("utf-8") << discoverAnswer(rowXml.toUtf8()) << QByteArray() << text;
    QTest::newRow("utf-16 with byte order mark")
        << QByteArray("\xFF\xFE", 2) + encoded("UTF-16LE", utf16Doc) << QByteArray() << text;
    QTest::newRow("utf-16 big-endian without mark")
        << encoded("UTF-16BE", utf16Doc) << QByteArray() << text;
    QTest::newRow("windows-1252 declared") << discoverAnswer(
        encoded("windows-1252", rowXml), R"(<?xml version="1.0" encoding="windows-1252"?>)")
                                           << QByteArray() << text;
    QTest::newRow("no declaration, charset from HTTP")
        << discoverAnswer(encoded("windows-1252", rowXml), QByteArray())
        << QByteArray("windows-1252") << text;
    QTest::newRow("declaration without encoding, charset from HTTP")
        << discoverAnswer(encoded("windows-1252", rowXml), R"(<?xml version="1.0"?>)")
        << QByteArray("windows-1252") << text;
    QTest::newRow("declaration wins over HTTP")
        << discoverAnswer(rowXml.toUtf8()) << QByteArray("iso-8859-1") << text;
}

void TestXmlaReader::encodings()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, httpCharset);
    QFETCH(QString, expected);
    // Byte by byte too: the declaration may arrive in pieces.
    for (int chunk : { int(body.size()), 1 }) {
        XmlaResponseReader reader(XmlaResponseReader::Kind::Discover);
        reader.setHttpCharset(httpCharset);
        for (qsizetype i = 0; i < body.size(); i += chunk)
            reader.addData(body.mid(i, chunk));
        reader.finish();
        QVERIFY2(!reader.failed(),
                 qPrintable(reader.failed() ? reader.failure()->description() : QString()));
        QCOMPARE(reader.rowset().rows.size(), 1);
        QCOMPARE(reader.rowset().rows.at(0).value(QStringLiteral("DESCRIPTION")), expected);
    }
}

void TestXmlaReader::unreadableEncodings()
{
    const QByteArray rows = "<row><CUBE_NAME>x</CUBE_NAME></row>";
    const auto fromHttp = readFailure(XmlaResponseReader::Kind::Discover,
                                      discoverAnswer(rows, QByteArray()), "x-no-such-charset");
    QVERIFY(fromHttp);
    QCOMPARE(fromHttp->code(), XmlaFailure::Encoding);
    QVERIFY(fromHttp->description().contains(QStringLiteral("x-no-such-charset")));

    const auto declared = readFailure(
        XmlaResponseReader::Kind::Discover,
        discoverAnswer(rows, R"(<?xml version="1.0" encoding="x-no-such-charset"?>)"));
    QVERIFY(declared);
    QCOMPARE(declared->code(), XmlaFailure::Encoding);
    QVERIFY(declared->description().contains(QStringLiteral("x-no-such-charset")));
}

void TestXmlaReader::notXml_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint32>("code");
    QTest::newRow("empty") << QByteArray() << XmlaFailure::Truncated;
    QTest::newRow("plain text") << QByteArray("Internal error\n") << XmlaFailure::NotXml;
    QTest::newRow("HTML page") << QByteArray("<html><body><h1>Welcome</h1></body></html>")
                               << XmlaFailure::NotXmla;
    QTest::newRow("broken HTML") << QByteArray("<html><body><br></body></html>")
                                 << XmlaFailure::NotXmla;
    QTest::newRow("envelope without result")
        << QByteArray(R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/">)"
                      R"(<s:Body/></s:Envelope>)")
        << XmlaFailure::NotXmla;
    QTest::newRow("garbage after a good start")
        << discoverAnswer("<row><CUBE_NAME>x</CUBE_NAME></row>").replace("</root>", "</rot>")
        << XmlaFailure::NotXml;
}

void TestXmlaReader::notXml()
{
    QFETCH(QByteArray, body);
    QFETCH(qint32, code);
    const auto failure = readFailure(XmlaResponseReader::Kind::Discover, body);
    QVERIFY(failure);
    QCOMPARE(failure->code(), code);
    QCOMPARE(failure->source(), XmlaSource);
}

void TestXmlaReader::recordedExecuteResult()
{
    const XmlaExecuteResult result
        = readXmlaExecuteResult(recorded(QStringLiteral("execute-sales.xml")));
    QCOMPARE(result.axisNames,
             QList<QString>({ QStringLiteral("Axis0"), QStringLiteral("Axis1") }));
    QCOMPARE(result.columnTuples(), 2); // Unit Sales, Profit
    QCOMPARE(result.rowTuples(), 4); // 2 countries x 2 years
    QCOMPARE(result.cellCount, 8);
}

QTEST_GUILESS_MAIN(TestXmlaReader)
#include "tst_xmlareader.moc"
