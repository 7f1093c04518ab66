// The XML for Analysis client and data source over HTTP, against a scripted local server:
// what is asked, in which order the answers are put, and every way a server can fail.
#include "catalog/catalog.h"
#include "catalog/xmladatasource.h"

#include "catalogtesting.h"
#include "fakehttpserver.h"

#include <QElapsedTimer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>

using namespace mdx;
using test::FakeHttpServer;
using test::HttpRequest;

namespace {

const QString User = QStringLiteral("ann");
const QString Password = QStringLiteral("Pa55-word-secret");

QString recordedPath(const QString &name)
{
    return QStringLiteral(MDX_TEST_DATA_DIR "/xmla/recorded/") + name;
}

QByteArray recorded(const char *name)
{
    return FakeHttpServer::file(recordedPath(QString::fromUtf8(name)));
}

// The texts of the request's innermost elements of the XMLA namespace by name (RequestType,
// CUBE_NAME, Catalog, Statement, ...), read the way a server reads them; nothing when the
// body is not well-formed.
QHash<QString, QString> sent(const HttpRequest &request)
{
    QHash<QString, QString> fields;
    QXmlStreamReader xml(request.body);
    QString name, text;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const bool ours = xml.namespaceUri() == u"urn:schemas-microsoft-com:xml-analysis";
            name = ours ? xml.name().toString() : QString();
            text.clear();
        } else if (token == QXmlStreamReader::Characters) {
            text += xml.text();
        } else if (token == QXmlStreamReader::EndElement && !name.isEmpty()) {
            fields.insert(std::exchange(name, QString()), text);
        }
    }
    return xml.hasError() ? QHash<QString, QString>() : fields;
}

// Answers as the test server did, chunked as it sends them (the integration test checks that a
// real server accepts the requests): DBSCHEMA_CATALOGS: catalogs.xml, MDSCHEMA_LEVELS:
// sales-levels.xml, ..., a statement: execute-sales.xml.
std::optional<QByteArray> recordedAnswer(const HttpRequest &request)
{
    const auto fields = sent(request);
    const QString type = fields.value(QStringLiteral("RequestType"));
    const bool schema = type.startsWith(u"MDSCHEMA_") && type != u"MDSCHEMA_CUBES";
    const QString file = fields.contains(QStringLiteral("Statement"))
        ? QStringLiteral("execute-sales.xml")
        : (schema ? "sales-" : "") + type.section(u'_', 1).toLower() + ".xml";
    return FakeHttpServer::chunked(FakeHttpServer::file(recordedPath(file)), 1000);
}

XmlaSettings settingsFor(const QUrl &url)
{
    XmlaSettings settings;
    settings.url = url;
    settings.userId = User;
    settings.password = Password;
    settings.timeoutSeconds = 10;
    return settings;
}

std::shared_ptr<XmlaDataSource> openRecorded(FakeHttpServer &server)
{
    server.setHandler(recordedAnswer);
    return XmlaDataSource::open(settingsFor(server.url()), QString());
}

