// Preloaded into the wizard program by tst_keyboard_road: once a window is active, sends the
// keys named in MDX_KEYS (separated by blanks) one by one to it, as the platform delivers
// them. The last key waits for the message box the others bring up.
#include <QApplication>
#include <QKeySequence>
#include <QTest>
#include <QTimer>
#include <QWindow>

static void drive()
{
    auto *timer = new QTimer(qApp);
    QObject::connect(
        timer, &QTimer::timeout,
        [timer, keys = qEnvironmentVariable("MDX_KEYS").split(u' ', Qt::SkipEmptyParts)]() mutable {
            QWidget *box = QApplication::activeModalWidget();
            QWidget *target = box ? box : QApplication::activeWindow();
            if (keys.isEmpty() || !target || (keys.size() == 1 && !box))
                return;
            const QKeyCombination key = QKeySequence::fromString(keys.takeFirst())[0];
            QTest::keyClick(target->windowHandle(), key.key(), key.keyboardModifiers());
        });
    timer->start(100);
}

Q_COREAPP_STARTUP_FUNCTION(drive)
