#include "treedrag.h"

#include "modelmirrors.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>

#include <algorithm>

namespace mdx {

namespace {

// The node a press at pos hits: the one in its row, unless the press is left of it, in the
// indentation.
QTreeWidgetItem *itemHit(const QTreeWidget &tree, QPoint pos)
{
    QTreeWidgetItem *item = tree.itemAt(pos);
    return item && pos.x() >= tree.visualItemRect(item).left() ? item : nullptr;
}

// Whether pos is on the expand indicator of a node with children, where the widget expands
// and collapses. Measured as the widget measures it, so that no press falls between the two.
bool onExpandIndicator(const QTreeWidget &tree, QPoint pos)
{
    const QTreeWidgetItem *item = tree.itemAt(pos);
    if (!item || item->childCount() == 0)
        return false;
    const QRect rect = tree.visualItemRect(item);
    QStyleOptionViewItem option;
    option.initFrom(&tree);
    option.rect
        = QRect(rect.left() - tree.indentation(), rect.top(), tree.indentation(), rect.height());
    return tree.style()
        ->subElementRect(QStyle::SE_TreeViewDisclosureItem, &option, &tree)
        .contains(pos);
}

} // namespace

TreeDrag::TreeDrag(QWidget &window)
    : mWindow(window)
{
}

TreeDrag::~TreeDrag()
{
    end();
}

void TreeDrag::addTree(TreeMirror &view, bool dropAllowedCursor)
{
    mTrees.push_back({ &view, &view.widget(), dropAllowedCursor });
    view.widget().viewport()->installEventFilter(this);
}

void TreeDrag::addNoDropControl(QWidget &control)
{
    mNoDropControls.push_back(&control);
}

void TreeDrag::setCursors(const QCursor &dropAllowed, const QCursor &noDrop)
{
    mDropAllowedCursor = dropAllowed;
    mNoDropCursor = noDrop;
}

bool TreeDrag::eventFilter(QObject *watched, QEvent *event)
{
    Tree *tree = treeOf(watched->parent());
    if (!tree || watched != tree->widget->viewport())
        return false;
    // Cast only once the type says it is a mouse event.
    const auto mouse
        = [event]() -> const QMouseEvent & { return static_cast<const QMouseEvent &>(*event); };
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return press(*tree, mouse());
    case QEvent::MouseButtonDblClick:
        return doubleClick(*tree, mouse());
    case QEvent::MouseMove:
        return move(*tree, mouse());
    case QEvent::MouseButtonRelease:
        return release(*tree, mouse());
    default:
        return false;
    }
}

bool TreeDrag::press(Tree &tree, const QMouseEvent &mouse)
{
    if (mSource || mouse.button() != Qt::LeftButton)
        return true; // only the left button does something on a tree
    const QPoint pos = mouse.position().toPoint();
    if (widgetTakes(tree, pos))
        return false;
    if (Node *node = tree.view->nodeOf(itemHit(*tree.widget, pos))) {
        begin(tree);
        emit nodePressed(node);
    }
    return true;
}

bool TreeDrag::doubleClick(Tree &tree, const QMouseEvent &mouse)
{
    const QPoint pos = mouse.position().toPoint();
    if (widgetTakes(tree, pos))
        return false;
    // The first press of the double click did the press's work; the second only opens or
    // closes a dimension.
    if (mouse.button() == Qt::LeftButton && !mSource) {
        Node *node = tree.view->nodeOf(itemHit(*tree.widget, pos));
        if (node && node->child())
            node->setExpanded(!node->expanded());
    }
    return true;
}

// A press on an expand indicator is the widget's: it expands or collapses, nothing else
// happens, until the button is released.
bool TreeDrag::widgetTakes(Tree &tree, QPoint pos)
{
    if (!onExpandIndicator(*tree.widget, pos))
        return false;
    tree.widgetOwnsPress = true;
    return true;
}

bool TreeDrag::move(const Tree &tree, const QMouseEvent &mouse)
{
    if (!mSource)
        return mouse.buttons() != Qt::NoButton && !tree.widgetOwnsPress;
    if (!(mouse.buttons() & Qt::LeftButton)) {
        end(); // the release went elsewhere
        return true;
    }
    // Controls without a rule leave the pointer as it was last set.
    const Rule rule = ruleAt(mouse.globalPosition().toPoint());
    if (rule != Rule::None)
        QGuiApplication::changeOverrideCursor(rule == Rule::Allowed ? mDropAllowedCursor
                                                                    : mNoDropCursor);
    return true;
}

bool TreeDrag::release(Tree &tree, const QMouseEvent &mouse)
{
    if (mSource) {
        if (mouse.button() == Qt::LeftButton) {
            const Tree *source = mSource;
            const Tree *target = treeOf(controlAt(mouse.globalPosition().toPoint()));
            // The drop may show a message box: the drag must be over by then.
            end();
            if (target)
                emit dropped(&source->view->model(), &target->view->model());
        }
        return true;
    }
    if (tree.widgetOwnsPress) {
        if (mouse.buttons() == Qt::NoButton)
            tree.widgetOwnsPress = false;
        return false;
    }
    return true;
}

void TreeDrag::begin(Tree &source)
{
    mSource = &source;
    // Grabbing keeps the release ours even if a message box came up in between.
    source.widget->viewport()->grabMouse();
    QGuiApplication::setOverrideCursor(source.dropAllowedCursor ? mDropAllowedCursor
                                                                : mNoDropCursor);
}

void TreeDrag::end()
{
    if (!mSource)
        return;
    mSource->widget->viewport()->releaseMouse();
    QGuiApplication::restoreOverrideCursor();
    mSource = nullptr;
}

// The control under a screen position that the drag knows (a tree, a no-drop control), the
// window over its bare surface, or nullptr: outside the window and over other controls.
QWidget *TreeDrag::controlAt(const QPoint &globalPos)
{
    const QPoint pos = mWindow.mapFromGlobal(globalPos);
    if (!mWindow.rect().contains(pos))
        return nullptr;
    QWidget *widget = mWindow.childAt(pos);
    if (!widget)
        return &mWindow;
    // Up from the part hit (a viewport, a scroll bar) to the control it belongs to.
    for (; widget != &mWindow; widget = widget->parentWidget()) {
        if (treeOf(widget) || isNoDropControl(widget))
            return widget;
    }
    return nullptr;
}

TreeDrag::Tree *TreeDrag::treeOf(const QObject *object)
{
    const auto found = std::find_if(mTrees.begin(), mTrees.end(),
                                    [object](const Tree &tree) { return tree.widget == object; });
    return found == mTrees.end() ? nullptr : &*found;
}

bool TreeDrag::isNoDropControl(const QWidget *widget) const
{
    return std::find(mNoDropControls.begin(), mNoDropControls.end(), widget)
        != mNoDropControls.end();
}

TreeDrag::Rule TreeDrag::ruleAt(const QPoint &globalPos)
{
    const QWidget *control = controlAt(globalPos);
    if (!control)
        return Rule::None;
    if (const Tree *tree = treeOf(control))
        return tree->dropAllowedCursor ? Rule::Allowed : Rule::NoDrop;
    return Rule::NoDrop; // the window's bare surface or a no-drop control
}

} // namespace mdx
