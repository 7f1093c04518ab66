#pragma once

#include "window/mdxform.h"
#include "window/prompter.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <utility>

namespace mdx::test {

inline const QString sampleString
    = QStringLiteral("provider=msolap;data source=local;initial catalog=foodmart 2000");
inline const QString cannotConnect = QStringLiteral(
    "There is an error. The application cannot connect to the datasource.\r\n\r\n");

inline QString schemaString(const QString &file)
{
    return QStringLiteral("provider=msolap;data source=" MDX_TEST_DATA_DIR "/window/") + file;
}

struct Message
{
    Prompter::Icon icon;
    QString title;
    QString text;
    bool operator==(const Message &) const = default;
};
using Messages = QList<Message>;
inline char *toString(const Message &m)
{
    return QTest::toString(QString::number(int(m.icon)) + '|' + m.title + '|' + m.text);
}

// Records the messages instead of showing them; onShow runs while "the box is up".
class RecordingPrompter : public Prompter
{
public:
    Messages messages;
    std::function<void()> onShow;

    void showMessage(QWidget *, Icon icon, const QString &title, const QString &text) override
    {
        messages.append({ icon, title, text });
        if (onShow)
            onShow();
    }
};

// The item with this text: a root, or a child of the root named `dimension`.
inline QTreeWidgetItem *item(QTreeWidget *tree, const QString &text, const QString &dimension = {})
{
    for (QTreeWidgetItem *found : tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive)) {
        if ((found->parent() ? found->parent()->text(0) : QString()) == dimension)
            return found;
    }
    return nullptr;
}

// "Dimension[x]" and "  Level[ ]" lines with the check marks, in display order.
inline QStringList outline(QTreeWidget *tree)
{
    QStringList lines;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        lines << ((*it)->parent() ? QStringLiteral("  ") : QString()) + (*it)->text(0)
                + ((*it)->checkState(0) == Qt::Checked ? "[x]" : "[ ]");
    return lines;
}

// A window per test, its messages recorded. Input goes to the QWindow, as the platform
// delivers it, so that the window's mouse grab takes effect.
struct FormFixture
{
    std::shared_ptr<RecordingPrompter> prompter;
    std::unique_ptr<MdxForm> form;
    QTimer poll;

    bool open()
    {
        poll.disconnect(); // nothing left waiting from an earlier test
        prompter = std::make_shared<RecordingPrompter>();
        form = std::make_unique<MdxForm>(prompter);
        form->show();
        return QTest::qWaitForWindowActive(form.get());
    }
    // Closes the window; no drag pointer outlives it.
    void close()
    {
        form.reset();
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }
    Messages messages() { return std::exchange(prompter->messages, {}); }
    template<typename T = QWidget> T *control(const char *name) const
    {
        return form->findChild<T *>(QLatin1String(name));
    }
    QTreeWidget *tree(const char *name) const { return control<QTreeWidget>(name); }
    QTreeWidget *schema() const { return tree("SchemaTree"); }
    QComboBox *cubes() const { return control<QComboBox>("CubeCombo"); }
    QListWidget *measures() const { return control<QListWidget>("MeasuresList"); }
    QString statement() const { return control<QPlainTextEdit>("MdxTextbox")->toPlainText(); }

    QPoint at(const QWidget *widget, QPoint pos) const { return widget->mapTo(form.get(), pos); }
    QPoint at(const QWidget *widget) const { return at(widget, widget->rect().center()); }
    QPoint at(QTreeWidget *tree, QTreeWidgetItem *node) const
    {
        return at(tree->viewport(), tree->visualItemRect(node).center());
    }
    QPoint at(const char *name) const { return at(control(name)); }

    void press(QPoint pos) { QTest::mousePress(form->windowHandle(), Qt::LeftButton, {}, pos); }
    void move(QPoint pos) { QTest::mouseMove(form->windowHandle(), pos); }
    void release(QPoint pos) { QTest::mouseRelease(form->windowHandle(), Qt::LeftButton, {}, pos); }
    void click(QPoint pos, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(form->windowHandle(), button, {}, pos);
    }
    // Drags the dimension (or level) `text` of the tree `from` onto the control `to`.
    void drag(const char *from, const QString &text, const char *to)
    {
        press(at(tree(from), item(tree(from), text)));
        move(at(to));
        release(at(to));
    }
    void key(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(form->windowHandle(), Qt::Key(key), modifiers);
    }
    void key(QKeyCombination keys) { key(keys.key(), keys.keyboardModifiers()); }
    // Once a window of type T is up (a dialog, a menu), runs `act` on it from inside the loop
    // that waits for it.
    template<typename T> void whenUp(std::function<void(T *)> act)
    {
        poll.disconnect();
        QObject::connect(&poll, &QTimer::timeout, [this, act] {
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (auto *found = qobject_cast<T *>(window); found && found->isVisible()) {
                    poll.stop();
                    return act(found);
                }
            }
        });
        poll.start(10);
    }
    // Connects with this string and returns the messages it brought.
    Messages connectTo(const QString &connectionString)
    {
        control<QLineEdit>("ConnectionStringTextbox")->setText(connectionString);
        click(at("ConnectImage"));
        return messages();
    }
};

} // namespace mdx::test
