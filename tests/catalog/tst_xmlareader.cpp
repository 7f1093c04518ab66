// The XML for Analysis answer reader, on answers recorded from the test server and on
// hand-made ones for what that server never sends.
#include "catalog/xmla/xmlareader.h"

#include "catalogtesting.h"
#include "fakehttpserver.h"
#include "xmlareading.h"

#include <QDir>
#include <QStringEncoder>
#include <QTest>

using namespace mdx;
using Kind = XmlaResponseReader::Kind;
using test::dumpRows;
using test::readXmla;

namespace {

QByteArray recorded(const QString &name)
{
    return test::FakeHttpServer::file(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/recorded/") + name);
}

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

} // namespace

class TestXmlaReader : public QObject
{
    Q_OBJECT

private slots:
    void readableAnswers_data();
    void readableAnswers();
    void cutShortAnswersFail_data();
    void cutShortAnswersFail();
    void unusableAnswers_data();
    void unusableAnswers();
    void serverFaults_data();
    void serverFaults();
    void sameHoweverSplit_data();
    void sameHoweverSplit();
};

void TestXmlaReader::readableAnswers_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("httpCharset");
    QTest::addColumn<QStringList>("rows");

    // The schema's annotation holds what looks like a row of the rowset namespace. An empty
    // column (<ROLES/>) is there and empty; one left out (a null) is absent.
    QTest::newRow("inline schema skipped")
        << discoverAnswer(R"(
<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema"><xsd:annotation><xsd:appinfo>
<row><CUBE_NAME>Ghost</CUBE_NAME></row></xsd:appinfo></xsd:annotation></xsd:schema>
<row><CUBE_NAME>Sales</CUBE_NAME><ROLES/></row>)")
        << QByteArray() << QStringList { "CUBE_NAME=Sales|ROLES=" };
    // Markup inside a column is text of the column; a column given twice keeps its first value.
    QTest::newRow("markup, entities, CDATA, a column twice")
        << discoverAnswer(
               R"(<row><DESCRIPTION>a &amp; b <![CDATA[<c>]]> <i>d</i>&#233;</DESCRIPTION>)"
               R"(<CUBE_NAME>x</CUBE_NAME><CUBE_NAME>second</CUBE_NAME></row>)")
        << QByteArray() << QStringList { u"CUBE_NAME=x|DESCRIPTION=a & b <c> d\u00e9"_qs };
    QTest::newRow("namespaces matched by URI, not prefix")
        << QByteArray(R"(<?xml version="1.0"?>
<e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/"><e:Header><x:return
 xmlns:x="urn:schemas-microsoft-com:xml-analysis"/></e:Header><e:Body>
<r:DiscoverResponse xmlns:r="urn:schemas-microsoft-com:xml-analysis"><r:return>
<rs:root xmlns:rs="urn:schemas-microsoft-com:xml-analysis:rowset"><rs:row>
<rs:CUBE_NAME>Sales</rs:CUBE_NAME></rs:row>
<row xmlns="urn:schemas-microsoft-com:xml-analysis:rowset"><CUBE_NAME>Budget</CUBE_NAME></row>
</rs:root></r:return></r:DiscoverResponse></e:Body></e:Envelope>)")
        << QByteArray() << QStringList { "CUBE_NAME=Sales", "CUBE_NAME=Budget" };

    // Encodings: the document's own mark or declaration decides; HTTP fills in.
    const auto encoded = [](const char *encoding, const QString &s) {
        return QByteArray(QStringEncoder(encoding).encode(s));
    };
    const QString row = u"<row><DESCRIPTION>Caf\u00e9 \u20ac</DESCRIPTION></row>"_qs;
    const QStringList rows { u"DESCRIPTION=Caf\u00e9 \u20ac"_qs };
    const QByteArray cp1252 = encoded("windows-1252", row);
    const QString utf16 = QString::fromUtf8(
        discoverAnswer(row.toUtf8(), R"(<?xml version="1.0" encoding="utf-16"?>)"));
    QTest::newRow("utf-16 with byte order mark")
        << QByteArray("\xFF\xFE", 2) + encoded("UTF-16LE", utf16) << QByteArray() << rows;
    QTest::newRow("no declaration, charset from HTTP")
        << discoverAnswer(cp1252, QByteArray()) << QByteArray("windows-1252") << rows;
    QTest::newRow("declaration wins over HTTP")
        << discoverAnswer(row.toUtf8()) << QByteArray("iso-8859-1") << rows;
}

// Whole and byte by byte: the declaration, a character, a tag may arrive in pieces.
void TestXmlaReader::readableAnswers()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, httpCharset);
    for (int chunk : { 0, 1 }) {
        const auto reader = readXmla(Kind::Discover, body, chunk, httpCharset);
        QVERIFY2(!reader->failed(),
                 qPrintable(reader->failed() ? reader->failure()->description() : QString()));
        QTEST(dumpRows(reader->rowset()), "rows");
    }
}

