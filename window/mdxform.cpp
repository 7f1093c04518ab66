#include "mdxform.h"

#include "modelviews.h"
#include "previewwindow.h"
#include "prompter.h"
#include "schemafill.h"
#include "treedrag.h"
#include "treemenu.h"
#include "waitdialog.h"

#include "common/failure.h"

#include "model/mdxstatement.h"
#include "model/placement.h"

#include <QAction>
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

// The layout is designed in twips; 15 of them make a pixel at 96 dpi, and Qt's high-dpi
// scaling takes care of other screens.
constexpr int twips(int value)
{
    return value / 15;
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

template<typename Widget> Widget *place(Widget *widget, const char *name, QRect geometry)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QLabel *label(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *control = place(new QLabel(text, parent), name, geometry);
    // Labels sit at the top left of their box, as the layout was drawn.
    control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return control;
}

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

    setFixedSize(twips(9945), twips(9000));
    mTreeDrag = std::make_unique<TreeDrag>(*this);
    connect(mTreeDrag.get(), &TreeDrag::nodePressed, this, &MdxForm::treeMouseDown);
    connect(mTreeDrag.get(), &TreeDrag::dropped, this, &MdxForm::treeDragDrop);
    createControls();
    arrangeTabOrder();
    createKeyboardControls();
    createPreviewCommand();
    mWaitDialog = std::make_shared<WaitDialog>(this);
    mWaitIndicator = mWaitDialog;
}

MdxForm::~MdxForm() = default;

