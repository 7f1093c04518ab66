#pragma once

#include "model/layouttree.h"

#include <QKeySequence>
#include <QObject>
#include <QString>

#include <vector>

class QMenu;
class QPoint;
class QTreeWidgetItem;

namespace mdx {

class TreeMirror;

// The trees' keyboard and context-menu road: "Move to ..." entries with their shortcuts on
// every tree (the entry of a node's own tree disabled), "Choose Members..." on the axis trees,
// and Space to tick the current node.
// It only reports what the user asked for; the window applies the same rules as for a drop
// and a press.
class TreeMenu : public QObject
{
    Q_OBJECT
public:
    struct Target
    {
        TreeMirror *view = nullptr;
        QString text; // "Move to &Rows"
        QKeySequence shortcut;
        // An axis tree's dimensions can be narrowed to chosen members.
        bool choosesMembers = false;
    };
    // Every tree is a source and a target; the menus list the targets in this order.
    explicit TreeMenu(const std::vector<Target> &targets, QObject *parent = nullptr);
    ~TreeMenu() override;

signals:
    // Move the dimension of `node` (a node of source; may be null) onto target.
    void moveRequested(mdx::LayoutTree *source, mdx::Node *node, mdx::LayoutTree *target);
    // Tick or untick `node` as a press does.
    void toggleRequested(mdx::Node *node);
    // Choose the members of the dimension of `node` (a node of source; may be null).
    void chooseMembersRequested(mdx::LayoutTree *source, mdx::Node *node);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Source
    {
        TreeMirror *view = nullptr;
        QMenu *menu = nullptr;
    };
    const Source *sourceOf(const QObject *object) const;
    Node *menuNode(size_t sourceIndex) const;
    bool key(const Source &source, QEvent *event);
    void openMenu(const Source &source, QTreeWidgetItem *item, const QPoint &globalPos);
    Node *currentNode(const Source &source) const;

    std::vector<Source> mSources;
    // The key of the node a menu was opened for, while it is open; a shortcut acts on the
    // current node.
    QString mMenuKey;
};

} // namespace mdx
