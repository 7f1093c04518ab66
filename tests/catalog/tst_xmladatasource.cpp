// The XML for Analysis client and data source over HTTP, against a scripted local server:
// what is asked, in which order the answers are put, and every way a server can fail.
#include "catalog/catalog.h"
#include "catalog/waitindicator.h"
#include "catalog/xmladatasource.h"

#include "catalogtesting.h"
#include "fakehttpserver.h"

#include <QElapsedTimer>
#include <QFile>
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

// The text of the first element with this local name in the XMLA namespace, and the
// children of the restriction list, read the way a server reads them.
struct SentRequest
{
    QString requestType;
    QString statement;
    QHash<QString, QString> restrictions;
    QHash<QString, QString> properties;
    bool wellFormed = false;
};

SentRequest parseRequest(const QByteArray &body)
{
    SentRequest sent;
    QXmlStreamReader xml(body);
    const QString xmla = QStringLiteral("urn:schemas-microsoft-com:xml-analysis");
    QString list;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.namespaceUri() != xmla)
            continue;
        const QString name = xml.name().toString();
        if (name == QLatin1String("RestrictionList") || name == QLatin1String("PropertyList"))
            list = name;
        else if (name == QLatin1String("Restrictions") || name == QLatin1String("Properties"))
            list.clear();
        else if (name == QLatin1String("RequestType"))
            sent.requestType = xml.readElementText();
        else if (name == QLatin1String("Statement"))
            sent.statement = xml.readElementText();
        else if (list == QLatin1String("RestrictionList"))
            sent.restrictions.insert(name, xml.readElementText());
        else if (list == QLatin1String("PropertyList"))
            sent.properties.insert(name, xml.readElementText());
    }
    sent.wellFormed = !xml.hasError();
    return sent;
}

// Answers as the test server did, chunked as it sends them.
std::optional<QByteArray> recordedAnswer(const HttpRequest &request)
{
    static const QHash<QString, QString> files {
        { QStringLiteral("DBSCHEMA_CATALOGS"), QStringLiteral("catalogs.xml") },
        { QStringLiteral("MDSCHEMA_CUBES"), QStringLiteral("cubes.xml") },
        { QStringLiteral("MDSCHEMA_DIMENSIONS"), QStringLiteral("sales-dimensions.xml") },
        { QStringLiteral("MDSCHEMA_HIERARCHIES"), QStringLiteral("sales-hierarchies.xml") },
        { QStringLiteral("MDSCHEMA_LEVELS"), QStringLiteral("sales-levels.xml") },
        { QStringLiteral("MDSCHEMA_MEMBERS"), QStringLiteral("sales-members.xml") },
    };
    const SentRequest sent = parseRequest(request.body);
    QString file = files.value(sent.requestType);
    if (!sent.statement.isEmpty())
        file = sent.statement.contains(u"Montr") ? QStringLiteral("fault-iso-8859-1.xml")
                                                 : QStringLiteral("execute-sales.xml");
    if (file.isEmpty())
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

class RecordingIndicator : public WaitIndicator
{
public:
    void begin(const QString &text, std::function<void()> cancel) override
    {
        texts.append(text);
        cancelWait = std::move(cancel);
        if (onBegin)
            onBegin();
    }
    void end() override { ++ends; }

    QStringList texts;
    int ends = 0;
    std::function<void()> cancelWait;
    std::function<void()> onBegin;
};

class InstalledIndicator
{
public:
    explicit InstalledIndicator(WaitIndicator *indicator) { setWaitIndicator(indicator); }
    ~InstalledIndicator() { setWaitIndicator(nullptr); }
};

XmlaRow row(std::initializer_list<std::pair<const char *, const char *>> columns)
{
    XmlaRow r;
    for (const auto &[name, value] : columns)
        r.insert(QString::fromLatin1(name), QString::fromUtf8(value));
    return r;
}

XmlaRowset recordedRowset(const QString &file)
{
    return readXmlaRowset(FakeHttpServer::file(recordedPath(file)));
}

QStringList dimensionNames(const CubeSchema &schema)
{
    QStringList names;
    for (const DimensionInfo &d : schema.dimensions)
        names.append(d.uniqueName);
    return names;
}

QStringList levelNames(const HierarchyInfo &hierarchy)
{
    QStringList names;
    for (const LevelInfo &l : hierarchy.levels)
        names.append(l.name);
    return names;
}

const DimensionInfo &dimension(const CubeSchema &schema, const QString &uniqueName)
{
    for (const DimensionInfo &d : schema.dimensions) {
        if (d.uniqueName == uniqueName)
            return d;
    }
    qFatal("no dimension %s", qPrintable(uniqueName));
}

} // namespace