void MdxForm::createControls()
{
    mPicture1 = place(new QWidget(this), "Picture1", twipsRect(0, 0, 9945, 1095));
    mPicture1->setBackgroundRole(QPalette::Base);
    mPicture1->setAutoFillBackground(true);
    mPicture1->setFocusPolicy(Qt::TabFocus);

    mTitleLabel
        = label(mPicture1, "TitleLabel", QStringLiteral("Orvanta 3.0 MDX Builder Utility Program"),
                twipsRect(120, 120, 8775, 495));
    QFont titleFont = font();
    titleFont.setPointSizeF(18);
    mTitleLabel->setFont(titleFont);
    mSubTitleLabel = label(
        mPicture1, "SubTitleLabel",
        QStringLiteral("Use this program to help construct MDX strings that will allow Orvanta "
                       "to extract the information that it needs in an easy-to-understand "
                       "layout. When you have your fields in the appropriate locations, click "
                       "the OK button."),
        twipsRect(240, 600, 8655, 495));
    mSubTitleLabel->setWordWrap(true);
    mOrvantaLogo = label(mPicture1, "OrvantaLogo", QString(), twipsRect(9000, 120, 780, 675));
    mOrvantaLogo->setPixmap(QPixmap(QStringLiteral(":/mdxwizard/logo.xpm")));
    mOrvantaLogo->setScaledContents(true);

    mConnectionLabel = label(this, "ConnectionLabel", QStringLiteral("Connection:"),
                             twipsRect(120, 1440, 1095, 255));
    mConnectionStringTextbox
        = place(new QLineEdit(QStringLiteral("provider=msolap;data source=local;initial "
                                             "catalog=foodmart 2000"),
                              this),
                "ConnectionStringTextbox", twipsRect(1200, 1440, 8415, 285));
    mConnectImage = label(this, "ConnectImage", QString(), twipsRect(9600, 1440, 240, 240));
    mConnectImage->setPixmap(QPixmap(QStringLiteral(":/mdxwizard/connect.xpm")));
    mConnectImage->setToolTip(QStringLiteral("Connect"));
    mConnectImage->installEventFilter(this);

    mCubeLabel = label(this, "CubeLabel", QStringLiteral("Cube:"), twipsRect(120, 1920, 855, 255));
    mCubeCombo = place(new QComboBox(this), "CubeCombo", twipsRect(1200, 1920, 1695, 315));
    // Only a choice by the user raises the cube selection here; the program's own choice of
    // the first cube runs it directly.
    connect(mCubeCombo, &QComboBox::activated, this, &MdxForm::cubeComboClick);

    mSlicerLabel
        = label(this, "SlicerLabel", QStringLiteral("Slicers:"), twipsRect(3000, 1920, 1455, 255));
    mSlicerTree = addTree("SlicerTree", twipsRect(3000, 2160, 3375, 1095), mSlicerModel, true);
    mColumnLabel
        = label(this, "ColumnLabel", QStringLiteral("Columns:"), twipsRect(6480, 1920, 1215, 255));
    mColumnTree = addTree("ColumnTree", twipsRect(6480, 2160, 3375, 1095), mColumnModel, true);
    mSchemaLabel
        = label(this, "SchemaLabel", QStringLiteral("Schema:"), twipsRect(120, 2400, 1095, 255));
    // The schema tree takes a dimension back, but shows the no-drop pointer.
    mSchemaTree = addTree("SchemaTree", twipsRect(120, 2640, 2775, 4455), mSchemaModel, false);
    mRowLabel = label(this, "RowLabel", QStringLiteral("Rows:"), twipsRect(3000, 3360, 1575, 255));
    mRowTree = addTree("RowTree", twipsRect(3000, 3600, 3375, 3495), mRowModel, true);
    mMeasureLabel = label(this, "MeasureLabel", QStringLiteral("Measures:"),
                          twipsRect(6480, 3360, 1335, 255));
    mMeasuresList = place(new QListWidget(this), "MeasuresList", twipsRect(6480, 3600, 3375, 3435));
    // The tick is an entry's one state: no selection highlight beside it.
    mMeasuresList->setSelectionMode(QAbstractItemView::NoSelection);
    mMeasuresView = std::make_unique<MeasuresView>(mMeasuresModel, *mMeasuresList);
    mTreeDrag->addNoDropControl(*mMeasuresList);
    // A click anywhere on an entry flips its tick, as on a check-box list; a double click is
    // two clicks.
    connect(mMeasuresList, &QListWidget::itemClicked, this, &MdxForm::measuresListClick);
    connect(mMeasuresList, &QListWidget::itemDoubleClicked, this, &MdxForm::measuresListClick);
    mMeasuresList->installEventFilter(this);

    mMdxTextbox = place(new QPlainTextEdit(this), "MdxTextbox", twipsRect(120, 7200, 9735, 1215));
    QFont boldFont = font();
    boldFont.setBold(true);
    mMdxTextbox->setFont(boldFont);
    QPalette facePalette = mMdxTextbox->palette();
    facePalette.setColor(QPalette::Base, facePalette.color(QPalette::Button));
    mMdxTextbox->setPalette(facePalette);
    // The statement is one long line: it wraps, also inside long names, and never scrolls
    // sideways.
    mMdxTextbox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    mMdxTextbox->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    mMdxTextbox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mMdxTextbox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mMdxTextbox->setTabChangesFocus(true);
    mMdxTextbox->installEventFilter(this);
    connect(mMdxTextbox, &QPlainTextEdit::textChanged, this, &MdxForm::mdxTextboxChange);

    mCopyButton = place(new QPushButton(QStringLiteral("Copy"), this), "CopyButton",
                        twipsRect(6360, 8520, 1095, 375));
    mCopyButton->setDefault(true);
    connect(mCopyButton, &QPushButton::clicked, this, &MdxForm::copyButtonClick);
    mOKButton = place(new QPushButton(QStringLiteral("&OK"), this), "OKButton",
                      twipsRect(7560, 8520, 1095, 375));
    connect(mOKButton, &QPushButton::clicked, this, &MdxForm::okButtonClick);
    mCancelButton = place(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton",
                          twipsRect(8760, 8520, 1095, 375));
    mCancelButton->setToolTip(QStringLiteral("Close"));
    connect(mCancelButton, &QPushButton::clicked, this, &MdxForm::cancelButtonClick);
}

// F9 and the statement box's menu entry; usable once a connection is open.
void MdxForm::createPreviewCommand()
{
    mPreviewAction = new QAction(QStringLiteral("Preview Results"), this);
    mPreviewAction->setObjectName(QStringLiteral("PreviewAction"));
    mPreviewAction->setShortcut(QKeySequence(Qt::Key_F9));
    mPreviewAction->setShortcutContext(Qt::WindowShortcut);
    mPreviewAction->setEnabled(false);
    addAction(mPreviewAction);
    connect(mPreviewAction, &QAction::triggered, this, &MdxForm::previewActionTrigger);
    mMdxTextbox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mMdxTextbox, &QWidget::customContextMenuRequested, this,
            &MdxForm::mdxTextboxContextMenu);
}

QTreeWidget *MdxForm::addTree(const char *name, QRect geometry, LayoutTree &model,
                              bool dropAllowedCursor)
{
    auto *tree = place(new QTreeWidget(this), name, geometry);
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setExpandsOnDoubleClick(false);
    mTreeViews.push_back(std::make_unique<TreeView>(model, *tree));
    mTreeDrag->addTree(*mTreeViews.back(), dropAllowedCursor);
    return tree;
}

