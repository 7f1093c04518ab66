// The window's controls as the layout places them, its keys and the names assistive
// technology reads.
#include "mdxform.h"

#include "findfield.h"
#include "modelmirrors.h"
#include "treedrag.h"
#include "treemenu.h"

#include <QAction>
#include <QCheckBox>
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

QShortcut *shortcut(QWidget *window, QKeySequence key)
{
    return new QShortcut(key, window, nullptr, nullptr, Qt::WindowShortcut);
}

} // namespace

void MdxForm::createControls()
{
    setFixedSize(twips(9945), twips(9000));
    createBanner();
    createConnectionControls();
    createQueryControls();
    createStatementControls();
}

// The white banner at the top: the title, what the program is for, the logo.
void MdxForm::createBanner()
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
}

void MdxForm::createConnectionControls()
{
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
    // The statement names the cube the list shows, whatever changed it.
    connect(mCubeCombo, &QComboBox::currentTextChanged, this,
            [this](const QString &cube) { mQuery.setCube(cube); });
}

// The four trees and the measures: the query as the user lays it out.
void MdxForm::createQueryControls()
{
    mSlicerLabel
        = label(this, "SlicerLabel", QStringLiteral("Slicers:"), twipsRect(3000, 1920, 1455, 255));
    mSlicerTree
        = addTree("SlicerTree", twipsRect(3000, 2160, 3375, 1095), Query::Tree::Slicers, true);
    mColumnLabel
        = label(this, "ColumnLabel", QStringLiteral("Columns:"), twipsRect(6480, 1920, 1215, 255));
    mColumnTree
        = addTree("ColumnTree", twipsRect(6480, 2160, 3375, 1095), Query::Tree::Columns, true);
    mSchemaLabel
        = label(this, "SchemaLabel", QStringLiteral("Schema:"), twipsRect(120, 2400, 1095, 255));
    // The schema tree takes a dimension back, but shows the no-drop pointer.
    mSchemaTree
        = addTree("SchemaTree", twipsRect(120, 2640, 2775, 4455), Query::Tree::Schema, false);
    mRowLabel = label(this, "RowLabel", QStringLiteral("Rows:"), twipsRect(3000, 3360, 1575, 255));
    mNonEmptyCheck = place(new QCheckBox(QStringLiteral("Non Empty"), this), "NonEmptyCheck",
                           twipsRect(4680, 3345, 1695, 255));
    connect(mNonEmptyCheck, &QCheckBox::clicked, this, &MdxForm::nonEmptyCheckClick);
    mRowTree = addTree("RowTree", twipsRect(3000, 3600, 3375, 3495), Query::Tree::Rows, true);
    mMeasureLabel = label(this, "MeasureLabel", QStringLiteral("Measures:"),
                          twipsRect(6480, 3360, 1335, 255));
    mMeasuresList = place(new QListWidget(this), "MeasuresList", twipsRect(6480, 3600, 3375, 3435));
    // The tick is an entry's one state: no selection highlight beside it.
    mMeasuresList->setSelectionMode(QAbstractItemView::NoSelection);
    mMeasuresMirror = std::make_unique<MeasuresMirror>(mQuery.measures(), *mMeasuresList);
    mTreeDrag->addNoDropControl(*mMeasuresList);
    // A click anywhere on an entry flips its tick, as on a check-box list; a double click is
    // two clicks.
    connect(mMeasuresList, &QListWidget::itemClicked, this, &MdxForm::measuresListClick);
    connect(mMeasuresList, &QListWidget::itemDoubleClicked, this, &MdxForm::measuresListClick);
    mMeasuresList->installEventFilter(this);
}

// The statement box and the commands that hand its text on.
void MdxForm::createStatementControls()
{
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
    // Beside the buttons, why a statement could not become the layout; empty until then.
    mStatementStatusLabel
        = label(this, "StatementStatusLabel", QString(), twipsRect(120, 8520, 6135, 375));
    mStatementStatusLabel->setWordWrap(true);
}

// The statement box's own commands, in its menu and on keys of the window; usable once a
// connection is open: F9 previews the statement, F6 takes it as the layout.
void MdxForm::createStatementCommands()
{
    const auto command
        = [this](const char *name, const QString &text, Qt::Key key, void (MdxForm::*trigger)()) {
              auto *action = new QAction(text, this);
              action->setObjectName(QLatin1String(name));
              action->setShortcut(QKeySequence(key));
              action->setShortcutContext(Qt::WindowShortcut);
              action->setEnabled(false);
              addAction(action);
              connect(action, &QAction::triggered, this, trigger);
              return action;
          };
    mPreviewAction = command("PreviewAction", QStringLiteral("Preview Results"), Qt::Key_F9,
                             &MdxForm::previewActionTrigger);
    mLayoutAction = command("LayoutAction", QStringLiteral("Update Layout from Statement"),
                            Qt::Key_F6, &MdxForm::layoutActionTrigger);
    mMdxTextbox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mMdxTextbox, &QWidget::customContextMenuRequested, this,
            &MdxForm::mdxTextboxContextMenu);
}

QTreeWidget *MdxForm::addTree(const char *name, QRect geometry, Query::Tree which,
                              bool dropAllowedCursor)
{
    auto *tree = place(new QTreeWidget(this), name, geometry);
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setExpandsOnDoubleClick(false);
    mTreeMirrors.push_back(std::make_unique<TreeMirror>(mQuery.tree(which), *tree));
    mTreeDrag->addTree(*mTreeMirrors.back(), dropAllowedCursor);
    return tree;
}

void MdxForm::arrangeTabOrder()
{
    const QList<QWidget *> chain {
        mPicture1,      mConnectionStringTextbox,
        mCubeCombo,     mSchemaTree,
        mNonEmptyCheck, mRowTree,
        mColumnTree,    mSlicerTree,
        mMeasuresList,  mMdxTextbox,
        mCopyButton,    mOKButton,
        mCancelButton,
    };
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

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
        for (const auto &mirror : mTreeMirrors) {
            if (&mirror->widget() == widget)
                return mirror.get();
        }
        return static_cast<TreeMirror *>(nullptr);
    };
    mTreeMenu = std::make_unique<TreeMenu>(std::vector<TreeMenu::Target> {
        { view(mRowTree), QStringLiteral("Move to &Rows"), Qt::CTRL | Qt::Key_1, true },
        { view(mColumnTree), QStringLiteral("Move to &Columns"), Qt::CTRL | Qt::Key_2, true },
        { view(mSlicerTree), QStringLiteral("Move to &Slicers"), Qt::CTRL | Qt::Key_3, true },
        { view(mSchemaTree), QStringLiteral("Move to Sc&hema"), Qt::CTRL | Qt::Key_0, false },
    });
    connect(mTreeMenu.get(), &TreeMenu::moveRequested, this, &MdxForm::treeMenuMove);
    connect(mTreeMenu.get(), &TreeMenu::toggleRequested, this, &MdxForm::treeSpaceKey);
    connect(mTreeMenu.get(), &TreeMenu::chooseMembersRequested, this,
            &MdxForm::treeMenuChooseMembers);

    mFindField = new FindField(*mSchemaTree, this);
    mFindField->setObjectName(QStringLiteral("FindField"));
    QWidget::setTabOrder(mSchemaTree, mFindField);
    QWidget::setTabOrder(mFindField, mNonEmptyCheck);

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
    mNonEmptyCheck->setAccessibleName(mNonEmptyCheck->text());
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

} // namespace mdx