class TestXmlaDataSource : public QObject
{
    Q_OBJECT

private slots:
    void openMatchesTheCatalogIgnoringCase();
    void unknownCatalogListsTheServersCatalogs();
    void connectionStringReachesTheServer();
    void cubeListInTheServersOrderOnce();
    void cubeSchemaInDefinitionOrderFromFourConcurrentRequests();
    void requestsCarryWhatTheServerNeeds();
    void namesAreEscapedInRequests();
    void schemaOrderDoesNotDependOnRowOrder();
    void defaultHierarchyComesFirst();
    void missingOrdinalsKeepTheServersOrder();
    void badRowsFail_data();
    void badRowsFail();
    void serverFailures_data();
    void serverFailures();
    void connectionRefused();
    void timeoutBoundsTheRequest();
    void cancelFromTheIndicator();
    void nestedRequestDuringAWaitIsRefused();
    void untrustedCertificateFails();
    void addressMustBeHttp_data();
    void addressMustBeHttp();
    void executeCountsOrFails();
};

void TestXmlaDataSource::openMatchesTheCatalogIgnoringCase()
{
    FakeHttpServer server;
    server.setHandler(recordedAnswer);
    for (const QString &asked :
         { QStringLiteral("olaptest"), QStringLiteral(" OLAPTEST "), QString() }) {
        const auto source = XmlaDataSource::open(settingsFor(server.url()), asked);
        QCOMPARE(source->catalogName(), QStringLiteral("OlapTest"));
        QCOMPARE(source->requestCount(), 1);
    }
}

void TestXmlaDataSource::unknownCatalogListsTheServersCatalogs()
{
    FakeHttpServer server;
    server.setHandler(recordedAnswer);
    const auto failure = test::failureOf(
        [&] { XmlaDataSource::open(settingsFor(server.url()), QStringLiteral("FoodMart")); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), XmlaFailure::UnknownCatalog);
    QVERIFY2(failure->description().contains(u"\"FoodMart\"")
                 && failure->description().contains(u"OlapTest"),
             qPrintable(failure->description()));
}

void TestXmlaDataSource::connectionStringReachesTheServer()
{
    FakeHttpServer server;
    server.setHandler(recordedAnswer);
    Connection connection;
    connection.open(QStringLiteral("Provider=MSOLAP;Data Source=%1;Initial Catalog=olaptest;"
                                   "User ID=%2;Password=%3;Connect Timeout=5")
                        .arg(server.url().toString(), User, Password));
    Catalog catalog;
    catalog.setActiveConnection(connection);
    const CubeDefs cubes = catalog.cubeDefs();
    QCOMPARE(cubes.count(), 4);
    QCOMPARE(cubes.item(1).name(), QStringLiteral("Sales"));
    QCOMPARE(cubes.item(1).dimensions().item(1).name(), QStringLiteral("Store"));
    QCOMPARE(server.requests().first().headers.value("authorization"),
             "Basic " + (User + u':' + Password).toUtf8().toBase64());
}

void TestXmlaDataSource::cubeListInTheServersOrderOnce()
{
    FakeHttpServer server;
    server.setHandler(recordedAnswer);
    const auto source = XmlaDataSource::open(settingsFor(server.url()), QString());
    const QList<CubeInfo> cubes = source->cubes();
    QStringList names;
    for (const CubeInfo &cube : cubes)
        names.append(cube.name);
    QCOMPARE(names, QStringList({ "Budget", "Sales", "Warehouse", "Warehouse and Sales" }));
    QCOMPARE(cubes.at(1).description, QStringLiteral("Sales of the test stores"));
    QCOMPARE(source->requestCount(), 2);
    source->cubes();
    QCOMPARE(source->requestCount(), 2);
}

