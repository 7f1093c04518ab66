#pragma once

#include "model/layouttree.h"
#include "model/measurelist.h"

#include <QHash>
#include <QObject>

class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace mdx {

// Keeps a tree widget showing one layout tree. The model is the truth: every change of the
// model is mirrored here, and the only things the widget feeds back are what the user does
// to the display itself (expanding, collapsing, moving the selection by keyboard).
// Check marks are drawn, and reported as checkable, but never toggled by the widget.
class TreeMirror : public QObject, private LayoutTreeObserver
{
public:
    TreeMirror(LayoutTree &model, QTreeWidget &widget);
    ~TreeMirror() override;

    LayoutTree &model() const { return mModel; }
    QTreeWidget &widget() const { return mWidget; }
    // The node an item shows, or nullptr.
    Node *nodeOf(const QTreeWidgetItem *item) const;

private:
    void nodeAdded(const Node &node) override;
    void nodeAboutToBeRemoved(const Node &node) override;
    void treeCleared() override;
    void nodeChanged(const Node &node) override;

    void show(const Node &node, QTreeWidgetItem &item);
    void forget(const Node &node);

    LayoutTree &mModel;
    QTreeWidget &mWidget;
    QHash<QString, QTreeWidgetItem *> mItems; // by node key
};

// Keeps a check-box list widget showing the measure list. Ticks the user makes reach the
// model through the window (it has rules to apply); this class only mirrors the model.
class MeasuresMirror : private MeasureListObserver
{
public:
    MeasuresMirror(MeasureList &model, QListWidget &widget);
    ~MeasuresMirror() override;

private:
    void itemAdded(int position) override;
    void itemTickChanged(int position) override;
    void listCleared() override;

    MeasureList &mModel;
    QListWidget &mWidget;
};

} // namespace mdx
