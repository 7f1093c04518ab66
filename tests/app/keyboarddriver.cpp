// Loaded into the wizard program for tst_program (MDX_TEST_DRIVER): once a window is active, sends
// the keys named in MDX_KEYS (separated by blanks) one by one to it, or to the message box that is
// up, as the platform delivers them. Return waits for a message box, so that it answers the box
// the key before brought up; "Close" closes the window as its close box does.
#include <QApplication>
#include <QKeySequence>
#include <QTest>
#include <QTimer>
#include <QWindow>

static void drive()
{
    auto *timer = new QTimer(qApp);
    QStringList keys = qEnvironmentVariable("MDX_KEYS").split(u' ', Qt::SkipEmptyParts);
    bool started = false;
    QObject::connect(timer, &QTimer::timeout, [keys, started]() mutable {
        QWidget *box = QApplication::activeModalWidget();
        QWidget *target = box ? box : QApplication::activeWindow();
        // Shortcuts need an active window; but the window a message box was over may stay
        // inactive once the box has gone.
        started = started || target;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (started && !target && window->isVisible())
                target = window;
        }
        if (keys.isEmpty() || !target || (keys.front() == u"Return" && !box))
            return;
        const QString name = keys.takeFirst();
        if (name == u"Close")
            return void(target->windowHandle()->close());
        const QKeyCombination key = QKeySequence::fromString(name)[0];
        QTest::keyClick(target->windowHandle(), key.key(), key.keyboardModifiers());
    });
    timer->start(100);
}

Q_COREAPP_STARTUP_FUNCTION(drive)
