#include "treemenu.h"

#include "modelmirrors.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

namespace mdx {

namespace {

// Hidden by the find field, or under a hidden dimension: not what the user sees.
bool shown(const QTreeWidgetItem *item)
{
    return item && !item->isHidden() && !(item->parent() && item->parent()->isHidden());
}

} // namespace

TreeMenu::TreeMenu(const std::vector<Target> &targets, QObject *parent)
    : QObject(parent)
{
    for (const Target &from : targets) {
        QTreeWidget &widget = from.view->widget();
        Source source { from.view, new QMenu(&widget) };
        source.menu->setObjectName(widget.objectName() + QStringLiteral("Menu"));
        for (const Target &to : targets) {
            auto *action = new QAction(to.text, &widget);
            action->setShortcut(to.shortcut);
            // Live while the tree (or its open menu) has the focus.
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            // A drop on its own tree does nothing; so does its entry.
            action->setEnabled(to.view != from.view);
            widget.addAction(action);
            source.menu->addAction(action);
            LayoutTree *sourceModel = &from.view->model();
            LayoutTree *targetModel = &to.view->model();
            const size_t index = mSources.size();
            connect(action, &QAction::triggered, this,
                    [=, this] { emit moveRequested(sourceModel, menuNode(index), targetModel); });
        }
        if (from.choosesMembers) {
            source.menu->addSeparator();
            auto *action = new QAction(QStringLiteral("Choose &Members..."), &widget);
            action->setShortcut(Qt::CTRL | Qt::Key_M);
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            widget.addAction(action);
            source.menu->addAction(action);
            LayoutTree *sourceModel = &from.view->model();
            const size_t index = mSources.size();
            connect(action, &QAction::triggered, this,
                    [=, this] { emit chooseMembersRequested(sourceModel, menuNode(index)); });
        }
        // The entry chosen acts after the menu has hidden; the node it was opened for is
        // forgotten after that.
        connect(source.menu, &QMenu::aboutToHide, this,
                [this] { QTimer::singleShot(0, this, [this] { mMenuKey.clear(); }); });
        widget.installEventFilter(this);
        widget.viewport()->installEventFilter(this);
        mSources.push_back(source);
    }
}

TreeMenu::~TreeMenu() = default;

const TreeMenu::Source *TreeMenu::sourceOf(const QObject *object) const
{
    for (const Source &source : mSources) {
        if (&source.view->widget() == object || source.view->widget().viewport() == object)
            return &source;
    }
    return nullptr;
}

bool TreeMenu::eventFilter(QObject *watched, QEvent *event)
{
    const Source *source = sourceOf(watched);
    if (!source)
        return false;
    if (event->type() == QEvent::KeyPress && watched == &source->view->widget())
        return key(*source, event);
    if (event->type() == QEvent::FocusIn && watched == &source->view->widget()
        && static_cast<QFocusEvent *>(event)->reason() == Qt::PopupFocusReason) {
        // The focus comes back from the menu. The view would make its first node current,
        // which selects it; the menu is to change nothing.
        source->view->widget().viewport()->update();
        return true;
    }
    if (event->type() != QEvent::ContextMenu)
        return false;
    const auto *menuEvent = static_cast<QContextMenuEvent *>(event);
    // The keyboard's menu requests are handled as keys, so that every platform opens the
    // menu once.
    if (menuEvent->reason() != QContextMenuEvent::Mouse || watched == &source->view->widget())
        return true;
    const QTreeWidget &widget = source->view->widget();
    QTreeWidgetItem *item = widget.itemAt(menuEvent->pos());
    if (item && menuEvent->pos().x() >= widget.visualItemRect(item).left())
        openMenu(*source, item, menuEvent->globalPos());
    return true;
}

bool TreeMenu::key(const Source &source, QEvent *event)
{
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool menuKey = key->key() == Qt::Key_Menu
        || (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
    const bool space = key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier;
    if (!menuKey && !space)
        return false;
    Node *node = currentNode(source);
    // A held Space ticks once, not at the key's repeat rate.
    if (node && space && !key->isAutoRepeat())
        emit toggleRequested(node);
    if (node && menuKey) {
        QTreeWidget &widget = source.view->widget();
        QTreeWidgetItem *item = widget.currentItem();
        const QRect rect = widget.visualItemRect(item);
        openMenu(source, item, widget.viewport()->mapToGlobal(rect.bottomLeft()));
    }
    return true;
}

// The menu pops up and the window goes on; no nested event loop waits for the choice.
void TreeMenu::openMenu(const Source &source, QTreeWidgetItem *item, const QPoint &globalPos)
{
    const Node *node = source.view->nodeOf(item);
    if (!node)
        return;
    mMenuKey = node->key();
    source.menu->popup(globalPos);
}

// The node the open menu is for, or else the tree's current node.
Node *TreeMenu::menuNode(size_t sourceIndex) const
{
    const Source &source = mSources[sourceIndex];
    return mMenuKey.isEmpty() ? currentNode(source) : source.view->model().find(mMenuKey);
}

Node *TreeMenu::currentNode(const Source &source) const
{
    QTreeWidgetItem *item = source.view->widget().currentItem();
    return shown(item) ? source.view->nodeOf(item) : nullptr;
}

} // namespace mdx