void MdxForm::arrangeTabOrder()
{
    const QList<QWidget *> chain {
        mPicture1,   mConnectionStringTextbox,
        mCubeCombo,  mSchemaTree,
        mRowTree,    mColumnTree,
        mSlicerTree, mMeasuresList,
        mMdxTextbox, mCopyButton,
        mOKButton,   mCancelButton,
    };
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

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
    mSlicerModel.clear();
    mRowModel.clear();
    mColumnModel.clear();
    mMeasuresModel.clear();
    mMdxTextbox->setPlainText(QString());
    // Another cube: the steps taken on the last one mean nothing here.
    mHistory.clear();

    // The schema tree is refilled without repainting in between, and repaints again even
    // when the load fails half way.
    mSchemaTree->setUpdatesEnabled(false);
    const auto resume = qScopeGuard([this] { mSchemaTree->setUpdatesEnabled(true); });
    fillSchema(mCubeDef, mSchemaModel, mMeasuresModel);
}

void MdxForm::buildMdx()
{
    mMdxTextbox->setPlainText(composeMdx(mRowModel, mColumnModel, mSlicerModel, mMeasuresModel,
                                         mCubeCombo->currentText()));
}

// ---- Presses and drops on the trees, the Connect picture

void MdxForm::treeMouseDown(Node *node)
{
    runHandler([&] {
        recordStep([&] {
            node->setChecked(!node->checked());
            node->setSelected(true);
            buildMdx();
            return true;
        });
    });
}

void MdxForm::treeDragDrop(LayoutTree *source, LayoutTree *target)
{
    runHandler([&] { placeDroppedNode(*source, *target); });
}

void MdxForm::placeDroppedNode(LayoutTree &source, LayoutTree &target)
{
    placeNode(source, source.selectedItem(), target);
}

bool MdxForm::placeNode(LayoutTree &source, Node *node, LayoutTree &target)
{
    Placement placement = Placement::NothingSelected;
    recordStep([&] {
        placement = mdx::placeNode(source, node, target);
        if (placement == Placement::Moved)
            buildMdx();
        return placement == Placement::Moved;
    });
    switch (placement) {
    case Placement::Moved:
        return true;
    case Placement::TargetFull:
        mPrompter->showMessage(this, Prompter::Icon::Exclamation, QStringLiteral("Invalid Axis"),
                               QStringLiteral("This wizard only supports up to 3 dimensions on "
                                              "any axis."));
        break;
    case Placement::SameTree:
    case Placement::NothingSelected:
        break;
    }
    return false;
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

// ---- The measures list

void MdxForm::measuresListClick(QListWidgetItem *item)
{
    runHandler([this, item] { toggleMeasure(mMeasuresList->row(item)); });
}

bool MdxForm::measuresListKey(QEvent *event)
{
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier)
        return false;
    // A held key flips the tick once, not at the key's repeat rate.
    if (!key->isAutoRepeat())
        runHandler([this] { toggleMeasure(mMeasuresList->currentRow()); });
    return true;
}

void MdxForm::toggleMeasure(int position)
{
    if (position < 0)
        return;
    recordStep([&] {
        const bool wasTicked = mMeasuresModel.isTicked(position);
        mMeasuresModel.setTicked(position, !wasTicked);
        applyMeasuresRule(position);
        buildMdx();
        // A refused untick is no step.
        return mMeasuresModel.isTicked(position) != wasTicked;
    });
}

void MdxForm::applyMeasuresRule(int position)
{
    if (mMeasuresModel.isTicked(position) || mMeasuresModel.tickedCount() > 0)
        return;
    mMeasuresModel.setTicked(position, true);
    mPrompter->showMessage(this, Prompter::Icon::Information, QStringLiteral("Invalid Selection"),
                           QStringLiteral("Must have at least one measure checked"));
}

// ---- The statement box and the commands

void MdxForm::mdxTextboxChange()
{
    setMdxString(statementBoxText());
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
    menu->addAction(mPreviewAction);
    menu->exec(mMdxTextbox->viewport()->mapToGlobal(at));
}

void MdxForm::previewActionTrigger()
{
    runHandler([this] { previewResults(); });
}

void MdxForm::previewResults()
{
    if (!mPreview)
        mPreview = new PreviewWindow(this);
    mPreview->preview(mCatalog, mCubeCombo->currentText(), mMdxString);
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
