// The window's keyboard road: Connect by key, moves and ticks without a mouse, undo and redo,
// finding in a big schema, and the names assistive technology reads.
#include "mdxform.h"

#include "findfield.h"
#include "modelviews.h"
#include "treedrag.h"
#include "treemenu.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyleOptionFocusRect>
#include <QTreeWidget>

namespace mdx {

namespace {

QShortcut *shortcut(QWidget *window, QKeySequence key)
{
    return new QShortcut(key, window, nullptr, nullptr, Qt::WindowShortcut);
}

// The root that stands before `dimension` in its tree, or nullptr.
Node *previousDimension(const Node &dimension)
{
    Node *previous = nullptr;
    for (Node *node : dimension.tree()) {
        if (node == &dimension)
            break;
        if (!node->parent())
            previous = node;
    }
    return previous;
}

} // namespace

void MdxForm::createKeyboardControls()
{
    // No text box uses F5, so it is Connect wherever the focus is.
    connect(shortcut(this, Qt::Key_F5), &QShortcut::activated, this, &MdxForm::connectKey);
    // The text boxes claim these keys for their own undo while they have the focus.
    connect(shortcut(this, QKeySequence::Undo), &QShortcut::activated, this, &MdxForm::undoKey);
    for (const QKeySequence &redo :
         { QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z) })
        connect(shortcut(this, redo), &QShortcut::activated, this, &MdxForm::redoKey);
    connect(shortcut(this, QKeySequence::Find), &QShortcut::activated, this, &MdxForm::findKey);

    const auto view = [this](const QTreeWidget *widget) {
        for (const auto &treeView : mTreeViews) {
            if (&treeView->widget() == widget)
                return treeView.get();
        }
        return static_cast<TreeView *>(nullptr);
    };
    mTreeMenu = std::make_unique<TreeMenu>(std::vector<TreeMenu::Target> {
        { view(mRowTree), QStringLiteral("Move to &Rows"), Qt::CTRL | Qt::Key_1 },
        { view(mColumnTree), QStringLiteral("Move to &Columns"), Qt::CTRL | Qt::Key_2 },
        { view(mSlicerTree), QStringLiteral("Move to &Slicers"), Qt::CTRL | Qt::Key_3 },
        { view(mSchemaTree), QStringLiteral("Move to Sc&hema"), Qt::CTRL | Qt::Key_0 },
    });
    connect(mTreeMenu.get(), &TreeMenu::moveRequested, this, &MdxForm::treeMenuMove);
    connect(mTreeMenu.get(), &TreeMenu::toggleRequested, this, &MdxForm::treeSpaceKey);

    mFindField = new FindField(*mSchemaTree, this);
    mFindField->setObjectName(QStringLiteral("FindField"));
    QWidget::setTabOrder(mSchemaTree, mFindField);
    QWidget::setTabOrder(mFindField, mRowTree);

    mPicture1->installEventFilter(this);
    nameControlsForAccessibility();
}

void MdxForm::nameControlsForAccessibility()
{
    // The label's words without the colon, as a screen reader should say them.
    const auto byLabel = [](QWidget *control, QLabel *label) {
        label->setBuddy(control);
        QString name = label->text();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        control->setAccessibleName(name);
    };
    byLabel(mConnectionStringTextbox, mConnectionLabel);
    byLabel(mCubeCombo, mCubeLabel);
    byLabel(mSchemaTree, mSchemaLabel);
    byLabel(mRowTree, mRowLabel);
    byLabel(mColumnTree, mColumnLabel);
    byLabel(mSlicerTree, mSlicerLabel);
    byLabel(mMeasuresList, mMeasureLabel);
    mPicture1->setAccessibleName(mTitleLabel->text());
    mOrvantaLogo->setAccessibleName(QStringLiteral("Logo"));
    mConnectImage->setAccessibleName(QStringLiteral("Connect"));
    mMdxTextbox->setAccessibleName(QStringLiteral("MDX statement"));
    mFindField->setAccessibleName(QStringLiteral("Find in the schema"));
    for (QPushButton *button : { mCopyButton, mOKButton, mCancelButton })
        button->setAccessibleName(button->text().remove(QLatin1Char('&')));
}

// The banner takes the focus first in the tab order; it shows it with a focus frame.
bool MdxForm::picture1Paint(QEvent *)
{
    if (!mPicture1->hasFocus())
        return false;
    QPainter painter(mPicture1);
    QStyleOptionFocusRect option;
    option.initFrom(mPicture1);
    option.rect = mPicture1->rect().adjusted(2, 2, -2, -2);
    option.backgroundColor = mPicture1->palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, mPicture1);
    return false;
}

// ---- Moves from the menu and the keys

// A key pressed while the mouse drags a node ends that drag without a drop: the drop would
// move whatever the key left selected.

void MdxForm::connectKey()
{
    mTreeDrag->end();
    connectImageClick();
}

void MdxForm::treeSpaceKey(Node *node)
{
    mTreeDrag->end();
    treeMouseDown(node);
}

void MdxForm::treeMenuMove(LayoutTree *source, Node *node, LayoutTree *target)
{
    mTreeDrag->end();
    runHandler([&] { moveByKeyboard(*source, node, *target); });
}

void MdxForm::moveByKeyboard(LayoutTree &source, Node *node, LayoutTree &target)
{
    Node *dimension = node && node->parent() ? node->parent() : node;
    Node *neighbour = nullptr;
    if (dimension)
        neighbour = dimension->next() ? dimension->next() : previousDimension(*dimension);
    const QString neighbourKey = neighbour ? neighbour->key() : QString();
    if (!placeNode(source, node, target))
        return;
    // A keyboard user goes on from the dimension that took the moved one's place.
    if (!source.selectedItem()) {
        if (Node *next = source.find(neighbourKey))
            next->setSelected(true);
    }
}

// ---- Undo and redo

void MdxForm::recordStep(const std::function<bool()> &change)
{
    QuerySnapshot before = snapshot();
    if (change())
        mHistory.record(std::move(before));
}

QuerySnapshot MdxForm::snapshot() const
{
    return takeSnapshot(
        { const_cast<LayoutTree *>(&mSchemaModel), const_cast<LayoutTree *>(&mRowModel),
          const_cast<LayoutTree *>(&mColumnModel), const_cast<LayoutTree *>(&mSlicerModel) },
        mMeasuresModel, statementBoxText());
}

void MdxForm::restore(const QuerySnapshot &state)
{
    restoreSnapshot(state, { &mSchemaModel, &mRowModel, &mColumnModel, &mSlicerModel },
                    mMeasuresModel);
    // The box gets back its text of then, the user's own edits included.
    mMdxTextbox->setPlainText(state.statement);
}

void MdxForm::undoKey()
{
    mTreeDrag->end();
    runHandler([this] {
        if (auto previous = mHistory.undo(snapshot()))
            restore(*previous);
    });
}

void MdxForm::redoKey()
{
    mTreeDrag->end();
    runHandler([this] {
        if (auto next = mHistory.redo(snapshot()))
            restore(*next);
    });
}

// ---- Find

void MdxForm::findKey()
{
    mFindField->open();
}

} // namespace mdx
