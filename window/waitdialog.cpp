#include "waitdialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QProgressDialog>
#include <QWidget>
#include <QWindow>

namespace mdx {

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

WaitDialog::WaitDialog(QWidget *window)
    : mWindow(window)
{
    mShowTimer.setSingleShot(true);
    mShowTimer.setInterval(ShowDelayMs);
    connect(&mShowTimer, &QTimer::timeout, this, &WaitDialog::showDialog);
}

WaitDialog::~WaitDialog()
{
    if (mWaiting)
        end();
}

void WaitDialog::begin(const QString &text, std::function<void()> cancel)
{
    mText = text;
    mCancel = std::move(cancel);
    mWaiting = true;
    // The wait lets every event through so that the dialog works; everything else the user
    // does meanwhile is dropped here.
    QCoreApplication::instance()->installEventFilter(this);
    mShowTimer.start();
}

void WaitDialog::end()
{
    mShowTimer.stop();
    if (QCoreApplication *application = QCoreApplication::instance())
        application->removeEventFilter(this);
    mWaiting = false;
    mCancel = nullptr;
    if (mDialog) {
        delete mDialog.data();
        // The keyboard goes back to the window the dialog sat on, unless it has gone.
        if (mWindow && mWindow->isVisible())
            mWindow->activateWindow();
    }
}

void WaitDialog::showDialog()
{
    if (!mWaiting || mDialog)
        return;
    try {
        mDialog = new QProgressDialog(mText, QStringLiteral("Cancel"), 0, 0, mWindow);
        mDialog->setObjectName(QStringLiteral("WaitDialog"));
        if (mWindow) {
            mDialog->setWindowTitle(mWindow->windowTitle());
            mDialog->setFont(mWindow->font());
        }
        // Modal by the event filter, not by Qt: Qt drops the close requests of a window that
        // a modal dialog blocks, and a close here must cancel the wait.
        mDialog->setWindowModality(Qt::NonModal);
        mDialog->setAutoClose(false);
        mDialog->setAutoReset(false);
        connect(mDialog, &QProgressDialog::canceled, this, &WaitDialog::cancel);
        mDialog->show();
        mDialog->activateWindow();
    } catch (...) {
        // Without the dialog the wait still ends by itself; nothing may reach the event loop.
    }
}

void WaitDialog::cancel()
{
    if (!mWaiting || !mCancel)
        return;
    try {
        mCancel();
    } catch (...) {
        // Called from a button or an event filter: nothing may reach the event loop.
    }
}

bool WaitDialog::inDialog(const QObject *target) const
{
    if (!mDialog)
        return false;
    if (target->isWindowType())
        return target == static_cast<const QObject *>(mDialog->windowHandle());
    // Widgets and shortcuts (Escape) of the dialog.
    for (const QObject *object = target; object; object = object->parent()) {
        if (object == mDialog)
            return true;
    }
    return false;
}

bool WaitDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (!mWaiting)
        return false;
    if (event->type() == QEvent::Close && watched == mWindow) {
        // The user leaves: stop waiting first, then the window closes as it always does.
        cancel();
        return false;
    }
    if (!isUserInput(event->type()) || inDialog(watched))
        return false;
    // A click elsewhere brings the dialog back to the front and the keyboard (Escape) to it,
    // as a modal dialog would.
    if (event->type() == QEvent::MouseButtonPress && mDialog && mDialog->isVisible())
        mDialog->activateWindow();
    return true;
}

} // namespace mdx