void TestXmlaDataSource::cubeSchemaInDefinitionOrderFromFourConcurrentRequests()
{
    FakeHttpServer server;
    server.setHandler(recordedAnswer);
    const auto source = XmlaDataSource::open(settingsFor(server.url()), QString());
    source->cubes();
    // Nothing is answered until four requests wait at once: one after another would time out.
    server.answerWhenWaiting(4);
    const int before = source->requestCount();
    const auto schema = source->cubeSchema(1);
    QCOMPARE(source->requestCount() - before, 4);
    QCOMPARE(server.mostWaitingAtOnce(), 4);

    QCOMPARE(dimensionNames(*schema),
             QStringList({ "[Measures]", "[Store]", "[Time]", "[Product]", "[Store Type]" }));
    const DimensionInfo &time = dimension(*schema, QStringLiteral("[Time]"));
    QCOMPARE(time.hierarchies.size(), 2);
    QCOMPARE(time.hierarchies.at(0).uniqueName, QStringLiteral("[Time]"));
    QCOMPARE(levelNames(time.hierarchies.at(0)), QStringList({ "Year", "Quarter", "Month" }));
    QCOMPARE(levelNames(time.hierarchies.at(1)), QStringList({ "(All)", "Year", "Week", "Day" }));
    QCOMPARE(levelNames(dimension(*schema, QStringLiteral("[Store]")).hierarchies.at(0)),
             QStringList({ "(All)", "Store Country", "Store State", "Store City", "Store Name" }));
    QCOMPARE(time.hierarchies.at(0).levels.at(1).uniqueName, QStringLiteral("[Time].[Quarter]"));

    const LevelInfo &measures = schema->dimensions.at(0).hierarchies.at(0).levels.at(0);
    QStringList measureNames;
    for (const MemberInfo &m : measures.members)
        measureNames.append(m.name);
    QCOMPARE(measureNames,
             QStringList({ "Unit Sales", "Store Cost", "Store Sales", "Sales [Net]", "Profit" }));
    // Only the measures level carries members.
    QVERIFY(time.hierarchies.at(0).levels.at(0).members.isEmpty());

    // Kept for the connection.
    QCOMPARE(source->cubeSchema(1), schema);
    QCOMPARE(source->requestCount() - before, 4);
}

void TestXmlaDataSource::requestsCarryWhatTheServerNeeds()
{
    FakeHttpServer server;
    server.setHandler(recordedAnswer);
    const auto source = XmlaDataSource::open(settingsFor(server.url()), QStringLiteral("olaptest"));
    source->cubeSchema(1);
    const QList<HttpRequest> &requests = server.requests();
    QCOMPARE(requests.size(), 6);
    QSet<QString> schemaTypes;
    for (const HttpRequest &request : requests) {
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/xmla"));
        QVERIFY(request.headers.value("content-type").startsWith("text/xml"));
        QCOMPARE(request.headers.value("soapaction"),
                 QByteArray("\"urn:schemas-microsoft-com:xml-analysis:Discover\""));
        const SentRequest sent = parseRequest(request.body);
        QVERIFY(sent.wellFormed);
        if (sent.requestType == QLatin1String("DBSCHEMA_CATALOGS"))
            continue;
        // After open, the server's spelling of the catalog is used.
        QCOMPARE(sent.restrictions.value(QStringLiteral("CATALOG_NAME")),
                 QStringLiteral("OlapTest"));
        QCOMPARE(sent.properties.value(QStringLiteral("Catalog")), QStringLiteral("OlapTest"));
        if (sent.requestType == QLatin1String("MDSCHEMA_CUBES"))
            continue;
        schemaTypes.insert(sent.requestType);
        QCOMPARE(sent.restrictions.value(QStringLiteral("CUBE_NAME")), QStringLiteral("Sales"));
        if (sent.requestType == QLatin1String("MDSCHEMA_MEMBERS"))
            QCOMPARE(sent.restrictions.value(QStringLiteral("DIMENSION_UNIQUE_NAME")),
                     QStringLiteral("[Measures]"));
    }
    QCOMPARE(schemaTypes,
             QSet<QString>({ "MDSCHEMA_DIMENSIONS", "MDSCHEMA_HIERARCHIES", "MDSCHEMA_LEVELS",
                             "MDSCHEMA_MEMBERS" }));

    // Without a user name no credentials are sent at all.
    XmlaSettings anonymous = settingsFor(server.url());
    anonymous.userId.clear();
    anonymous.password.clear();
    XmlaDataSource::open(anonymous, QString());
    QVERIFY(!server.requests().last().headers.contains("authorization"));
}

