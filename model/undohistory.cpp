#include "undohistory.h"

#include "layouttree.h"
#include "measurelist.h"

#include <algorithm>

namespace mdx {

namespace {

QString parentKeyOf(const Node &node)
{
    return node.parent() ? node.parent()->key() : QString();
}

QuerySnapshot::TreeState treeState(const LayoutTree &tree)
{
    QuerySnapshot::TreeState state;
    state.nodes.reserve(size_t(tree.count()));
    for (const Node *node : tree)
        state.nodes.push_back({ node->key(), node->text(), parentKeyOf(*node), node->checked(),
                                node->expanded(), node->members() });
    if (const Node *selected = tree.selectedItem())
        state.selectedKey = selected->key();
    return state;
}

// Brings the tree's nodes to the snapshot's by the fewest removals and insertions, so that a
// big tree and its view are patched where a step changed them rather than built afresh. A
// tree whose nodes moved about (no step of the user does that) is built afresh all the same.
bool patchNodes(const QuerySnapshot::TreeState &state, LayoutTree &tree)
{
    // Beyond this, building afresh costs no more.
    constexpr int maxChanges = 64;
    int changes = 0;
    const int count = int(state.nodes.size());
    for (int position = 1; position <= count; ++position) {
        const auto &saved = state.nodes[size_t(position) - 1];
        Node *here = position <= tree.count() ? tree.item(position) : nullptr;
        if (here && here->key() == saved.key && parentKeyOf(*here) == saved.parentKey)
            continue;
        if (++changes > maxChanges)
            return false;
        if (!tree.find(saved.key)) {
            tree.insert(position, saved.parentKey, saved.key, saved.text);
            continue;
        }
        // The saved node stands later or elsewhere: what stands here goes, with its children.
        if (!here)
            return false;
        tree.remove(here->key());
        --position;
    }
    while (tree.count() > count) {
        if (++changes > maxChanges)
            return false;
        tree.remove(tree.item(count + 1)->key());
    }
    return true;
}

void restoreTree(const QuerySnapshot::TreeState &state, LayoutTree &tree)
{
    if (!patchNodes(state, tree)) {
        tree.clear();
        for (const auto &saved : state.nodes) {
            if (saved.parentKey.isEmpty())
                tree.add(saved.key, saved.text);
            else
                tree.add(saved.parentKey, LayoutTree::Child, saved.key, saved.text);
        }
    }
    size_t i = 0;
    for (Node *node : tree) {
        const auto &saved = state.nodes[i++];
        node->setChecked(saved.checked);
        node->setExpanded(saved.expanded);
        node->setMembers(saved.members);
    }
    if (Node *selected = tree.find(state.selectedKey))
        selected->setSelected(true);
    else if (Node *current = tree.selectedItem())
        current->setSelected(false);
}

void pushBounded(std::deque<QuerySnapshot> &stack, QuerySnapshot snapshot)
{
    stack.push_back(std::move(snapshot));
    if (int(stack.size()) > UndoHistory::maxSteps)
        stack.pop_front();
}

// Undo and redo are the same walk in opposite directions: the state left behind goes to the
// other stack.
std::optional<QuerySnapshot> travel(std::deque<QuerySnapshot> &from, std::deque<QuerySnapshot> &to,
                                    QuerySnapshot current)
{
    if (from.empty())
        return std::nullopt;
    QuerySnapshot target = std::move(from.back());
    from.pop_back();
    pushBounded(to, std::move(current));
    return target;
}

} // namespace

QuerySnapshot takeSnapshot(const ConstQueryTrees &trees, const MeasureList &measures,
                           const QString &statement)
{
    QuerySnapshot snapshot;
    for (size_t t = 0; t < trees.size(); ++t)
        snapshot.trees[t] = treeState(*trees[t]);
    for (int m = 0; m < measures.count(); ++m)
        snapshot.measureTicks.push_back(measures.isTicked(m));
    snapshot.statement = statement;
    return snapshot;
}

void restoreSnapshot(const QuerySnapshot &snapshot, const QueryTrees &trees, MeasureList &measures)
{
    for (size_t t = 0; t < trees.size(); ++t)
        restoreTree(snapshot.trees[t], *trees[t]);
    // The history starts again with each cube, so the list is the one the snapshot saw.
    const int count = std::min(measures.count(), int(snapshot.measureTicks.size()));
    for (int m = 0; m < count; ++m)
        measures.setTicked(m, snapshot.measureTicks[size_t(m)]);
}

void UndoHistory::record(QuerySnapshot before)
{
    pushBounded(mUndo, std::move(before));
    mRedo.clear();
}

std::optional<QuerySnapshot> UndoHistory::undo(QuerySnapshot current)
{
    return travel(mUndo, mRedo, std::move(current));
}

std::optional<QuerySnapshot> UndoHistory::redo(QuerySnapshot current)
{
    return travel(mRedo, mUndo, std::move(current));
}

void UndoHistory::clear()
{
    mUndo.clear();
    mRedo.clear();
}

} // namespace mdx
