// The window without a mouse: moves from the menu and by key, Space, undo and redo, find,
// Connect by key, and what assistive technology is told.
#include "formtesting.h"

#include <QAccessible>
#include <QApplication>
#include <QMenu>

using namespace mdx;
using namespace mdx::test;

namespace {

const Message invalidAxis { Prompter::Icon::Exclamation, "Invalid Axis",
                            "This wizard only supports up to 3 dimensions on any axis." };

QString budget(const QString &rows)
{
    return "select " + (rows.isEmpty() ? QString() : rows + " on rows, ")
        + "{[Measures].[Amount]} on columns from Budget";
}

QString descendants(const QString &dimension, const QString &level)
{
    return QStringLiteral("{descendants([%1].currentmember,[%1].[%2])}").arg(dimension, level);
}

QStringList dimensions(QTreeWidget *tree)
{
    QStringList names;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (!tree->topLevelItem(i)->isHidden())
            names << tree->topLevelItem(i)->text(0);
    }
    return names;
}

// How a test asks for a move: the shortcut, or the menu opened by a key and an entry chosen
// by its access key.
struct Way
{
    QKeySequence shortcut; // empty: the menu
    Qt::Key menuKey = Qt::Key_Menu;
    Qt::KeyboardModifiers menuModifiers;
    char entry = 0; // access key of the menu entry
};

Way byKey(QKeySequence shortcut)
{
    return { shortcut, Qt::Key_unknown, {}, 0 };
}

Way byMenu(char entry, Qt::Key key = Qt::Key_Menu, Qt::KeyboardModifiers modifiers = {})
{
    return { {}, key, modifiers, entry };
}

