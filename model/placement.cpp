#include "placement.h"

#include "common/failure.h"
#include "layouttree.h"

namespace mdx {

namespace {

// The level nodes of a dimension, from its first child along Next up to the one that stands
// where the first child's last sibling stands.
template<typename Visit> void forEachLevel(const Node &dimension, Visit visit)
{
    Node *level = dimension.child();
    if (!level)
        return;
    const int end = level->lastSibling()->index();
    for (; level; level = level->next()) {
        visit(*level);
        if (level->index() >= end)
            break;
    }
}

} // namespace

Node *moveDimension(Node &dimension, LayoutTree &target)
{
    LayoutTree &source = dimension.tree();
    if (dimension.parent())
        throw Failure(ModelFailure::NotADimensionNode,
                      QStringLiteral("\"%1\" is a level node; only a whole dimension can be moved.")
                          .arg(dimension.key()),
                      FailureSource::LayoutTree);

    // Check every key first so that a clash leaves both trees as they were.
    auto refuseTaken = [&target](const Node &node) {
        if (target.find(node.key()))
            throw Failure(ModelFailure::KeyExists,
                          QStringLiteral("The tree %1 already holds a node with the key \"%2\".")
                              .arg(target.name(), node.key()),
                          FailureSource::LayoutTree);
    };
    refuseTaken(dimension);
    forEachLevel(dimension, refuseTaken);

    Node *copy = target.add(dimension.key(), dimension.text());
    copy->setChecked(true);
    forEachLevel(dimension, [&](const Node &level) {
        target.add(copy->key(), LayoutTree::Child, level.key(), level.text())->setChecked(true);
    });
    copy->setExpanded(true);
    copy->setMembers(dimension.members());
    source.remove(dimension.key());
    return copy;
}

Placement placeNode(LayoutTree &source, Node *node, LayoutTree &target)
{
    if (&source == &target)
        return Placement::SameTree;
    if (target.countRootNodes() >= maxDimensionsPerAxis)
        return Placement::TargetFull;
    if (!node)
        return Placement::NothingSelected;
    moveDimension(node->parent() ? *node->parent() : *node, target);
    return Placement::Moved;
}

} // namespace mdx
