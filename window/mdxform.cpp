#include "mdxform.h"

#include "findfield.h"
#include "memberchooser.h"
#include "modelmirrors.h"
#include "previewwindow.h"
#include "prompter.h"
#include "treedrag.h"
#include "treemenu.h"
#include "waitdialog.h"

#include "common/failure.h"
#include "model/statementreader.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTextBlock>
#include <QTreeWidget>

namespace mdx {

namespace {

QCursor loadCursor(int number, int hotX, int hotY)
{
    const QPixmap picture(QStringLiteral(":/mdxwizard/cursor%1.xpm").arg(number));
    if (picture.isNull())
        throw Failure(WindowFailure::MissingResource,
                      QStringLiteral("The cursor resource %1 cannot be loaded.").arg(number),
                      FailureSource::Window);
    return QCursor(picture, hotX, hotY);
}

// The exception being handled, whatever its type, as a failure: the catalog's own as it is,
// anything else in the words it has. Only for use inside a catch block.
Failure caughtFailure()
{
    try {
        throw;
    } catch (const Failure &failure) {
        return failure;
    } catch (const std::exception &exception) {
        return Failure(WindowFailure::ForeignException, QString::fromLocal8Bit(exception.what()),
                       FailureSource::Window);
    } catch (...) {
        return Failure(WindowFailure::ForeignException,
                       QStringLiteral("An error of unknown kind occurred."), FailureSource::Window);
    }
}

// A close request during a wait cancels the request; the user has left and is not told.
bool closedWhileWaiting(const QWidget *window, const Failure &failure)
{
    return failure.code() == CatalogFailure::Cancelled && !window->isVisible();
}

} // namespace

MdxForm::MdxForm(QWidget *parent)
    : MdxForm(nullptr, parent)
{
}

MdxForm::MdxForm(std::shared_ptr<Prompter> prompter, QWidget *parent)
    : QDialog(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                  | Qt::WindowCloseButtonHint)
{
    setPrompter(std::move(prompter));
    setObjectName(QStringLiteral("MdxForm"));
    setWindowTitle(QStringLiteral("Orvanta 3.0 Mdx Builder Utility Program"));
    setWindowIcon(QIcon(QStringLiteral(":/mdxwizard/appicon.xpm")));

    // The design font is not found on this platform; Liberation Sans has its metrics.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont designFont(QStringLiteral("MS Sans Serif"));
    designFont.setPointSizeF(8.25);
    setFont(designFont);

    mTreeDrag = std::make_unique<TreeDrag>(*this);
    connect(mTreeDrag.get(), &TreeDrag::nodePressed, this, &MdxForm::treeMouseDown);
    connect(mTreeDrag.get(), &TreeDrag::dropped, this, &MdxForm::treeDragDrop);
    createControls();
    arrangeTabOrder();
    createKeyboardControls();
    createStatementCommands();
    mWaitDialog = std::make_shared<WaitDialog>(this);
    mWaitIndicator = mWaitDialog;
}

MdxForm::~MdxForm() = default;

QString MdxForm::mdxString() const
{
    return mMdxString;
}

void MdxForm::setMdxString(const QString &newMdx)
{
    mMdxString = newMdx;
}

void MdxForm::setPrompter(std::shared_ptr<Prompter> prompter)
{
    mPrompter = prompter ? std::move(prompter) : std::make_shared<MessageBoxPrompter>();
}

void MdxForm::setWaitIndicator(std::shared_ptr<WaitIndicator> indicator)
{
    mWaitIndicator = indicator ? std::move(indicator) : mWaitDialog;
}

// ---- Connect, the cube list and loading a cube

void MdxForm::connectImageClick()
{
    runHandler([this] { connectToDataSource(); });
}

// The whole of Connect, from the busy pointer to the default one.
void MdxForm::connectToDataSource()
{
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    // The busy pointer stays while a failure is on screen.
    const auto restorePointer = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
    try {
        Connection connection;
        connection.setWaitIndicator(mWaitIndicator);
        connection.open(mConnectionStringTextbox->text(), QString(), QString(), -1);
        showCubes(connection);
        mCubeCombo->setFocus();
    } catch (...) {
        // Whatever went wrong on the way, of whatever type, is Connect's to report.
        const Failure failure = caughtFailure();
        if (closedWhileWaiting(this, failure))
            return;
        mPrompter->showMessage(
            this, Prompter::Icon::Information,
            QStringLiteral("Connection Failed: ") + failure.source(),
            QStringLiteral("There is an error. The application cannot connect to the "
                           "datasource.\r\n\r\n")
                + failure.description());
    }
}

void MdxForm::showCubes(const Connection &connection)
{
    Connection held = connection;
    // A host's own connection shows its waits in this window unless it brought its own.
    if (!held.hasWaitIndicator())
        held.setWaitIndicator(mWaitIndicator);
    mTreeDrag->setCursors(loadCursor(101, 16, 8), loadCursor(102, 0, 0));
    mCatalog = Catalog();
    mCatalog.setActiveConnection(held);
    mPreviewAction->setEnabled(true);
    mLayoutAction->setEnabled(true);
    setWindowTitle(QStringLiteral("Orvanta 3.0 MDX Wizard"));
    fillCubeList();
    if (mCubeCombo->count() == 0)
        throw Failure(WindowFailure::NoCubeToSelect,
                      QStringLiteral("The catalog holds no cube, so there is none to select."),
                      FailureSource::Window);
    mCubeCombo->setCurrentIndex(0);
    selectCube();
    show();
}

void MdxForm::fillCubeList()
{
    const CubeDefs cubeDefs = mCatalog.cubeDefs();
    mCubeCombo->clear();
    const int count = cubeDefs.count();
    for (int i = 0; i < count; ++i) {
        mCubeCombo->addItem(cubeDefs.item(i).name());
        // The position in the catalog, not in the list, finds the cube again.
        mCubeCombo->setItemData(mCubeCombo->count() - 1, i);
    }
}

void MdxForm::cubeComboClick()
{
    runHandler([this] { selectCube(); });
}

void MdxForm::selectCube()
{
    const int entry = mCubeCombo->currentIndex();
    if (entry < 0)
        return;
    const int position = mCubeCombo->itemData(entry).toInt();
    mCubeCombo->setToolTip(mCubeCombo->itemText(entry));
    mCubeDef = mCatalog.cubeDefs().item(position);
    mSubTitleLabel->setText(cubeSubTitle(mCubeDef.name(), mCubeDef.description()));
    loadCubeSchema();
}

void MdxForm::loadCubeSchema()
{
    mQuery.clearForCube();
    mMdxTextbox->setPlainText(mQuery.statement());
    // The schema tree is refilled without repainting in between, and repaints again even
    // when the load fails half way.
    mSchemaTree->setUpdatesEnabled(false);
    const auto resume = qScopeGuard([this] { mSchemaTree->setUpdatesEnabled(true); });
    mQuery.fillSchema(mCubeDef);
}

void MdxForm::showOutcome(const Outcome &outcome)
{
    if (outcome.refusal) {
        const bool warning = outcome.refusal->severity == Refusal::Severity::Warning;
        mPrompter->showMessage(this,
                               warning ? Prompter::Icon::Exclamation : Prompter::Icon::Information,
                               outcome.refusal->title, outcome.refusal->text);
    }
    if (outcome.statementWritten)
        mMdxTextbox->setPlainText(mQuery.statement());
    // Undo and a statement read back set the switch as well as the user does.
    mNonEmptyCheck->setChecked(mQuery.nonEmpty());
}

// ---- Presses, drops, moves and ticks; undo and redo

// A key pressed while the mouse drags a node ends that drag without a drop: the drop would
// move whatever the key left selected.

void MdxForm::treeMouseDown(Node *node)
{
    runHandler([&] { showOutcome(mQuery.pressNode(*node)); });
}

void MdxForm::treeDragDrop(LayoutTree *source, LayoutTree *target)
{
    runHandler([&] { showOutcome(mQuery.dropOn(*source, *target)); });
}

void MdxForm::treeMenuMove(LayoutTree *source, Node *node, LayoutTree *target)
{
    mTreeDrag->end();
    runHandler([&] { showOutcome(mQuery.moveTo(*source, node, *target)); });
}

void MdxForm::treeSpaceKey(Node *node)
{
    mTreeDrag->end();
    treeMouseDown(node);
}

void MdxForm::treeMenuChooseMembers(LayoutTree *source, Node *node)
{
    mTreeDrag->end();
    const Node *dimension = node && node->parent() ? node->parent() : node;
    if (!dimension || !dimension->child())
        return;
    const QString key = dimension->key();
    runHandler([&] {
        MemberChooser chooser(
            dimension->text(), dimension->child()->key(), dimension->members(),
            [this](const MemberQuery &query) { return mCubeDef.members(query); }, this);
        // The trees may have changed while the chooser was open; the key finds the node again.
        if (chooser.exec() == QDialog::Accepted) {
            if (Node *again = source->find(key))
                showOutcome(mQuery.chooseMembers(*again, chooser.chosen()));
        }
    });
}

void MdxForm::measuresListClick(QListWidgetItem *item)
{
    runHandler([this, item] { showOutcome(mQuery.toggleMeasure(mMeasuresList->row(item))); });
}

void MdxForm::nonEmptyCheckClick(bool checked)
{
    runHandler([this, checked] { showOutcome(mQuery.setNonEmpty(checked)); });
}

bool MdxForm::measuresListKey(QEvent *event)
{
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier)
        return false;
    // A held key flips the tick once, not at the key's repeat rate.
    if (!key->isAutoRepeat())
        runHandler([this] { showOutcome(mQuery.toggleMeasure(mMeasuresList->currentRow())); });
    return true;
}

