#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <optional>
#include <vector>

namespace mdx {

class LayoutTree;
class MeasureList;

// Everything a change of the query can alter: the four trees (nodes, ticks, expansion,
// selection, chosen members), the measure ticks, the empty-rows switch and the statement box's
// text, which may hold the user's own
// edits.
struct QuerySnapshot
{
    struct NodeState
    {
        QString key;
        QString text;
        QString parentKey; // empty for a dimension node
        bool checked = false;
        bool expanded = false;
        QStringList members;
        bool operator==(const NodeState &) const = default;
    };
    struct TreeState
    {
        std::vector<NodeState> nodes;
        QString selectedKey; // empty: no node selected
        bool operator==(const TreeState &) const = default;
    };
    static constexpr int treeCount = 4;

    std::array<TreeState, treeCount> trees;
    std::vector<bool> measureTicks;
    bool nonEmpty = false;
    QString statement;
    bool operator==(const QuerySnapshot &) const = default;
};

// The trees a snapshot covers, always in the same order.
using QueryTrees = std::array<LayoutTree *, QuerySnapshot::treeCount>;
using ConstQueryTrees = std::array<const LayoutTree *, QuerySnapshot::treeCount>;

QuerySnapshot takeSnapshot(const ConstQueryTrees &trees, const MeasureList &measures,
                           const QString &statement);
// Puts the trees and the measure ticks back as the snapshot has them; the statement is the
// caller's to show. A tree whose nodes are the same gets only its flags back, so that a big
// schema tree is not rebuilt for a tick.
void restoreSnapshot(const QuerySnapshot &snapshot, const QueryTrees &trees, MeasureList &measures);

// Undo and redo of the user's changes of the query, as snapshots of the state before each.
class UndoHistory
{
public:
    static constexpr int maxSteps = 100;

    // A change was made; `before` is the state it started from. Forgets what could be redone.
    void record(QuerySnapshot before);
    // The state to go back to, given the state now (kept for redo); nothing when there is
    // no step.
    std::optional<QuerySnapshot> undo(QuerySnapshot current);
    std::optional<QuerySnapshot> redo(QuerySnapshot current);
    void clear();

    int undoCount() const { return int(mUndo.size()); }
    int redoCount() const { return int(mRedo.size()); }

private:
    std::deque<QuerySnapshot> mUndo;
    std::deque<QuerySnapshot> mRedo;
};

} // namespace mdx
