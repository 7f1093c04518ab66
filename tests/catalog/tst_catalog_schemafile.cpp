// Catalogs read from schema files and from the sample carried inside the program: what they
// hold, in which order, and every way a file, a cube or a connection string can be wrong.
#include "catalog/catalog.h"
#include "catalog/failurecodes.h"
#include "catalog/schemadatasource.h"
#include "catalog/xmlareader.h"
#include "catalogtesting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

using namespace mdx;
using mdx::test::failureOf;
using mdx::test::schemaPath;

namespace {

const QString DefaultString
    = QStringLiteral("provider=msolap;data source=local;initial catalog=foodmart 2000");

// The path quoted, as a folder name with ';' or quotes needs.
QString fileString(QString path)
{
    return QStringLiteral("data source='") + path.replace(u'\'', QStringLiteral("''")) + u'\'';
}

CubeDefs cubesOf(const QString &connectionString)
{
    Connection connection;
    connection.open(connectionString);
    Catalog catalog;
    catalog.setActiveConnection(connection);
    return catalog.cubeDefs();
}

CubeDef cubeNamed(const CubeDefs &cubes, const QString &name)
{
    for (const CubeDef &cube : cubes) {
        if (cube.name() == name)
            return cube;
    }
    qFatal("no cube %s", qPrintable(name));
}

// One line per dimension: "Name: level, level" over its first hierarchy, then " | Other
// hierarchy: level, level" for each further one; the measures dimension adds " = measure,
// measure". With unique names when asked.
QStringList outline(const CubeDef &cube, bool uniqueNames)
{
    const auto name
        = [&](const auto &object) { return uniqueNames ? object.uniqueName() : object.name(); };
    QStringList lines;
    for (const Dimension &dimension : cube.dimensions()) {
        const Collection<Hierarchy> hierarchies = dimension.hierarchies();
        QString line = name(dimension) + u':';
        QStringList members;
        for (int h = 0; h < hierarchies.count(); ++h) {
            QStringList levels;
            for (const Level &level : hierarchies.item(h).levels()) {
                levels << name(level);
                for (const Member &member : level.members())
                    members << member.name();
            }
            if (h > 0)
                line += QStringLiteral(" | ") + name(hierarchies.item(h)) + u':';
            line += u' ' + levels.join(u", ");
        }
        lines << line
                + (members.isEmpty() ? QString() : QStringLiteral(" = ") + members.join(u", "));
    }
    return lines;
}

const QString Password = QStringLiteral("Zx9-secret");

} // namespace

class TestSchemaFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(mDir.isValid());
        QVERIFY(QFile::copy(schemaPath(QStringLiteral("shapes.xml")), path("shapes copy.xml")));
        QVERIFY(
            QFile::copy(QStringLiteral(":/mdx/samples/foodmart-2000.xml"), path("foodmart.xml")));
        // Too large: refused by its size, without reading it (the file is sparse).
        QFile huge(path("huge.xml"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write("<Schema name=\"Huge\">") > 0);
        QVERIFY(huge.resize(MaxSchemaFileSize + 1));
        huge.close();
        // Deep nesting of elements the catalog skips.
        QFile deep(path("deep.xml"));
        QVERIFY(deep.open(QIODevice::WriteOnly));
        deep.write("<Schema name=\"Deep\">" + QByteArray("<Role>").repeated(20000)
                   + QByteArray("</Role>").repeated(20000)
                   + "<Cube name=\"After\"><Measure name=\"M\"/></Cube></Schema>");
        deep.close();
        // A pipe nobody writes to would block a reader for ever.
        QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.xml")).constData(), 0600), 0);
        QVERIFY(QFile::copy(schemaPath(QStringLiteral("shapes.xml")), path("locked.xml")));
        QVERIFY(QFile::setPermissions(path("locked.xml"), QFileDevice::Permissions()));
    }

    // Listed by name, letter case aside, as servers list them; a disabled cube is left out.
    void cubeLists_data()
    {
        QTest::addColumn<QString>("connectionString");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("sample") << DefaultString
                                << QStringList { "Budget|FoodMart 2000 - Budget Planing",
                                                 "HR|FoodMart 2000 - HR Salary Cube",
                                                 "Sales|FoodMart 2000 - Sales Reporting",
                                                 "Warehouse|FoodMart 2000 - Warehouse Cube",
                                                 "Warehouse and Sales|" };
        QTest::newRow("shapes") << fileString(schemaPath("shapes.xml"))
                                << QStringList { "budget lines|", "Combined|Sales and inventory",
                                                 "Counts Only|",  "Inventory|Stock on hand",
                                                 "Loose Ends|",   "Sales|Sales by store and week" };
    }

    void cubeLists()
    {
        QFETCH(QString, connectionString);
        QStringList listed;
        for (const CubeDef &cube : cubesOf(connectionString))
            listed << cube.name() + u'|' + cube.description();
        QTEST(listed, "expected");
    }

    void opens_data()
    {
        QTest::addColumn<QString>("connectionString");
        QTest::addColumn<QString>("catalog");
        QTest::addColumn<int>("cubes");

        const auto row
            = [](const char *name, const QString &string, const char *catalog, int cubes) {
                  QTest::newRow(name) << string << QString::fromUtf8(catalog) << cubes;
              };
        const QString shapesUrl = QUrl::fromLocalFile(path("shapes copy.xml")).toString();
        row("the default", DefaultString, "FoodMart 2000", 5);
        row("no initial catalog", "provider=MSOLAP.2;data source=LOCAL", "FoodMart 2000", 5);
        row("catalog in upper case", "data source=Local;Catalog=FOODMART 2000", "FoodMart 2000", 5);
        row("the sample as a file", fileString(path("foodmart.xml")), "FoodMart 2000", 5);
        row("the file's catalog named in another case",
            fileString(path("shapes copy.xml")) + ";initial catalog=SHAPES", "Shapes", 6);
        row("file: URL", "data source=\"" + shapesUrl + '"', "Shapes", 6);
        row("relative path", "data source=shapes copy.xml", "Shapes", 6);
        row("no cubes", fileString(schemaPath("nocubes.xml")), "No Cubes", 0);
        row("deep nesting", fileString(path("deep.xml")), "Deep", 1);
    }

    void opens()
    {
        QFETCH(QString, connectionString);
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(mDir.path()));
        Connection connection;
        const auto failure = failureOf([&] { connection.open(connectionString); });
        QVERIFY(QDir::setCurrent(previous));
        QVERIFY2(!failure, failure ? qPrintable(failure->description()) : "");
        QTEST(connection.dataSource()->catalogName(), "catalog");
        Catalog catalog;
        catalog.setActiveConnection(connection);
        QTEST(catalog.cubeDefs().count(), "cubes");
    }

    void outlines_data()
    {
        QTest::addColumn<QString>("cube");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("private and shared dimensions, odd names, calculated measures")
            << "Sales"
            << QStringList {
                   "[Measures]: [Measures].[MeasuresLevel] = Unit Sales, Sales [Net], Store Cost, "
                   "Profit, Margin",
                   "[Store]: [Store].[(All)], [Store].[Store Country], [Store].[Store City]",
                   "[measures]: [measures].[(All)], [measures].[Kind]",
                   "[Time]: [Time].[Year], [Time].[Quarter] | [Time.Weekly]: "
                   "[Time.Weekly].[All Weeks], [Time.Weekly].[Year], [Time.Weekly].[Week]",
                   "[Size [sqft]]]: [Size [sqft]]].[Every Size], [Size [sqft]]].[Band [m2]]]"
               };
        QTest::newRow("a shared dimension used under another name")
            << "Inventory"
            << QStringList { "[Measures]: [Measures].[MeasuresLevel] = Units",
                             "[Warehouse Store]: [Warehouse Store].[(All)], "
                             "[Warehouse Store].[Store Country], [Warehouse Store].[Store City]",
                             "[Product]: [Product].[(All)], [Product].[Category]" };
        QTest::newRow("virtual cube")
            << "Combined"
            << QStringList {
                   "[Measures]: [Measures].[MeasuresLevel] = Units, Sales [Net], Profit, "
                   "Units per Sale",
                   "[Store]: [Store].[(All)], [Store].[Store Country], [Store].[Store City]",
                   "[Size [sqft]]]: [Size [sqft]]].[Every Size], [Size [sqft]]].[Band [m2]]]",
                   "[Product]: [Product].[(All)], [Product].[Category]"
               };
        // Odd shapes stay reachable; the window decides about them.
        QTest::newRow("measures only")
            << "Counts Only" << QStringList { "[Measures]: [Measures].[MeasuresLevel] = Rows" };
        QTest::newRow("a dimension without a hierarchy")
            << "Loose Ends"
            << QStringList { "[Measures]: [Measures].[MeasuresLevel] = Things", "[Unfinished]:" };
    }

    void outlines()
    {
        QFETCH(QString, cube);
        const CubeDefs cubes = cubesOf(fileString(schemaPath(QStringLiteral("shapes.xml"))));
        QTEST(outline(cubeNamed(cubes, cube), true), "expected");
    }

    void openFails_data()
    {
        QTest::addColumn<QString>("connectionString");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("password"); // given beside the string

        const auto row = [](const char *name, const QString &string, qint32 code,
                            const QString &part, const QString &password = {}) {
            QTest::newRow(name) << string << code << part << password;
        };
        // A file of the test data, or one made by initTestCase (an absolute path).
        const auto file = [&](const char *name, const QString &file, qint32 code,
                              const char *part) {
            row(name, fileString(file.startsWith(u'/') ? file : schemaPath(file)), code, part);
        };
        using namespace CatalogFailure;
        const QString shapes = fileString(schemaPath(QStringLiteral("shapes.xml")));
        row("empty", "", EmptyConnectionString, "The connection string is empty.");
        row("malformed", "provider=msolap;data source", MalformedConnectionString, "character 17");
        row("another provider", "Provider=SQLOLEDB.1;Data Source=local", UnsupportedProvider,
            "The provider \"SQLOLEDB.1\" is not supported");
        row("no data source", "provider=msolap;catalog=c", NoDataSource, "names no Data Source");
        row("a server name", "data source=olapserver01", FileNotReadable,
            "\"olapserver01\" is neither \"local\", an http(s) URL nor an existing file");
        row("unknown sample catalog", "data source=local;catalog=Adventure Works", CatalogNotFound,
            "no catalog \"Adventure Works\". Its catalogs are: \"FoodMart 2000\".");
        row("sample catalog with an extra space", "data source=local;catalog=\"foodmart  2000\"",
            CatalogNotFound, "no catalog");
        row("file of another catalog", shapes + ";initial catalog=FoodMart", CatalogNotFound,
            "holds the catalog \"Shapes\", not \"FoodMart\"");

        file("missing", "missing.xml", FileNotReadable,
             "no file \"" MDX_TEST_DATA_DIR "/schemas/missing.xml\"");
        file("folder", "", FileNotReadable, "is a folder, not a file");
        file("pipe", path("pipe.xml"), FileNotReadable, "pipe.xml\" is not a plain file");
        file("unreadable", path("locked.xml"), FileNotReadable, "cannot be read");
        file("too large", path("huge.xml"), FileTooLarge, "is 256 MiB; schema files larger than");
        file("empty file", "empty.xml", NotWellFormed, "empty.xml\" is empty.");
        file("blank", "blank.xml", NotWellFormed, "contains no XML");
        file("truncated", "truncated.xml", NotWellFormed, "the file may be truncated");
        file("mismatched tags", "mismatched.xml", NotWellFormed, "XML at line 5, column 9: ");
        file("a second root", "trailing.xml", NotWellFormed, "XML at line 3, column");
        file("entity expansion", "entities.xml", NotWellFormed, "not well-formed XML");
        file("not a schema", "notaschema.xml", NotASchema,
             "root element is <html>, where <Schema>");
        file("level without name", "levelnoname.xml", InvalidSchema,
             "line 5: the <Level> element has no name.");
        file("bad boolean", "badboolean.xml", InvalidSchema,
             "the hasAll attribute of <Hierarchy> must be \"true\" or \"false\", not \"yes\".");
        file("shared dimension twice", "twinshared.xml", InvalidSchema,
             "line 6: the shared dimension \"Store\" is already defined at line 3.");
        file("usage without source", "usagewithoutsource.xml", InvalidSchema,
             "the dimension usage \"Store\" has no source.");

        // Wherever the password may end up in a failure's text, it is masked.
        const QString p = Password;
        const qint32 refused = XmlaFailure::ConnectionRefused;
        row("password as provider", "provider=" + p + ";password=" + p, UnsupportedProvider,
            "The provider \"****\" is not");
        row("password in a file name", "data source=/nowhere/" + p + ".xml;pwd=" + p,
            FileNotReadable, "/nowhere/****.xml");
        row("password in a server URL",
            "data source=http://ann:" + p + "@127.0.0.1:1/xmla;pwd=" + p, refused, "port 1");
        row("password in a server URL alone", "data source=https://ann:" + p + "@127.0.0.1:1/xmla",
            refused, "port 1");
        row("password as sample catalog", "data source=local;catalog=" + p + ";password=" + p,
            CatalogNotFound, "no catalog \"****\"");
        row("password as file catalog", shapes + ";catalog=" + p + ";pwd=" + p, CatalogNotFound,
            "not \"****\"");
        row("malformed after the password", "password='" + p + "';data source",
            MalformedConnectionString, "at character 23");
        row("password in an open quote", "provider=msolap;password=\"" + p,
            MalformedConnectionString, "never closed");
        row("password given beside overrides the string",
            "data source=/Zx9-old/" + p + ".xml;password=Zx9-old", FileNotReadable,
            "/****/****.xml", p);
    }

    void openFails()
    {
        QFETCH(QString, connectionString);
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        QFETCH(QString, password);
        if (QTest::currentDataTag() == QByteArray("unreadable")
            && ::access(QFile::encodeName(path("locked.xml")).constData(), R_OK) == 0)
            QSKIP("running with rights that read any file");
        QElapsedTimer timer;
        timer.start();
        const auto failure = test::openFailure(connectionString, password);
        VERIFY_FAILURE(failure, code, expected);
        QVERIFY(timer.elapsed() < 5000);
        const QString text = failure->description() + failure->source() + failure->what();
        QVERIFY2(!text.contains(u"Zx9"), qPrintable(text));
    }

    // Each cube (the data tag) is broken in one way; its fault shows when its dimensions are
    // asked for.
    void cubeFailures_data()
    {
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("expected");
        const auto cube = [](const char *name, qint32 code, const char *part) {
            QTest::newRow(name) << code << QString::fromUtf8(part);
        };
        using namespace CatalogFailure;
        cube("Unknown Usage", UnknownReference,
             "usage \"Region\" refers to the shared dimension \"Regions\", which the schema");
        cube("Empty", InvalidSchema, "the cube defines no dimensions and no measures.");
        cube("No Levels", InvalidSchema,
             "the hierarchy [Flat] of dimension \"Flat\" has no levels.");
        cube("Twin Dimensions", DuplicateUniqueName,
             "two dimensions have the unique name [Colour].");
        cube("Twin Levels", DuplicateUniqueName, "two levels have the unique name [Size].[Band].");
        cube("Twin Measures", DuplicateUniqueName,
             "two measures have the unique name [Measures].[Amount].");
        cube("Own Measures", DuplicateUniqueName,
             "two dimensions have the unique name [Measures].");
        cube("Virtual Unknown Cube", UnknownReference,
             "dimension \"Colour\" comes from the cube \"Nowhere\", which the schema does not");
        cube("Virtual Unknown Shared", UnknownReference,
             "\"Texture\" names no cube and the schema has no shared dimension of that name.");
        cube("Virtual Unknown Dimension", UnknownReference,
             "cube \"Good\" has no dimension \"Texture\".");
        cube("Virtual Unknown Measure", UnknownReference,
             "cube \"Good\" has no measure \"Weight\".");
        cube("Virtual Bad Measure Name", InvalidSchema,
             "measure \"Amount\" is not named like [Measures].[Measure Name].");
        cube("Virtual Measure Without Cube", InvalidSchema, "names no cube (cubeName)");
        cube("Virtual Of Broken", UnknownReference, "Cube \"Unknown Usage\"");
    }

    void cubeFailures()
    {
        QFETCH(qint32, code);
        QFETCH(QString, expected);
        const CubeDefs cubes = cubesOf(fileString(schemaPath(QStringLiteral("brokencubes.xml"))));
        const CubeDef broken = cubeNamed(cubes, QString::fromUtf8(QTest::currentDataTag()));
        const auto failure = failureOf([&] { broken.dimensions(); });
        VERIFY_FAILURE(failure, code, expected);
        QVERIFY2(failure->description().contains(u"brokencubes.xml"),
                 qPrintable(failure->description()));
        QCOMPARE(failure->source(), CatalogSource::SchemaFile);
        // Asking again fails the same way; the fault does not reach the other cubes.
        QCOMPARE(failureOf([&] { broken.dimensions(); })->description(), failure->description());
        QCOMPARE(outline(cubeNamed(cubes, QStringLiteral("Good")), false),
                 (QStringList { "Measures: MeasuresLevel = Amount", "Colour: (All), Shade" }));
    }

private:
    // A folder whose name needs quoting in a connection string, with files made for the tests.
    QTemporaryDir mDir { QDir::tempPath() + QStringLiteral("/with space;and 'quotes'-XXXXXX") };
    QString path(const char *name) const { return mDir.filePath(QString::fromUtf8(name)); }
};

QTEST_GUILESS_MAIN(TestSchemaFile)
#include "tst_catalog_schemafile.moc"