void MdxForm::undoKey()
{
    mTreeDrag->end();
    runHandler([this] { showOutcome(mQuery.undo()); });
}

void MdxForm::redoKey()
{
    mTreeDrag->end();
    runHandler([this] { showOutcome(mQuery.redo()); });
}

void MdxForm::connectKey()
{
    mTreeDrag->end();
    connectImageClick();
}

void MdxForm::findKey()
{
    mFindField->open();
}

bool MdxForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == mConnectImage)
        return connectImageMouse(event);
    if (watched == mPicture1 && event->type() == QEvent::Paint)
        return picture1Paint(event);
    if (watched == mMdxTextbox && event->type() == QEvent::KeyPress)
        return mdxTextboxKey(event);
    if (watched == mMeasuresList && event->type() == QEvent::KeyPress)
        return measuresListKey(event);
    return QDialog::eventFilter(watched, event);
}

bool MdxForm::connectImageMouse(QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    if (event->type() == QEvent::MouseButtonPress) {
        mConnectPressed = true;
        return false;
    }
    // A click is a press and a release on the picture, as for a button.
    const bool click
        = mConnectPressed && mConnectImage->rect().contains(mouse->position().toPoint());
    mConnectPressed = false;
    if (click)
        connectImageClick();
    return false;
}

