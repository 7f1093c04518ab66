#include "catalog/connectionstring.h"
#include "catalog/failurecodes.h"
#include "catalogtesting.h"

#include <QTest>

using namespace mdx;
using mdx::test::failureOf;

class TestConnectionString : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void malformed_data();
    void malformed();
    void provider_data();
    void provider();
};

void TestConnectionString::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("dataSource");
    QTest::addColumn<QString>("initialCatalog");
    QTest::addColumn<QString>("userId");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("timeout");

    QTest::newRow("the default string")
        << "provider=msolap;data source=local;initial catalog=foodmart 2000"
        << "msolap"
        << "local"
        << "foodmart 2000"
        << ""
        << "" << -1;
    QTest::newRow("keys and values trimmed, keys in any case")
        << "  PROVIDER = MSOLAP.2 ;\tData SOURCE =  local  ; Initial Catalog= Sales Db "
        << "MSOLAP.2"
        << "local"
        << "Sales Db"
        << ""
        << "" << -1;
    QTest::newRow("synonyms") << "DataSource=/tmp/s.xml;Catalog=C;UID=ann;PWD=pw"
                              << ""
                              << "/tmp/s.xml"
                              << "C"
                              << "ann"
                              << "pw" << -1;
    QTest::newRow("long names") << "User ID=bob;Password=secret;Connect Timeout=30"
                                << ""
                                << ""
                                << ""
                                << "bob"
                                << "secret" << 30;
    QTest::newRow("the last occurrence wins") << "data source=a;Data Source=b;datasource=c"
                                              << ""
                                              << "c"
                                              << ""
                                              << ""
                                              << "" << -1;
    QTest::newRow("empty pairs ignored") << ";; provider=msolap ;; ;data source=local;"
                                         << "msolap"
                                         << "local"
                                         << ""
                                         << ""
                                         << "" << -1;
    QTest::newRow("unknown keys ignored") << "Persist Security Info=False;foo=bar;provider=x"
                                          << "x"
                                          << ""
                                          << ""
                                          << ""
                                          << "" << -1;
    QTest::newRow("semicolon inside double quotes") << "data source=\"a;b.xml\";catalog=c"
                                                    << ""
                                                    << "a;b.xml"
                                                    << "c"
                                                    << ""
                                                    << "" << -1;
    QTest::newRow("doubled single quote") << "password='it''s; ok'"
                                          << ""
                                          << ""
                                          << ""
                                          << ""
                                          << "it's; ok" << -1;
    QTest::newRow("doubled double quote") << "pwd=\"say \"\"hi\"\"\""
                                          << ""
                                          << ""
                                          << ""
                                          << ""
                                          << "say \"hi\"" << -1;
    QTest::newRow("the other quote is literal") << "pwd=\"a'b\";uid='c\"d'"
                                                << ""
                                                << ""
                                                << ""
                                                << "c\"d"
                                                << "a'b" << -1;
    QTest::newRow("quotes keep spaces") << "initial catalog=\"  padded  \"  ;provider=m"
                                        << "m"
                                        << ""
                                        << "  padded  "
                                        << ""
                                        << "" << -1;
    QTest::newRow("a quote inside an unquoted value is literal") << "data source=ab\"c'd"
                                                                 << ""
                                                                 << "ab\"c'd"
                                                                 << ""
                                                                 << ""
                                                                 << "" << -1;
    QTest::newRow("'=' inside a value") << "data source=a=b;pwd= =x"
                                        << ""
                                        << "a=b"
                                        << ""
                                        << ""
                                        << "=x" << -1;
    QTest::newRow("'==' in a key is a literal '='") << "provider==p=1;provider=q;pwd==x=y"
                                                    << "q"
                                                    << ""
                                                    << ""
                                                    << ""
                                                    << "" << -1;
    QTest::newRow("empty values") << "password=;provider=p;data source="
                                  << "p"
                                  << ""
                                  << ""
                                  << ""
                                  << "" << -1;
    QTest::newRow("nothing but separators") << " ; ;; "
                                            << ""
                                            << ""
                                            << ""
                                            << ""
                                            << "" << -1;
}

void TestConnectionString::parse()
{
    QFETCH(QString, text);
    const ConnectionString parsed = parseConnectionString(text);
    QTEST(parsed.provider, "provider");
    QTEST(parsed.dataSource, "dataSource");
    QTEST(parsed.initialCatalog, "initialCatalog");
    QTEST(parsed.userId, "userId");
    QTEST(parsed.password, "password");
    QTEST(parsed.connectTimeout, "timeout");
}

void TestConnectionString::malformed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("why");

    QTest::newRow("a pair without '='") << "provider=msolap;data source" << 17 << "no \"=\"";
    QTest::newRow("a bare word between pairs")
        << "provider=m; hunter2 ;catalog=c" << 13 << "no \"=\"";
    QTest::newRow("unterminated double quote")
        << "provider=m;password=\"hunter2" << 21 << "never closed";
    QTest::newRow("unterminated single quote") << "pwd='hunter2'';uid=x" << 5 << "never closed";
    QTest::newRow("text after the closing quote")
        << "pwd=\"hunter\"2;uid=x" << 13 << "closing quote";
    QTest::newRow("no key") << "provider=m; =local" << 13 << "no key";
    QTest::newRow("timeout not a number")
        << "provider=m;Connect Timeout=soon" << 12 << "whole number";
    QTest::newRow("negative timeout") << "connect timeout=-5" << 1 << "whole number";
}

void TestConnectionString::malformed()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(QString, why);
    const auto failure = failureOf([&] { parseConnectionString(text); });
    QVERIFY(failure);
    QCOMPARE(failure->code(), CatalogFailure::MalformedConnectionString);
    QCOMPARE(failure->source(), CatalogSource::Connection);
    QVERIFY2(failure->description().contains(QStringLiteral("at character %1:").arg(position)),
             qPrintable(failure->description()));
    QVERIFY2(failure->description().contains(why), qPrintable(failure->description()));
    // The text around the fault may be a password: it is never quoted back.
    QVERIFY2(!failure->description().contains(u"hunter"), qPrintable(failure->description()));
}

void TestConnectionString::provider_data()
{
    QTest::addColumn<QString>("provider");
    QTest::addColumn<bool>("olap");

    QTest::newRow("MSOLAP") << "MSOLAP" << true;
    QTest::newRow("lower case") << "msolap" << true;
    QTest::newRow("version 2") << "MSOLAP.2" << true;
    QTest::newRow("version 10, mixed case, padded") << " MsOlap.10 " << true;
    QTest::newRow("dot without version") << "MSOLAP." << false;
    QTest::newRow("version not a number") << "MSOLAP.x" << false;
    QTest::newRow("no dot") << "MSOLAP2" << false;
    QTest::newRow("another provider") << "SQLOLEDB" << false;
    QTest::newRow("empty") << "" << false;
}

void TestConnectionString::provider()
{
    QFETCH(QString, provider);
    QTEST(isOlapProvider(provider), "olap");
}

QTEST_GUILESS_MAIN(TestConnectionString)
#include "tst_catalog_connectionstring.moc"