void TestXmlaDataSource::namesAreEscapedInRequests()
{
    const QString odd = QStringLiteral("A&B <\"x\"> ]]> caf\u00e9");
    FakeHttpServer server;
    server.setHandler([&](const HttpRequest &request) -> std::optional<QByteArray> {
        const SentRequest sent = parseRequest(request.body);
        if (sent.requestType == QLatin1String("MDSCHEMA_CUBES")) {
            QString escaped = odd.toHtmlEscaped();
            const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/"
                                    "envelope/\"><s:Body><DiscoverResponse xmlns=\"urn:schemas-"
                                    "microsoft-com:xml-analysis\"><return><root xmlns=\"urn:"
                                    "schemas-microsoft-com:xml-analysis:rowset\"><row><CUBE_NAME>"
                + escaped.toUtf8()
                + "</CUBE_NAME></row></root></return></DiscoverResponse></s:Body></s:Envelope>";
            return FakeHttpServer::response(200, body);
        }
        return recordedAnswer(request);
    });
    const auto source = XmlaDataSource::open(settingsFor(server.url()), QString());
    QCOMPARE(source->cubes().at(0).name, odd);
    source->cubeSchema(0);
    const SentRequest sent = parseRequest(server.requests().last().body);
    QVERIFY(sent.wellFormed);
    QCOMPARE(sent.restrictions.value(QStringLiteral("CUBE_NAME")), odd);
}

void TestXmlaDataSource::schemaOrderDoesNotDependOnRowOrder()
{
    QList<XmlaRowset> rowsets;
    for (const char *file : { "sales-dimensions.xml", "sales-hierarchies.xml", "sales-levels.xml",
                              "sales-members.xml" })
        rowsets.append(recordedRowset(QString::fromLatin1(file)));
    const CubeSchema asSent
        = XmlaDataSource::buildSchema(rowsets[0], rowsets[1], rowsets[2], rowsets[3]);
    for (XmlaRowset &rowset : rowsets)
        std::reverse(rowset.rows.begin(), rowset.rows.end());
    const CubeSchema reversed
        = XmlaDataSource::buildSchema(rowsets[0], rowsets[1], rowsets[2], rowsets[3]);
    QCOMPARE(dimensionNames(reversed), dimensionNames(asSent));
    for (qsizetype d = 0; d < asSent.dimensions.size(); ++d) {
        const DimensionInfo &a = asSent.dimensions.at(d);
        const DimensionInfo &b = reversed.dimensions.at(d);
        QCOMPARE(b.hierarchies.size(), a.hierarchies.size());
        for (qsizetype h = 0; h < a.hierarchies.size(); ++h) {
            QCOMPARE(b.hierarchies.at(h).uniqueName, a.hierarchies.at(h).uniqueName);
            QCOMPARE(levelNames(b.hierarchies.at(h)), levelNames(a.hierarchies.at(h)));
            for (qsizetype l = 0; l < a.hierarchies.at(h).levels.size(); ++l) {
                const auto &am = a.hierarchies.at(h).levels.at(l).members;
                const auto &bm = b.hierarchies.at(h).levels.at(l).members;
                QCOMPARE(bm.size(), am.size());
                for (qsizetype m = 0; m < am.size(); ++m)
                    QCOMPARE(bm.at(m).name, am.at(m).name);
            }
        }
    }
}

