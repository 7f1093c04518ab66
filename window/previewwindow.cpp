#include "previewwindow.h"

#include "resultgrid.h"

#include "common/failure.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QShortcut>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace mdx {

namespace {

// Columns are sized to what the first rows hold; measuring all of a big result would cost
// more than showing it.
constexpr int SizedRows = 200;

} // namespace

PreviewWindow::PreviewWindow(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Preview"));
    resize(720, 420);

    mSlicerLabel = new QLabel(this);
    mSlicerLabel->setObjectName(QStringLiteral("SlicerLabel"));
    mSlicerLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    mGridView = new QTableView(this);
    mGridView->setObjectName(QStringLiteral("ResultGrid"));
    // The grid's own first rows and columns are the headers: the view's would be numbers.
    mGridView->horizontalHeader()->hide();
    mGridView->verticalHeader()->hide();
    mGridView->horizontalHeader()->setResizeContentsPrecision(SizedRows);
    mGridView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mGridView->setWordWrap(false);
    // One line of text per row, as in a spreadsheet.
    mGridView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    mGridView->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    mGridView->installEventFilter(this);

    mMessagePage = new QWidget(this);
    mMessageLabel = new QLabel(mMessagePage);
    mMessageLabel->setObjectName(QStringLiteral("MessageLabel"));
    mMessageLabel->setWordWrap(true);
    mMessageLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    mMessageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    mStatementLabel = new QLabel(QStringLiteral("Statement:"), mMessagePage);
    mStatementText = new QPlainTextEdit(mMessagePage);
    mStatementText->setObjectName(QStringLiteral("StatementText"));
    mStatementText->setReadOnly(true);
    auto *messageLayout = new QVBoxLayout(mMessagePage);
    messageLayout->setContentsMargins(0, 0, 0, 0);
    messageLayout->addWidget(mMessageLabel);
    messageLayout->addWidget(mStatementLabel);
    messageLayout->addWidget(mStatementText, 1);

    mPages = new QStackedWidget(this);
    mPages->addWidget(mGridView);
    mPages->addWidget(mMessagePage);

    mStatusLabel = new QLabel(this);
    mStatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    mStatusLabel->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(mSlicerLabel);
    layout->addWidget(mPages, 1);
    layout->addWidget(mStatusLabel);

    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    // The window belongs to its owner: when the owner's window goes, so does this one.
    if (owner)
        owner->installEventFilter(this);
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::preview(const Catalog &catalog, const QString &cube, const QString &statement)
{
    const QPointer<PreviewWindow> alive(this);
    const QPointer<QWidget> owner(parentWidget());
    try {
        QueryResult result = catalog.execute(statement);
        if (!alive)
            return;
        showResult(cube, std::move(result));
    } catch (const Failure &failure) {
        if (!alive)
            return;
        showFailure(cube, statement, failure);
    }
    // The user closed the wizard during the wait: nothing to show it to.
    if (owner && !owner->isVisible())
        return;
    show();
    raise();
    activateWindow();
}

void PreviewWindow::showPage(const QString &cube, QWidget *page)
{
    setWindowTitle(QStringLiteral("Preview - ") + cube);
    mPages->setCurrentWidget(page);
}

void PreviewWindow::showResult(const QString &cube, QueryResult result)
{
    auto *model = new ResultGrid(std::move(result), this);
    mGridView->setModel(model);
    delete mModel;
    mModel = model;
    const QStringList &slicer = mModel->result().slicer;
    mSlicerLabel->setText(QStringLiteral("Slicer: ") + slicer.join(QStringLiteral(", ")));
    mSlicerLabel->setVisible(!slicer.isEmpty());
    mStatusLabel->setText(mModel->statusText());
    mGridView->resizeColumnsToContents();
    showPage(cube, mGridView);
    mGridView->setFocus();
}

void PreviewWindow::showFailure(const QString &cube, const QString &statement,
                                const Failure &failure)
{
    // A source without data is not an error: it gets an explanation, without the statement.
    const bool noData = failure.code() == CatalogFailure::HoldsNoData;
    if (noData)
        mMessageLabel->setText(failure.description());
    else if (failure.code() == CatalogFailure::Cancelled)
        mMessageLabel->setText(QStringLiteral("The preview was cancelled."));
    else
        mMessageLabel->setText(QStringLiteral("The statement could not be run.\n\n")
                               + failure.description() + QStringLiteral("\n\nSource: ")
                               + failure.source());
    mStatementLabel->setVisible(!noData);
    mStatementText->setVisible(!noData);
    mStatementText->setPlainText(statement);
    mSlicerLabel->hide();
    mStatusLabel->setText(noData ? QString() : QStringLiteral("No result."));
    showPage(cube, mMessagePage);
}

void PreviewWindow::copySelection()
{
    if (!mModel || mPages->currentWidget() != mGridView)
        return;
    QGuiApplication::clipboard()->setText(
        mModel->copyText(mGridView->selectionModel()->selectedIndexes()));
}

bool PreviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Hide && !event->spontaneous())
        hide();
    if (watched == mGridView && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        copySelection();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace mdx
