// The window as it comes up, Connect, the cube list and loading a cube.
#include "formtesting.h"

#include "catalog/catalog.h"
#include "model/failure.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QPushButton>
#include <QSignalSpy>

using namespace mdx;
using namespace mdx::test;

namespace {

const QString startCaption = QStringLiteral("Orvanta 3.0 Mdx Builder Utility Program");
const QString connectedCaption = QStringLiteral("Orvanta 3.0 MDX Wizard");
const QString cannotConnect = QStringLiteral(
    "There is an error. The application cannot connect to the datasource.\r\n\r\n");

QStringList comboTexts(QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i) + QLatin1Char('#') + combo->itemData(i).toString();
    return texts;
}

QStringList measureTexts(const MdxForm &form)
{
    auto *list = control<QListWidget>(form, "MeasuresList");
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text() + (list->item(i)->checkState() == Qt::Checked ? "+" : "-");
    return texts;
}

// What opening the connection itself reports, to compare the message with.
Failure openFailure(const QString &connectionString)
{
    try {
        Connection().open(connectionString);
    } catch (const Failure &failure) {
        return failure;
    }
    return Failure(0, QStringLiteral("opened"), QString());
}

const QStringList budgetSchema { "Account[ ]",       "  (All)[ ]",      "  Account[ ]",
                                 "Category[ ]",      "  (All)[ ]",      "  Category[ ]",
                                 "Store[ ]",         "  (All)[ ]",      "  Store Country[ ]",
                                 "  Store State[ ]", "  Store City[ ]", "  Store Name[ ]",
                                 "Time[ ]",          "  Year[ ]",       "  Quarter[ ]",
                                 "  Month[ ]" };

} // namespace

class TestMdxForm : public QObject
{
    Q_OBJECT

    std::shared_ptr<RecordingPrompter> prompter;
    std::unique_ptr<MdxForm> form;

private slots:
    void init()
    {
        prompter = std::make_shared<RecordingPrompter>();
        form = std::make_unique<MdxForm>(prompter);
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void cleanup()
    {
        form.reset();
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void layout_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("twipRect");
        QTest::addColumn<QString>("text");
        auto row = [](const char *name, const char *parent, int l, int t, int w, int h,
                      const char *text = "") {
            QTest::newRow(name) << QString::fromLatin1(parent) << QRect(l, t, w, h)
                                << QString::fromLatin1(text);
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
        QFETCH(QString, parent);
        QFETCH(QRect, twipRect);
        QFETCH(QString, text);
        auto *widget = form->findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget()->objectName(), parent);
        QCOMPARE(widget->geometry(),
                 QRect(twipRect.x() / 15, twipRect.y() / 15, twipRect.width() / 15,
                       twipRect.height() / 15));
        QString shown = widget->property("text").toString();
        if (auto *box = qobject_cast<QPlainTextEdit *>(widget))
            shown = box->toPlainText();
        QCOMPARE(shown, text);
        QVERIFY(widget->isVisible());
    }

    void window()
    {
        QCOMPARE(form->windowTitle(), startCaption);
        QCOMPARE(form->size(), QSize(663, 600));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        const Qt::WindowFlags flags = form->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!form->windowIcon().isNull());

        // The design font resolves to one with its metrics, at the designed sizes.
        QCOMPARE(QFontInfo(form->font()).family(), QStringLiteral("Liberation Sans"));
        QCOMPARE(form->font().pointSizeF(), 8.25);
        const QFont title = control<QLabel>(*form, "TitleLabel")->font();
        QCOMPARE(title.pointSizeF(), 18.0);
        QCOMPARE(title.weight(), QFont::Normal);
        QVERIFY(statementBox(*form)->font().bold());
        QCOMPARE(statementBox(*form)->font().pointSizeF(), 8.25);

        auto *box = statementBox(*form);
        QVERIFY(!box->isReadOnly());
        QCOMPARE(box->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(box->palette().color(QPalette::Base), form->palette().color(QPalette::Button));
        auto *banner = control<QWidget>(*form, "Picture1");
        QVERIFY(banner->autoFillBackground());
        QCOMPARE(banner->palette().color(banner->backgroundRole()), QColor(Qt::white));

        QCOMPARE(control<QLabel>(*form, "ConnectImage")->toolTip(), QStringLiteral("Connect"));
        QCOMPARE(control<QPushButton>(*form, "CancelButton")->toolTip(), QStringLiteral("Close"));
        QVERIFY(control<QPushButton>(*form, "CopyButton")->isDefault());
        QVERIFY(!control<QComboBox>(*form, "CubeCombo")->isEditable());
        QCOMPARE(control<QLabel>(*form, "ConnectImage")->pixmap().size(), QSize(16, 16));
        QVERIFY(!control<QLabel>(*form, "OrvantaLogo")->pixmap().isNull());
        QVERIFY(control<QLabel>(*form, "OrvantaLogo")->hasScaledContents());
    }

    void tabOrder()
    {
        control<QWidget>(*form, "Picture1")->setFocus();
        QStringList order { form->focusWidget()->objectName() };
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(form->windowHandle(), Qt::Key_Tab);
            order << form->focusWidget()->objectName();
        }
        QCOMPARE(order,
                 QStringList({ "Picture1", "ConnectionStringTextbox", "CubeCombo", "SchemaTree",
                               "RowTree", "ColumnTree", "SlicerTree", "MeasuresList", "MdxTextbox",
                               "CopyButton", "OKButton", "CancelButton", "Picture1" }));
    }

