#pragma once

#include "catalog/catalog.h"
#include "model/query.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
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
class MeasuresMirror;
class PreviewWindow;
class Prompter;
class TreeDrag;
class TreeMenu;
class TreeMirror;
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

    // Takes a statement the wizard wrote (or one edited as a person would) as the layout, on
    // a window whose connection is open: its cube is selected when it is another, and the
    // trees, marks and ticks become those that write it. One step of the history. Returns
    // why it could not, also shown under the statement box, or nothing when it did.
    QString openStatement(const QString &statement);
    // Puts the connection string in its box and connects, as the Connect command does.
    void connectWith(const QString &connectionString);

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
    // The controls, their layout, keys and names (mdxformlayout.cpp).
    void createControls();
    void createBanner();
    void createConnectionControls();
    void createQueryControls();
    void createStatementControls();
    void createStatementCommands();
    QTreeWidget *addTree(const char *name, QRect geometry, Query::Tree tree,
                         bool dropAllowedCursor);
    void arrangeTabOrder();
    void createKeyboardControls();
    void nameControlsForAccessibility();
    bool picture1Paint(QEvent *event);

    // Handlers, one per control and event; each calls one operation and shows its outcome.
    void connectImageClick();
    void cubeComboClick();
    void treeMouseDown(Node *node);
    void treeDragDrop(LayoutTree *source, LayoutTree *target);
    void treeMenuMove(LayoutTree *source, Node *node, LayoutTree *target);
    void treeSpaceKey(Node *node);
    void treeMenuChooseMembers(LayoutTree *source, Node *node);
    void measuresListClick(QListWidgetItem *item);
    void nonEmptyCheckClick(bool checked);
    void mdxTextboxChange();
    void copyButtonClick();
    void okButtonClick();
    void cancelButtonClick();
    void mdxTextboxContextMenu(QPoint at);
    void previewActionTrigger();
    void layoutActionTrigger();
    void connectKey();
    void undoKey();
    void redoKey();
    void findKey();
    bool connectImageMouse(QEvent *event);
    bool mdxTextboxKey(QEvent *event);
    bool measuresListKey(QEvent *event);

    // Operations.
    void connectToDataSource();
    void fillCubeList();
    void selectCube();
    void loadCubeSchema();
    // Tells the user of a refusal, and shows the statement when it was written anew.
    void showOutcome(const Outcome &outcome);
    void finish(CloseReason reason);
    // Runs the statement box's text on the connection and shows what it returns.
    void previewResults();
    QString statementBoxText() const;
    // The reason a statement cannot become the layout, or nothing when it has.
    QString takeStatement(const QString &text);

    // Runs a handler's work; a failure becomes a message instead of reaching Qt.
    void runHandler(const std::function<void()> &work);
    void showUnexpected(const QString &description, const QString &source);

    std::shared_ptr<Prompter> mPrompter;

    // The query; the widgets below show it.
    Query mQuery;

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
    QCheckBox *mNonEmptyCheck = nullptr;
    QTreeWidget *mRowTree = nullptr;
    QLabel *mMeasureLabel = nullptr;
    QListWidget *mMeasuresList = nullptr;
    QPlainTextEdit *mMdxTextbox = nullptr;
    QPushButton *mCopyButton = nullptr;
    QPushButton *mOKButton = nullptr;
    QPushButton *mCancelButton = nullptr;

    std::vector<std::unique_ptr<TreeMirror>> mTreeMirrors;
    std::unique_ptr<MeasuresMirror> mMeasuresMirror;
    std::unique_ptr<TreeDrag> mTreeDrag;
    std::unique_ptr<TreeMenu> mTreeMenu;
    FindField *mFindField = nullptr;
    // Shown while a connection this window opened waits for a server.
    std::shared_ptr<WaitDialog> mWaitDialog;
    std::shared_ptr<WaitIndicator> mWaitIndicator;

    bool mConnectPressed = false;

    // F9 and the statement box's menu; usable once a connection is open.
    QAction *mPreviewAction = nullptr;
    QAction *mLayoutAction = nullptr;
    QLabel *mStatementStatusLabel = nullptr;
    QPointer<PreviewWindow> mPreview;
};

} // namespace mdx
