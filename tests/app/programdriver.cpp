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

QList<Step> scenario(const QByteArray &name)
{
    const auto connected = [] {
        QWidget *window = form();
        return window && window->windowTitle() == QLatin1String("Orvanta 3.0 MDX Wizard");
    };
    // Space on the first measure, by keyboard: once unticks it, twice ticks it again.
    const auto flipFirstMeasure = [](int times) {
        return [times] {
            auto *list = control<QListWidget>("MeasuresList");
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Home);
            for (int i = 0; i < times; ++i)
                QTest::keyClick(list, Qt::Key_Space);
        };
    };
    QList<Step> steps { { [] { return control("ConnectImage") != nullptr; },
                          [] {
                              // The test's connection string, or the window's own.
                              if (qEnvironmentVariableIsSet("MDX_CONNECTION"))
                                  control<QLineEdit>("ConnectionStringTextbox")
                                      ->setText(qEnvironmentVariable("MDX_CONNECTION"));
                              QTest::mouseClick(control("ConnectImage"), Qt::LeftButton);
                          } } };
    if (name == "cancel")
        return steps << Step { connected, [] { QTest::keyClick(form(), Qt::Key_Escape); } };
    std::function<bool()> done;
    if (name == "retick") {
        // The first cube's first measure, which builds the statement.
        steps << Step { connected, flipFirstMeasure(2) };
        done = [] { return !control<QPlainTextEdit>("MdxTextbox")->toPlainText().isEmpty(); };
    } else {
        // The second cube, chosen by keyboard, without its first measure.
        steps << Step { connected, [] { QTest::keyClick(control("CubeCombo"), Qt::Key_Down); } };
        steps << Step { [] {
                           auto *list = control<QListWidget>("MeasuresList");
                           return control<QComboBox>("CubeCombo")->currentIndex() == 1
                               && list->count() > 1;
                       },
                        flipFirstMeasure(1) };
        done = [] {
            return control<QListWidget>("MeasuresList")->item(0)->checkState() == Qt::Unchecked;
        };
    }
    if (name == "closebox")
        return steps << Step { done, [] { form()->windowHandle()->close(); } };
    // OK shows the copy confirmation; dismiss it as a user would.
    return steps << Step { done, [] { QTest::keyClick(form(), Qt::Key_O, Qt::AltModifier); } }
                 << Step { [] { return QApplication::activeModalWidget() != nullptr; },
                           [] {
                               QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return);
                           } };
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