void TestXmlaDataSource::defaultHierarchyComesFirst()
{
    const XmlaRowset dimensions { { row({ { "DIMENSION_NAME", "Time" },
                                          { "DIMENSION_UNIQUE_NAME", "[Time]" },
                                          { "DIMENSION_ORDINAL", "1" },
                                          { "DEFAULT_HIERARCHY", "[Time].[Fiscal]" } }) } };
    const XmlaRowset hierarchies { { row({ { "DIMENSION_UNIQUE_NAME", "[Time]" },
                                           { "HIERARCHY_NAME", "Calendar" },
                                           { "HIERARCHY_UNIQUE_NAME", "[Time].[Calendar]" },
                                           { "HIERARCHY_ORDINAL", "1" } }),
                                     row({ { "DIMENSION_UNIQUE_NAME", "[Time]" },
                                           { "HIERARCHY_NAME", "Weekly" },
                                           { "HIERARCHY_UNIQUE_NAME", "[Time].[Weekly]" },
                                           { "HIERARCHY_ORDINAL", "2" } }),
                                     row({ { "DIMENSION_UNIQUE_NAME", "[Time]" },
                                           { "HIERARCHY_NAME", "Fiscal" },
                                           { "HIERARCHY_UNIQUE_NAME", "[Time].[Fiscal]" },
                                           { "HIERARCHY_ORDINAL", "3" } }) } };
    const CubeSchema schema = XmlaDataSource::buildSchema(dimensions, hierarchies, {}, {});
    QStringList order;
    for (const HierarchyInfo &h : schema.dimensions.at(0).hierarchies)
        order.append(h.name);
    QCOMPARE(order, QStringList({ "Fiscal", "Calendar", "Weekly" }));
}

void TestXmlaDataSource::missingOrdinalsKeepTheServersOrder()
{
    // Servers that do not number members (some send no MEMBER_ORDINAL) keep their order;
    // a dimension without hierarchies gets none (the schema tree fails on it, not the load).
    const XmlaRowset dimensions { { row({ { "DIMENSION_NAME", "Measures" },
                                          { "DIMENSION_UNIQUE_NAME", "[Measures]" },
                                          { "DIMENSION_ORDINAL", "0" } }),
                                    row({ { "DIMENSION_NAME", "Empty" },
                                          { "DIMENSION_UNIQUE_NAME", "[Empty]" },
                                          { "DIMENSION_ORDINAL", "1" } }) } };
    const XmlaRowset hierarchies { { row({ { "DIMENSION_UNIQUE_NAME", "[Measures]" },
                                           { "HIERARCHY_NAME", "Measures" },
                                           { "HIERARCHY_UNIQUE_NAME", "[Measures]" } }) } };
    const XmlaRowset levels { { row({ { "HIERARCHY_UNIQUE_NAME", "[Measures]" },
                                      { "LEVEL_NAME", "MeasuresLevel" },
                                      { "LEVEL_UNIQUE_NAME", "[Measures].[MeasuresLevel]" },
                                      { "LEVEL_NUMBER", "0" } }) } };
    XmlaRowset members;
    for (const char *name : { "Zeta", "Alpha", "Mid" })
        members.rows.append(row(
            { { "LEVEL_UNIQUE_NAME", "[Measures].[MeasuresLevel]" }, { "MEMBER_NAME", name } }));
    const CubeSchema schema = XmlaDataSource::buildSchema(dimensions, hierarchies, levels, members);
    QStringList names;
    for (const MemberInfo &m : schema.dimensions.at(0).hierarchies.at(0).levels.at(0).members)
        names.append(m.name);
    QCOMPARE(names, QStringList({ "Zeta", "Alpha", "Mid" }));
    QVERIFY(schema.dimensions.at(1).hierarchies.isEmpty());
}

