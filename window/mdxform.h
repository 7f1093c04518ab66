#pragma once

#include "catalog/catalog.h"
#include "model/layouttree.h"
#include "model/measurelist.h"
#include "model/undohistory.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace mdx {

class FindField;
class MeasuresView;
class PreviewWindow;
class Prompter;
class TreeDrag;
class TreeMenu;
class TreeView;
class WaitDialog;

// The wizard's one window: connect to an OLAP catalog, pick a cube, drag its dimensions onto
// the axes, tick levels and measures, and take the MDX statement that results.
//
// A host creates it, calls showCubes() with a connection of its own (or lets the user press
// Connect), waits for closed() and reads mdxString() and closeReason(). The object outlives
// the on-screen window; it is never deleted on close.
class MdxForm : public QDialog
{
    Q_OBJECT
public:
    // How the on-screen window went away.
    enum class CloseReason { None, Ok, Cancel, CloseBox };
    Q_ENUM(CloseReason)

    explicit MdxForm(QWidget *parent = nullptr);
    // A prompter of the host's (or a test's) instead of real message boxes.
    explicit MdxForm(std::shared_ptr<Prompter> prompter, QWidget *parent = nullptr);
    ~MdxForm() override;

    // The result: the statement box's text, unless written since or emptied by Cancel.
    QString mdxString() const;
    void setMdxString(const QString &newMdx);

    // Lists the cubes of an open connection, loads the first one and shows the window
    // (modeless; returns at once). Throws mdx::Failure; the steps done before the failure
    // stay done.
    void showCubes(const Connection &connection);

    CloseReason closeReason() const { return mCloseReason; }
    // Null restores real message boxes.
    void setPrompter(std::shared_ptr<Prompter> prompter);
    // Shows the waits of the connections this window opens (Connect); null restores the
    // window's own wait dialog. A host's connection given to showCubes() keeps its own.
    void setWaitIndicator(std::shared_ptr<WaitIndicator> indicator);

    // Escape and hosts that reject the dialog mean Cancel.
    void reject() override;

signals:
    // The on-screen window has gone: by OK, Cancel or the close box.
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void createControls();
    void createPreviewCommand();
    QTreeWidget *addTree(const char *name, QRect geometry, LayoutTree &model,
                         bool dropAllowedCursor);
    void arrangeTabOrder();

    // Handlers, one per control and event; each forwards to the operations below.
    void connectImageClick();
    void cubeComboClick();
    void treeMouseDown(Node *node);
    void treeDragDrop(LayoutTree *source, LayoutTree *target);
    void measuresListClick(QListWidgetItem *item);
    void mdxTextboxChange();
    void copyButtonClick();
    void okButtonClick();
    void cancelButtonClick();
    void mdxTextboxContextMenu(QPoint at);
    void previewActionTrigger();

    // Operations.
    void connectToDataSource();
    void fillCubeList();
    void selectCube();
    void loadCubeSchema();
    void buildMdx();
    void placeDroppedNode(LayoutTree &source, LayoutTree &target);
    // The drop rule for the dimension of `node`, with its message and rebuild; whether it moved.
    bool placeNode(LayoutTree &source, Node *node, LayoutTree &target);
    // A click or Space on an entry: flips its tick, applies the measures rule, rebuilds.
    void toggleMeasure(int position);
    void applyMeasuresRule(int position);
    void finish(CloseReason reason);
    // Runs the statement box's text on the connection and shows what it returns.
    void previewResults();
    QString statementBoxText() const;

    // The keyboard road, undo and find (mdxformkeys.cpp).
    void createKeyboardControls();
    void nameControlsForAccessibility();
    void connectKey();
    void treeSpaceKey(Node *node);
    void treeMenuMove(LayoutTree *source, Node *node, LayoutTree *target);
    void undoKey();
    void redoKey();
    void findKey();
    void moveByKeyboard(LayoutTree &source, Node *node, LayoutTree &target);
    // Makes a user's change of the query one step of the history, if it changed anything.
    void recordStep(const std::function<bool()> &change);
    QuerySnapshot snapshot() const;
    void restore(const QuerySnapshot &state);
    bool picture1Paint(QEvent *event);

    bool connectImageMouse(QEvent *event);
    bool mdxTextboxKey(QEvent *event);
    bool measuresListKey(QEvent *event);
    // Runs a handler's work; a failure becomes a message instead of reaching Qt.
    void runHandler(const std::function<void()> &work);
    void showUnexpected(const QString &description, const QString &source);

    std::shared_ptr<Prompter> mPrompter;

    // The query model; the widgets below show it.
    LayoutTree mSchemaModel { QStringLiteral("SchemaTree") };
    LayoutTree mRowModel { QStringLiteral("RowTree") };
    LayoutTree mColumnModel { QStringLiteral("ColumnTree") };
    LayoutTree mSlicerModel { QStringLiteral("SlicerTree") };
    MeasureList mMeasuresModel;

    Catalog mCatalog;
    CubeDef mCubeDef;
    QString mMdxString;
    CloseReason mCloseReason = CloseReason::None;

    QWidget *mPicture1 = nullptr;
    QLabel *mTitleLabel = nullptr;
    QLabel *mSubTitleLabel = nullptr;
    QLabel *mOrvantaLogo = nullptr;
    QLabel *mConnectionLabel = nullptr;
    QLineEdit *mConnectionStringTextbox = nullptr;
    QLabel *mConnectImage = nullptr;
    QLabel *mCubeLabel = nullptr;
    QComboBox *mCubeCombo = nullptr;
    QLabel *mSlicerLabel = nullptr;
    QTreeWidget *mSlicerTree = nullptr;
    QLabel *mColumnLabel = nullptr;
    QTreeWidget *mColumnTree = nullptr;
    QLabel *mSchemaLabel = nullptr;
    QTreeWidget *mSchemaTree = nullptr;
    QLabel *mRowLabel = nullptr;
    QTreeWidget *mRowTree = nullptr;
    QLabel *mMeasureLabel = nullptr;
    QListWidget *mMeasuresList = nullptr;
    QPlainTextEdit *mMdxTextbox = nullptr;
    QPushButton *mCopyButton = nullptr;
    QPushButton *mOKButton = nullptr;
    QPushButton *mCancelButton = nullptr;

    std::vector<std::unique_ptr<TreeView>> mTreeViews;
    std::unique_ptr<MeasuresView> mMeasuresView;
    std::unique_ptr<TreeDrag> mTreeDrag;
    std::unique_ptr<TreeMenu> mTreeMenu;
    FindField *mFindField = nullptr;
    UndoHistory mHistory;
    // Shown while a connection this window opened waits for a server.
    std::shared_ptr<WaitDialog> mWaitDialog;
    std::shared_ptr<WaitIndicator> mWaitIndicator;

    bool mConnectPressed = false;

    // F9 and the statement box's menu; usable once a connection is open.
    QAction *mPreviewAction = nullptr;
    QPointer<PreviewWindow> mPreview;
};

} // namespace mdx
