// Composing the statement and moving dimensions, at sizes the window can reach and beyond.
#include "model/layouttree.h"
#include "model/mdxstatement.h"
#include "model/measurelist.h"
#include "model/placement.h"

#include <benchmark/benchmark.h>

using namespace mdx;

namespace {

void addDimension(LayoutTree &tree, const QString &name, int levels)
{
    const QString key = '[' + name + ']';
    tree.add(key, name);
    for (int l = 0; l < levels; ++l)
        tree.add(key, LayoutTree::Child, key + QStringLiteral(".[L%1]").arg(l),
                 QStringLiteral("L%1").arg(l));
}

// Three axis trees of three dimensions each with `levels` levels (alternately checked),
// and `measures` ticked measures.
void composeFullLayout(benchmark::State &state)
{
    const int levels = int(state.range(0));
    const int measureCount = int(state.range(1));
    LayoutTree trees[3];
    for (int t = 0; t < 3; ++t) {
        for (int d = 0; d < 3; ++d) {
            addDimension(trees[t], QStringLiteral("T%1D%2").arg(t).arg(d), levels);
        }
        int position = 0;
        for (Node *node : trees[t])
            node->setChecked(++position % 2 == 0);
    }
    MeasureList measures;
    for (int m = 0; m < measureCount; ++m) {
        measures.addItem(QStringLiteral("Measure %1").arg(m));
        measures.setTicked(m, true);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(
            composeMdx(trees[0], trees[1], trees[2], measures, QStringLiteral("Sales Cube")));
    state.SetComplexityN(9 * (levels + 1) + measureCount);
}
BENCHMARK(composeFullLayout)
    ->Args({ 12, 500 })
    ->Args({ 24, 1000 })
    ->Args({ 48, 2000 })
    ->Complexity();

// A schema tree of `nodes` nodes (dimensions of 9 levels); one dimension from its middle goes
// to an axis tree and comes back, landing at the end.
void moveInAndOut(benchmark::State &state)
{
    const int nodes = int(state.range(0));
    LayoutTree schema(QStringLiteral("SchemaTree"));
    LayoutTree rows(QStringLiteral("RowTree"));
    for (int d = 0; d < nodes / 10; ++d)
        addDimension(schema, QStringLiteral("D%1").arg(d), 9);
    for (auto _ : state) {
        Node *middle = schema.item(schema.count() / 2);
        Node *moved = moveDimension(middle->parent() ? *middle->parent() : *middle, rows);
        moveDimension(*moved, schema);
    }
    state.SetComplexityN(nodes);
}
BENCHMARK(moveInAndOut)->Arg(20000)->Arg(40000)->Arg(80000)->Complexity();

} // namespace

BENCHMARK_MAIN();