void TestXmlaDataSource::badRowsFail_data()
{
    QTest::addColumn<QString>("rowset");
    QTest::addColumn<QString>("drop");
    QTest::addColumn<QString>("replaceColumn");
    QTest::addColumn<QString>("replaceValue");
    QTest::addColumn<qint32>("code");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no dimension ordinal") << "dimensions"
                                          << "DIMENSION_ORDINAL"
                                          << ""
                                          << "" << XmlaFailure::MissingColumn
                                          << "MDSCHEMA_DIMENSIONS answer lacks the column "
                                             "DIMENSION_ORDINAL";
    QTest::newRow("no level number") << "levels"
                                     << "LEVEL_NUMBER"
                                     << ""
                                     << "" << XmlaFailure::MissingColumn
                                     << "MDSCHEMA_LEVELS answer lacks the column LEVEL_NUMBER";
    QTest::newRow("no level unique name")
        << "levels"
        << "LEVEL_UNIQUE_NAME"
        << ""
        << "" << XmlaFailure::MissingColumn << "LEVEL_UNIQUE_NAME";
    QTest::newRow("no member name") << "members"
                                    << "MEMBER_NAME"
                                    << ""
                                    << "" << XmlaFailure::MissingColumn << "MEMBER_NAME";
    QTest::newRow("level number not a number")
        << "levels"
        << ""
        << "LEVEL_NUMBER"
        << "two" << XmlaFailure::BadValue << "holds \"two\" in the column LEVEL_NUMBER";
}

void TestXmlaDataSource::badRowsFail()
{
    QFETCH(QString, rowset);
    QFETCH(QString, drop);
    QFETCH(QString, replaceColumn);
    QFETCH(QString, replaceValue);
    QFETCH(qint32, code);
    QFETCH(QString, expected);

    QHash<QString, XmlaRowset> sets {
        { QStringLiteral("dimensions"), recordedRowset(QStringLiteral("sales-dimensions.xml")) },
        { QStringLiteral("hierarchies"), recordedRowset(QStringLiteral("sales-hierarchies.xml")) },
        { QStringLiteral("levels"), recordedRowset(QStringLiteral("sales-levels.xml")) },
        { QStringLiteral("members"), recordedRowset(QStringLiteral("sales-members.xml")) },
    };
    XmlaRow &changed = sets[rowset].rows.last();
    if (!drop.isEmpty())
        changed.remove(drop);
    if (!replaceColumn.isEmpty())
        changed.insert(replaceColumn, replaceValue);
    const auto failure = test::failureOf([&] {
        XmlaDataSource::buildSchema(
            sets.value(QStringLiteral("dimensions")), sets.value(QStringLiteral("hierarchies")),
            sets.value(QStringLiteral("levels")), sets.value(QStringLiteral("members")));
    });
    QVERIFY(failure);
    QCOMPARE(failure->code(), code);
    QVERIFY2(failure->description().contains(expected), qPrintable(failure->description()));
}

void TestXmlaDataSource::serverFailures_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<qint32>("code");
    QTest::addColumn<QString>("expected");

    const QByteArray fault
        = FakeHttpServer::file(recordedPath(QStringLiteral("fault-unknown-catalog.xml")));
    const QByteArray catalogs = FakeHttpServer::file(recordedPath(QStringLiteral("catalogs.xml")));
    const QByteArray html = "<html><body><h1>Service Unavailable</h1></body></html>";

    QTest::newRow("401") << FakeHttpServer::response(401, "", "text/plain",
                                                     "WWW-Authenticate: Basic realm=\"x\"\r\n")
                         << XmlaFailure::NotAuthorized << "user name \"ann\"";
    QTest::newRow("403") << FakeHttpServer::response(403, html, "text/html")
                         << XmlaFailure::Forbidden << "HTTP 403";
    QTest::newRow("404") << FakeHttpServer::response(404, html, "text/html")
                         << XmlaFailure::NotFound << "HTTP 404";
    QTest::newRow("500 with a page") << FakeHttpServer::response(500, html, "text/html")
                                     << XmlaFailure::HttpStatus << "HTTP 500";
    QTest::newRow("500 with a fault") << FakeHttpServer::response(500, fault)
                                      << XmlaFailure::ServerFault << "Unknown catalog 'Nope'";
    QTest::newRow("200 with a fault") << FakeHttpServer::response(200, fault)
                                      << XmlaFailure::ServerFault << "Unknown catalog 'Nope'";
    QTest::newRow("redirect") << FakeHttpServer::response(
        302, "", "", "Location: http://127.0.0.1:9/elsewhere\r\n")
                              << XmlaFailure::Redirected << "http://127.0.0.1:9/elsewhere";
    QTest::newRow("not XML") << FakeHttpServer::response(200, "Hello", "text/plain")
                             << XmlaFailure::NotXml << "not well-formed XML";
    QTest::newRow("a web page") << FakeHttpServer::response(200, html, "text/html")
                                << XmlaFailure::NotXmla << "<html>";
    QTest::newRow("empty") << FakeHttpServer::response(200, "") << XmlaFailure::Truncated
                           << "empty";
    QTest::newRow("cut short, with length") << FakeHttpServer::response(200, catalogs).chopped(400)
                                            << XmlaFailure::Truncated << "ended early";
    QTest::newRow("cut short, chunked") << FakeHttpServer::chunked(catalogs, 300, false).chopped(10)
                                        << XmlaFailure::Truncated << "ended early";
    QTest::newRow("too large, declared")
        << FakeHttpServer::response(200, QByteArray(40000, ' ') + catalogs) << XmlaFailure::TooLarge
        << "larger than 16 KB";
    QTest::newRow("too large, chunked")
        << FakeHttpServer::chunked(QByteArray(40000, ' ') + catalogs, 4096) << XmlaFailure::TooLarge
        << "larger than 16 KB";
    QTest::newRow("no catalog column")
        << FakeHttpServer::response(200, QByteArray(catalogs).replace("CATALOG_NAME>", "NAME>"))
        << XmlaFailure::MissingColumn << "DBSCHEMA_CATALOGS answer lacks the column CATALOG_NAME";
    QTest::newRow("no catalogs") << FakeHttpServer::response(
        200,
        QByteArray(catalogs).replace(
            catalogs.mid(catalogs.indexOf("<row>"),
                         catalogs.indexOf("</row>") + 6 - catalogs.indexOf("<row>")),
            "")) << XmlaFailure::NoCatalog
                                 << "has no catalogs";
    QTest::newRow("fault repeating the password") << FakeHttpServer::response(
        200, QByteArray(fault).replace("Unknown catalog", Password.toUtf8() + " rejected"))
                                                  << XmlaFailure::ServerFault << "**** rejected";
}

