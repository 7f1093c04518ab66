#pragma once

#include "window/mdxform.h"
#include "window/prompter.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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
    return QStringLiteral("provider=msolap;data source=%1/window/%2")
        .arg(QStringLiteral(MDX_TEST_DATA_DIR), file);
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
    std::function<void(const Message &)> onShow;

    void showMessage(QWidget *, Icon icon, const QString &title, const QString &text) override
    {
        messages.append({ icon, title, text });
        if (onShow)
            onShow(messages.back());
    }
    QList<Message> take() { return std::exchange(messages, {}); }
};

inline const Message copySuccess { Prompter::Icon::Information, QStringLiteral("Copy Success"),
                                   QStringLiteral(
                                       "The MDX string has been saved to your clipboard.") };

template<typename T> T *control(const MdxForm &form, const char *name)
{
    auto *widget = form.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

inline QTreeWidget *tree(const MdxForm &form, const char *name)
{
    return control<QTreeWidget>(form, name);
}

inline QPlainTextEdit *statementBox(const MdxForm &form)
{
    return control<QPlainTextEdit>(form, "MdxTextbox");
}

// The item with this text: a root, or the child of the root named by `dimension`.
inline QTreeWidgetItem *item(QTreeWidget *tree, const QString &text,
                             const QString &dimension = QString())
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *root = tree->topLevelItem(i);
        if (dimension.isEmpty() && root->text(0) == text)
            return root;
        if (root->text(0) == dimension) {
            for (int j = 0; j < root->childCount(); ++j) {
                if (root->child(j)->text(0) == text)
                    return root->child(j);
            }
        }
    }
    return nullptr;
}

// The texts of a tree as "Dim[x]" and "  Level[x]" lines, x = check mark, in display order.
inline QStringList outline(QTreeWidget *tree)
{
    QStringList lines;
    auto mark = [](QTreeWidgetItem *item) {
        return item->checkState(0) == Qt::Checked ? QStringLiteral("[x]") : QStringLiteral("[ ]");
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *root = tree->topLevelItem(i);
        lines << root->text(0) + mark(root);
        for (int j = 0; j < root->childCount(); ++j)
            lines << QStringLiteral("  ") + root->child(j)->text(0) + mark(root->child(j));
    }
    return lines;
}

// Mouse input goes to the window, as the platform delivers it, so grabs take effect.
inline QPoint inWindow(const MdxForm &form, const QWidget *widget, QPoint pos)
{
    return widget->mapTo(&form, pos);
}

inline QPoint centreOf(QTreeWidget *tree, QTreeWidgetItem *item)
{
    return tree->viewport()->mapTo(tree->window(), tree->visualItemRect(item).center());
}

inline void press(MdxForm &form, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mousePress(form.windowHandle(), button, {}, pos);
}

inline void release(MdxForm &form, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseRelease(form.windowHandle(), button, {}, pos);
}

inline void moveTo(MdxForm &form, QPoint pos)
{
    QTest::mouseMove(form.windowHandle(), pos);
}

// Press on an item of one tree, move over the middle of `target` and release there.
inline void drag(MdxForm &form, QTreeWidget *source, QTreeWidgetItem *item, QWidget *target)
{
    press(form, centreOf(source, item));
    const QPoint end = inWindow(form, target, target->rect().center());
    moveTo(form, end);
    release(form, end);
}

inline void connectTo(MdxForm &form, const QString &connectionString)
{
    control<QLineEdit>(form, "ConnectionStringTextbox")->setText(connectionString);
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                      inWindow(form, control<QLabel>(form, "ConnectImage"), QPoint(8, 8)));
}

} // namespace mdx::test
