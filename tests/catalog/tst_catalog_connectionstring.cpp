#include "catalog/connectionstring.h"
#include "catalog/failurecodes.h"
#include "catalogtesting.h"

#include <QTest>

using namespace mdx;

// Fields: provider|data source|catalog|user|password|timeout.
static void parsed(const char *name, const char *text, const char *fields)
{
    QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(fields);
}

class TestConnectionString : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fields");

        parsed("the default string",
               "provider=msolap;data source=local;initial catalog=foodmart 2000",
               "msolap|local|foodmart 2000|||-1");
        parsed("keys and values trimmed, keys in any case",
               "  PROVIDER = MSOLAP.2 ;\tData SOURCE =  local  ; Initial Catalog= Sales Db ",
               "MSOLAP.2|local|Sales Db|||-1");
        parsed("synonyms", "DataSource=/tmp/s.xml;Catalog=C;UID=ann;PWD=pw",
               "|/tmp/s.xml|C|ann|pw|-1");
        parsed("long names", "User ID=bob;Password=secret;Connect Timeout=30", "|||bob|secret|30");
        parsed("the last occurrence wins", "data source=a;Data Source=b;datasource=c", "|c||||-1");
        parsed("empty pairs and unknown keys ignored", ";; foo=bar ;; ;data source=local;",
               "|local||||-1");
        parsed("semicolon inside double quotes", "data source=\"a;b.xml\";catalog=c",
               "|a;b.xml|c|||-1");
        parsed("doubled quotes", "password='it''s; ok';uid=\"say \"\"hi\"\"\"",
               "|||say \"hi\"|it's; ok|-1");
        parsed("the other quote is literal", "pwd=\"a'b\";uid='c\"d'", "|||c\"d|a'b|-1");
        parsed("quotes keep spaces", "initial catalog=\"  padded  \"  ;provider=m",
               "m||  padded  |||-1");
        parsed("a quote inside an unquoted value is literal", "data source=ab\"c'd",
               "|ab\"c'd||||-1");
        parsed("'=' inside a value", "data source=a=b;pwd= =x", "|a=b|||=x|-1");
        parsed("'==' in a key is a literal '='", "provider==p=1;provider=q;pwd==x=y", "q|||||-1");
        parsed("empty values", "password=;provider=p;data source=", "p|||||-1");
    }

    void parse()
    {
        QFETCH(QString, text);
        const ConnectionString p = parseConnectionString(text);
        QTEST((QStringList { p.provider, p.dataSource, p.initialCatalog, p.userId, p.password,
                             QString::number(p.connectTimeout) })
                  .join(u'|'),
              "fields");
    }

    void malformed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("why");

        QTest::newRow("a pair without '='") << "provider=msolap;data source" << 17 << "no \"=\"";
        QTest::newRow("a bare word") << "provider=m; hunter2 ;catalog=c" << 13 << "no \"=\"";
        QTest::newRow("open double quote")
            << "provider=m;password=\"hunter2" << 21 << "never closed";
        QTest::newRow("open single quote") << "pwd='hunter2'';uid=x" << 5 << "never closed";
        QTest::newRow("text after the quote") << "pwd=\"hunter\"2;uid=x" << 13 << "closing quote";
        QTest::newRow("no key") << "provider=m; =local" << 13 << "no key";
        QTest::newRow("timeout not a number") << "provider=m;Connect Timeout=soon" << 12 << "whole";
        QTest::newRow("negative timeout") << "connect timeout=-5" << 1 << "whole number";
    }

    void malformed()
    {
        QFETCH(QString, text);
        QFETCH(int, position);
        QFETCH(QString, why);
        const auto failure = test::failureOf([&] { parseConnectionString(text); });
        VERIFY_FAILURE(failure, CatalogFailure::MalformedConnectionString,
                       QStringLiteral("at character %1: ").arg(position));
        QVERIFY2(failure->description().contains(why), qPrintable(failure->description()));
        QCOMPARE(failure->source(), CatalogSource::Connection);
        // The text around the fault may be a password: it is never quoted back.
        QVERIFY2(!failure->description().contains(u"hunter"), qPrintable(failure->description()));
    }

    void provider_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<bool>("olap");

        QTest::newRow("MSOLAP") << "MSOLAP" << true;
        QTest::newRow("version 10, mixed case, padded") << " MsOlap.10 " << true;
        QTest::newRow("dot without version") << "MSOLAP." << false;
        QTest::newRow("version not a number") << "MSOLAP.x" << false;
        QTest::newRow("no dot") << "MSOLAP2" << false;
        QTest::newRow("another provider") << "SQLOLEDB" << false;
        QTest::newRow("empty") << "" << false;
    }

    void provider()
    {
        QFETCH(QString, provider);
        QTEST(isOlapProvider(provider), "olap");
    }
};

QTEST_GUILESS_MAIN(TestConnectionString)
#include "tst_catalog_connectionstring.moc"
