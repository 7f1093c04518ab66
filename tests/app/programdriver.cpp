// Preloaded into the wizard program by tst_program: plays one scenario (named by
// MDX_DRIVE) through real mouse and key events, as a user at the window would.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>

namespace {

QWidget *form()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String("MdxForm") && window->isVisible())
            return window;
    }
    return nullptr;
}

template<typename T = QWidget> T *control(const char *name)
{
    return form() ? form()->findChild<T *>(QLatin1String(name)) : nullptr;
}

// Each step acts once its condition holds; the driver polls, so nested modal loops (message
// boxes) do not stop it. Between Connect and OK everything the window does is synchronous.
using Step = std::pair<std::function<bool()>, std::function<void()>>;

QList<Step> scenario(const QByteArray &name)
{
    // The command line connected: accept what it opened, or leave the window after the
    // failure it showed.
    if (name == "opened")
        return { { [] {
                      return control<QLineEdit>("ConnectionStringTextbox") != nullptr
                          && form()->windowTitle() == QLatin1String("Orvanta 3.0 MDX Wizard");
                  },
                   // OK pressed once the step is over: the copy message it opens waits in a
                   // loop of its own, and the driver must be free to answer it.
                   [] {
                       QMetaObject::invokeMethod(control("OKButton"), "click",
                                                 Qt::QueuedConnection);
                   } },
                 { [] { return QApplication::activeModalWidget() != nullptr; },
                   [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); } } };
    if (name == "refused")
        return { { [] { return QApplication::activeModalWidget() != nullptr; },
                   [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); } },
                 { [] { return form() && !QApplication::activeModalWidget(); },
                   [] { QTest::mouseClick(control("CancelButton"), Qt::LeftButton); } } };
    return {
        { [] { return control("ConnectImage") != nullptr; },
          [] {
              // The test's connection string, or the window's own.
              if (!qEnvironmentVariableIsEmpty("MDX_CONNECTION"))
                  control<QLineEdit>("ConnectionStringTextbox")
                      ->setText(qEnvironmentVariable("MDX_CONNECTION"));
              QTest::mouseClick(control("ConnectImage"), Qt::LeftButton);
          } },
        { [] { return form() && form()->windowTitle() == QLatin1String("Orvanta 3.0 MDX Wizard"); },
          [name] {
              if (name == "cancel")
                  return QTest::keyClick(form(), Qt::Key_Escape);
              // The first cube's first measure ticked again, which builds the statement; or
              // the second cube, chosen by keyboard, without its first measure.
              if (name != "retick")
                  QTest::keyClick(control("CubeCombo"), Qt::Key_Down);
              auto *measures = control<QListWidget>("MeasuresList");
              measures->setFocus();
              QTest::keyClick(measures, Qt::Key_Home);
              for (int i = name == "retick" ? 2 : 1; i > 0; --i)
                  QTest::keyClick(measures, Qt::Key_Space);
              if (name == "closebox")
                  form()->windowHandle()->close();
              else // OK, which shows the copy confirmation
                  QTest::keyClick(form(), Qt::Key_O, Qt::AltModifier);
          } },
        // Dismissed as a user would.
        { [] { return QApplication::activeModalWidget() != nullptr; },
          [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); } },
    };
}

void drive()
{
    static QList<Step> steps;
    steps = scenario(qgetenv("MDX_DRIVE"));
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer] {
        if (steps.isEmpty())
            timer->stop();
        else if (steps.front().first())
            steps.takeFirst().second();
    });
    timer->start(50);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(drive)