void TestXmlaReader::cutShortAnswersFail_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("execute");
    QTest::newRow("rowset") << "cubes.xml" << false;
    QTest::newRow("fault") << "fault-iso-8859-1.xml" << true;
}

// A body cut anywhere before the envelope's end tag must never pass for a whole answer:
// a half-read cube list would silently lack cubes.
void TestXmlaReader::cutShortAnswersFail()
{
    QFETCH(QString, file);
    QFETCH(bool, execute);
    const QByteArray body = recorded(file);
    const qsizetype end = body.lastIndexOf("</SOAP-ENV:Envelope>") + 20;
    QVERIFY(end > 20);
    // A fault read to its end tag is the server's fault even if the envelope's end is missing.
    const qsizetype faultEnd = body.indexOf("</SOAP-ENV:Fault>");
    for (qsizetype cut = 0; cut < end; cut += cut < end - 25 ? 53 : 1) {
        const auto reader = readXmla(execute ? Kind::Execute : Kind::Discover, body.left(cut));
        const std::optional<XmlaFault> &failure = reader->failure();
        QVERIFY2(failure, qPrintable(QStringLiteral("cut at %1 passed").arg(cut)));
        if (faultEnd >= 0 && cut >= faultEnd + 17)
            QCOMPARE(failure->errorCode(), QStringLiteral("00HSBD01"));
        else
            QVERIFY2(
                failure->code() == XmlaFailure::Truncated,
                qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(failure->description())));
    }
    // Whole, it is read without a failure, or with the server's.
    const auto whole = readXmla(execute ? Kind::Execute : Kind::Discover, body.left(end));
    QCOMPARE(whole->failed(), faultEnd >= 0);
    QCOMPARE(whole->isServerFault(), faultEnd >= 0);
}

void TestXmlaReader::unusableAnswers_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("httpCharset");
    QTest::addColumn<qint32>("code");
    QTest::addColumn<QString>("expected");

    const QByteArray answer = discoverAnswer("<row><CUBE_NAME>Sales</CUBE_NAME></row>");
    const auto changed = [&](const QByteArray &before, const QByteArray &after) {
        return QByteArray(answer).replace(before, after);
    };
    QTest::newRow("garbage after a good start")
        << changed("</root>", "</rot>") << QByteArray() << XmlaFailure::NotXml << "line 2";
    // The right names in the wrong namespace.
    QTest::newRow("SOAP 1.2 envelope") << changed("http://schemas.xmlsoap.org/soap/envelope/",
                                                  "http://www.w3.org/2003/05/soap-envelope")
                                       << QByteArray() << XmlaFailure::NotXmla << "SOAP 1.1";
    QTest::newRow("unknown charset")
        << discoverAnswer("<row/>", QByteArray()) << QByteArray("x-no-such-charset")
        << XmlaFailure::Encoding << "\"x-no-such-charset\"";
}

void TestXmlaReader::unusableAnswers()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, httpCharset);
    QFETCH(qint32, code);
    QFETCH(QString, expected);
    const auto reader = readXmla(Kind::Discover, body, 0, httpCharset);
    VERIFY_FAILURE(reader->failure(), code, expected);
    QCOMPARE(reader->failure()->source(), XmlaSource);
    QVERIFY(!reader->isServerFault());
}

void TestXmlaReader::serverFaults_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("execute");
    // code, description, source, fault code, error code
    QTest::addColumn<QStringList>("fault");

    QTest::newRow("detail in attributes, numeric code")
        << QByteArray(R"(<?xml version="1.0"?>
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><soap:Fault>
<faultcode>XMLAnalysisError.0xc10a0004</faultcode><faultstring>Parser error</faultstring>
<detail><Error ErrorCode="3238658052" Description="Query (1, 8) The syntax for 'x' is incorrect."
 Source="Analysis Server" HelpFile=""/><Error ErrorCode="1" Description="second"/></detail>
</soap:Fault></soap:Body></soap:Envelope>)")
        << true
        << QStringList { "c10a0004", "Query (1, 8) The syntax for 'x' is incorrect.",
                         "Analysis Server", "XMLAnalysisError.0xc10a0004", "3238658052" };
    QTest::newRow("error inside a result")
        << QByteArray(
               R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">
<soap:Body><ExecuteResponse xmlns="urn:schemas-microsoft-com:xml-analysis"><return>
<root xmlns="urn:schemas-microsoft-com:xml-analysis:mddataset">
<Exception xmlns="urn:schemas-microsoft-com:xml-analysis:exception"/>
<Messages xmlns="urn:schemas-microsoft-com:xml-analysis:exception">
<Error ErrorCode="3238658057" Description="The 'Nope' cube was not found." Source="Server"/>
</Messages></root></return></ExecuteResponse></soap:Body></soap:Envelope>)")
        << true
        << QStringList { "c10a0009", "The 'Nope' cube was not found.", "Server", "", "3238658057" };
}