void TestXmlaDataSource::serverFailures()
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
    QVERIFY(failure);
    QVERIFY2(failure->code() == code, qPrintable(failure->description()));
    QVERIFY2(failure->description().contains(expected), qPrintable(failure->description()));
    QVERIFY(!failure->source().isEmpty());
    const QString shown = failure->description() + failure->source() + failure->what();
    QVERIFY2(!shown.contains(u"Pa55"), qPrintable(shown));
}

void TestXmlaDataSource::connectionRefused()
{
    quint16 port = 0;
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        port = closed.serverPort();
    }
    XmlaSettings settings;
    settings.url = QUrl(QStringLiteral("http://ann:%1@127.0.0.1:%2/xmla").arg(Password).arg(port));
    const auto failure = test::failureOf([&] { XmlaDataSource::open(settings, QString()); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), XmlaFailure::ConnectionRefused);
    QVERIFY2(failure->description().contains(QStringLiteral("port %1").arg(port)),
             qPrintable(failure->description()));
    QVERIFY(!failure->description().contains(u"Pa55"));
}

void TestXmlaDataSource::timeoutBoundsTheRequest()
{
    FakeHttpServer server;
    server.setHandler([](const HttpRequest &) { return std::optional<QByteArray>(); });
    XmlaSettings settings = settingsFor(server.url());
    settings.timeoutSeconds = 1;
    QElapsedTimer clock;
    clock.start();
    const auto failure = test::failureOf([&] { XmlaDataSource::open(settings, QString()); });
    const qint64 elapsed = clock.elapsed();
    QVERIFY(failure);
    QCOMPARE(failure->code(), XmlaFailure::TimedOut);
    QVERIFY2(failure->description().contains(u"within 1 seconds"),
             qPrintable(failure->description()));
    QVERIFY2(elapsed >= 900 && elapsed < 5000, qPrintable(QString::number(elapsed)));
}