// ---- The statement box and the commands

void MdxForm::mdxTextboxChange()
{
    const QString text = statementBoxText();
    mQuery.editStatement(text);
    setMdxString(text);
}

QString MdxForm::statementBoxText() const
{
    // toPlainText() would turn no-break spaces into spaces and line separators into line
    // feeds, and the server would no longer know the names that hold them. Only the breaks
    // between the editor's paragraphs become line feeds.
    QString text;
    for (QTextBlock block = mMdxTextbox->document()->begin(); block.isValid();
         block = block.next()) {
        if (block != mMdxTextbox->document()->begin())
            text += QLatin1Char('\n');
        text += block.text();
    }
    return text;
}

bool MdxForm::mdxTextboxKey(QEvent *event)
{
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    // Enter belongs to the default button here as everywhere; Ctrl+Enter types a line break.
    if (key->modifiers() & Qt::ControlModifier)
        mMdxTextbox->insertPlainText(QStringLiteral("\n"));
    else
        mCopyButton->click();
    return true;
}

void MdxForm::copyButtonClick()
{
    runHandler([this] {
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(mMdxString);
        mPrompter->showMessage(this, Prompter::Icon::Information, QStringLiteral("Copy Success"),
                               QStringLiteral("The MDX string has been saved to your clipboard."));
    });
}

void MdxForm::okButtonClick()
{
    mCopyButton->click();
    finish(CloseReason::Ok);
}

