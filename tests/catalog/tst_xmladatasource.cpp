// The XML for Analysis client and data source over HTTP, against a scripted local server:
// what is asked, in which order the answers are put, and every way a server can fail.
#include "catalog/catalog.h"
#include "catalog/waitindicator.h"
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

// Answers as the test server did, chunked as it sends them; and only to requests that carry
// what a server needs: a POST of the right action and, after the catalog list, the catalog in
// the server's spelling, the cube, and the dimension of the measures.
std::optional<QByteArray> recordedAnswer(const HttpRequest &request)
{
    const auto fields = sent(request);
    const auto is = [&](const char *field, const char *value) {
        return fields.value(QString::fromUtf8(field)) == QString::fromUtf8(value);
    };
    const QString type = fields.value(QStringLiteral("RequestType"));
    const QString statement = fields.value(QStringLiteral("Statement"));
    const bool execute = fields.contains(QStringLiteral("Statement"));
    const bool listing = type == u"DBSCHEMA_CATALOGS";
    const bool schema = type.startsWith(u"MDSCHEMA_") && type != u"MDSCHEMA_CUBES";
    const bool needed = request.method == "POST" && request.path == "/xmla"
        && request.headers.value("content-type").startsWith("text/xml")
        && request.headers.value("soapaction")
            == "\"urn:schemas-microsoft-com:xml-analysis:"
                + QByteArray(execute ? "Execute" : "Discover") + '"'
        && (listing || is("Catalog", "OlapTest"))
        && (listing || execute || is("CATALOG_NAME", "OlapTest"))
        && (!schema || is("CUBE_NAME", "Sales"))
        && (type != u"MDSCHEMA_MEMBERS" || is("DIMENSION_UNIQUE_NAME", "[Measures]"));
    // DBSCHEMA_CATALOGS: catalogs.xml, ..., MDSCHEMA_LEVELS: sales-levels.xml, ...
    const QString file = !execute
        ? (schema ? "sales-" : "") + type.section(u'_', 1).toLower() + ".xml"
        : statement.contains(u"Montr") ? "fault-iso-8859-1.xml"
                                       : "execute-sales.xml";
    if (!needed || !QFile::exists(recordedPath(file)))
        return FakeHttpServer::response(400, "unexpected request", "text/plain");
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
        setWaitIndicator(this);
    }
    ~Indicator() override { setWaitIndicator(nullptr); }
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

    void connectionStringReachesTheServer()
    {
        FakeHttpServer server;
        server.setHandler(recordedAnswer);
        const QString string
            = QStringLiteral("Provider=MSOLAP;Data Source=%1;Initial Catalog=\" olaptest \";"
                             "Connect Timeout=5;")
                  .arg(server.url().toString());
        Connection connection;
        connection.open(string + QStringLiteral("User ID=%1;Password=%2").arg(User, Password));
        Catalog catalog;
        catalog.setActiveConnection(connection);
        const CubeDefs cubes = catalog.cubeDefs();
        QCOMPARE(cubes.count(), 4);
        QCOMPARE(cubes.item(1).dimensions().item(1).name(), QStringLiteral("Store"));
        for (const HttpRequest &request : server.requests())
            QCOMPARE(request.headers.value("authorization"),
                     "Basic " + (User + u':' + Password).toUtf8().toBase64());
        // Without a user name no credentials are sent at all.
        Connection().open(string);
        QVERIFY(!server.requests().last().headers.contains("authorization"));
    }

    void cubesAndSchemaFromConcurrentRequests()
    {
        FakeHttpServer server;
        const auto source = openRecorded(server);
        QStringList names;
        for (const CubeInfo &cube : source->cubes())
            names << cube.name + u'|' + cube.description;
        QCOMPARE(
            names,
            QStringList({ "Budget|Planned amounts by scenario", "Sales|Sales of the test stores",
                          "Warehouse|OlapTest Schema - Warehouse Cube",
                          "Warehouse and Sales|Sales and stock side by side" }));
        QCOMPARE(source->requestCount(), 2);
        source->cubes();
        QCOMPARE(source->requestCount(), 2);

        // Nothing is answered until four requests wait at once: one after another would time out.
        server.answerWhenWaiting(4);
        const auto schema = source->cubeSchema(1);
        QCOMPARE(source->requestCount(), 6);
        QCOMPARE(server.mostWaitingAtOnce(), 4);
        QCOMPARE(outline(*schema), SalesOutline);
        QCOMPARE(schema->dimensions.at(2).hierarchies.at(0).levels.at(1).uniqueName,
                 QStringLiteral("[Time].[Quarter]"));
        // Kept for the connection.
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
        QCOMPARE(outline(build(rowsets)), SalesOutline);
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

    void badRowsFail_data()
    {
        QTest::addColumn<int>("rowset"); // dimensions, hierarchies, levels, members
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("value"); // null: the column is left out
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char *name, int rowset, const char *column, const QString &value,
                            qint32 code, const char *expected) {
            QTest::newRow(name) << rowset << QString::fromUtf8(column) << value << code
                                << QString::fromUtf8(expected);
        };
        using namespace XmlaFailure;
        row("no dimension ordinal", 0, "DIMENSION_ORDINAL", {}, MissingColumn,
            "MDSCHEMA_DIMENSIONS answer lacks the column DIMENSION_ORDINAL");
        row("no level number", 2, "LEVEL_NUMBER", {}, MissingColumn,
            "lacks the column LEVEL_NUMBER");
        row("no member name", 3, "MEMBER_NAME", {}, MissingColumn, "lacks the column MEMBER_NAME");
        row("level number not a number", 2, "LEVEL_NUMBER", "two", BadValue,
            "MDSCHEMA_LEVELS answer holds \"two\" in the column LEVEL_NUMBER");
    }

    void badRowsFail()
    {
        QFETCH(int, rowset);
        QFETCH(QString, column);
        QFETCH(QString, value);
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        QList<XmlaRowset> rowsets = recordedSchema();
        XmlaRow &changed = rowsets[rowset].rows.last();
        if (value.isNull())
            changed.remove(column);
        else
            changed.insert(column, value);
        VERIFY_FAILURE(test::failureOf([&] { build(rowsets); }), code, expected);
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
        row("401", reply(401, "", "WWW-Authenticate: Basic realm=\"x\"\r\n"), NotAuthorized,
            "did not accept the user name \"ann\"");
        row("403", reply(403, html), Forbidden, "HTTP 403");
        row("404", reply(404, html), NotFound, "HTTP 404");
        row("500 with a page", reply(500, html), HttpStatus, "HTTP 500");
        // Servers send faults with 500, as SOAP wants, or with 200.
        row("500 with a fault", reply(500, fault), ServerFault, "Unknown catalog 'Nope'");
        row("fault repeating the password",
            reply(200, QByteArray(fault).replace("Unknown", Password.toUtf8())), ServerFault,
            "**** catalog 'Nope'");
        row("redirect", reply(302, "", "Location: http://127.0.0.1:9/x\r\n"), Redirected,
            "redirects to http://127.0.0.1:9/x");
        row("cut short", FakeHttpServer::chunked(catalogs, 300, false).chopped(10), Truncated,
            "ended early");
        // Refused by the length it declares (before the body), or while it comes in.
        row("too large, declared",
            reply(200, catalogs)
                .replace("Length: " + QByteArray::number(catalogs.size()), "Length: 40000"),
            TooLarge, "larger than 16 KB");
        row("too large, chunked", FakeHttpServer::chunked(big, 4096), TooLarge,
            "larger than 16 KB");
        row("no catalog column", reply(200, QByteArray(catalogs).replace("CATALOG_NAME>", "NAME>")),
            MissingColumn, "DBSCHEMA_CATALOGS answer lacks the column CATALOG_NAME");
        row("no catalogs",
            reply(200,
                  catalogs.left(catalogs.indexOf("<row>"))
                      + catalogs.mid(catalogs.indexOf("</row>") + 6)),
            NoCatalog, "has no catalogs");
        row("unknown catalog", reply(200, QByteArray(catalogs).replace("OlapTest", "Other")),
            UnknownCatalog, "has no catalog \"OlapTest\". Its catalogs: Other.");
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
        QTest::newRow("cancel") << 10 << 100 << XmlaFailure::Cancelled << "cancelled by the user";
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
        Indicator indicator([&] {
            if (cancelAfter > 0)
                QTimer::singleShot(cancelAfter, [&] { indicator.cancelWait(); });
        });
        QElapsedTimer clock;
        clock.start();
        VERIFY_FAILURE(test::failureOf([&] { XmlaDataSource::open(settings, QString()); }), code,
                       expected);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= (cancelAfter ? cancelAfter : timeoutSeconds * 1000) - 100
                     && elapsed < 5000,
                 qPrintable(QString::number(elapsed)));
        QCOMPARE(indicator.texts.size(), 1);
        QVERIFY2(indicator.texts.at(0).contains(server.url().toString()),
                 qPrintable(indicator.texts.at(0)));
        QCOMPARE(indicator.ends, 1);
        indicator.cancelWait(); // too late: nothing happens
    }

    void nestedRequestDuringAWaitIsRefused()
    {
        FakeHttpServer server;
        const auto source = openRecorded(server);
        server.setDelay(300);
        std::optional<Failure> nested;
        Indicator indicator([&] {
            QTimer::singleShot(50, [&] { nested = test::failureOf([&] { source->cubes(); }); });
        });
        QCOMPARE(source->cubes().size(), 4);
        VERIFY_FAILURE(nested, XmlaFailure::Busy, "has not ended yet");
        QCOMPARE(indicator.ends, 1);
    }

    void unreachable_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("expected");

        const quint16 closed = test::closedPort();
        const QString user = QStringLiteral("ann:") + Password + u'@';
        QTest::newRow("nothing listening")
            << "http://" + user + QStringLiteral("127.0.0.1:%1/xmla").arg(closed)
            << XmlaFailure::ConnectionRefused << QStringLiteral("port %1").arg(closed);
        QTest::newRow("untrusted certificate")
            << "https://" + user + QStringLiteral("127.0.0.1:%1/xmla").arg(mTls.serverPort())
            << XmlaFailure::Certificate << "certificate could not be trusted";
        QTest::newRow("not http") << "ftp://" + user + "127.0.0.1/xmla" << XmlaFailure::BadAddress
                                  << "\"ftp://127.0.0.1/xmla\" is not an http://";
        QTest::newRow("no host") << "http:///xmla" << XmlaFailure::BadAddress
                                 << "is not an http://";
        QTest::newRow("not a URL")
            << "http://[::1" << XmlaFailure::BadAddress << "is not an http://";
    }

    void unreachable()
    {
        QFETCH(QString, address);
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        XmlaSettings settings;
        settings.url = QUrl(address);
        settings.timeoutSeconds = 10;
        const auto failure = test::failureOf([&] { XmlaDataSource::open(settings, QString()); });
        VERIFY_FAILURE(failure, code, expected);
        QVERIFY2(!failure->description().contains(u"Pa55"), qPrintable(failure->description()));
    }

    void executeCountsOrFails()
    {
        FakeHttpServer server;
        const auto source = openRecorded(server);
        const XmlaExecuteResult result = source->execute(QStringLiteral("select ... from Sales"));
        QCOMPARE(result.axisNames, (QList<QString> { "Axis0", "Axis1" }));
        QCOMPARE(result.columnTuples(), 2); // Unit Sales, Profit
        QCOMPARE(result.rowTuples(), 4); // 2 countries x 2 years
        QCOMPARE(result.cellCount, 8);
        const auto fields = sent(server.requests().last());
        QCOMPARE(fields.value(QStringLiteral("Statement")),
                 QStringLiteral("select ... from Sales"));
        QCOMPARE(fields.value(QStringLiteral("Format")), QStringLiteral("Multidimensional"));
        try {
            source->execute(
                QStringLiteral("select {[Store].[Montr\u00e9al]} on columns from Sales"));
            QFAIL("a statement the server refuses succeeded");
        } catch (const XmlaFault &fault) {
            QCOMPARE(fault.errorCode(), QStringLiteral("00HSBD01"));
            QVERIFY(fault.description().contains(u"Montr\u00e9al"));
        }
    }

private:
    QSslServer mTls; // completes no handshake: its certificate is not trusted
};

QTEST_GUILESS_MAIN(TestXmlaDataSource)
#include "tst_xmladatasource.moc"
