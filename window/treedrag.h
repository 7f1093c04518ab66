#pragma once

#include "model/layouttree.h"

#include <QCursor>
#include <QObject>

#include <vector>

class QMouseEvent;
class QTreeWidget;

namespace mdx {

class TreeMirror;

// The drag of a node from one tree of a window to another, run by the window itself: a
// platform drag returns at once offscreen and blocks under X, and its cursor cannot have
// the hot spots the design asks for.
//
// A left press on a node reports the node and starts the drag; the pointer then shows
// whether the control under it takes a drop; the release on a tree reports the drop.
// What a press or a drop means is the window's to decide. Presses on the expand indicator
// of a node with children are left to the tree widget, which expands or collapses.
class TreeDrag : public QObject
{
    Q_OBJECT
public:
    // `window` holds the controls the pointer passes over; its bare surface takes no drop.
    explicit TreeDrag(QWidget &window);
    ~TreeDrag() override;

    // A tree takes drops either way; `dropAllowedCursor` only chooses the pointer over it.
    void addTree(TreeMirror &view, bool dropAllowedCursor);
    // A control that shows the no-drop pointer (other controls leave the pointer as it was).
    void addNoDropControl(QWidget &control);
    void setCursors(const QCursor &dropAllowed, const QCursor &noDrop);

    // Ends a running drag without a drop; nothing happens when none runs.
    void end();

signals:
    void nodePressed(mdx::Node *node);
    void dropped(mdx::LayoutTree *source, mdx::LayoutTree *target);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Tree
    {
        TreeMirror *view = nullptr;
        QTreeWidget *widget = nullptr;
        bool dropAllowedCursor = false;
        // The widget got the last press (on an expand indicator) and sees the rest of it.
        bool widgetOwnsPress = false;
    };
    enum class Rule { None, Allowed, NoDrop };

    bool press(Tree &tree, const QMouseEvent &mouse);
    bool doubleClick(Tree &tree, const QMouseEvent &mouse);
    bool widgetTakes(Tree &tree, QPoint pos);
    bool move(const Tree &tree, const QMouseEvent &mouse);
    bool release(Tree &tree, const QMouseEvent &mouse);
    void begin(Tree &source);

    QWidget *controlAt(const QPoint &globalPos);
    Tree *treeOf(const QObject *object);
    bool isNoDropControl(const QWidget *widget) const;
    Rule ruleAt(const QPoint &globalPos);

    QWidget &mWindow;
    std::vector<Tree> mTrees;
    std::vector<QWidget *> mNoDropControls;
    // Until a window supplies its own, the platform's drag pointers serve.
    QCursor mDropAllowedCursor { Qt::DragMoveCursor };
    QCursor mNoDropCursor { Qt::ForbiddenCursor };
    Tree *mSource = nullptr;
};

} // namespace mdx
