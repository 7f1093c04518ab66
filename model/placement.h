#pragma once

namespace mdx {

class LayoutTree;
class Node;

// What a drop of one tree's dragged dimension onto another tree came to.
enum class Placement {
    Moved,
    SameTree, // a drop back on the tree it came from: nothing happens
    TargetFull, // the receiving tree already holds the most dimensions it may
    NothingSelected, // the source has no selected node: nothing to move
};

// The most dimension nodes a tree may hold before it refuses a drop.
constexpr int maxDimensionsPerAxis = 3;

// Copies a dimension node and its level nodes to the end of the target (all copies checked,
// the new dimension node expanded, its chosen members kept), then removes it from its own
// tree. Returns the copy.
// Throws Failure, leaving both trees unchanged, if a key is already in the target.
Node *moveDimension(Node &dimension, LayoutTree &target);

// The drop rule for the dimension of `node` (a node of source, or none): nothing when the
// trees are the same, refused when the target is full, else the whole dimension moves.
Placement placeNode(LayoutTree &source, Node *node, LayoutTree &target);

} // namespace mdx
