#include "modelmirrors.h"

#include <QListWidget>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTreeWidget>

namespace mdx {

namespace {
constexpr int keyRole = Qt::UserRole;

Qt::CheckState checkState(bool checked)
{
    return checked ? Qt::Checked : Qt::Unchecked;
}

// Items say they are checkable, so that assistive technology reports their ticks, but only
// the window changes a tick: it has rules to apply. This delegate never toggles one.
class TickKeepingDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool editorEvent(QEvent *, QAbstractItemModel *, const QStyleOptionViewItem &,
                     const QModelIndex &) override
    {
        return false;
    }
};

constexpr Qt::ItemFlags itemFlags = Qt::ItemIsEnabled | Qt::ItemIsUserCheckable;
} // namespace

TreeMirror::TreeMirror(LayoutTree &model, QTreeWidget &widget)
    : mModel(model)
    , mWidget(widget)
{
    mModel.setObserver(this);
    mWidget.setItemDelegate(new TickKeepingDelegate(&mWidget));
    // Display state the user changes on the widget goes back to the model; the widget's
    // signals are blocked while it follows the model, so nothing echoes.
    connect(&mWidget, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *item) {
        if (Node *node = nodeOf(item))
            node->setExpanded(true);
    });
    connect(&mWidget, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem *item) {
        if (Node *node = nodeOf(item))
            node->setExpanded(false);
    });
    connect(&mWidget, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (Node *node = nodeOf(item))
            node->setSelected(true);
    });
}

TreeMirror::~TreeMirror()
{
    mModel.setObserver(nullptr);
}

Node *TreeMirror::nodeOf(const QTreeWidgetItem *item) const
{
    return item ? mModel.find(item->data(0, keyRole).toString()) : nullptr;
}

void TreeMirror::nodeAdded(const Node &node)
{
    const QSignalBlocker blocker(mWidget);
    auto *item = new QTreeWidgetItem;
    item->setText(0, node.text());
    item->setData(0, keyRole, node.key());
    item->setFlags(itemFlags | Qt::ItemIsSelectable);
    // A node put back by undo goes before its next sibling; any other comes last.
    QTreeWidgetItem *parent = node.parent() ? mItems.value(node.parent()->key()) : nullptr;
    QTreeWidgetItem *next = node.next() ? mItems.value(node.next()->key()) : nullptr;
    if (parent)
        parent->insertChild(next ? parent->indexOfChild(next) : parent->childCount(), item);
    else
        mWidget.insertTopLevelItem(
            next ? mWidget.indexOfTopLevelItem(next) : mWidget.topLevelItemCount(), item);
    mItems.insert(node.key(), item);
    show(node, *item);
}

void TreeMirror::nodeAboutToBeRemoved(const Node &node)
{
    const QSignalBlocker blocker(mWidget);
    const Node *selected = mModel.selectedItem();
    const bool losesSelection = selected && (selected == &node || selected->parent() == &node);
    delete mItems.value(node.key()); // takes the child items along
    forget(node);
    // The model is left without a selected node; the widget would pick a neighbour.
    if (losesSelection) {
        mWidget.setCurrentItem(nullptr);
        mWidget.clearSelection();
    }
}

void TreeMirror::forget(const Node &node)
{
    mItems.remove(node.key());
    for (const Node *child = node.child(); child; child = child->next())
        forget(*child);
}

void TreeMirror::treeCleared()
{
    const QSignalBlocker blocker(mWidget);
    mWidget.clear();
    mItems.clear();
}

void TreeMirror::nodeChanged(const Node &node)
{
    const QSignalBlocker blocker(mWidget);
    if (QTreeWidgetItem *item = mItems.value(node.key()))
        show(node, *item);
}

void TreeMirror::show(const Node &node, QTreeWidgetItem &item)
{
    item.setCheckState(0, checkState(node.checked()));
    item.setExpanded(node.expanded());
    // A narrowed dimension keeps its name; the slant and the tip tell what it is narrowed to.
    const bool narrowed = !node.members().isEmpty();
    if (narrowed || item.font(0).italic()) {
        QFont font = item.font(0);
        font.setItalic(narrowed);
        item.setFont(0, font);
        item.setToolTip(0,
                        narrowed ? QStringLiteral("Chosen members:\n")
                                + node.members().join(QLatin1Char('\n'))
                                 : QString());
    }
    if (node.selected()) {
        mWidget.setCurrentItem(&item);
    } else if (item.isSelected()) {
        item.setSelected(false);
        if (mWidget.currentItem() == &item)
            mWidget.setCurrentItem(nullptr);
    }
}

MeasuresMirror::MeasuresMirror(MeasureList &model, QListWidget &widget)
    : mModel(model)
    , mWidget(widget)
{
    mModel.setObserver(this);
    mWidget.setItemDelegate(new TickKeepingDelegate(&mWidget));
}

MeasuresMirror::~MeasuresMirror()
{
    mModel.setObserver(nullptr);
}

void MeasuresMirror::itemAdded(int position)
{
    const QSignalBlocker blocker(mWidget);
    auto *item = new QListWidgetItem(mModel.text(position));
    // The window flips the tick for a click anywhere on the entry, and its rule decides
    // whether the change stands.
    item->setFlags(itemFlags);
    item->setCheckState(checkState(mModel.isTicked(position)));
    mWidget.insertItem(position, item);
}

void MeasuresMirror::itemTickChanged(int position)
{
    const QSignalBlocker blocker(mWidget);
    if (QListWidgetItem *item = mWidget.item(position))
        item->setCheckState(checkState(mModel.isTicked(position)));
}

void MeasuresMirror::listCleared()
{
    const QSignalBlocker blocker(mWidget);
    mWidget.clear();
}

} // namespace mdx
