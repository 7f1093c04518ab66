#pragma once

#include "window/mdxform.h"
#include "window/prompter.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <utility>

namespace mdx::test {

inline const QString sampleString
    = QStringLiteral("provider=msolap;data source=local;initial catalog=foodmart 2000");

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

// Records the messages instead of showing them; onShow runs while "the box is up".
class RecordingPrompter : public Prompter
{
public:
    QList<Message> messages;
    std::function<void()> onShow;

    void showMessage(QWidget *, Icon icon, const QString &title, const QString &text) override
    {
        messages.append({ icon, title, text });
        if (onShow)
            onShow();
    }
    QList<Message> take() { return std::exchange(messages, {}); }
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

    bool open()
    {
        prompter = std::make_shared<RecordingPrompter>();
        form = std::make_unique<MdxForm>(prompter);
        form->show();
        return QTest::qWaitForWindowActive(form.get());
    }
    template<typename T = QWidget> T *control(const char *name) const
    {
        return form->findChild<T *>(QLatin1String(name));
    }
    QTreeWidget *tree(const char *name) const { return control<QTreeWidget>(name); }
    QString statement() const { return control<QPlainTextEdit>("MdxTextbox")->toPlainText(); }

    QPoint at(const QWidget *widget, QPoint pos) const { return widget->mapTo(form.get(), pos); }
    QPoint at(const QWidget *widget) const { return at(widget, widget->rect().center()); }
    QPoint at(QTreeWidget *tree, QTreeWidgetItem *node) const
    {
        return at(tree->viewport(), tree->visualItemRect(node).center());
    }

    void press(QPoint pos) { QTest::mousePress(form->windowHandle(), Qt::LeftButton, {}, pos); }
    void move(QPoint pos) { QTest::mouseMove(form->windowHandle(), pos); }
    void release(QPoint pos) { QTest::mouseRelease(form->windowHandle(), Qt::LeftButton, {}, pos); }
    void click(QPoint pos, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(form->windowHandle(), button, {}, pos);
    }
    void drag(QPoint from, QPoint to)
    {
        press(from);
        move(to);
        release(to);
    }
    void key(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(form->windowHandle(), Qt::Key(key), modifiers);
    }
    void connectTo(const QString &connectionString)
    {
        control<QLineEdit>("ConnectionStringTextbox")->setText(connectionString);
        click(at(control("ConnectImage")));
    }
};

} // namespace mdx::test
