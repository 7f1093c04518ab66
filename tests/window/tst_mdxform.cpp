// The wizard's window: its controls, Connect and the cubes, each handler reached by its
// mouse or key event, the window's own drag and its pointers, the commands that hand the
// statement on, and what assistive technology is told. The rules behind the handlers are
// tst_query's. Then the member window on its own: pages of a long level, children when a
// member opens, check marks, find, select all and none, counts, a source without members.
#include "fakehttpserver.h"
#include "formtesting.h"

#include "catalog/waitindicator.h"
#include "model/failure.h"
#include "window/memberchooser.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTreeView>

#include <stdexcept>

using namespace mdx;
using namespace mdx::test;

namespace {

const QString startCaption = QStringLiteral("Orvanta 3.0 Mdx Builder Utility Program");
const QString connectedCaption = QStringLiteral("Orvanta 3.0 MDX Wizard");
const QString budget = QStringLiteral("select {[Measures].[Amount]} on columns from Budget");
const Message copySuccess { Prompter::Icon::Information, "Copy Success",
                            "The MDX string has been saved to your clipboard." };

// Throws from the wait for the server, as anything on Connect's way might.
struct ThrowingIndicator : WaitIndicator
{
    std::function<void()> toss;
    void begin(const QString &, std::function<void()>) override { toss(); }
    void end() override { }
};

QStringList dimensions(QTreeWidget *tree)
{
    QStringList names;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (!tree->topLevelItem(i)->isHidden())
            names << tree->topLevelItem(i)->text(0);
    }
    return names;
}

constexpr auto accessible = &QAccessible::queryAccessibleInterface;

// The hot spot tells the drag cursors apart: (16, 8) drop allowed, (0, 0) no drop.
QPoint dragHotSpot()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    return cursor ? cursor->hotSpot() : QPoint(-1, -1);
}

} // namespace

class TestMdxForm : public QObject, FormFixture
{
    Q_OBJECT

    QString subTitle() const { return control<QLabel>("SubTitleLabel")->text(); }
    QTreeWidget *rows() const { return tree("RowTree"); }
    void focusOn(QTreeWidget *tree, const QString &text, const QString &dimension = {})
    {
        tree->setFocus();
        tree->setCurrentItem(item(tree, text, dimension));
    }
    void undo() { key(Qt::Key_Z, Qt::ControlModifier); }
    // Acts on the member window once it is up (its lists are read before it shows), then
    // presses Ctrl+M.
    void chooseMembers(const std::function<void(MemberChooser *)> &act)
    {
        whenUp<MemberChooser>([&](MemberChooser *chooser) {
            act(chooser);
            chooser->close();
        });
        key(Qt::Key_M, Qt::ControlModifier);
        QVERIFY(!poll.isActive());
        // Offscreen, the window does not become active again by itself.
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
    QPoint measure(int row, bool checkBox = false) const
    {
        QStyleOptionViewItem option;
        option.initFrom(measures());
        option.rect = measures()->visualItemRect(measures()->item(row));
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = measures()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator,
                                                              &option, measures());
        return at(measures()->viewport(), checkBox ? box.center() : option.rect.center());
    }

private slots:
    void init()
    {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QVERIFY(open());
    }
    void cleanup() { close(); }

