// The window as it comes up, Connect, the cube list and loading a cube.
#include "formtesting.h"

#include "catalog/catalog.h"
#include "catalog/waitindicator.h"
#include "model/failure.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>

#include <stdexcept>

using namespace mdx;
using namespace mdx::test;

namespace {

const QString startCaption = QStringLiteral("Orvanta 3.0 Mdx Builder Utility Program");
const QString connectedCaption = QStringLiteral("Orvanta 3.0 MDX Wizard");
const QStringList budgetSchema {
    "Account[ ]",      "  (All)[ ]",      "  Account[ ]", "Category[ ]",        "  (All)[ ]",
    "  Category[ ]",   "Store[ ]",        "  (All)[ ]",   "  Store Country[ ]", "  Store State[ ]",
    "  Store City[ ]", "  Store Name[ ]", "Time[ ]",      "  Year[ ]",          "  Quarter[ ]",
    "  Month[ ]",
};

} // namespace

class TestMdxForm : public QObject, FormFixture
{
    Q_OBJECT

    QString subTitle() const { return control<QLabel>("SubTitleLabel")->text(); }

private slots:
    void init() { QVERIFY(open()); }
    void cleanup()
    {
        form.reset();
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void layout_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("text");
        auto row = [](const char *name, const char *parent, int l, int t, int w, int h,
                      const char *text = "") {
            QTest::newRow(name) << parent << QRect(l, t, w, h) << text;
        };
        row("Picture1", "MdxForm", 0, 0, 9945, 1095);
        row("TitleLabel", "Picture1", 120, 120, 8775, 495,
            "Orvanta 3.0 MDX Builder Utility Program");
        row("SubTitleLabel", "Picture1", 240, 600, 8655, 495,
            "Use this program to help construct MDX strings that will allow Orvanta to extract "
            "the information that it needs in an easy-to-understand layout. When you have your "
            "fields in the appropriate locations, click the OK button.");
        row("OrvantaLogo", "Picture1", 9000, 120, 780, 675);
        row("ConnectionLabel", "MdxForm", 120, 1440, 1095, 255, "Connection:");
        row("ConnectionStringTextbox", "MdxForm", 1200, 1440, 8415, 285,
            "provider=msolap;data source=local;initial catalog=foodmart 2000");
        row("ConnectImage", "MdxForm", 9600, 1440, 240, 240);
        row("CubeLabel", "MdxForm", 120, 1920, 855, 255, "Cube:");
        row("CubeCombo", "MdxForm", 1200, 1920, 1695, 315);
        row("SlicerLabel", "MdxForm", 3000, 1920, 1455, 255, "Slicers:");
        row("SlicerTree", "MdxForm", 3000, 2160, 3375, 1095);
        row("ColumnLabel", "MdxForm", 6480, 1920, 1215, 255, "Columns:");
        row("ColumnTree", "MdxForm", 6480, 2160, 3375, 1095);
        row("SchemaLabel", "MdxForm", 120, 2400, 1095, 255, "Schema:");
        row("SchemaTree", "MdxForm", 120, 2640, 2775, 4455);
        row("RowLabel", "MdxForm", 3000, 3360, 1575, 255, "Rows:");
        row("RowTree", "MdxForm", 3000, 3600, 3375, 3495);
        row("MeasureLabel", "MdxForm", 6480, 3360, 1335, 255, "Measures:");
        row("MeasuresList", "MdxForm", 6480, 3600, 3375, 3435);
        row("MdxTextbox", "MdxForm", 120, 7200, 9735, 1215);
        row("CopyButton", "MdxForm", 6360, 8520, 1095, 375, "Copy");
        row("OKButton", "MdxForm", 7560, 8520, 1095, 375, "&OK");
        row("CancelButton", "MdxForm", 8760, 8520, 1095, 375, "Cancel");
    }

    void layout()
    {
        QFETCH(QRect, twips);
        QWidget *widget = control(QTest::currentDataTag());
        QVERIFY(widget && widget->isVisible());
        QTEST(widget->parentWidget()->objectName(), "parent");
        QCOMPARE(widget->geometry(), QRect(twips.topLeft() / 15, twips.size() / 15));
        const auto *box = qobject_cast<QPlainTextEdit *>(widget);
        QTEST(box ? box->toPlainText() : widget->property("text").toString(), "text");
    }

