// Using the window by mouse and keyboard: placing dimensions, ticking levels and measures,
// and the commands that hand the statement on.
#include "formtesting.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTimer>

using namespace mdx;
using namespace mdx::test;

namespace {

const Message invalidAxis { Prompter::Icon::Exclamation, "Invalid Axis",
                            "This wizard only supports up to 3 dimensions on any axis." };
const Message invalidSelection { Prompter::Icon::Information, "Invalid Selection",
                                 "Must have at least one measure checked" };
const Message copySuccess { Prompter::Icon::Information, "Copy Success",
                            "The MDX string has been saved to your clipboard." };

QString budget(const QString &rows)
{
    return "select " + (rows.isEmpty() ? QString() : rows + " on rows, ")
        + "{[Measures].[Amount]} on columns from Budget";
}

QString descendants(const QString &dimension, const QString &level)
{
    return QStringLiteral("{descendants([%1].currentmember,[%1].[%2])}").arg(dimension, level);
}

// The hot spot tells the drag cursors apart: (16, 8) drop allowed, (0, 0) no drop.
QPoint dragHotSpot()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    return cursor ? cursor->hotSpot() : QPoint(-1, -1);
}

} // namespace

class TestMdxFormUse : public QObject, FormFixture
{
    Q_OBJECT

    QTreeWidget *rows() const { return tree("RowTree"); }
    QTreeWidget *slicers() const { return tree("SlicerTree"); }

    QPoint textOf(int row) const
    {
        return at(measures()->viewport(),
                  measures()->visualItemRect(measures()->item(row)).center());
    }
    QPoint checkBoxOf(int row) const
    {
        QStyleOptionViewItem option;
        option.initFrom(measures());
        option.rect = measures()->visualItemRect(measures()->item(row));
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        const QStyle *style = measures()->style();
        return at(measures()->viewport(),
                  style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, measures())
                      .center());
    }

