#pragma once

#include "catalog/waitindicator.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class QProgressDialog;
class QWidget;

namespace mdx {

// The window's side of a wait for the server. The window keeps painting; user input to
// anything but the progress dialog is dropped (not held back, so nothing is replayed when
// the wait ends); after a short delay a progress dialog says what is awaited and offers
// Cancel. A close request of the window cancels the wait and then goes on as usual.
class WaitDialog final : public QObject, public WaitIndicator
{
public:
    // Quick answers end before anything flickers up.
    static constexpr int ShowDelayMs = 500;

    // The dialog sits over `window`.
    explicit WaitDialog(QWidget *window);
    ~WaitDialog() override;

    void begin(const QString &text, std::function<void()> cancel) override;
    void end() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showDialog();
    void cancel();
    bool inDialog(const QObject *target) const;

    QPointer<QWidget> mWindow;
    QPointer<QProgressDialog> mDialog;
    QTimer mShowTimer;
    QString mText;
    std::function<void()> mCancel;
    bool mWaiting = false;
};

} // namespace mdx