QAccessibleInterface *accessible(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

// The accessible cell of a tree's or a list's row with this text.
QAccessibleInterface *cell(QWidget *view, const QString &text)
{
    QAccessibleInterface *table = accessible(view);
    for (int i = 0; i < table->childCount(); ++i) {
        QAccessibleInterface *child = table->child(i);
        if (child && child->text(QAccessible::Name) == text)
            return child;
    }
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(Way)

class TestKeyboard : public QObject, FormFixture
{
    Q_OBJECT

    QTreeWidget *rows() const { return tree("RowTree"); }

    // Makes `text` (a dimension or level) the current node of a tree that has the focus.
    void focusOn(QTreeWidget *tree, const QString &text, const QString &dimension = {})
    {
        tree->setFocus();
        tree->setCurrentItem(item(tree, text, dimension));
    }
    void ask(const Way &way, char entry = 0)
    {
        if (!way.shortcut.isEmpty()) {
            key(way.shortcut[0].key(), way.shortcut[0].keyboardModifiers());
            return;
        }
        key(way.menuKey, way.menuModifiers);
        QWidget *menu = QApplication::activePopupWidget();
        QVERIFY(menu);
        QTest::keyClick(menu, entry ? entry : way.entry);
        QTRY_VERIFY(!QApplication::activePopupWidget());
    }

private slots:
    void init() { QVERIFY(open()); }
    void cleanup() { close(); }

    // Each way to a tree meets the drop's cases: placed with every level ticked and the
    // dimension open, refused when full, nothing on its own tree, back to the schema at its end.
    void moves_data()
    {
        QTest::addColumn<Way>("way");
        QTest::addColumn<Way>("back");
        QTest::addColumn<QString>("target");
        const Way backKey = byKey(Qt::CTRL | Qt::Key_0), backMenu = byMenu('h');
        QTest::newRow("Ctrl+1") << byKey(Qt::CTRL | Qt::Key_1) << backKey << "RowTree";
        QTest::newRow("Ctrl+2") << byKey(Qt::CTRL | Qt::Key_2) << backKey << "ColumnTree";
        QTest::newRow("Ctrl+3") << byKey(Qt::CTRL | Qt::Key_3) << backKey << "SlicerTree";
        QTest::newRow("menu, Rows") << byMenu('r') << backMenu << "RowTree";
        QTest::newRow("Shift+F10 menu, Columns")
            << byMenu('c', Qt::Key_F10, Qt::ShiftModifier) << backMenu << "ColumnTree";
        QTest::newRow("menu, Slicers") << byMenu('s') << backMenu << "SlicerTree";
    }

    void moves()
    {
        QFETCH(Way, way);
        QFETCH(Way, back);
        QFETCH(QString, target);
        QTreeWidget *to = tree(target.toLatin1());
        connectTo(sampleString);

        // From a level node; the next dimension becomes current, so the keys go on.
        focusOn(schema(), "Store Country", "Store");
        ask(way);
        QCOMPARE(outline(to),
                 QStringList({ "Store[x]", "  (All)[x]", "  Store Country[x]", "  Store State[x]",
                               "  Store City[x]", "  Store Name[x]" }));
        QVERIFY(item(to, "Store")->isExpanded());
        QCOMPARE(schema()->currentItem()->text(0), "Time");
        // Every axis tree feeds the rows.
        QCOMPARE(statement(), budget(descendants("Store", "Store Name")));
        ask(way);
        focusOn(schema(), "Account");
        ask(way);
        QCOMPARE(dimensions(to), QStringList({ "Store", "Time", "Account" }));
        const QString three = statement();

        focusOn(schema(), "Category");
        ask(way);
        QCOMPARE(messages(), Messages({ invalidAxis }));
        QCOMPARE(dimensions(schema()), QStringList({ "Category" }));
        QCOMPARE(statement(), three);

        // Its own tree's entry is disabled; the move does nothing and says nothing.
        focusOn(to, "Time");
        if (way.shortcut.isEmpty()) {
            key(way.menuKey, way.menuModifiers);
            QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QStringList entries;
            for (const QAction *action : menu->actions())
                entries << action->text() + '\t' + action->shortcut().toString()
                        + (action->isEnabled() ? "" : " (off)");
            QCOMPARE(entries.size(), 4);
            QVERIFY2(entries.filter(" (off)").size() == 1, qPrintable(entries.join('|')));
            QTest::keyClick(menu, way.entry);
            QTest::keyClick(menu, Qt::Key_Escape);
            QTRY_VERIFY(!QApplication::activePopupWidget());
        } else {
            ask(way);
        }
        QCOMPARE(messages(), Messages());
        QCOMPARE(dimensions(to), QStringList({ "Store", "Time", "Account" }));

        focusOn(to, "Quarter", "Time");
        ask(back);
        QCOMPARE(dimensions(schema()), QStringList({ "Category", "Time" }));
        QCOMPARE(outline(schema()).mid(outline(schema()).size() - 4),
                 QStringList({ "Time[x]", "  Year[x]", "  Quarter[x]", "  Month[x]" }));
        QCOMPARE(to->currentItem()->text(0), "Account");
        QCOMPARE(messages(), Messages());
    }

    // The right button opens the menu for the node under it and changes nothing else; the
    // entry then moves that node's dimension, not the selected one.
    void rightButtonOpensTheMenu()
    {
        connectTo(sampleString);
        const QStringList before = outline(schema());
        QTreeWidgetItem *time = item(schema(), "Time");
        click(at(schema(), time), Qt::RightButton);
        QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QCOMPARE(menu->actions().at(0)->text(), "Move to &Rows");
        QCOMPARE(menu->actions().at(0)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_1));
        QCOMPARE(outline(schema()), before);
        QCOMPARE(schema()->currentItem()->text(0), "Account");
        QCOMPARE(statement(), QString());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QTest::keyClick(menu, 'c');
        QCOMPARE(dimensions(tree("ColumnTree")), QStringList({ "Time" }));
        QCOMPARE(schema()->currentItem()->text(0), "Account");
    }

    // Space does what a press does, without a drag; arrows open and close; letters find.
    void spaceArrowsAndLetters()
    {
        connectTo(sampleString);
        focusOn(schema(), "Store");
        key(Qt::Key_1, Qt::ControlModifier);
        focusOn(rows(), "Store Name", "Store");
        key(Qt::Key_Space);
        QCOMPARE(item(rows(), "Store Name", "Store")->checkState(0), Qt::Unchecked);
        QCOMPARE(statement(), budget(descendants("Store", "Store City")));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        key(Qt::Key_Space);
        QCOMPARE(statement(), budget(descendants("Store", "Store Name")));

        focusOn(rows(), "Store");
        key(Qt::Key_Left);
        QVERIFY(!item(rows(), "Store")->isExpanded());
        key(Qt::Key_Right);
        QVERIFY(item(rows(), "Store")->isExpanded());

        const QStringList ticks = outline(schema());
        focusOn(schema(), "Account");
        QTest::keyClicks(schema(), "ti");
        QCOMPARE(schema()->currentItem()->text(0), "Time");
        QCOMPARE(outline(schema()), ticks);
        QCOMPARE(statement(), budget(descendants("Store", "Store Name")));

        // A key during a mouse drag ends it without a drop.
        press(at(schema(), item(schema(), "Time")));
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        release(at(rows()));
        QCOMPARE(dimensions(rows()), QStringList({ "Store" }));
        QCOMPARE(outline(schema()), ticks);
    }

    // F5 is Connect wherever the focus is, text boxes included.
    void f5Connects()
    {
        control("ConnectionStringTextbox")->setFocus();
        key(Qt::Key_F5);
        QCOMPARE(form->windowTitle(), "Orvanta 3.0 MDX Wizard");
        QCOMPARE(QApplication::focusWidget(), cubes());
        control("MdxTextbox")->setFocus();
        control<QLineEdit>("ConnectionStringTextbox")->setText(schemaString("nocubes.xml"));
        key(Qt::Key_F5);
        QCOMPARE(messages().size(), 1);
    }

    // Undo brings back the trees and the box as they were, the user's own text included;
    // redo goes forward again; a refused action is no step; a new cube starts afresh.
    void undoAndRedo()
    {
        connectTo(sampleString);
        const QStringList schemaAtLoad = outline(schema());
        focusOn(schema(), "Store");
        key(Qt::Key_1, Qt::ControlModifier);
        auto *box = control<QPlainTextEdit>("MdxTextbox");
        box->setPlainText("my own\nstatement");
        focusOn(rows(), "Store Name", "Store");
        key(Qt::Key_Space);
        const QString unticked = statement();
        const QStringList rowsUnticked = outline(rows());

        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(statement(), "my own\nstatement");
        QCOMPARE(form->mdxString(), "my own\nstatement");
        QCOMPARE(item(rows(), "Store Name", "Store")->checkState(0), Qt::Checked);
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(outline(schema()), schemaAtLoad);
        QCOMPARE(schema()->currentItem()->text(0), "Store");
        QCOMPARE(rows()->topLevelItemCount(), 0);
        QCOMPARE(statement(), QString());
        key(Qt::Key_Z, Qt::ControlModifier); // nothing more to undo
        QCOMPARE(outline(schema()), schemaAtLoad);

        key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(dimensions(rows()), QStringList({ "Store" }));
        QCOMPARE(statement(), "my own\nstatement");
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(outline(rows()), rowsUnticked);
        QCOMPARE(statement(), unticked);

        // The box keeps its own undo while it has the focus.
        box->setFocus();
        QTest::keyClicks(box, "x");
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(statement(), unticked);
        QCOMPARE(outline(rows()), rowsUnticked);

        // Refused: a fourth dimension, the last measure; the step before them is undone.
        focusOn(schema(), "Time");
        key(Qt::Key_1, Qt::ControlModifier);
        focusOn(schema(), "Account");
        key(Qt::Key_1, Qt::ControlModifier);
        const QString three = statement();
        focusOn(schema(), "Category");
        key(Qt::Key_1, Qt::ControlModifier);
        measures()->setFocus();
        key(Qt::Key_Home);
        key(Qt::Key_Space);
        QCOMPARE(messages().size(), 2);
        QCOMPARE(statement(), three);
        schema()->setFocus();
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(dimensions(rows()), QStringList({ "Store", "Time" }));

        // Loading a cube forgets the steps.
        key(Qt::Key_F5);
        schema()->setFocus();
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(outline(schema()), schemaAtLoad);
        QCOMPARE(statement(), QString());
    }

    // Find hides what does not match and nothing else; a move while filtered moves the
    // dimension shown; Esc and Enter stay in the field's hands.
    void find()
    {
        connectTo(sampleString);
        focusOn(schema(), "Account");
        key(Qt::Key_3, Qt::ControlModifier); // room for one to come back
        const QStringList ticks = outline(schema());
        const QString before = statement();
        key(Qt::Key_F, Qt::ControlModifier);
        auto *field = control<QLineEdit>("FindField");
        QVERIFY(field->isVisible());
        QCOMPARE(QApplication::focusWidget(), field);
        QTest::keyClicks(field, "STORE");
        QCOMPARE(dimensions(schema()), QStringList({ "Store" }));
        field->clear();
        QTest::keyClicks(field, "mon"); // a level's name
        QCOMPARE(dimensions(schema()), QStringList({ "Time" }));
        QCOMPARE(outline(schema()), ticks);
        QCOMPARE(statement(), before);
        key(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), schema());
        QCOMPARE(messages(), Messages()); // Enter did not press Copy
        key(Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(dimensions(rows()), QStringList({ "Time" }));
        QCOMPARE(dimensions(schema()), QStringList());

        // A dimension that comes back is filtered too; the field gone, all are shown.
        focusOn(rows(), "Time");
        key(Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(dimensions(schema()), QStringList({ "Time" }));
        key(Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(field, "x");
        QCOMPARE(dimensions(schema()), QStringList());
        key(Qt::Key_Escape);
        QVERIFY(form->isVisible());
        QVERIFY(!field->isVisible());
        QCOMPARE(dimensions(schema()), QStringList({ "Category", "Store", "Time" }));
        QCOMPARE(messages(), Messages());
    }

    // Names for every control, and the ticks of the trees and the list, as a screen reader
    // reads them.
    void accessibility()
    {
        connectTo(sampleString);
        const QList<std::pair<const char *, QString>> names {
            { "ConnectionStringTextbox", "Connection" },
            { "ConnectImage", "Connect" },
            { "SchemaTree", "Schema" },
            { "RowTree", "Rows" },
            { "ColumnTree", "Columns" },
            { "SlicerTree", "Slicers" },
            { "MeasuresList", "Measures" },
            { "MdxTextbox", "MDX statement" },
            { "OKButton", "OK" },
            { "CancelButton", "Cancel" },
            { "CopyButton", "Copy" },
        };
        for (const auto &[control, name] : names)
            QCOMPARE(accessible(this->control(control))->text(QAccessible::Name), name);
        // A drop-down list says its choice as its name, and its label through a relation.
        const auto labels = accessible(cubes())->relations(QAccessible::Label);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first().first->text(QAccessible::Name), "Cube:");

        focusOn(schema(), "Store");
        key(Qt::Key_1, Qt::ControlModifier);
        rows()->expandAll();
        QAccessibleInterface *name = cell(rows(), "Store Name");
        QVERIFY(name);
        QVERIFY(name->state().checkable);
        QVERIFY(name->state().checked);
        focusOn(rows(), "Store Name", "Store");
        key(Qt::Key_Space);
        QVERIFY(!cell(rows(), "Store Name")->state().checked);

        QAccessibleInterface *amount = cell(measures(), "Amount");
        QVERIFY(amount);
        QVERIFY(amount->state().checkable);
        QVERIFY(amount->state().checked);
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