void TestXmlaDataSource::cancelFromTheIndicator()
{
    FakeHttpServer server;
    server.setHandler([](const HttpRequest &) { return std::optional<QByteArray>(); });
    RecordingIndicator indicator;
    indicator.onBegin = [&] { QTimer::singleShot(100, [&] { indicator.cancelWait(); }); };
    InstalledIndicator installed(&indicator);
    QElapsedTimer clock;
    clock.start();
    const auto failure
        = test::failureOf([&] { XmlaDataSource::open(settingsFor(server.url()), QString()); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), XmlaFailure::Cancelled);
    QVERIFY(failure->description().contains(u"cancelled by the user"));
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(indicator.texts.size(), 1);
    QVERIFY2(indicator.texts.at(0).contains(server.url().toString()),
             qPrintable(indicator.texts.at(0)));
    QCOMPARE(indicator.ends, 1);
    indicator.cancelWait(); // too late: nothing happens
}

void TestXmlaDataSource::nestedRequestDuringAWaitIsRefused()
{
    FakeHttpServer server;
    server.setHandler(recordedAnswer);
    const auto source = XmlaDataSource::open(settingsFor(server.url()), QString());
    server.setDelay(300);
    RecordingIndicator indicator;
    std::optional<Failure> nested;
    indicator.onBegin = [&] {
        QTimer::singleShot(50, [&] { nested = test::failureOf([&] { source->cubes(); }); });
    };
    InstalledIndicator installed(&indicator);
    QCOMPARE(source->cubes().size(), 4);
    QVERIFY(nested);
    QCOMPARE(nested->code(), XmlaFailure::Busy);
    QCOMPARE(indicator.ends, 1);
}

void TestXmlaDataSource::untrustedCertificateFails()
{
    QFile certificateFile(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/tls/untrusted.crt"));
    QFile keyFile(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/tls/untrusted.key"));
    QVERIFY(certificateFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(&certificateFile, QSsl::Pem));
    tls.setPrivateKey(QSslKey(&keyFile, QSsl::Rsa, QSsl::Pem));
    QSslServer server;
    server.setSslConfiguration(tls);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    XmlaSettings settings;
    settings.url = QUrl(QStringLiteral("https://127.0.0.1:%1/xmla").arg(server.serverPort()));
    settings.timeoutSeconds = 10;
    const auto failure = test::failureOf([&] { XmlaDataSource::open(settings, QString()); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), XmlaFailure::Certificate);
    QVERIFY2(failure->description().contains(u"certificate"), qPrintable(failure->description()));
}

void TestXmlaDataSource::addressMustBeHttp_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("ftp") << "ftp://127.0.0.1/xmla";
    QTest::newRow("no host") << "http:///xmla";
    QTest::newRow("not a URL") << "http://[::1";
}

void TestXmlaDataSource::addressMustBeHttp()
{
    QFETCH(QString, address);
    XmlaSettings settings;
    settings.url = QUrl(address);
    const auto failure = test::failureOf([&] { XmlaDataSource::open(settings, QString()); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), XmlaFailure::BadAddress);
}

void TestXmlaDataSource::executeCountsOrFails()
{
    FakeHttpServer server;
    server.setHandler(recordedAnswer);
    const auto source = XmlaDataSource::open(settingsFor(server.url()), QString());
    const XmlaExecuteResult result = source->execute(QStringLiteral("select ... from Sales"));
    QCOMPARE(result.rowTuples(), 4);
    QCOMPARE(result.cellCount, 8);
    const SentRequest sent = parseRequest(server.requests().last().body);
    QCOMPARE(server.requests().last().headers.value("soapaction"),
             QByteArray("\"urn:schemas-microsoft-com:xml-analysis:Execute\""));
    QCOMPARE(sent.statement, QStringLiteral("select ... from Sales"));
    QCOMPARE(sent.properties.value(QStringLiteral("Catalog")), QStringLiteral("OlapTest"));
    QCOMPARE(sent.properties.value(QStringLiteral("Format")), QStringLiteral("Multidimensional"));

    try {
        source->execute(QStringLiteral("select {[Store].[Montr\u00e9al]} on columns from Sales"));
        QFAIL("a statement the server refuses succeeded");
    } catch (const XmlaFault &fault) {
        QCOMPARE(fault.errorCode(), QStringLiteral("00HSBD01"));
        QVERIFY(fault.description().contains(u"Montr\u00e9al"));
    }
}

QTEST_GUILESS_MAIN(TestXmlaDataSource)
#include "tst_xmladatasource.moc"
