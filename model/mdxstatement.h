#pragma once

#include <QString>

namespace mdx {

class LayoutTree;
class MeasureList;
class Node;

// The cube text as it goes after "from": unchanged when empty or a plain identifier
// (letters, digits, underscore, not starting with a digit), else bracketed with "]" doubled.
QString cubeIdentifier(const QString &cube);

// "{m1,m2,...}" of the ticked measures, in list order; "{}" when none is ticked.
QString buildMeasuresSet(const MeasureList &measures);
// The set of one dimension node of a tree, chosen by the checked level nodes that follow it
// and narrowed to the node's chosen members, if any.
QString buildDimensionSet(const LayoutTree &tree, const Node &dimension);
// The crossjoin of a tree's dimension sets; empty for no dimension or more than three.
QString buildAxisSet(const LayoutTree &tree);

// The whole statement: the three axis trees crossjoined on rows, the ticked measures on
// columns, from the cube. With nonEmpty the rows part, if any, leaves out empty rows.
QString composeMdx(const LayoutTree &rows, const LayoutTree &columns, const LayoutTree &slicers,
                   const MeasureList &measures, const QString &cube, bool nonEmpty = false);

} // namespace mdx
