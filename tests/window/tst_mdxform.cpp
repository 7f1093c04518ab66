// The window as it comes up, Connect, the cube list and loading a cube.
#include "formtesting.h"

#include "catalog/catalog.h"
#include "catalog/waitindicator.h"
#include "model/failure.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>

#include <stdexcept>

using namespace mdx;
using namespace mdx::test;

namespace {

const QString startCaption = QStringLiteral("Orvanta 3.0 Mdx Builder Utility Program");
const QString connectedCaption = QStringLiteral("Orvanta 3.0 MDX Wizard");

// Throws from the wait for the server, as anything on Connect's way might.
struct ThrowingIndicator : WaitIndicator
{
    std::function<void()> toss;
    void begin(const QString &, std::function<void()>) override { toss(); }
    void end() override { }
};

} // namespace

class TestMdxForm : public QObject, FormFixture
{
    Q_OBJECT

    QString subTitle() const { return control<QLabel>("SubTitleLabel")->text(); }

private slots:
    void init() { QVERIFY(open()); }
    void cleanup() { close(); }

    // Every named control under its parent, two positions from the design, the texts; the
    // window fixed in size, its font; the tab order.
    void layoutAndSettings()
    {
        const QStringList banner { "TitleLabel", "SubTitleLabel", "OrvantaLogo" };
        const QStringList order = QString("Picture1 ConnectionStringTextbox CubeCombo SchemaTree "
                                          "RowTree ColumnTree SlicerTree MeasuresList MdxTextbox "
                                          "CopyButton OKButton CancelButton")
                                      .split(' ');
        const QStringList labels { "ConnectionLabel", "ConnectImage", "CubeLabel", "SlicerLabel",
                                   "ColumnLabel",     "SchemaLabel",  "RowLabel",  "MeasureLabel" };
        for (const QString &name : banner + order + labels) {
            const QWidget *widget = control(name.toLatin1());
            QVERIFY2(widget && widget->isVisible(), qPrintable(name));
            QCOMPARE(widget->parentWidget()->objectName(),
                     banner.contains(name) ? "Picture1" : "MdxForm");
        }
        QCOMPARE(control("SchemaTree")->geometry(), QRect(8, 176, 185, 297));
        QCOMPARE(control("CancelButton")->geometry(), QRect(584, 568, 73, 25));
        QStringList texts;
        for (const QString &name : QStringList { "TitleLabel" } + labels + order.mid(9))
            texts << control(name.toLatin1())->property("text").toString();
        QCOMPARE(texts.join('|'),
                 "Orvanta 3.0 MDX Builder Utility Program|Connection:||Cube:|Slicers:|Columns:|"
                 "Schema:|Rows:|Measures:|Copy|&OK|Cancel");
        QVERIFY(subTitle().startsWith("Use this program to help construct MDX strings"));
        QCOMPARE(control("ConnectImage")->toolTip() + control("CancelButton")->toolTip(),
                 QStringLiteral("ConnectClose"));
        QVERIFY(control<QPushButton>("CopyButton")->isDefault());
        QCOMPARE(form->minimumSize(), QSize(663, 600));
        QCOMPARE(form->maximumSize(), form->minimumSize());
        // The design font is not on this platform; one of the same metrics stands in.
        QCOMPARE(QFontInfo(form->font()).family(), QStringLiteral("Liberation Sans"));

        control("Picture1")->setFocus();
        QStringList tabbed;
        for (int i = 0; i <= order.size(); ++i, key(Qt::Key_Tab))
            tabbed << form->focusWidget()->objectName();
        QCOMPARE(tabbed, order + QStringList { "Picture1" });
    }

    // The first cube loaded, and the same again after a second Connect.
    void connectLoadsTheFirstCubeAfresh()
    {
        click(at("ConnectImage"), Qt::RightButton); // only the left button connects
        QCOMPARE(form->windowTitle(), startCaption);
        QCOMPARE(connectTo(sampleString), Messages());
        for (int pass = 0; pass < 2; ++pass) {
            QCOMPARE(form->windowTitle(), connectedCaption);
            QStringList entries;
            for (int i = 0; i < cubes()->count(); ++i)
                entries << cubes()->itemText(i);
            QCOMPARE(entries.join(','), "Budget,HR,Sales,Warehouse,Warehouse and Sales");
            QCOMPARE(cubes()->currentIndex(), 0);
            QCOMPARE(cubes()->toolTip() + "|" + subTitle(),
                     QStringLiteral("Budget|Budget: FoodMart 2000 - Budget Planing"));
            QCOMPARE(form->focusWidget(), cubes());
            QCOMPARE(outline(schema()).join(','),
                     "Account[ ],  (All)[ ],  Account[ ],Category[ ],  (All)[ ],  Category[ ],"
                     "Store[ ],  (All)[ ],  Store Country[ ],  Store State[ ],  Store City[ ],"
                     "  Store Name[ ],Time[ ],  Year[ ],  Quarter[ ],  Month[ ]");
            for (QTreeWidgetItemIterator it(schema()); *it; ++it)
                QVERIFY(!(*it)->isExpanded());
            QCOMPARE(schema()->selectedItems(), { item(schema(), "Account") });
            QCOMPARE(measureTicks(), QStringList({ "Amount+" }));
            QCOMPARE(statement(), QString());
            drag("SchemaTree", "Store", "RowTree");
            // A release alone on the picture is no click.
            release(at("ConnectImage"));
            QCOMPARE(tree("RowTree")->topLevelItemCount(), 1);
            connectTo(sampleString);
        }
        QCOMPARE(tree("RowTree")->topLevelItemCount(), 0);
        key(Qt::Key_Down);
        QCOMPARE(cubes()->toolTip() + "|" + subTitle(),
                 QStringLiteral("HR|HR: FoodMart 2000 - HR Salary Cube"));
    }

