// A keystroke in the schema tree's find field, the snapshot an undo step takes, and an undo and
// a redo of a move, on a cube of 2,000 dimensions of 10 levels. Runs offscreen.
#include "model/layouttree.h"
#include "model/measurelist.h"
#include "model/placement.h"
#include "model/undohistory.h"
#include "window/findfield.h"
#include "window/modelmirrors.h"

#include <QApplication>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

using namespace mdx;

namespace {

constexpr int dimensions = 2000;
constexpr int levels = 10;

void fillSchema(LayoutTree &tree, int count = dimensions)
{
    for (int d = 0; d < count; ++d) {
        const QString key = QStringLiteral("[Dimension %1]").arg(d);
        tree.add(key, QStringLiteral("Dimension %1").arg(d));
        for (int l = 0; l < levels; ++l)
            tree.add(key, LayoutTree::Child, key + QStringLiteral(".[L%1]").arg(l),
                     QStringLiteral("Level %1 of %2").arg(l).arg(d));
    }
}

// Typing "dimension 1234" letter by letter, then erasing it (argument 0), or the worst case,
// every dimension hidden or shown again at each keystroke (argument 1): each keystroke filters
// the whole tree and the view lays out and paints what is left.
void findKeystroke(benchmark::State &state)
{
    QWidget window;
    window.resize(400, 600);
    QTreeWidget widget(&window);
    widget.setGeometry(0, 0, 400, 560);
    LayoutTree schema(QStringLiteral("SchemaTree"));
    TreeMirror view(schema, widget);
    fillSchema(schema);
    FindField field(widget, &window);
    window.show();
    field.open();
    QCoreApplication::processEvents();

    const QString word = QStringLiteral("dimension 1234");
    QStringList keystrokes;
    if (state.range(0) == 1) {
        keystrokes << QStringLiteral("x") << QString();
    } else {
        for (qsizetype n = 1; n <= word.size(); ++n)
            keystrokes << word.left(n);
        for (qsizetype n = word.size() - 1; n >= 0; --n)
            keystrokes << word.left(n);
    }
    qsizetype next = 0;
    for (auto _ : state) {
        field.setText(keystrokes[next++ % keystrokes.size()]);
        widget.viewport()->repaint();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(findKeystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What every press, move and measure tick costs for its undo step.
void undoSnapshot(benchmark::State &state)
{
    LayoutTree schema, rows, columns, slicers;
    fillSchema(schema);
    MeasureList measures;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            takeSnapshot({ &schema, &rows, &columns, &slicers }, measures, QString()));
}
BENCHMARK(undoSnapshot)->Unit(benchmark::kMillisecond);

// Undoing a move on that schema (first argument 0) and redoing it (1), as the query does either:
// the snapshot of the state left behind, then the trees and their widgets brought to the other
// state. The second argument is the number of dimensions.
void undoMove(benchmark::State &state)
{
    QTreeWidget schemaWidget, rowWidget;
    schemaWidget.resize(400, 560);
    rowWidget.resize(400, 200);
    LayoutTree schema, rows, columns, slicers;
    TreeMirror schemaView(schema, schemaWidget);
    TreeMirror rowView(rows, rowWidget);
    fillSchema(schema, int(state.range(1)));
    MeasureList measures;
    schemaWidget.show();
    rowWidget.show();
    const QueryTrees trees { &schema, &rows, &columns, &slicers };
    const ConstQueryTrees constTrees { &schema, &rows, &columns, &slicers };
    const QuerySnapshot before = takeSnapshot(constTrees, measures, QString());
    moveDimension(*schema.find(QStringLiteral("[Dimension %1]").arg(state.range(1) / 2)), rows);
    const QuerySnapshot after = takeSnapshot(constTrees, measures, QString());
    const bool redo = state.range(0) == 1;
    for (auto _ : state) {
        state.PauseTiming();
        restoreSnapshot(redo ? before : after, trees, measures);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        benchmark::DoNotOptimize(takeSnapshot(constTrees, measures, QString()));
        restoreSnapshot(redo ? after : before, trees, measures);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(undoMove)->ArgsProduct({ { 0, 1 }, { 200, dimensions } })->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