private slots:
    void init()
    {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QVERIFY(open());
    }
    void cleanup() { close(); }

    void placingDimensions()
    {
        connectTo(sampleString);
        // The expand indicator only opens the dimension.
        QTreeWidgetItem *store = item(schema(), "Store");
        const QRect storeRect = schema()->visualItemRect(store);
        click(at(schema()->viewport(), { storeRect.left() - 10, storeRect.center().y() }));
        QVERIFY(store->isExpanded());
        QCOMPARE(statement(), QString()); // a press on the node would build it

        // A level node carries its whole dimension; the pointer follows the control under it.
        QTreeWidgetItem *country = item(schema(), "Store Country", "Store");
        press(at(schema(), country));
        QCOMPARE(country->checkState(0), Qt::Checked);
        QVERIFY(country->isSelected());
        QCOMPARE(statement(), budget(""));
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
        QCOMPARE(outline(rows()),
                 QStringList({ "Store[x]", "  (All)[x]", "  Store Country[x]", "  Store State[x]",
                               "  Store City[x]", "  Store Name[x]" }));
        QVERIFY(item(rows(), "Store")->isExpanded());
        QCOMPARE(item(schema(), "Store"), nullptr);
        QCOMPARE(statement(), budget(descendants("Store", "Store Name")));

        // A click flips a level's mark; its release is a drop on the same tree.
        click(at(rows(), item(rows(), "Store Name", "Store")));
        QCOMPARE(statement(), budget(descendants("Store", "Store City")));

        // The schema tree holds three again and refuses, with the message of the rule; a drop
        // on a control without a drop rule does nothing.
        drag("RowTree", "Store", "SchemaTree");
        drag("RowTree", "Store", "MdxTextbox");
        QCOMPARE(messages(), Messages({ invalidAxis }));
        QCOMPARE(outline(rows()).size(), 6);
        QCOMPARE(statement(), budget(descendants("Store", "Store City")));
    }

    // Presses that hit no node: blank space, other buttons, and left of a level node, where
    // there is no expand indicator; a drag from there moves nothing.
    void pressesBesideLevelsHitNothing()
    {
        connectTo(sampleString);
        drag("SchemaTree", "Time", "RowTree");
        QTreeWidgetItem *store = item(schema(), "Store");
        click(at(schema()->viewport(), schema()->visualItemRect(store).topLeft() + QPoint(-10, 5)));
        QVERIFY(store->isExpanded());
        control<QPlainTextEdit>("MdxTextbox")->setPlainText("hand");
        const QStringList schemaBefore = outline(schema()), rowsBefore = outline(rows());
        QTreeWidgetItem *year = item(rows(), "Year", "Time");
        for (Qt::MouseButton button : { Qt::RightButton, Qt::MiddleButton })
            click(at(rows(), year), button);
        for (QTreeWidgetItem *level : { item(schema(), "Store Country", "Store"), year }) {
            QTreeWidget *tree = level->treeWidget();
            const QRect rect = tree->visualItemRect(level);
            for (QPoint pos : { QPoint(rect.left() - 5, rect.center().y()),
                                QPoint(2, rect.center().y()), QPoint(100, tree->height() - 10) }) {
                press(at(tree->viewport(), pos));
                QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
                move(at(tree, item(tree, level->parent()->text(0))));
                release(at("SlicerTree"));
            }
            QVERIFY(tree->selectedItems().isEmpty());
        }
        QCOMPARE(outline(schema()), schemaBefore);
        QCOMPARE(outline(rows()), rowsBefore);
        QCOMPARE(slicers()->topLevelItemCount(), 0);
        QCOMPARE(form->mdxString(), QStringLiteral("hand"));

        // A double click is one press, and opens or closes the dimension.
        QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {},
                           at(rows(), item(rows(), "Time")));
        QCOMPARE(item(rows(), "Time")->checkState(0), Qt::Unchecked);
        QVERIFY(!item(rows(), "Time")->isExpanded());
        QCOMPARE(statement(), budget(descendants("Time", "Month")));
    }

    void measuresKeepOneTicked()
    {
        connectTo(sampleString);
        key(Qt::Key_Down);
        key(Qt::Key_Down);
        QListWidget *list = measures();
        auto sales = [list] {
            QStringList ticked;
            for (int i = 0; i < list->count(); ++i) {
                if (list->item(i)->checkState() == Qt::Checked)
                    ticked << "[Measures].[" + list->item(i)->text() + "]";
            }
            return "select {" + ticked.join(',') + "} on columns from Sales";
        };

        // A click on the box or on the text and Space all flip the tick and rebuild; a double
        // click is two clicks. The entry clicked last is current, and nothing is highlighted.
        auto *box = control<QPlainTextEdit>("MdxTextbox");
        const QList<std::tuple<const char *, std::function<void()>, int, Qt::CheckState>> flips {
            { "box", [&] { click(checkBoxOf(0)); }, 0, Qt::Unchecked },
            { "text", [&] { click(textOf(1)); }, 1, Qt::Unchecked },
            { "Space", [&] { key(Qt::Key_Space); }, 1, Qt::Checked },
            { "double click",
              [&] { QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, textOf(1)); }, 1,
              Qt::Checked },
        };
        for (const auto &[how, flip, row, tick] : flips) {
            box->setPlainText("hand");
            flip();
            QVERIFY2(list->item(row)->checkState() == tick, how);
            QVERIFY2(statement() == sales(), how);
            QVERIFY2(list->selectedItems().isEmpty(), how);
            QCOMPARE(list->currentRow(), row);
        }

        for (int row : { 1, 2, 3, 4, 5 })
            click(textOf(row));
        const QString last = "select {[Measures].[Sales Average]} on columns from Sales";
        QCOMPARE(statement(), last);
        // The last tick is back before the message shows.
        bool tickedDuringMessage = false;
        prompter->onShow
            = [&] { tickedDuringMessage = list->item(6)->checkState() == Qt::Checked; };
        click(textOf(6));
        QCOMPARE(messages(), Messages({ invalidSelection }));
        QVERIFY(tickedDuringMessage);
        QCOMPARE(statement(), last);
    }

    // F6 takes the box's text, hand edits included, as the layout, on its cube; a text that
    // cannot be the layout stays in the box and is told beside the buttons.
    void reopenStatements()
    {
        connectTo(sampleString);
        auto *box = control<QPlainTextEdit>("MdxTextbox");
        auto *status = control<QLabel>("StatementStatusLabel");
        const QString hr = "select {[Store].[Store Country].members} on rows, "
                           "{[Measures].[Count]} on columns from HR";
        box->setPlainText("SELECT {[Measures].[Count]} ON COLUMNS,\n"
                          "  {[Store].[Store Country].Members} ON ROWS FROM HR");
        key(Qt::Key_F6);
        QCOMPARE(cubes()->currentText(), "HR");
        QCOMPARE(statement(), hr);
        QCOMPARE(outline(rows()).mid(0, 3),
                 QStringList({ "Store[x]", "  (All)[ ]", "  Store Country[x]" }));
        QCOMPARE(status->text(), QString());
        // The same cube: one step of the history, which undo takes back with the text.
        const QString edited = QString(hr).replace("Country", "State");
        box->setPlainText(edited);
        QCOMPARE(form->openStatement(edited), QString());
        QCOMPARE(statement(), edited);
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(statement(), edited);
        QCOMPARE(outline(rows()).mid(0, 3),
                 QStringList({ "Store[x]", "  (All)[ ]", "  Store Country[x]" }));

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

    void commands()
    {
        QFETCH(MdxForm::CloseReason, reason);
        const QByteArray how = QTest::currentDataTag();
        QSignalSpy closed(form.get(), &MdxForm::closed);
        connectTo(sampleString);
        click(at(schema(), item(schema(), "Store"))); // builds the statement
        QCOMPARE(form->mdxString(), budget(""));

        // A hand edit is the result; Enter in the box copies it, Ctrl+Enter breaks the line.
        click(at("MdxTextbox"));
        key(Qt::Key_End, Qt::ControlModifier);
        key(Qt::Key_Return, Qt::ControlModifier);
        for (char c : QByteArray("where"))
            QTest::keyClick(form->windowHandle(), c);
        const QString edited = budget("") + "\nwhere";
        QCOMPARE(form->mdxString(), edited);
        key(Qt::Key_Return);
        QCOMPARE(messages(), Messages({ copySuccess }));
        QCOMPARE(QGuiApplication::clipboard()->text(), edited);
        QCOMPARE(statement(), edited);
        // A value written from outside is what Copy takes, until the box changes.
        form->setMdxString("outside");
        click(at("CopyButton"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("outside"));
        QGuiApplication::clipboard()->setText("unchanged");
        messages();

        if (how.endsWith("Button"))
            click(at(how.constData()));
        else if (how == "Alt+O")
            key(Qt::Key_O, Qt::AltModifier);
        else if (how == "Escape")
            key(Qt::Key_Escape);
        else
            form->windowHandle()->close();
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
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen = QStringList({ box->windowTitle(), box->text(), QString::number(box->icon()),
                                     QString::number(box->buttons().size()),
                                     QString::number(form->isVisible()) })
                           .join('|');
                box->button(QMessageBox::Ok)->click();
            }
        });
        answer.start(20);
        click(at("OKButton"));
        QCOMPARE(seen,
                 "Copy Success|The MDX string has been saved to your clipboard.|"
                     + QString::number(QMessageBox::Information) + "|1|1");
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());
        QTRY_VERIFY(!form->isVisible());
        QCOMPARE(form->closeReason(), MdxForm::CloseReason::Ok);
    }
};

QTEST_MAIN(TestMdxFormUse)
#include "tst_mdxform_use.moc"