    // Every named control under its parent, two positions from the design, the texts; the
    // window fixed in size, its font; the tab order.
    void layoutAndSettings()
    {
        const QStringList banner { "TitleLabel", "SubTitleLabel", "OrvantaLogo" };
        const QStringList order = QString("Picture1 ConnectionStringTextbox CubeCombo SchemaTree "
                                          "NonEmptyCheck RowTree ColumnTree SlicerTree "
                                          "MeasuresList MdxTextbox CopyButton OKButton "
                                          "CancelButton")
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
        for (const QString &name :
             QStringList { "TitleLabel", "NonEmptyCheck" } + labels + order.mid(10))
            texts << control(name.toLatin1())->property("text").toString();
        QCOMPARE(texts.join('|'),
                 "Orvanta 3.0 MDX Builder Utility Program|Non Empty|Connection:||Cube:|Slicers:|"
                 "Columns:|Schema:|Rows:|Measures:|Copy|&OK|Cancel");
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

    // Only a left click on the picture connects; a second Connect loads the catalog afresh.
    // Another cube starts afresh too; twin names open their own definitions, by position.
    void connectAndChooseCubes()
    {
        click(at("ConnectImage"), Qt::RightButton);
        release(at("ConnectImage"));
        QCOMPARE(form->windowTitle(), startCaption);
        for (int pass = 0; pass < 2; ++pass) {
            QCOMPARE(connectTo(sampleString), Messages());
            QStringList entries;
            for (int i = 0; i < cubes()->count(); ++i)
                entries << cubes()->itemText(i);
            QCOMPARE(entries.join(','), "Budget,HR,Sales,Warehouse,Warehouse and Sales");
            QCOMPARE(form->windowTitle() + "|" + cubes()->toolTip() + "|" + subTitle(),
                     connectedCaption + "|Budget|Budget: FoodMart 2000 - Budget Planing");
            QCOMPARE(form->focusWidget(), cubes());
        }
        key(Qt::Key_Down);
        QCOMPARE(cubes()->toolTip() + "|" + subTitle(),
                 QStringLiteral("HR|HR: FoodMart 2000 - HR Salary Cube"));

        connectTo(schemaString("twincubes.xml"));
        QCOMPARE(subTitle(), QStringLiteral("Sales: First of the twins"));
        drag("SchemaTree", "Region", "SlicerTree");
        cubes()->setFocus();
        key(Qt::Key_Down);
        QCOMPARE(cubes()->currentText() + ": " + subTitle(),
                 QStringLiteral("Sales: Sales: Second of the twins"));
        QCOMPARE(statement(), QString());
    }

    void connectFailure_data()
    {
        QTest::addColumn<QString>("connectionString");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("cubesLeft"); // after a Connect to the sample first
        const QString unknown = "The local data source has no catalog \"foodmart 2000x\". Its "
                                "catalogs are: \"FoodMart 2000\".";
        QTest::newRow("unknown catalog") << sampleString + "x"
                                         << "MdxWizard.Catalog" << unknown << startCaption << 5;
        QTest::newRow("no cubes") << schemaString("nocubes.xml") << "MdxWizard.MdxForm"
                                  << "The catalog holds no cube, so there is none to select."
                                  << connectedCaption << 0;
    }

    // The message, under the busy pointer; what an earlier Connect showed stays, but for the
    // cubes of a catalog without any.
    void connectFailure()
    {
        QFETCH(QString, connectionString);
        QFETCH(QString, source);
        QFETCH(QString, description);
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
        QCOMPARE(schema()->topLevelItemCount(), 4);
    }

    // Connect reports whatever goes wrong on its way, of any type (here the wait for a server).
    // A cube that fails half way is reported, drawn as far as it got, and the window goes on.
    void failuresAreReportedAndTheWindowGoesOn()
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

        connectTo(schemaString("nohierarchy.xml"));
        key(Qt::Key_Down);
        QCOMPARE(messages(),
                 Messages({ { Prompter::Icon::Critical, "Unexpected Error",
                              "There is no item 0 among the hierarchies of dimension [Product]: "
                              "there are none.\r\n\r\nSource: MdxWizard.Catalog" } }));
        QCOMPARE(schema()->topLevelItemCount(), 2);
        QVERIFY(schema()->updatesEnabled());
        key(Qt::Key_Up);
        QCOMPARE(messages(), Messages());
        QCOMPARE(subTitle(), QStringLiteral("Alpha: Sound"));
    }

