// The window without a mouse: moves by key and menu, Space, undo and redo, find, F5, and
// what assistive technology is told.
#include "formtesting.h"

#include <QAccessible>
#include <QApplication>
#include <QMenu>

using namespace mdx;
using namespace mdx::test;

namespace {

const Message invalidAxis { Prompter::Icon::Exclamation, "Invalid Axis",
                            "This wizard only supports up to 3 dimensions on any axis." };
const QString budgetStore = "select {descendants([Store].currentmember,[Store].[Store Name])} on "
                            "rows, {[Measures].[Amount]} on columns from Budget";

QStringList dimensions(QTreeWidget *tree)
{
    QStringList names;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (!tree->topLevelItem(i)->isHidden())
            names << tree->topLevelItem(i)->text(0);
    }
    return names;
}

// A move asked for by its shortcut, or by the menu opened with a key and an entry's access key.
struct Way
{
    QKeyCombination key;
    char entry = 0;
};

QAccessibleInterface *accessible(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

} // namespace

Q_DECLARE_METATYPE(Way)

class TestKeyboard : public QObject, FormFixture
{
    Q_OBJECT

    QTreeWidget *rows() const { return tree("RowTree"); }
    void focusOn(QTreeWidget *tree, const QString &text, const QString &dimension = {})
    {
        tree->setFocus();
        tree->setCurrentItem(item(tree, text, dimension));
    }
    void ask(const Way &way)
    {
        key(way.key.key(), way.key.keyboardModifiers());
        if (QWidget *menu = QApplication::activePopupWidget()) {
            QTest::keyClick(menu, way.entry);
            if (QApplication::activePopupWidget()) // a disabled entry
                QTest::keyClick(menu, Qt::Key_Escape);
        }
    }

private slots:
    void init() { QVERIFY(open()); }
    void cleanup() { close(); }

    // Each way meets the drop's cases: placed ticked and open, refused when full, nothing on
    // its own tree, back to the schema at its end.
    void moves_data()
    {
        QTest::addColumn<Way>("way");
        QTest::addColumn<Way>("back");
        QTest::addColumn<QString>("target");
        const Way backKey { Qt::CTRL | Qt::Key_0 }, backMenu { Qt::Key_Menu, 'h' };
        QTest::newRow("Ctrl+1") << Way { Qt::CTRL | Qt::Key_1 } << backKey << "RowTree";
        QTest::newRow("Ctrl+2") << Way { Qt::CTRL | Qt::Key_2 } << backKey << "ColumnTree";
        QTest::newRow("Ctrl+3") << Way { Qt::CTRL | Qt::Key_3 } << backKey << "SlicerTree";
        QTest::newRow("menu, Rows") << Way { Qt::Key_Menu, 'r' } << backMenu << "RowTree";
        QTest::newRow("Shift+F10, Columns")
            << Way { Qt::SHIFT | Qt::Key_F10, 'c' } << backMenu << "ColumnTree";
        QTest::newRow("menu, Slicers") << Way { Qt::Key_Menu, 's' } << backMenu << "SlicerTree";
    }

    void moves()
    {
        QFETCH(Way, way);
        QFETCH(QString, target);
        QTreeWidget *to = tree(target.toLatin1());
        connectTo(sampleString);
        // From a level node; the next dimension becomes current, so the keys go on.
        focusOn(schema(), "Store Country", "Store");
        ask(way);
        QCOMPARE(outline(to).join(""),
                 "Store[x]  (All)[x]  Store Country[x]  Store State[x]  "
                 "Store City[x]  Store Name[x]");
        QVERIFY(item(to, "Store")->isExpanded());
        QCOMPARE(statement(), budgetStore); // every axis tree feeds the rows
        ask(way);
        focusOn(schema(), "Account");
        ask(way);
        const QString three = statement();
        focusOn(schema(), "Category");
        ask(way);
        QCOMPARE(messages(), Messages({ invalidAxis }));
        QCOMPARE(dimensions(to), QStringList({ "Store", "Time", "Account" }));
        QCOMPARE(statement(), three);

        focusOn(to, "Time");
        ask(way);
        QCOMPARE(messages(), Messages());
        QCOMPARE(dimensions(to), QStringList({ "Store", "Time", "Account" }));
        focusOn(to, "Quarter", "Time");
        QFETCH(Way, back);
        ask(back);
        QCOMPARE(outline(schema()).mid(3).join(""), "Time[x]  Year[x]  Quarter[x]  Month[x]");
        QCOMPARE(to->currentItem()->text(0), "Account");
    }