// A wait indicator, installed while it lives: records what it is told, runs `onBegin`.
struct Indicator : WaitIndicator
{
    explicit Indicator(std::function<void()> onBegin)
        : onBegin(std::move(onBegin))
    {
    }
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

// One line per hierarchy: "[Dimension] [Hierarchy]: Level; Level = member, member".
QStringList outline(const CubeSchema &schema)
{
    QStringList lines;
    for (const DimensionInfo &d : schema.dimensions) {
        if (d.hierarchies.isEmpty())
            lines << d.uniqueName + QStringLiteral(" -");
        for (const HierarchyInfo &h : d.hierarchies) {
            QStringList levels;
            for (const LevelInfo &l : h.levels) {
                QStringList members;
                for (const MemberInfo &m : l.members)
                    members << m.name;
                levels << l.name
                        + (members.isEmpty() ? QString()
                                             : QStringLiteral(" = ") + members.join(u", "));
            }
            lines << d.uniqueName + u' ' + h.uniqueName + QStringLiteral(": ") + levels.join(u"; ");
        }
    }
    return lines;
}

// The four answers about the cube Sales, as the test server sent them.
QList<XmlaRowset> recordedSchema()
{
    QList<XmlaRowset> rowsets;
    for (const char *file : { "sales-dimensions.xml", "sales-hierarchies.xml", "sales-levels.xml",
                              "sales-members.xml" })
        rowsets << readXmlaRowset(recorded(file));
    return rowsets;
}

CubeSchema build(const QList<XmlaRowset> &rowsets)
{
    return XmlaDataSource::buildSchema(rowsets[0], rowsets[1], rowsets[2], rowsets[3]);
}

const QString Measures = QStringLiteral("[Measures] [Measures]: MeasuresLevel = ");
const QString MeasureList
    = QStringLiteral("Unit Sales, Store Cost, Store Sales, Sales [Net], Profit");
const QStringList SalesOutline {
    Measures + MeasureList,
    "[Store] [Store]: (All); Store Country; Store State; Store City; Store Name",
    "[Time] [Time]: Year; Quarter; Month",
    "[Time] [Time.Weekly]: (All); Year; Week; Day",
    "[Product] [Product]: (All); Product Family; Product Category; Product Name",
    "[Store Type] [Store Type]: (All); Store Type",
};

} // namespace