    // A press on a node presses it and starts the drag; the pointer follows the control under
    // it; the release drops there, a refusal shown, and a control without a drop rule takes
    // nothing. The expand indicator only opens the dimension.
    void dragAndDrop()
    {
        connectTo(sampleString);
        QTreeWidgetItem *store = item(schema(), "Store");
        const QRect storeRect = schema()->visualItemRect(store);
        click(at(schema()->viewport(), { storeRect.left() - 10, storeRect.center().y() }));
        QVERIFY(store->isExpanded());
        QCOMPARE(statement(), QString());

        QTreeWidgetItem *country = item(schema(), "Store Country", "Store");
        press(at(schema(), country));
        QCOMPARE(country->checkState(0), Qt::Checked);
        QCOMPARE(statement(), budget);
        QCOMPARE(dragHotSpot(), QPoint(0, 0));
        const QList<std::pair<const char *, QPoint>> way {
            { "RowTree", { 16, 8 } },    { "RowLabel", { 16, 8 } },  { "MeasuresList", { 0, 0 } },
            { "ColumnTree", { 16, 8 } }, { "CubeCombo", { 16, 8 } }, { "MdxForm", { 0, 0 } },
            { "SlicerTree", { 16, 8 } }, { "SchemaTree", { 0, 0 } }, { "RowTree", { 16, 8 } },
        };
        for (const auto &[name, hotSpot] : way) {
            move(name == QLatin1String("MdxForm") ? QPoint(300, 85) : at(name));
            QCOMPARE(dragHotSpot(), hotSpot);
        }
        release(at(rows()));
        const QString stores = "select {descendants([Store].currentmember,[Store].[Store Name])} "
                               "on rows, {[Measures].[Amount]} on columns from Budget";
        QCOMPARE(statement(), stores);
        drag("RowTree", "Store", "SchemaTree");
        drag("RowTree", "Store", "MdxTextbox");
        QCOMPARE(messages(),
                 Messages({ { Prompter::Icon::Exclamation, "Invalid Axis",
                              "This wizard only supports up to 3 dimensions on any axis." } }));
        QCOMPARE(statement(), stores);
    }

