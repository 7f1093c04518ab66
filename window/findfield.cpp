#include "findfield.h"

#include <QKeyEvent>
#include <QTreeWidget>

namespace mdx {

FindField::FindField(QTreeWidget &tree, QWidget *parent)
    : QLineEdit(parent)
    , mTree(tree)
{
    setPlaceholderText(QStringLiteral("Find a dimension or level"));
    setClearButtonEnabled(true);
    hide();
    connect(this, &QLineEdit::textChanged, this, &FindField::filter);
    connect(mTree.model(), &QAbstractItemModel::rowsInserted, this, &FindField::rowsAdded);
}

void FindField::open()
{
    const QRect tree = mTree.geometry();
    const int height = sizeHint().height();
    setGeometry(tree.left(), tree.bottom() + 1 - height, tree.width(), height);
    show();
    raise();
    setFocus(Qt::ShortcutFocusReason);
    selectAll();
}

void FindField::dismiss()
{
    clear();
    hide();
    mTree.setFocus(Qt::OtherFocusReason);
}

void FindField::keyPressEvent(QKeyEvent *event)
{
    // Enter and Esc are the field's own here: they must not reach the window's default and
    // cancel buttons.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
        enterTree();
        return;
    case Qt::Key_Escape:
        dismiss();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

void FindField::filter()
{
    for (int i = 0; i < mTree.topLevelItemCount(); ++i)
        filterDimension(mTree.topLevelItem(i));
}

void FindField::filterDimension(QTreeWidgetItem *dimension)
{
    const QString wanted = text();
    bool match = wanted.isEmpty() || dimension->text(0).contains(wanted, Qt::CaseInsensitive);
    for (int i = 0; !match && i < dimension->childCount(); ++i)
        match = dimension->child(i)->text(0).contains(wanted, Qt::CaseInsensitive);
    // Unchanged rows are left alone: each change makes the view lay out again.
    if (dimension->isHidden() == match)
        dimension->setHidden(!match);
}

void FindField::rowsAdded(const QModelIndex &parent, int first, int last)
{
    if (text().isEmpty())
        return;
    if (parent.isValid()) {
        // A level: its dimension may match now. The trees hold two levels of nodes.
        if (!parent.parent().isValid())
            filterDimension(mTree.topLevelItem(parent.row()));
        return;
    }
    for (int row = first; row <= last; ++row)
        filterDimension(mTree.topLevelItem(row));
}

void FindField::enterTree()
{
    QTreeWidgetItem *current = mTree.currentItem();
    const bool visible
        = current && !current->isHidden() && !(current->parent() && current->parent()->isHidden());
    if (!visible) {
        for (int i = 0; i < mTree.topLevelItemCount(); ++i) {
            if (!mTree.topLevelItem(i)->isHidden()) {
                mTree.setCurrentItem(mTree.topLevelItem(i));
                break;
            }
        }
    }
    mTree.setFocus(Qt::OtherFocusReason);
}

} // namespace mdx