class TestXmlaDataSource : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile certificate(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/tls/untrusted.crt"));
        QFile key(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/tls/untrusted.key"));
        QVERIFY(certificate.open(QIODevice::ReadOnly) && key.open(QIODevice::ReadOnly));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate(&certificate, QSsl::Pem));
        tls.setPrivateKey(QSslKey(&key, QSsl::Rsa, QSsl::Pem));
        mTls.setSslConfiguration(tls);
        QVERIFY(mTls.listen(QHostAddress::LocalHost, 0));
    }

    void cubesAndSchemaFromConcurrentRequests()
    {
        FakeHttpServer server;
        const auto source = openRecorded(server);
        QCOMPARE(source->cubes().size(), 4);
        source->cubes(); // kept for the connection
        QCOMPARE(source->requestCount(), 2);

        // Nothing is answered until four requests wait at once: one after another would time out.
        server.answerWhenWaiting(4);
        const auto schema = source->cubeSchema(1);
        QCOMPARE(source->requestCount(), 6);
        QCOMPARE(outline(*schema), SalesOutline);
        QCOMPARE(source->cubeSchema(1), schema);
        QCOMPARE(source->requestCount(), 6);
    }

    void namesAreEscapedInRequests()
    {
        const QString odd = QStringLiteral("A&B <\"x\"> ]]> caf\u00e9");
        QHash<QString, QString> asked;
        FakeHttpServer server;
        server.setHandler([&](const HttpRequest &request) {
            asked = sent(request);
            if (asked.value(QStringLiteral("RequestType")) != u"DBSCHEMA_CATALOGS")
                return FakeHttpServer::response(404, "");
            return FakeHttpServer::response(
                200, recorded("catalogs.xml").replace("OlapTest", odd.toHtmlEscaped().toUtf8()));
        });
        const auto source = XmlaDataSource::open(settingsFor(server.url()), odd);
        QCOMPARE(source->catalogName(), odd);
        VERIFY_FAILURE(test::failureOf([&] { source->cubes(); }), XmlaFailure::NotFound, "404");
        QCOMPARE(asked.value(QStringLiteral("CATALOG_NAME")), odd);
        QCOMPARE(asked.value(QStringLiteral("Catalog")), odd);
    }

    // Rows may come in any order; ordinals decide, the default hierarchy comes first, and
    // members without ordinals (some servers send none) keep the server's order.
    void orderComesFromOrdinalsNotRows()
    {
        QList<XmlaRowset> rowsets = recordedSchema();
        for (XmlaRowset &rowset : rowsets)
            std::reverse(rowset.rows.begin(), rowset.rows.end());
        QCOMPARE(outline(build(rowsets)), SalesOutline);

        for (XmlaRow &row : rowsets[0].rows) {
            if (row.value(QStringLiteral("DIMENSION_UNIQUE_NAME")) == u"[Time]")
                row.insert(QStringLiteral("DEFAULT_HIERARCHY"), QStringLiteral("[Time.Weekly]"));
        }
        for (XmlaRow &row : rowsets[3].rows)
            row.remove(QStringLiteral("MEMBER_ORDINAL"));
        // A dimension without hierarchies gets none (the schema tree fails on it, not the load).
        rowsets[1].rows.removeIf([](const XmlaRow &row) {
            return row.value(QStringLiteral("DIMENSION_UNIQUE_NAME")) == u"[Store Type]";
        });
        QStringList expected = SalesOutline;
        expected[0]
            = Measures + QStringLiteral("Profit, Sales [Net], Store Sales, Store Cost, Unit Sales");
        expected.swapItemsAt(2, 3);
        expected[5] = QStringLiteral("[Store Type] -");
        QCOMPARE(outline(build(rowsets)), expected);
    }

    void badRowsFail()
    {
        const auto failure = [](int rowset, const QString &column, const QString &value) {
            QList<XmlaRowset> rowsets = recordedSchema();
            if (value.isNull())
                rowsets[rowset].rows.last().remove(column);
            else
                rowsets[rowset].rows.last().insert(column, value);
            return test::failureOf([&] { build(rowsets); });
        };
        VERIFY_FAILURE(failure(3, QStringLiteral("MEMBER_NAME"), QString()),
                       XmlaFailure::MissingColumn,
                       "MDSCHEMA_MEMBERS answer lacks the column MEMBER_NAME");
        VERIFY_FAILURE(failure(2, QStringLiteral("LEVEL_NUMBER"), QStringLiteral("two")),
                       XmlaFailure::BadValue,
                       "MDSCHEMA_LEVELS answer holds \"two\" in the column LEVEL_NUMBER");
    }

    void serverFailures_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("expected");

        const auto row
            = [](const char *name, const QByteArray &answer, qint32 code, const char *expected) {
                  QTest::newRow(name) << answer << code << QString::fromUtf8(expected);
              };
        const auto reply = [](int status, const QByteArray &body, const QByteArray &headers = {}) {
            return FakeHttpServer::response(
                status, body, body.startsWith("<html") ? "text/html" : "text/xml", headers);
        };
        const QByteArray fault = recorded("fault-unknown-catalog.xml");
        const QByteArray catalogs = recorded("catalogs.xml");
        const QByteArray html = "<html><body><h1>Service Unavailable</h1></body></html>";
        const QByteArray big = QByteArray(40000, ' ') + catalogs;
        using namespace XmlaFailure;
        // Servers send faults with 500, as SOAP wants (or with 200).
        row("fault quoting the address",
            reply(500,
                  QByteArray(fault).replace("Unknown", "http://ann:" + Password.toUtf8() + "@h/")),
            ServerFault, "http://ann:****@h/ catalog 'Nope'");
        row("redirect", reply(302, "", "Location: http://127.0.0.1:9/x\r\n"), Redirected,
            "redirects to http://127.0.0.1:9/x");
        row("cut short", FakeHttpServer::chunked(catalogs, 300, false).chopped(10), Truncated,
            "ended early");
        row("too large, chunked", FakeHttpServer::chunked(big, 4096), TooLarge,
            "larger than 16 KB");
        row("no catalogs",
            reply(200,
                  catalogs.left(catalogs.indexOf("<row>"))
                      + catalogs.mid(catalogs.indexOf("</row>") + 6)),
            CatalogFailure::CatalogNotFound, "has no catalogs");
    }

    void serverFailures()
    {
        QFETCH(QByteArray, answer);
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        FakeHttpServer server;
        server.setHandler([&](const HttpRequest &) { return std::optional<QByteArray>(answer); });
        XmlaSettings settings = settingsFor(server.url());
        settings.responseLimit = 16 * 1024;
        const auto failure
            = test::failureOf([&] { XmlaDataSource::open(settings, QStringLiteral("OlapTest")); });
        VERIFY_FAILURE(failure, code, expected);
        QVERIFY(!failure->source().isEmpty());
        const QString shown = failure->description() + failure->source() + failure->what();
        QVERIFY2(!shown.contains(u"Pa55"), qPrintable(shown));
    }

    // Whatever the server does not answer, the wait ends: at the time limit, or when the user
    // cancels from the indicator.
    void waitEnds_data()
    {
        QTest::addColumn<int>("timeoutSeconds");
        QTest::addColumn<int>("cancelAfter"); // milliseconds; 0: never
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("time limit") << 1 << 0 << XmlaFailure::TimedOut << "within 1 seconds";
        QTest::newRow("cancel") << 10 << 100 << CatalogFailure::Cancelled
                                << "cancelled by the user";
    }

    void waitEnds()
    {
        QFETCH(int, timeoutSeconds);
        QFETCH(int, cancelAfter);
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        FakeHttpServer server;
        server.setHandler([](const HttpRequest &) { return std::optional<QByteArray>(); });
        XmlaSettings settings = settingsFor(server.url());
        settings.timeoutSeconds = timeoutSeconds;
        std::shared_ptr<Indicator> indicator;
        indicator = std::make_shared<Indicator>([&] {
            if (cancelAfter > 0)
                QTimer::singleShot(cancelAfter, [&] { indicator->cancelWait(); });
        });
        settings.waitIndicator = indicator;
        QElapsedTimer clock;
        clock.start();
        VERIFY_FAILURE(test::failureOf([&] { XmlaDataSource::open(settings, QString()); }), code,
                       expected);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= (cancelAfter ? cancelAfter : timeoutSeconds * 1000) - 100
                     && elapsed < 5000,
                 qPrintable(QString::number(elapsed)));
        QCOMPARE(indicator->texts.size(), indicator->ends);
        indicator->cancelWait(); // too late: nothing happens
    }

    void nestedRequestDuringAWaitIsRefused()
    {
        FakeHttpServer server;
        server.setHandler(recordedAnswer);
        std::shared_ptr<XmlaDataSource> source;
        std::optional<Failure> nested;
        XmlaSettings settings = settingsFor(server.url());
        auto indicator = std::make_shared<Indicator>([&] {
            if (source)
                QTimer::singleShot(50, [&] { nested = test::failureOf([&] { source->cubes(); }); });
        });
        settings.waitIndicator = indicator;
        source = XmlaDataSource::open(settings, QString());
        server.setDelay(300);
        QCOMPARE(source->cubes().size(), 4);
        VERIFY_FAILURE(nested, XmlaFailure::Busy, "has not ended yet");
        QCOMPARE(indicator->ends, 2);
    }

    void unreachable()
    {
        XmlaSettings settings;
        const auto failure = [&](const QString &address) {
            settings.url = QUrl(address);
            return test::failureOf([&] { XmlaDataSource::open(settings, QString()); });
        };
        VERIFY_FAILURE(failure(QStringLiteral("https://127.0.0.1:%1/xmla").arg(mTls.serverPort())),
                       XmlaFailure::Certificate, "certificate could not be trusted");
        VERIFY_FAILURE(failure(QStringLiteral("ftp://127.0.0.1/xmla")), XmlaFailure::BadAddress,
                       "\"ftp://127.0.0.1/xmla\" is not an http://");
    }

    void executeCounts()
    {
        FakeHttpServer server;
        const auto source = openRecorded(server);
        const XmlaExecuteResult result = source->execute(QStringLiteral("select ... from Sales"));
        QCOMPARE(result.axisNames, (QList<QString> { "Axis0", "Axis1" }));
        QCOMPARE(result.columnTuples(), 2); // Unit Sales, Profit
        QCOMPARE(result.rowTuples(), 4); // 2 countries x 2 years
        QCOMPARE(result.cellCount, 8);
    }

private:
    QSslServer mTls; // completes no handshake: its certificate is not trusted
};

QTEST_GUILESS_MAIN(TestXmlaDataSource)
#include "tst_xmladatasource.moc"