    void connectLoadsTheFirstCube()
    {
        connectTo(*form, sampleString);
        QCOMPARE(prompter->messages, QList<Message>());
        QCOMPARE(form->windowTitle(), connectedCaption);
        auto *combo = control<QComboBox>(*form, "CubeCombo");
        QCOMPARE(
            comboTexts(combo),
            QStringList({ "Budget#0", "HR#1", "Sales#2", "Warehouse#3", "Warehouse and Sales#4" }));
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(combo->toolTip(), QStringLiteral("Budget"));
        QCOMPARE(control<QLabel>(*form, "SubTitleLabel")->text(),
                 QStringLiteral("Budget: FoodMart 2000 - Budget Planing"));
        QCOMPARE(form->focusWidget(), combo);

        QTreeWidget *schema = tree(*form, "SchemaTree");
        QCOMPARE(outline(schema), budgetSchema);
        for (int i = 0; i < schema->topLevelItemCount(); ++i)
            QVERIFY(!schema->topLevelItem(i)->isExpanded());
        QCOMPARE(schema->selectedItems(), QList<QTreeWidgetItem *>({ item(schema, "Account") }));
        for (const char *axis : { "RowTree", "ColumnTree", "SlicerTree" })
            QCOMPARE(tree(*form, axis)->topLevelItemCount(), 0);
        QCOMPARE(measureTexts(*form), QStringList({ "Amount+" }));
        QCOMPARE(control<QListWidget>(*form, "MeasuresList")->currentRow(), -1);
        QCOMPARE(statementBox(*form)->toPlainText(), QString());
        QCOMPARE(form->mdxString(), QString());
        QVERIFY(schema->updatesEnabled());
    }

    void connectFailsToOpen_data()
    {
        QTest::addColumn<QString>("connectionString");
        QTest::newRow("empty") << "";
        QTest::newRow("unknown provider") << "provider=nosuch;data source=local";
        QTest::newRow("missing file") << schemaString(QStringLiteral("nosuchfile.xml"));
        QTest::newRow("unknown catalog")
            << "provider=msolap;data source=local;initial catalog=nosuch";
    }

    void connectFailsToOpen()
    {
        QFETCH(QString, connectionString);
        const Failure failure = openFailure(connectionString);
        QVERIFY(!failure.source().isEmpty());

        // A fresh window stays as it was; the busy pointer stays up while the box shows.
        Qt::CursorShape pointerDuringBox = Qt::ArrowCursor;
        prompter->onShow = [&](const Message &) {
            if (QGuiApplication::overrideCursor())
                pointerDuringBox = QGuiApplication::overrideCursor()->shape();
        };
        connectTo(*form, connectionString);
        QCOMPARE(prompter->take(),
                 QList<Message>(
                     { { Prompter::Icon::Information, "Connection Failed: " + failure.source(),
                         cannotConnect + failure.description() } }));
        QCOMPARE(pointerDuringBox, Qt::BusyCursor);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(form->windowTitle(), startCaption);
        QCOMPARE(control<QComboBox>(*form, "CubeCombo")->count(), 0);

        // A connected window keeps its cube and its caption.
        connectTo(*form, sampleString);
        connectTo(*form, connectionString);
        QCOMPARE(prompter->take().size(), 1);
        QCOMPARE(form->windowTitle(), connectedCaption);
        QCOMPARE(control<QComboBox>(*form, "CubeCombo")->count(), 5);
        QCOMPARE(outline(tree(*form, "SchemaTree")), budgetSchema);
    }