    // The right button opens the menu for the node under it, changing nothing else; the entry
    // for the node's own tree is disabled. Presses that hit no node: other buttons, left of a
    // level node, where there is no expand indicator, and blank space; a drag from there moves
    // nothing. A double click is one press, and opens or closes the dimension.
    void rightButtonAndPressesBesideNodes()
    {
        connectTo(sampleString);
        const QStringList before = outline(schema());
        click(at(schema(), item(schema(), "Time")), Qt::RightButton);
        QCOMPARE(outline(schema()), before);
        QCOMPARE(schema()->currentItem()->text(0), "Account");
        key(Qt::Key_H); // the entry for its own tree, disabled: the menu stays
        key(Qt::Key_R);
        QCOMPARE(dimensions(rows()), QStringList({ "Time" }));
        control<QPlainTextEdit>("MdxTextbox")->setPlainText("hand");
        QTreeWidgetItem *year = item(rows(), "Year", "Time");
        for (Qt::MouseButton button : { Qt::RightButton, Qt::MiddleButton })
            click(at(rows(), year), button);
        const QRect rect = rows()->visualItemRect(year);
        for (QPoint pos : { QPoint(rect.left() - 5, rect.center().y()),
                            QPoint(2, rect.center().y()), QPoint(100, rows()->height() - 10) }) {
            press(at(rows()->viewport(), pos));
            QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
            move(at(rows(), item(rows(), "Time")));
            release(at("SlicerTree"));
        }
        QCOMPARE(tree("SlicerTree")->topLevelItemCount(), 0);
        QCOMPARE(form->mdxString(), QStringLiteral("hand"));

        QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {},
                           at(rows(), item(rows(), "Time")));
        QCOMPARE(item(rows(), "Time")->checkState(0), Qt::Unchecked);
        QVERIFY(!item(rows(), "Time")->isExpanded());
        QVERIFY(statement().startsWith("select {descendants([Time]"));
    }

    // What assistive technology is told: names, ticks and check marks. A click on the box or
    // on the text and Space all flip the tick and rebuild; a double click is two clicks. The
    // entry clicked last is current, and nothing is highlighted. The last tick stays, and says
    // why.
    void measureTicking()
    {
        connectTo(sampleString);
        for (const QString pair : { "ConnectionStringTextbox=Connection", "ConnectImage=Connect",
                                    "SchemaTree=Schema", "OKButton=OK", "MeasuresList=Measures",
                                    "MdxTextbox=MDX statement", "NonEmptyCheck=Non Empty" }) {
            QWidget *widget = control(pair.section('=', 0, 0).toLatin1());
            QCOMPARE(accessible(widget)->text(QAccessible::Name), pair.section('=', 1));
        }
        QVERIFY(accessible(measures())->child(0)->state().checked);
        // Account, past the header
        const QAccessible::State account = accessible(schema())->child(1)->state();
        QVERIFY(account.checkable && !account.checked);

        click(measure(0));
        QCOMPARE(messages(),
                 Messages({ { Prompter::Icon::Information, "Invalid Selection",
                              "Must have at least one measure checked" } }));
        QCOMPARE(measures()->item(0)->checkState(), Qt::Checked);
        cubes()->setFocus();
        key(Qt::Key_Down);
        const QList<std::tuple<const char *, std::function<void()>, int, Qt::CheckState>> flips {
            { "box", [&] { click(measure(0, true)); }, 0, Qt::Unchecked },
            { "text", [&] { click(measure(1)); }, 1, Qt::Unchecked },
            { "Space", [&] { key(Qt::Key_Space); }, 1, Qt::Checked },
            { "double click",
              [&] { QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, measure(1)); }, 1,
              Qt::Checked },
        };
        for (const auto &[how, flip, row, tick] : flips) {
            control<QPlainTextEdit>("MdxTextbox")->setPlainText("hand");
            flip();
            QVERIFY2(measures()->item(row)->checkState() == tick, how);
            QVERIFY2(statement().endsWith("on columns from HR"), how);
            QVERIFY2(measures()->selectedItems().isEmpty(), how);
            QCOMPARE(measures()->currentRow(), row);
        }
    }

    // F6 takes the box's text, hand edits included, as the layout, on its cube; a text that
    // cannot be the layout stays in the box and is told beside the buttons.
    void reopenStatements()
    {
        connectTo(sampleString);
        auto *box = control<QPlainTextEdit>("MdxTextbox");
        auto *status = control<QLabel>("StatementStatusLabel");
        box->setPlainText("SELECT {[Measures].[Count]} ON COLUMNS,\n"
                          "  {[Store].[Store Country].Members} ON ROWS FROM HR");
        key(Qt::Key_F6);
        QCOMPARE(cubes()->currentText(), "HR");
        QCOMPARE(statement(),
                 "select {[Store].[Store Country].members} on rows, "
                 "{[Measures].[Count]} on columns from HR");

        const QString wrong
            = "select {[Store].[Store Street].members} on rows, {} on columns from HR";
        box->setPlainText(wrong);
        auto *layout = form->findChild<QAction *>("LayoutAction");
        QCOMPARE(layout->text() + ' ' + layout->shortcut().toString(),
                 "Update Layout from Statement F6");
        layout->trigger();
        QCOMPARE(status->text(), "The cube has no level [Store].[Store Street].");
        QCOMPARE(statement(), wrong);
        QCOMPARE(messages(), Messages());
        QCOMPARE(form->openStatement("select {} on columns from Nowhere"),
                 "The catalog has no cube Nowhere.");
        QCOMPARE(statement(), "select {} on columns from Nowhere");
    }

    void commands_data()
    {
        QTest::addColumn<MdxForm::CloseReason>("reason");
        QTest::newRow("OKButton") << MdxForm::CloseReason::Ok;
        QTest::newRow("Alt+O") << MdxForm::CloseReason::Ok;
        QTest::newRow("CancelButton") << MdxForm::CloseReason::Cancel;
        QTest::newRow("Escape") << MdxForm::CloseReason::Cancel;
        QTest::newRow("close box") << MdxForm::CloseReason::CloseBox;
    }

    // A hand edit is the result; Enter in the box copies it, Ctrl+Enter breaks the line. A
    // value written from outside is what Copy takes, until the box changes.
    void commands()
    {
        QFETCH(MdxForm::CloseReason, reason);
        const QByteArray how = QTest::currentDataTag();
        QSignalSpy closed(form.get(), &MdxForm::closed);
        connectTo(sampleString);
        click(at(schema(), item(schema(), "Store"))); // builds the statement
        click(at("MdxTextbox"));
        key(Qt::Key_End, Qt::ControlModifier);
        key(Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(control("MdxTextbox"), "where");
        const QString edited = budget + "\nwhere";
        key(Qt::Key_Return);
        QCOMPARE(messages(), Messages({ copySuccess }));
        QCOMPARE(QGuiApplication::clipboard()->text(), edited);
        QCOMPARE(statement(), edited);
        form->setMdxString("outside");
        click(at("CopyButton"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("outside"));
        QGuiApplication::clipboard()->setText("unchanged");
        messages();

        if (how.endsWith("Button"))
            click(at(how.constData()));
        else if (how == "close box")
            form->windowHandle()->close();
        else
            key(QKeySequence(QString(how))[0]);
        QTRY_VERIFY(!form->isVisible());
        QCOMPARE(form->closeReason(), reason);
        QCOMPARE(closed.count(), 1);
        const bool ok = reason == MdxForm::CloseReason::Ok;
        QCOMPARE(form->mdxString(), reason == MdxForm::CloseReason::Cancel ? "" : "outside");
        QCOMPARE(QGuiApplication::clipboard()->text(), ok ? "outside" : "unchanged");
        QCOMPARE(messages(), ok ? Messages({ copySuccess }) : Messages());
    }

    // A real message box, from OK before any cube: the window waits for it, then closes.
    void okBeforeAnyCubeWithARealMessageBox()
    {
        form->setPrompter(nullptr);
        QString seen;
        whenUp<QMessageBox>([&](QMessageBox *box) {
            seen = QStringList({ box->windowTitle(), box->text(), QString::number(box->icon()),
                                 QString::number(box->buttons().size()),
                                 QString::number(form->isVisible()) })
                       .join('|');
            box->button(QMessageBox::Ok)->click();
        });
        click(at("OKButton"));
        QCOMPARE(seen,
                 "Copy Success|The MDX string has been saved to your clipboard.|"
                     + QString::number(QMessageBox::Information) + "|1|1");
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());
        QTRY_VERIFY(!form->isVisible());
        QCOMPARE(form->closeReason(), MdxForm::CloseReason::Ok);
    }

    // Without a mouse: moves by key and menu, Space, undo and redo, find, F5.

    // Each way moves the dimension of the current node, there and back to the schema (by
    // Ctrl+0, or the menu's entry); the entry of the node's own tree does nothing.
    void moves_data()
    {
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::addColumn<char>("entry"); // in the menu the shortcut opens
        QTest::addColumn<QString>("target");
        QTest::newRow("Ctrl+1") << QKeySequence(Qt::CTRL | Qt::Key_1) << '\0' << "RowTree";
        QTest::newRow("Ctrl+2") << QKeySequence(Qt::CTRL | Qt::Key_2) << '\0' << "ColumnTree";
        QTest::newRow("Ctrl+3") << QKeySequence(Qt::CTRL | Qt::Key_3) << '\0' << "SlicerTree";
        QTest::newRow("menu, Rows") << QKeySequence(Qt::Key_Menu) << 'r' << "RowTree";
        QTest::newRow("Shift+F10, Columns")
            << QKeySequence(Qt::SHIFT | Qt::Key_F10) << 'c' << "ColumnTree";
        QTest::newRow("menu, Slicers") << QKeySequence(Qt::Key_Menu) << 's' << "SlicerTree";
    }

    void moves()
    {
        QFETCH(QKeySequence, shortcut);
        QFETCH(char, entry);
        QFETCH(QString, target);
        connectTo(sampleString);
        const QKeyCombination way = shortcut[0];
        // By the shortcut, or by the menu it opens and the entry's access key.
        const auto ask = [&](QKeyCombination keys, char menuEntry) {
            key(keys.key(), keys.keyboardModifiers());
            if (QWidget *menu = QApplication::activePopupWidget()) {
                QTest::keyClick(menu, menuEntry);
                if (QApplication::activePopupWidget()) // a disabled entry
                    QTest::keyClick(menu, Qt::Key_Escape);
            }
        };
        QTreeWidget *to = tree(target.toLatin1());
        // From a level node; the next dimension becomes current, so the keys go on.
        focusOn(schema(), "Store Country", "Store");
        ask(way, entry);
        ask(way, entry);
        QCOMPARE(dimensions(to), QStringList({ "Store", "Time" }));
        focusOn(to, "Quarter", "Time");
        ask(way, entry);
        QCOMPARE(dimensions(to), QStringList({ "Store", "Time" }));
        ask(entry ? way : Qt::CTRL | Qt::Key_0, 'h');
        QCOMPARE(dimensions(schema()), QStringList({ "Account", "Category", "Time" }));
        QCOMPARE(messages(), Messages());
    }

    // Undo brings back the trees and the box as they were, the user's text included; redo
    // goes forward; a new cube starts afresh.
    void undoAndRedo()
    {
        connectTo(sampleString);
        item(schema(), "Time")->setExpanded(true);
        const QStringList atLoad = outline(schema());
        focusOn(schema(), "Store");
        key(Qt::Key_1, Qt::ControlModifier);
        control<QPlainTextEdit>("MdxTextbox")->setPlainText("my own\nstatement");
        focusOn(rows(), "Store Name", "Store");
        key(Qt::Key_Space); // as a press
        const QString unticked = statement();
        for (int steps = 0; steps < 3; ++steps) // the last with nothing left to undo
            undo();
        QCOMPARE(outline(schema()), atLoad);
        QCOMPARE(schema()->currentItem()->text(0), "Store");
        QVERIFY(item(schema(), "Time")->isExpanded()); // on a tree built afresh
        key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(statement(), "my own\nstatement");
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(statement(), unticked);

        // A click on Non Empty rebuilds the statement, and undo sets the box back with it.
        auto *check = control<QCheckBox>("NonEmptyCheck");
        click(at(check, QPoint(6, check->height() / 2)));
        QVERIFY(check->isChecked());
        QVERIFY(statement().startsWith("select non empty {descendants([Store].currentmember,"));
        undo();
        QVERIFY(!check->isChecked());
        QCOMPARE(statement(), unticked);

        // F5, from a text box too, loads the cube afresh, without the steps.
        control("MdxTextbox")->setFocus();
        key(Qt::Key_F5);
        undo();
        QCOMPARE(outline(schema()), atLoad);

        // A dimension an undo brings back is current again, though the other tree loses it.
        focusOn(schema(), "Time");
        key(Qt::Key_1, Qt::ControlModifier);
        undo();
        QCOMPARE(outline(schema()), atLoad);
        QCOMPARE(schema()->currentItem(), item(schema(), "Time"));
    }

    // Ctrl+M on an axis tree opens the members of the current node's dimension, from a level
    // or the dimension itself; what is chosen narrows its set and shows on the node.
    void chooseMembers()
    {
        FakeHttpServer server; // Sales as recorded; its members named as Store's
        server.setHandler([](const HttpRequest &request) {
            QByteArray answer = recorded(recordedFile(request));
            if (request.body.contains("TREE_OP"))
                answer.replace("[Measures].", "[Store].[USA].");
            else if (request.body.contains("[Store].[(All)]"))
                answer.replace("[Measures].", "[Store].");
            return std::optional(FakeHttpServer::chunked(answer, 1000));
        });
        QCOMPARE(connectTo("provider=msolap;data source=" + server.url().toString()), Messages());
        cubes()->setCurrentIndex(1);
        focusOn(schema(), "Store");
        key(Qt::Key_1, Qt::ControlModifier);
        focusOn(rows(), "Store Name", "Store");
        chooseMembers([&](MemberChooser *chooser) {
            QCOMPARE(chooser->windowTitle(), "Choose Members - Store");
            auto *model = chooser->findChild<QTreeView *>("MemberTree")->model();
            model->setData(model->index(4, 0), Qt::Checked, Qt::CheckStateRole);
            chooser->accept();
        });
        QVERIFY2(statement().startsWith(
                     "select {descendants({[Store].[Profit]},[Store].[Store Name])} on rows"),
                 qPrintable(statement()));
        QVERIFY(item(rows(), "Store")->font(0).italic());
        QCOMPARE(item(rows(), "Store")->toolTip(0), "Chosen members:\n[Store].[Profit]");
        focusOn(rows(), "Store"); // the dimension's own node opens them too
        chooseMembers([](MemberChooser *) {});
    }

    // Find hides only rows, ignoring case and matching levels too; a move while filtered
    // moves the dimension shown; Enter and Esc stay the field's.
    void find()
    {
        connectTo(sampleString);
        focusOn(schema(), "Account");
        key(Qt::Key_3, Qt::ControlModifier); // room for one to come back
        key(Qt::Key_F, Qt::ControlModifier);
        auto *field = control<QLineEdit>("FindField");
        QTest::keyClicks(field, "tIME");
        QCOMPARE(dimensions(schema()), QStringList({ "Time" }));
        field->clear();
        QTest::keyClicks(field, "mon"); // a level's name
        QCOMPARE(dimensions(schema()), QStringList({ "Time" }));
        schema()->setFocus(); // its current node, Category, is hidden: nothing to move
        key(Qt::Key_1, Qt::ControlModifier);
        field->setFocus();
        key(Qt::Key_Return);
        key(Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(dimensions(rows()), QStringList({ "Time" }));
        QCOMPARE(messages(), Messages()); // Enter did not press Copy
        focusOn(rows(), "Time");
        key(Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(dimensions(schema()), QStringList({ "Time" })); // filtered as it comes
        key(Qt::Key_F, Qt::ControlModifier);
        key(Qt::Key_Escape);
        QVERIFY(form->isVisible() && !field->isVisible());
        QCOMPARE(dimensions(schema()), QStringList({ "Category", "Store", "Time" }));
    }

    // A long level comes in pages and a member's children when it opens; check marks keep the
    // order of choosing; find narrows what select all takes.
    void membersInPagesChosenAndFound()
    {
        // 2,500 members "M0", "M1", ... of which M0 has the children C1 and C2; every query
        // asked is kept as "level X" or "children of X".
        QStringList asked;
        const auto lister = [&](const MemberQuery &query) {
            if (!query.parentUniqueName.isEmpty()) {
                asked << "children of " + query.parentUniqueName;
                return QList<MemberInfo> { { "C1", "[D].[M0].[C1]", 0 },
                                           { "C2", "[D].[M0].[C2]", 0 } };
            }
            asked << "level " + query.levelUniqueName;
            QList<MemberInfo> members;
            for (int i = 0; i < 2500; ++i)
                members.append({ QStringLiteral("M%1").arg(i), QStringLiteral("[D].[M%1]").arg(i),
                                 i == 0 ? 2 : 0 });
            return members;
        };
        MemberChooser chooser("D", "[D].[L]", { "[D].[M5]", "[D].[Elsewhere]" }, lister);
        chooser.show();
        auto *view = chooser.findChild<QTreeView *>("MemberTree");
        QAbstractItemModel *model = view->model();
        const auto *count = chooser.findChild<QLabel *>("MemberCountLabel");
        // A page or two for a start (the view asks for what fills it); the rest on demand.
        QVERIFY(model->rowCount() < 2500 && model->rowCount() % MemberTreeModel::pageSize == 0);
        QCOMPARE(count->text(),
                 QStringLiteral("2 chosen of %1 listed").arg(QLocale().toString(2500)));

        QCOMPARE(model->index(5, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QVERIFY(model->flags(model->index(3, 0)) & Qt::ItemIsUserCheckable);
        model->setData(model->index(3, 0), Qt::Checked, Qt::CheckStateRole);
        model->setData(model->index(5, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(chooser.chosen(), (QStringList { "[D].[Elsewhere]", "[D].[M3]" }));

        // Those chosen before, then of what is listed so far: M12, M120 to M129, ...
        QStringList matches = chooser.chosen();
        for (int i = 0; i < model->rowCount(); ++i) {
            if (QString::number(i).startsWith("12"))
                matches << QStringLiteral("[D].[M%1]").arg(i);
        }
        QTest::keyClicks(chooser.findChild<QLineEdit *>("MemberFindField"), "m12");
        QCOMPARE(model->rowCount(), matches.size() - 2); // past the two chosen before
        // Choosing all again adds nothing twice.
        for (int twice = 0; twice < 2; ++twice) {
            chooser.findChild<QPushButton *>("SelectAllButton")->click();
            QCOMPARE(chooser.chosen(), matches);
        }
        chooser.findChild<QPushButton *>("SelectNoneButton")->click();
        QVERIFY(chooser.chosen().isEmpty());
        // Without a find, all that is listed so far.
        chooser.findChild<QLineEdit *>("MemberFindField")->clear();
        chooser.findChild<QPushButton *>("SelectAllButton")->click();
        QCOMPARE(chooser.chosen().size(), model->rowCount());
        QCOMPARE(chooser.chosen().first(), "[D].[M0]");
        QVERIFY(count->text().startsWith(QLocale().toString(model->rowCount()) + " chosen"));
        chooser.findChild<QPushButton *>("SelectNoneButton")->click();
        QCOMPARE(model->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

        while (model->canFetchMore({}))
            model->fetchMore({});
        QCOMPARE(model->rowCount(), 2500);
        QCOMPARE(model->index(2499, 0).data().toString(), "M2499");
        const QModelIndex first = model->index(0, 0), second = model->index(1, 0);
        QVERIFY(model->hasChildren(first));
        QVERIFY(!model->hasChildren(second));
        view->expand(first);
        QTRY_COMPARE(model->rowCount(first), 2);
        QCOMPARE(model->index(1, 0, first).data(Qt::ToolTipRole).toString(), "[D].[M0].[C2]");
        QCOMPARE(asked, (QStringList { "level [D].[L]", "children of [D].[M0]" }));
        // Listed once: closing and opening again asks nothing.
        view->collapse(first);
        view->expand(first);
        QCOMPARE(asked.size(), 2);
    }

    void aSourceWithoutMembersSaysSo()
    {
        const QString why = QStringLiteral("This catalog lists no members: connect to an OLAP "
                                           "server to choose members");
        MemberChooser chooser("D", "[D].[L]", { "[D].[X]" }, [&](const MemberQuery &) {
            throw Failure(CatalogFailure::ListsNoMembers, why, FailureSource::Catalog);
            return QList<MemberInfo>();
        });
        chooser.show();
        const auto *status = chooser.findChild<QLabel *>("MemberStatusLabel");
        QVERIFY(status->isVisible());
        QCOMPARE(status->text(), why);
        QCOMPARE(chooser.findChild<QTreeView *>("MemberTree")->model()->rowCount(), 0);
        QCOMPARE(chooser.chosen(), QStringList { "[D].[X]" });
    }
};

QTEST_MAIN(TestMdxForm)
#include "tst_mdxform.moc"
