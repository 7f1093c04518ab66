// The window without a mouse: moves by key and menu, Space, undo and redo, find, F5, and
// what assistive technology is told.
#include "formtesting.h"

#include <QAccessible>
#include <QApplication>

using namespace mdx;
using namespace mdx::test;

namespace {

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

} // namespace

class TestKeyboard : public QObject, FormFixture
{
    Q_OBJECT

    QTreeWidget *rows() const { return tree("RowTree"); }
    void focusOn(QTreeWidget *tree, const QString &text, const QString &dimension = {})
    {
        tree->setFocus();
        tree->setCurrentItem(item(tree, text, dimension));
    }
    void undo() { key(Qt::Key_Z, Qt::ControlModifier); }

private slots:
    void init()
    {
        QVERIFY(open());
        connectTo(sampleString);
    }
    void cleanup() { close(); }

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

    // The right button opens the menu for the node under it, changing nothing else.
    void rightButtonOpensTheMenu()
    {
        const QStringList before = outline(schema());
        click(at(schema(), item(schema(), "Time")), Qt::RightButton);
        QCOMPARE(outline(schema()), before);
        QCOMPARE(schema()->currentItem()->text(0), "Account");
        key(Qt::Key_H); // the entry for its own tree, disabled: the menu stays
        key(Qt::Key_C);
        QCOMPARE(dimensions(tree("ColumnTree")), QStringList({ "Time" }));
    }

    // Undo brings back the trees and the box as they were, the user's text included; redo
    // goes forward; a new cube starts afresh.
    void undoAndRedo()
    {
        item(schema(), "Time")->setExpanded(true);
        const QStringList atLoad = outline(schema());
        focusOn(schema(), "Store");
        key(Qt::Key_1, Qt::ControlModifier);
        control<QPlainTextEdit>("MdxTextbox")->setPlainText("my own\nstatement");
        focusOn(rows(), "Store Name", "Store");
        key(Qt::Key_Space); // as a press
        const QString unticked = statement();
        undo();
        QCOMPARE(form->mdxString(), "my own\nstatement");
        undo();
        undo(); // nothing left to undo
        QCOMPARE(outline(schema()), atLoad);
        QCOMPARE(schema()->currentItem()->text(0), "Store");
        QVERIFY(item(schema(), "Time")->isExpanded()); // on a tree built afresh
        key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(statement(), "my own\nstatement");
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(statement(), unticked);

        // F5, from a text box too, loads the cube afresh, without the steps.
        control("MdxTextbox")->setFocus();
        key(Qt::Key_F5);
        undo();
        QCOMPARE(outline(schema()), atLoad);
    }

    // Find hides only rows, ignoring case and matching levels too; a move while filtered
    // moves the dimension shown; Enter and Esc stay the field's.
    void find()
    {
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

    void accessibility()
    {
        for (const QString pair :
             { "ConnectionStringTextbox=Connection", "ConnectImage=Connect", "SchemaTree=Schema",
               "OKButton=OK", "MeasuresList=Measures", "MdxTextbox=MDX statement" }) {
            QWidget *widget = control(pair.section('=', 0, 0).toLatin1());
            QCOMPARE(accessible(widget)->text(QAccessible::Name), pair.section('=', 1));
        }

        QVERIFY(accessible(measures())->child(0)->state().checked);
        // Account, past the header
        const QAccessible::State account = accessible(schema())->child(1)->state();
        QVERIFY(account.checkable && !account.checked);
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