    // Another cube starts afresh; twin names open their own definitions, by position.
    void chooseAnotherCube()
    {
        connectTo(schemaString("twincubes.xml"));
        QCOMPARE(subTitle(), QStringLiteral("Sales: First of the twins"));
        drag("SchemaTree", "Region", "SlicerTree");
        QVERIFY(!statement().isEmpty());
        cubes()->setFocus();
        key(Qt::Key_Down);
        QCOMPARE(cubes()->currentText() + ": " + subTitle(),
                 QStringLiteral("Sales: Sales: Second of the twins"));
        QCOMPARE(tree("SlicerTree")->topLevelItemCount(), 0);
        QCOMPARE(outline(schema()), QStringList({ "Period[ ]", "  Year[ ]", "  Month[ ]" }));
        QCOMPARE(measureTicks(), QStringList({ "Revenue+", "Cost+" }));
        QCOMPARE(statement(), QString());
    }

    void connectFailure_data()
    {
        QTest::addColumn<QString>("connectionString");
        QTest::addColumn<QString>("source"); // empty: as opening the connection reports it
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("cubesLeft"); // after a Connect to the sample first
        for (const auto &[tag, string] : QList<std::pair<const char *, QString>> {
                 { "empty", "" },
                 { "unknown provider", "provider=x;data source=local" },
                 { "missing file", schemaString("missing.xml") },
                 { "unknown catalog", sampleString + "x" } })
            QTest::newRow(tag) << string << QString() << QString() << startCaption << 5;
        QTest::newRow("no cubes") << schemaString("nocubes.xml") << "MdxWizard.MdxForm"
                                  << "The catalog holds no cube, so there is none to select."
                                  << connectedCaption << 0;
    }

    void connectFailure()
    {
        QFETCH(QString, connectionString);
        QFETCH(QString, source);
        QFETCH(QString, description);
        if (source.isEmpty()) {
            try {
                Connection().open(connectionString);
                QFAIL("the connection opened");
            } catch (const Failure &failure) {
                source = failure.source();
                description = failure.description();
            }
        }
        Qt::CursorShape pointerDuringMessage = Qt::ArrowCursor;
        prompter->onShow
            = [&] { pointerDuringMessage = QGuiApplication::overrideCursor()->shape(); };
        QCOMPARE(connectTo(connectionString),
                 Messages({ { Prompter::Icon::Information, "Connection Failed: " + source,
                              cannotConnect + description } }));
        QCOMPARE(pointerDuringMessage, Qt::BusyCursor);
        QTEST(form->windowTitle(), "caption");
        QVERIFY(form->focusWidget() != cubes());

        // What an earlier Connect showed stays, but for the cubes of a catalog without any.
        connectTo(sampleString);
        QCOMPARE(connectTo(connectionString).size(), 1);
        QTEST(cubes()->count(), "cubesLeft");
        QCOMPARE(schema()->topLevelItemCount(), 4);
        QVERIFY(schema()->updatesEnabled());
    }

    // Connect reports whatever goes wrong on its way, of any type; here the wait for a server.
    void connectReportsAnyFailure()
    {
        auto indicator = std::make_shared<ThrowingIndicator>();
        form->setWaitIndicator(indicator);
        for (const auto &[toss, description] : QList<std::pair<std::function<void()>, QString>> {
                 { [] { throw std::runtime_error("disk on fire"); }, "disk on fire" },
                 { [] { throw 42; }, "An error of unknown kind occurred." } }) {
            indicator->toss = toss;
            QCOMPARE(
                connectTo("provider=msolap;data source=http://127.0.0.1:1/xmla"),
                Messages({ { Prompter::Icon::Information, "Connection Failed: MdxWizard.MdxForm",
                             cannotConnect + description } }));
        }
    }

    void failedLoadIsReportedAndTheWindowGoesOn()
    {
        connectTo(schemaString("nohierarchy.xml"));
        key(Qt::Key_Down);
        QCOMPARE(messages(),
                 Messages({ { Prompter::Icon::Critical, "Unexpected Error",
                              "There is no item 0 among the hierarchies of dimension [Product]: "
                              "there are none.\r\n\r\nSource: MdxWizard.Catalog" } }));
        QVERIFY(form->isVisible());
        // As far as it got, and drawn again.
        QCOMPARE(outline(schema()),
                 QStringList({ "Region[ ]", "  (All)[ ]", "  Country[ ]", "Product[ ]" }));
        QVERIFY(schema()->updatesEnabled());

        key(Qt::Key_Up);
        QCOMPARE(messages(), Messages());
        QCOMPARE(subTitle(), QStringLiteral("Alpha: Sound"));
        QCOMPARE(outline(schema()), QStringList({ "Region[ ]", "  (All)[ ]", "  Country[ ]" }));
    }

    void showCubesForAHost()
    {
        MdxForm hosted(prompter);
        Connection connection;
        connection.open(sampleString);
        hosted.showCubes(connection);
        QVERIFY(hosted.isVisible() && !hosted.isModal());
        QCOMPARE(hosted.windowTitle(), connectedCaption);
        // A closed connection is the host's failure to handle.
        QVERIFY_THROWS_EXCEPTION(Failure, hosted.showCubes(Connection()));
        QCOMPARE(messages(), Messages());
    }
};

QTEST_MAIN(TestMdxForm)
#include "tst_mdxform.moc"
