// Preloaded into the wizard program by tst_keyboard_road: builds a statement with key events
// only, each sent to the window as the platform would deliver it.
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
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

bool focusIn(const char *name)
{
    return QApplication::focusWidget() && QApplication::focusWidget() == control(name);
}

// Each step sends its keys once its condition holds; the driver polls, so a nested modal
// loop (the copy confirmation) does not stop it.
struct Step
{
    std::function<bool()> ready;
    QList<QKeyCombination> keys;
};

QList<Step> road()
{
    const auto untickedMonth = [] {
        auto *rows = control<QTreeWidget>("RowTree");
        const auto found = rows->findItems("Month", Qt::MatchExactly | Qt::MatchRecursive);
        return found.size() == 1 && found.first()->checkState(0) == Qt::Unchecked;
    };
    return {
        { [] { return form() && form()->isActiveWindow(); }, { Qt::Key_F5 } },
        // The second cube.
        { [] { return focusIn("CubeCombo"); }, { Qt::Key_Down } },
        { [] { return control<QComboBox>("CubeCombo")->currentIndex() == 1; },
          { Qt::Key_Tab, Qt::CTRL | Qt::Key_1, Qt::CTRL | Qt::Key_2 } },
        // The last level of the dimension on Rows, unticked, back, and unticked again.
        { [] { return control<QTreeWidget>("ColumnTree")->topLevelItemCount() == 1; },
          { Qt::Key_Tab, Qt::Key_End, Qt::Key_Space } },
        { untickedMonth, { Qt::CTRL | Qt::Key_Z } },
        { [untickedMonth] { return !untickedMonth(); }, { Qt::CTRL | Qt::Key_Y } },
        { untickedMonth, { Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Space } },
        { [] {
             auto *measures = control<QListWidget>("MeasuresList");
             return focusIn("MeasuresList") && measures->item(0)->checkState() == Qt::Unchecked;
         },
          { Qt::ALT | Qt::Key_O } },
        // OK shows the copy confirmation; Enter dismisses it.
        { [] { return QApplication::activeModalWidget() != nullptr; }, { Qt::Key_Return } },
    };
}

void drive()
{
    static QList<Step> steps;
    steps = road();
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer] {
        if (steps.isEmpty()) {
            timer->stop();
            return;
        }
        if (!steps.front().ready())
            return;
        const Step step = steps.takeFirst();
        for (const QKeyCombination key : step.keys) {
            QWidget *target
                = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : form();
            QTest::keyClick(target->windowHandle(), key.key(), key.keyboardModifiers());
        }
    });
    timer->start(50);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(drive)