    void windowSettingsAndTabOrder()
    {
        QCOMPARE(form->windowTitle(), startCaption);
        QCOMPARE(form->minimumSize(), QSize(663, 600));
        QCOMPARE(form->maximumSize(), QSize(663, 600));
        QCOMPARE(form->windowFlags()
                     & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                        | Qt::WindowCloseButtonHint),
                 Qt::WindowCloseButtonHint);
        // The design font resolves to one of the same metrics, at the designed sizes.
        QCOMPARE(QFontInfo(form->font()).family(), QStringLiteral("Liberation Sans"));
        QCOMPARE(form->font().pointSizeF(), 8.25);
        QCOMPARE(control("TitleLabel")->font().pointSizeF(), 18.0);
        QVERIFY(!control("TitleLabel")->font().bold() && control("MdxTextbox")->font().bold());
        QVERIFY(control<QPushButton>("CopyButton")->isDefault());
        QCOMPARE(control("ConnectImage")->toolTip() + control("CancelButton")->toolTip(),
                 QStringLiteral("ConnectClose"));

        control("Picture1")->setFocus();
        QStringList order { form->focusWidget()->objectName() };
        for (int i = 0; i < 12; ++i) {
            key(Qt::Key_Tab);
            order << form->focusWidget()->objectName();
        }
        QCOMPARE(order,
                 QStringList({ "Picture1", "ConnectionStringTextbox", "CubeCombo", "SchemaTree",
                               "RowTree", "ColumnTree", "SlicerTree", "MeasuresList", "MdxTextbox",
                               "CopyButton", "OKButton", "CancelButton", "Picture1" }));
    }

    // The first cube loaded, and the same again after a second Connect.
    void connectLoadsTheFirstCubeAfresh()
    {
        QCOMPARE(connectTo(sampleString), Messages());
        for (int pass = 0; pass < 2; ++pass) {
            QCOMPARE(form->windowTitle(), connectedCaption);
            QStringList entries;
            for (int i = 0; i < cubes()->count(); ++i)
                entries << cubes()->itemText(i) + '#' + cubes()->itemData(i).toString();
            QCOMPARE(entries,
                     QStringList({ "Budget#0", "HR#1", "Sales#2", "Warehouse#3",
                                   "Warehouse and Sales#4" }));
            QCOMPARE(cubes()->currentIndex(), 0);
            QCOMPARE(cubes()->toolTip(), QStringLiteral("Budget"));
            QCOMPARE(subTitle(), QStringLiteral("Budget: FoodMart 2000 - Budget Planing"));
            QCOMPARE(form->focusWidget(), cubes());
            QCOMPARE(outline(schema()), budgetSchema);
            for (QTreeWidgetItemIterator it(schema()); *it; ++it)
                QVERIFY(!(*it)->isExpanded());
            QCOMPARE(schema()->selectedItems(), { item(schema(), "Account") });
            QCOMPARE(measureTicks(), QStringList({ "Amount+" }));
            QCOMPARE(measures()->currentRow(), -1);
            QCOMPARE(tree("RowTree")->topLevelItemCount(), 0);
            QCOMPARE(statement(), QString());
            drag("SchemaTree", "Store", "RowTree");
            QVERIFY(!statement().isEmpty());
            connectTo(sampleString);
        }
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
        QTest::addColumn<int>("dimensionsLeft");
        auto opening = [](const char *name, const QString &connectionString) {
            QTest::newRow(name) << connectionString << ""
                                << "" << startCaption << 5 << 4;
        };
        opening("empty", "");
        opening("unknown provider", "provider=x;data source=local");
        opening("missing file", schemaString("missing.xml"));
        opening("unknown catalog", sampleString + "x");
        QTest::newRow("no cubes") << schemaString("nocubes.xml") << "MdxWizard.MdxForm"
                                  << "The catalog holds no cube, so there is none to select."
                                  << connectedCaption << 0 << 4;
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

        connectTo(sampleString);
        QCOMPARE(connectTo(connectionString).size(), 1);
        QTEST(cubes()->count(), "cubesLeft");
        QTEST(schema()->topLevelItemCount(), "dimensionsLeft");
        QVERIFY(schema()->updatesEnabled());
    }

    // Connect reports whatever goes wrong on its way, of any type; here the wait for a server.
    void connectReportsAnyFailure_data()
    {
        QTest::addColumn<bool>("standard");
        QTest::addColumn<QString>("description");
        QTest::newRow("std::exception") << true << "disk on fire";
        QTest::newRow("anything else") << false << "An error of unknown kind occurred.";
    }

    void connectReportsAnyFailure()
    {
        struct Throwing : WaitIndicator
        {
            bool standard = false;
            void begin(const QString &, std::function<void()>) override
            {
                if (standard)
                    throw std::runtime_error("disk on fire");
                throw 42;
            }
            void end() override { }
        };
        QFETCH(bool, standard);
        QFETCH(QString, description);
        auto indicator = std::make_shared<Throwing>();
        indicator->standard = standard;
        form->setWaitIndicator(indicator);
        QCOMPARE(connectTo("provider=msolap;data source=http://127.0.0.1:1/xmla"),
                 Messages({ { Prompter::Icon::Information, "Connection Failed: MdxWizard.MdxForm",
                              cannotConnect + description } }));
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
