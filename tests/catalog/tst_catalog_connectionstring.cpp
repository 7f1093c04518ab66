#include "catalog/connectionstring.h"
#include "catalogtesting.h"

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

        parsed("keys and values trimmed, keys in any case",
               "  PROVIDER = MSOLAP.2 ;\tData SOURCE =  local  ; Initial Catalog= Sales Db ",
               "MSOLAP.2|local|Sales Db|||-1");
        parsed("synonyms, empty pairs and unknown keys",
               ";DataSource=/tmp/s.xml;; foo=bar ;Catalog=C;UID=ann;PWD=pw;",
               "|/tmp/s.xml|C|ann|pw|-1");
        parsed("long names", "User ID=bob;Password=secret;Connect Timeout=0", "|||bob|secret|0");
        parsed("the last occurrence wins", "data source=a;Data Source=b;datasource=c", "|c||||-1");
        parsed("semicolon inside double quotes", "data source= \"a;b.xml\";catalog=c",
               "|a;b.xml|c|||-1");
        parsed("doubled quotes", "password='it''s; ok';uid=\"say \"\"hi\"\"\"",
               "|||say \"hi\"|it's; ok|-1");
        parsed("a quote inside an unquoted value is literal", "data source=ab\"c'd",
               "|ab\"c'd||||-1");
        parsed("'=' inside a value", "data source=a=b;pwd= =x", "|a=b|||=x|-1");
        parsed("'==' in a key is a literal '='", "provider==p=1;provider=q;pwd==x=y", "q|||||-1");
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

        QTest::newRow("a bare word") << "provider=m; hunter2 ;catalog=c" << 13 << "no \"=\"";
        QTest::newRow("open double quote")
            << "provider=m;password=\"hunter2" << 21 << "never closed";
        QTest::newRow("text after the quote") << "pwd=\"hunter\"2;uid=x" << 13 << "closing quote";
        QTest::newRow("no key") << "provider=m; =local" << 13 << "no key";
        QTest::newRow("timeout not a number") << "provider=m;Connect Timeout=soon" << 12 << "whole";
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
        QCOMPARE(failure->source(), FailureSource::Connection);
        // The text around the fault may be a password: it is never quoted back.
        QVERIFY2(!failure->description().contains(u"hunter"), qPrintable(failure->description()));
    }

    // Only the password's value is hidden; the words around it stay.
    void withoutPassword_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("pairs") << "uid=a;Password = a b;PWD='it''s;a';pwd=\"a\"\"b\";x=a"
                               << "uid=a;Password = ****;PWD=****;pwd=****;x=a";
        QTest::newRow("quoted address") << "at \"http://a:b@c@h/x?a=1&pwd=a b&b=a\" is a"
                                        << "at \"http://a:****@h/x?a=1&pwd=****&b=a\" is a";
        QTest::newRow("address made a path") << "/a/ftp:/a:a@h/password"
                                             << "/a/ftp:/a:****@h/password";
        QTest::newRow("nothing to hide") << "Password; pwd= ;http://a@h/"
                                         << "Password; pwd= ;http://a@h/";
    }

    void withoutPassword()
    {
        QFETCH(QString, text);
        QTEST(mdx::withoutPassword(text), "shown");
    }

    void provider()
    {
        for (const auto &[text, olap] :
             { std::pair(" MsOlap.10 ", true), std::pair("MSOLAP", true),
               std::pair("MSOLAP.", false), std::pair("SQLOLEDB", false) })
            QVERIFY2(isOlapProvider(QString::fromLatin1(text)) == olap, text);
    }
};

QTEST_GUILESS_MAIN(TestConnectionString)
#include "tst_catalog_connectionstring.moc"