    // The right button opens the menu for the node under it, changing nothing else; its entry
    // moves that node's dimension, not the selected one.
    void rightButtonOpensTheMenu()
    {
        connectTo(sampleString);
        const QStringList before = outline(schema());
        click(at(schema(), item(schema(), "Time")), Qt::RightButton);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QCOMPARE(menu->actions().at(2)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_3));
        QCOMPARE(outline(schema()), before);
        QCOMPARE(schema()->currentItem()->text(0), "Account");
        QTest::keyClick(menu, 'c');
        QCOMPARE(dimensions(tree("ColumnTree")), QStringList({ "Time" }));
    }

    // Undo brings back the trees and the box as they were, the user's text included; redo
    // goes forward; refused actions are no step; a new cube starts afresh.
    void undoAndRedo()
    {
        connectTo(sampleString);
        const QStringList atLoad = outline(schema());
        focusOn(schema(), "Store");
        key(Qt::Key_1, Qt::ControlModifier);
        auto *box = control<QPlainTextEdit>("MdxTextbox");
        box->setPlainText("my own\nstatement");
        focusOn(rows(), "Store Name", "Store");
        key(Qt::Key_Space); // as a press, without a drag
        const QString unticked = statement();
        QCOMPARE(unticked, QString(budgetStore).replace("Store Name", "Store City"));
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form->mdxString(), "my own\nstatement");
        QCOMPARE(item(rows(), "Store Name", "Store")->checkState(0), Qt::Checked);
        key(Qt::Key_Z, Qt::ControlModifier);
        key(Qt::Key_Z, Qt::ControlModifier); // nothing left to undo
        QCOMPARE(outline(schema()), atLoad);
        QCOMPARE(schema()->currentItem()->text(0), "Store");
        QCOMPARE(statement(), QString());
        key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(statement(), "my own\nstatement");
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(statement(), unticked);
        box->setFocus(); // the box keeps its own undo
        QTest::keyClicks(box, "x");
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(statement(), unticked);

        for (const char *dimension : { "Time", "Account", "Category" }) {
            focusOn(schema(), dimension);
            key(Qt::Key_1, Qt::ControlModifier);
        }
        measures()->setFocus();
        key(Qt::Key_Home);
        key(Qt::Key_Space);
        QCOMPARE(messages().size(), 2);
        schema()->setFocus();
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(dimensions(rows()), QStringList({ "Store", "Time" }));
        // A key during a mouse drag ends it without a drop.
        press(at(schema(), item(schema(), "Account")));
        key(Qt::Key_Z, Qt::ControlModifier);
        release(at(rows()));
        QCOMPARE(dimensions(rows()), QStringList({ "Store", "Time" }));
        QCOMPARE(item(schema(), "Account")->checkState(0), Qt::Unchecked);
        // F5, from a text box too, loads the cube afresh, without the steps.
        box->setFocus();
        key(Qt::Key_F5);
        QCOMPARE(QApplication::focusWidget(), cubes());
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(outline(schema()), atLoad);
    }

    // Find hides only rows; a move while filtered moves the dimension shown; Enter and Esc
    // stay the field's.
    void find()
    {
        connectTo(sampleString);
        focusOn(schema(), "Account");
        key(Qt::Key_3, Qt::ControlModifier); // room for one to come back
        const QStringList ticks = outline(schema());
        key(Qt::Key_F, Qt::ControlModifier);
        auto *field = control<QLineEdit>("FindField");
        QTest::keyClicks(field, "STORE");
        QCOMPARE(dimensions(schema()), QStringList({ "Store" }));
        field->clear();
        QTest::keyClicks(field, "mon"); // a level's name
        QCOMPARE(dimensions(schema()), QStringList({ "Time" }));
        QCOMPARE(outline(schema()), ticks);
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

    void accessibility()
    {
        connectTo(sampleString);
        for (const QString pair : { "ConnectionStringTextbox=Connection", "ConnectImage=Connect",
                                    "SchemaTree=Schema", "SlicerTree=Slicers", "OKButton=OK",
                                    "MeasuresList=Measures", "MdxTextbox=MDX statement" }) {
            QWidget *widget = control(pair.section('=', 0, 0).toLatin1());
            QCOMPARE(accessible(widget)->text(QAccessible::Name), pair.section('=', 1));
        }
        // A drop-down list's name is its choice; its label comes as a relation.
        const auto labels = accessible(cubes())->relations(QAccessible::Label);
        QCOMPARE(labels.value(0).first->text(QAccessible::Name), "Cube:");

        QAccessibleInterface *amount = accessible(measures())->child(0);
        QVERIFY(amount->state().checkable && amount->state().checked);
        QAccessibleInterface *account = accessible(schema())->child(1); // after the header
        QCOMPARE(account->text(QAccessible::Name), "Account");
        QVERIFY(account->state().checkable && !account->state().checked);
        focusOn(schema(), "Account");
        key(Qt::Key_Space);
        QVERIFY(accessible(schema())->child(1)->state().checked);
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