    void connectToCatalogWithoutCubes()
    {
        connectTo(*form, sampleString);
        connectTo(*form, schemaString(QStringLiteral("nocubes.xml")));
        const QList<Message> messages = prompter->take();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].icon, Prompter::Icon::Information);
        QCOMPARE(messages[0].title, QStringLiteral("Connection Failed: MdxWizard.MdxForm"));
        QVERIFY(messages[0].text.startsWith(cannotConnect));
        QVERIFY(messages[0].text.size() > cannotConnect.size());
        // The list is emptied and the caption set before the failure; the cube stays loaded.
        QCOMPARE(control<QComboBox>(*form, "CubeCombo")->count(), 0);
        QCOMPARE(form->windowTitle(), connectedCaption);
        QCOMPARE(outline(tree(*form, "SchemaTree")), budgetSchema);
        QCOMPARE(measureTexts(*form), QStringList({ "Amount+" }));
    }

    void firstCubeWithMeasuresOnly()
    {
        connectTo(*form, schemaString(QStringLiteral("measuresonly.xml")));
        const QList<Message> messages = prompter->take();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].title, QStringLiteral("Connection Failed: MdxWizard.LayoutTree"));
        QVERIFY(messages[0].text.startsWith(cannotConnect));
        QCOMPARE(form->windowTitle(), connectedCaption);
        QCOMPARE(control<QLabel>(*form, "SubTitleLabel")->text(),
                 QStringLiteral("Counts: Measures and nothing else"));
        QCOMPARE(measureTexts(*form), QStringList({ "Visits+", "Orders+" }));
        QCOMPARE(tree(*form, "SchemaTree")->topLevelItemCount(), 0);
        QVERIFY(tree(*form, "SchemaTree")->updatesEnabled());

        // The focus stays where it was; the other cube can still be chosen.
        auto *combo = control<QComboBox>(*form, "CubeCombo");
        QVERIFY(form->focusWidget() != combo);
        combo->setFocus();
        QTest::keyClick(form->windowHandle(), Qt::Key_Down);
        QCOMPARE(prompter->messages, QList<Message>());
        QCOMPARE(control<QLabel>(*form, "SubTitleLabel")->text(), QStringLiteral("Shop"));
        QCOMPARE(outline(tree(*form, "SchemaTree")),
                 QStringList({ "Region[ ]", "  (All)[ ]", "  Country[ ]", "  City[ ]" }));
        QCOMPARE(measureTexts(*form), QStringList({ "Revenue+" }));
    }

    void connectAgainOrChooseAnotherCubeStartsAfresh()
    {
        connectTo(*form, sampleString);
        drag(*form, tree(*form, "SchemaTree"), item(tree(*form, "SchemaTree"), "Store"),
             tree(*form, "RowTree"));
        QCOMPARE(tree(*form, "RowTree")->topLevelItemCount(), 1);
        QVERIFY(!statementBox(*form)->toPlainText().isEmpty());

        connectTo(*form, sampleString);
        QCOMPARE(tree(*form, "RowTree")->topLevelItemCount(), 0);
        QCOMPARE(outline(tree(*form, "SchemaTree")), budgetSchema);
        QCOMPARE(control<QComboBox>(*form, "CubeCombo")->count(), 5);
        QCOMPARE(statementBox(*form)->toPlainText(), QString());

        drag(*form, tree(*form, "SchemaTree"), item(tree(*form, "SchemaTree"), "Time"),
             tree(*form, "SlicerTree"));
        QCOMPARE(tree(*form, "SlicerTree")->topLevelItemCount(), 1);
        control<QComboBox>(*form, "CubeCombo")->setFocus();
        QTest::keyClick(form->windowHandle(), Qt::Key_Down);
        QCOMPARE(control<QComboBox>(*form, "CubeCombo")->toolTip(), QStringLiteral("HR"));
        QCOMPARE(control<QLabel>(*form, "SubTitleLabel")->text(),
                 QStringLiteral("HR: FoodMart 2000 - HR Salary Cube"));
        QCOMPARE(tree(*form, "SlicerTree")->topLevelItemCount(), 0);
        QCOMPARE(item(tree(*form, "SchemaTree"), "Pay Type")->childCount(), 2);
        QCOMPARE(measureTexts(*form),
                 QStringList({ "Org Salary+", "Count+", "Number of Employees+", "Employee Salary+",
                               "Avg Salary+" }));
        QCOMPARE(statementBox(*form)->toPlainText(), QString());
    }

    void twinCubesOpenTheirOwnDefinitions()
    {
        connectTo(*form, schemaString(QStringLiteral("twincubes.xml")));
        QCOMPARE(comboTexts(control<QComboBox>(*form, "CubeCombo")),
                 QStringList({ "Sales#0", "Sales#1" }));
        QCOMPARE(control<QLabel>(*form, "SubTitleLabel")->text(),
                 QStringLiteral("Sales: First of the twins"));
        QTest::keyClick(form->windowHandle(), Qt::Key_Down);
        QCOMPARE(control<QLabel>(*form, "SubTitleLabel")->text(),
                 QStringLiteral("Sales: Second of the twins"));
        QCOMPARE(outline(tree(*form, "SchemaTree")),
                 QStringList({ "Period[ ]", "  Year[ ]", "  Month[ ]" }));
        QCOMPARE(measureTexts(*form), QStringList({ "Revenue+", "Cost+" }));
    }

    void failedLoadIsReportedAndTheWindowGoesOn()
    {
        connectTo(*form, schemaString(QStringLiteral("nohierarchy.xml")));
        QCOMPARE(prompter->take(), QList<Message>());
        QTest::keyClick(form->windowHandle(), Qt::Key_Down);

        const QList<Message> messages = prompter->take();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].icon, Prompter::Icon::Critical);
        QCOMPARE(messages[0].title, QStringLiteral("Unexpected Error"));
        QVERIFY(messages[0].text.endsWith(QStringLiteral("\r\n\r\nSource: MdxWizard.Catalog")));
        QVERIFY(form->isVisible());
        // As far as it got, and drawn again.
        QCOMPARE(outline(tree(*form, "SchemaTree")),
                 QStringList({ "Region[ ]", "  (All)[ ]", "  Country[ ]", "Product[ ]" }));
        QVERIFY(tree(*form, "SchemaTree")->updatesEnabled());
        QCOMPARE(control<QLabel>(*form, "SubTitleLabel")->text(),
                 QStringLiteral("Broken: Its Product dimension has no hierarchy"));

        QTest::keyClick(form->windowHandle(), Qt::Key_Up);
        QCOMPARE(prompter->messages, QList<Message>());
        QCOMPARE(control<QLabel>(*form, "SubTitleLabel")->text(), QStringLiteral("Alpha: Sound"));
        QCOMPARE(outline(tree(*form, "SchemaTree")),
                 QStringList({ "Region[ ]", "  (All)[ ]", "  Country[ ]" }));
    }

    void showCubesFromAHost()
    {
        MdxForm hosted(prompter);
        QSignalSpy closed(&hosted, &MdxForm::closed);
        Connection connection;
        connection.open(sampleString);
        hosted.showCubes(connection);
        QVERIFY(hosted.isVisible());
        QVERIFY(!hosted.isModal());
        QCOMPARE(hosted.windowTitle(), connectedCaption);
        QCOMPARE(control<QComboBox>(hosted, "CubeCombo")->count(), 5);

        // A closed connection is the host's failure to handle, not the window's.
        QVERIFY_THROWS_EXCEPTION(Failure, hosted.showCubes(Connection()));
        QCOMPARE(prompter->messages, QList<Message>());
        QCOMPARE(closed.count(), 0);
    }
};

QTEST_MAIN(TestMdxForm)
#include "tst_mdxform.moc"