void TestXmlaReader::serverFaults()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, execute);
    const auto reader = readXmla(execute ? Kind::Execute : Kind::Discover, body);
    QVERIFY(reader->isServerFault());
    const XmlaFault &f = *reader->failure();
    QTEST((QStringList { QString::number(quint32(f.code()), 16), f.description(), f.source(),
                         f.faultCode(), f.errorCode() }),
          "fault");
}

void TestXmlaReader::sameHoweverSplit_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("execute");
    QTest::addColumn<QString>("part"); // of the outcome of the whole read

    const QDir dir(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/recorded"));
    for (const QString &file : dir.entryList(QDir::Files)) {
        const bool fault = file.startsWith(u"fault");
        QTest::newRow(qPrintable(file))
            << recorded(file) << file.startsWith(u"execute") << (fault ? "|server" : "ok ");
    }

    const auto row = [](const char *name, const QByteArray &body, const QString &part) {
        QTest::newRow(name) << body << false << part;
    };
    const auto badAt = [](const QByteArray &body, const char *bad, const char *encoding) {
        return QStringLiteral("not valid %1 text: there is no valid character at byte offset %2")
            .arg(QLatin1String(encoding))
            .arg(body.indexOf(bad));
    };
    const QByteArray lone = discoverAnswer("<row><CUBE_NAME>a\xFFz</CUBE_NAME></row>");
    row("invalid UTF-8 byte", lone, badAt(lone, "\xFF", "UTF-8"));
    const QByteArray cut = discoverAnswer("<row><CUBE_NAME>a\xE2\x82z</CUBE_NAME></row>");
    row("UTF-8 character cut short", cut, badAt(cut, "\xE2", "UTF-8"));
    const QByteArray ascii = discoverAnswer("<row><CUBE_NAME>a\xE9</CUBE_NAME></row>",
                                            R"(<?xml version="1.0" encoding="us-ascii"?>)");
    row("byte over 127 in US-ASCII", ascii, badAt(ascii, "\xE9", "US-ASCII"));
    // Only the first 512 bytes are searched for the encoding: a declaration ending later is
    // read as UTF-8, where the fault's Latin-1 "é" is no character.
    QByteArray late = recorded(QStringLiteral("fault-iso-8859-1.xml"));
    late.insert(late.indexOf("encoding="), QByteArray(500, ' '));
    row("encoding declared after byte 512", late, badAt(late, "\xE9", "UTF-8"));
    // Where the parser stands at an error depends on the text it was given: after a comment
    // over two lines, on how the comment was split.
    row("comment over two lines, then a wrong end tag", discoverAnswer("<!-- a\nb --><row></rov>"),
        "not well-formed XML (line 3, column 16: Opening and ending tag mismatch.)");

    const QString text = u"<row><CUBE_NAME>\u00e9\u20ac\U0001F600\uFEFF.</CUBE_NAME></row>"_qs;
    const QString rows = u"ok  cells 0\nCUBE_NAME=\u00e9\u20ac\U0001F600\uFEFF."_qs;
    row("UTF-8 characters of 2, 3 and 4 bytes", "\xEF\xBB\xBF" + discoverAnswer(text.toUtf8()),
        rows);
    const QByteArray utf16
        = QStringEncoder(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom)
              .encode(QString::fromUtf8(
                  discoverAnswer(text.toUtf8(), R"(<?xml version="1.0" encoding="utf-16"?>)")));
    row("UTF-16 surrogate pair", utf16, rows);
    // The parser is given the text in pieces of 4096 characters, never ending inside a pair.
    const QByteArray name
        = QByteArray(4095 - discoverAnswer("").indexOf("</root>") - 16, 'x') + "\xF0\x9F\x98\x80";
    row("surrogate pair at the 4096th character",
        discoverAnswer("<row><CUBE_NAME>" + name + "</CUBE_NAME></row>"),
        "=" + QString::fromUtf8(name));
    QByteArray unpaired = utf16;
    unpaired.replace(QByteArray("\x3D\xD8\x00\xDE", 4), QByteArray("\x3D\xD8.\x00", 4));
    row("UTF-16 surrogate unpaired", unpaired, badAt(unpaired, "\x3D\xD8", "UTF-16LE"));
}

// Whatever the sizes of the chunks, the reader hands back the same rows, or the same failure.
void TestXmlaReader::sameHoweverSplit()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, execute);
    const Kind kind = execute ? Kind::Execute : Kind::Discover;
    const QString whole = test::outcome(*readXmla(kind, body));
    QFETCH(QString, part);
    QVERIFY2(whole.contains(part), qPrintable(whole));
    for (int size = 1; size <= 64; ++size) {
        const QString chunked = test::outcome(*readXmla(kind, body, size));
        QVERIFY2(chunked == whole,
                 qPrintable(QStringLiteral("in chunks of %1: %2").arg(size).arg(chunked)));
    }
}

QTEST_GUILESS_MAIN(TestXmlaReader)
#include "tst_xmlareader.moc"
