// Preloaded into the wizard program by tst_program: plays one scenario (named by
// MDX_DRIVE) through real mouse and key events, as a user at the window would.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <functional>

namespace {

QWidget *form()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("MdxForm") && widget->isVisible())
            return widget;
    }
    return nullptr;
}

template<typename T = QWidget> T *control(const char *name)
{
    QWidget *window = form();
    return window ? window->findChild<T *>(QLatin1String(name)) : nullptr;
}

// Each step acts once its condition holds; the driver polls, so nested modal loops (message
// boxes) do not stop it.
struct Step
{
    std::function<bool()> ready;
    std::function<void()> act;
};

void appendOk(QList<Step> &steps, const std::function<bool()> &ready)
{
    steps.append({ ready, [] { QTest::keyClick(form(), Qt::Key_O, Qt::AltModifier); } });
    // OK shows the copy confirmation; dismiss it as a user would.
    steps.append({ [] { return QApplication::activeModalWidget() != nullptr; },
                   [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); } });
}

QList<Step> scenario(const QByteArray &name)
{
    const auto connected = [] {
        QWidget *window = form();
        return window && window->windowTitle() == QLatin1String("Orvanta 3.0 MDX Wizard");
    };
    QList<Step> steps {
        { [] { return control("ConnectImage") != nullptr; },
          [] {
              // The test's connection string, or the window's own.
              if (qEnvironmentVariableIsSet("MDX_CONNECTION"))
                  control<QLineEdit>("ConnectionStringTextbox")
                      ->setText(qEnvironmentVariable("MDX_CONNECTION"));
              QTest::mouseClick(control("ConnectImage"), Qt::LeftButton);
          } },
    };
    if (name == "cancel") {
        steps.append({ connected, [] { QTest::keyClick(form(), Qt::Key_Escape); } });
        return steps;
    }
    if (name == "retick") {
        // Untick and tick the first measure of the first cube, which builds the statement.
        steps.append({ connected, [] {
                          auto *list = control<QListWidget>("MeasuresList");
                          list->setFocus();
                          QTest::keyClick(list, Qt::Key_Home);
                          QTest::keyClick(list, Qt::Key_Space);
                          QTest::keyClick(list, Qt::Key_Space);
                      } });
        appendOk(steps,
                 [] { return !control<QPlainTextEdit>("MdxTextbox")->toPlainText().isEmpty(); });
        return steps;
    }
    // Choose the second cube by keyboard, then untick its first measure by keyboard.
    steps.append({ connected, [] { QTest::keyClick(control("CubeCombo"), Qt::Key_Down); } });
    steps.append({ [] {
                      auto *combo = control<QComboBox>("CubeCombo");
                      auto *list = control<QListWidget>("MeasuresList");
                      return combo && combo->currentIndex() == 1 && list && list->count() > 1;
                  },
                   [] {
                       auto *list = control<QListWidget>("MeasuresList");
                       list->setFocus();
                       QTest::keyClick(list, Qt::Key_Home);
                       QTest::keyClick(list, Qt::Key_Space);
                   } });
    const auto unticked = [] {
        auto *list = control<QListWidget>("MeasuresList");
        return list && list->item(0)->checkState() == Qt::Unchecked;
    };
    if (name == "ok") {
        appendOk(steps, unticked);
    } else if (name == "closebox") {
        steps.append({ unticked, [] { form()->windowHandle()->close(); } });
    }
    return steps;
}

void drive()
{
    static QList<Step> steps;
    steps = scenario(qgetenv("MDX_DRIVE"));
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer] {
        if (steps.isEmpty()) {
            timer->stop();
            return;
        }
        if (steps.front().ready()) {
            const Step step = steps.takeFirst();
            step.act();
        }
    });
    timer->start(50);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(drive)
