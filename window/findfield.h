#pragma once

#include <QLineEdit>

class QModelIndex;
class QTreeWidget;
class QTreeWidgetItem;

namespace mdx {

// A small field over the bottom of a tree that shows only the dimensions whose name, or one
// of whose levels' names, contains its text (ignoring letter case). It hides rows of the
// widget and nothing else: the model, its ticks and its selection stay as they are.
class FindField : public QLineEdit
{
    Q_OBJECT
public:
    FindField(QTreeWidget &tree, QWidget *parent);

    // Shows the field over the tree and puts the focus in it, its text selected.
    void open();
    // Empties and hides the field (every dimension is shown again); the focus goes to the tree.
    void dismiss();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void filter();
    void filterDimension(QTreeWidgetItem *dimension);
    // Dimensions (or their levels) added while a text is in the field are filtered too.
    void rowsAdded(const QModelIndex &parent, int first, int last);
    void enterTree();

    QTreeWidget &mTree;
};

} // namespace mdx