void MdxForm::cancelButtonClick()
{
    setMdxString(QString());
    finish(CloseReason::Cancel);
}

// The editor's own menu, and the preview with its shortcut shown.
void MdxForm::mdxTextboxContextMenu(QPoint at)
{
    const std::unique_ptr<QMenu> menu(mMdxTextbox->createStandardContextMenu(at));
    menu->addSeparator();
    menu->addAction(mLayoutAction);
    menu->addAction(mPreviewAction);
    menu->exec(mMdxTextbox->viewport()->mapToGlobal(at));
}

void MdxForm::layoutActionTrigger()
{
    openStatement(statementBoxText());
}

QString MdxForm::openStatement(const QString &statement)
{
    QString refusal;
    runHandler([&] { refusal = takeStatement(statement); });
    // A statement refused stays to be mended where the user can see it.
    if (!refusal.isEmpty() && statementBoxText() != statement)
        mMdxTextbox->setPlainText(statement);
    mStatementStatusLabel->setText(refusal);
    return refusal;
}

void MdxForm::connectWith(const QString &connectionString)
{
    mConnectionStringTextbox->setText(connectionString);
    connectImageClick();
}

// The statement's cube is selected when it is another; its layout is checked on that cube
// before it is loaded, so that a refusal changes nothing.
QString MdxForm::takeStatement(const QString &text)
{
    if (mCubeCombo->count() == 0)
        return QStringLiteral("No cube is loaded: connect first.");
    const StatementReading reading = readStatement(text);
    if (!reading.ok())
        return QStringLiteral("The statement cannot be read: ") + reading.failure;
    const QString &cube = reading.layout.cube;
    int entry = mCubeCombo->currentIndex();
    if (mCubeCombo->itemText(entry) != cube)
        entry = mCubeCombo->findText(cube, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (entry < 0)
        return QStringLiteral("The catalog has no cube %1.").arg(cube);
    if (entry != mCubeCombo->currentIndex()) {
        Query probe;
        probe.fillSchema(mCatalog.cubeDefs().item(mCubeCombo->itemData(entry).toInt()));
        if (const auto refusal = probe.openLayout(reading.layout).refusal)
            return refusal->text;
        mCubeCombo->setCurrentIndex(entry);
        selectCube();
    }
    const Outcome outcome = mQuery.openLayout(reading.layout);
    showOutcome({ outcome.changed, outcome.statementWritten, std::nullopt });
    return outcome.refusal ? outcome.refusal->text : QString();
}

void MdxForm::previewActionTrigger()
{
    runHandler([this] { previewResults(); });
}

void MdxForm::previewResults()
{
    if (!mPreview)
        mPreview = new PreviewWindow(this);
    mPreview->preview(mCatalog, mQuery.cube(), mMdxString);
}

void MdxForm::reject()
{
    mCancelButton->click();
}

void MdxForm::finish(CloseReason reason)
{
    mTreeDrag->end();
    mCloseReason = reason;
    QDialog::done(reason == CloseReason::Cancel ? Rejected : Accepted);
}

void MdxForm::closeEvent(QCloseEvent *event)
{
    // The close box closes without a word and keeps the result; QDialog would take it for
    // Cancel.
    mTreeDrag->end();
    mCloseReason = CloseReason::CloseBox;
    event->accept();
}

void MdxForm::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        mCloseReason = CloseReason::None;
    QDialog::showEvent(event);
}

void MdxForm::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous() && mCloseReason != CloseReason::None)
        emit closed();
}

// ---- Failures

void MdxForm::runHandler(const std::function<void()> &work)
{
    try {
        work();
    } catch (...) {
        const Failure failure = caughtFailure();
        // A drag begun by the press that failed would outlast the message.
        mTreeDrag->end();
        if (!closedWhileWaiting(this, failure))
            showUnexpected(failure.description(), failure.source());
    }
}

void MdxForm::showUnexpected(const QString &description, const QString &source)
{
    try {
        mPrompter->showMessage(this, Prompter::Icon::Critical, QStringLiteral("Unexpected Error"),
                               description + QStringLiteral("\r\n\r\nSource: ") + source);
    } catch (...) {
        // Nothing may reach the event loop, not even a failing message.
    }
}

} // namespace mdx
