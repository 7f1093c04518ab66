#include "query.h"

#include "mdxstatement.h"
#include "placement.h"

namespace mdx {

namespace {

// The root that stands before `dimension` in its tree, or nullptr.
Node *previousDimension(const Node &dimension)
{
    Node *previous = nullptr;
    for (Node *node : dimension.tree()) {
        if (node == &dimension)
            break;
        if (!node->parent())
            previous = node;
    }
    return previous;
}

// The dimension a keyboard user goes on from once `node`'s dimension has left its tree.
QString neighbourKey(const Node *node)
{
    const Node *dimension = node && node->parent() ? node->parent() : node;
    if (!dimension)
        return QString();
    const Node *neighbour = dimension->next() ? dimension->next() : previousDimension(*dimension);
    return neighbour ? neighbour->key() : QString();
}

const Refusal fullAxis { Refusal::Severity::Warning, QStringLiteral("Invalid Axis"),
                         QStringLiteral("This wizard only supports up to 3 dimensions on any "
                                        "axis.") };
const Refusal lastMeasure { Refusal::Severity::Information, QStringLiteral("Invalid Selection"),
                            QStringLiteral("Must have at least one measure checked") };

} // namespace

Query::Query()
    : mTrees { &mSchemaTree, &mRowTree, &mColumnTree, &mSlicerTree }
{
}

QString cubeSubTitle(const QString &name, const QString &description)
{
    if (description.isEmpty())
        return name;
    return name + QStringLiteral(": ") + description;
}

void Query::clearForCube()
{
    mSlicerTree.clear();
    mRowTree.clear();
    mColumnTree.clear();
    mMeasures.clear();
    mStatement.clear();
    // Another cube: the steps taken on the last one mean nothing here.
    mHistory.clear();
}

// The key names the hierarchy shown where the server qualifies hierarchies by their dimension
// ("[Date].[Fiscal]"): such a server rejects "[Date].currentmember" when the dimension holds
// several hierarchies. Elsewhere (a dimension's own hierarchy, a name such as "[Time.Weekly]")
// the dimension's unique name stands, which names its default hierarchy.
Node *Query::addSchemaDimension(const QString &uniqueName, const QString &hierarchyUniqueName,
                                const QString &name)
{
    const bool qualified = hierarchyUniqueName.startsWith(uniqueName + u'.');
    return mSchemaTree.add(qualified ? hierarchyUniqueName : uniqueName, name);
}

void Query::addSchemaLevel(const Node &dimension, const QString &uniqueName, const QString &name)
{
    mSchemaTree.add(dimension.key(), LayoutTree::Child, uniqueName, name);
}

void Query::addMeasure(const QString &name)
{
    mMeasures.addItem(name);
    mMeasures.setTicked(mMeasures.newIndex(), true);
}

void Query::collapseSchema()
{
    for (Node *node : mSchemaTree)
        node->setExpanded(false);
    // A cube of measures alone is sound on every server: there is just nothing to select.
    if (mSchemaTree.count() > 0)
        mSchemaTree.item(1)->setSelected(true);
}

Outcome Query::pressNode(Node &node)
{
    mHistory.record(snapshot());
    node.setChecked(!node.checked());
    node.setSelected(true);
    buildMdx();
    return { true, true, std::nullopt };
}

Outcome Query::dropOn(LayoutTree &source, LayoutTree &target)
{
    return place(source, source.selectedItem(), target);
}

Outcome Query::moveTo(LayoutTree &source, Node *node, LayoutTree &target)
{
    const QString neighbour = neighbourKey(node);
    const Outcome outcome = place(source, node, target);
    if (outcome.changed && !source.selectedItem()) {
        if (Node *next = source.find(neighbour))
            next->setSelected(true);
    }
    return outcome;
}

Outcome Query::place(LayoutTree &source, Node *node, LayoutTree &target)
{
    QuerySnapshot before = snapshot();
    switch (placeNode(source, node, target)) {
    case Placement::Moved:
        mHistory.record(std::move(before));
        buildMdx();
        return { true, true, std::nullopt };
    case Placement::TargetFull:
        return { false, false, fullAxis };
    case Placement::SameTree:
    case Placement::NothingSelected:
        break;
    }
    return {};
}

Outcome Query::toggleMeasure(int position)
{
    if (position < 0)
        return {};
    QuerySnapshot before = snapshot();
    const bool wasTicked = mMeasures.isTicked(position);
    mMeasures.setTicked(position, !wasTicked);
    Outcome outcome { true, true, std::nullopt };
    if (mMeasures.tickedCount() == 0) {
        // The tick comes back before the user is told; a refused untick is no step.
        mMeasures.setTicked(position, true);
        outcome = { false, true, lastMeasure };
    } else {
        mHistory.record(std::move(before));
    }
    // Every click rebuilds, a refused one too.
    buildMdx();
    return outcome;
}

Outcome Query::undo()
{
    return travel(mHistory.undo(snapshot()));
}

Outcome Query::redo()
{
    return travel(mHistory.redo(snapshot()));
}

// Puts back a state of the history: the trees, the ticks and the statement of then, the
// user's own edits included.
Outcome Query::travel(std::optional<QuerySnapshot> state)
{
    if (!state)
        return {};
    restoreSnapshot(*state, mTrees, mMeasures);
    mStatement = state->statement;
    return { true, true, std::nullopt };
}

void Query::buildMdx()
{
    mStatement = composeMdx(mRowTree, mColumnTree, mSlicerTree, mMeasures, mCube);
}

QuerySnapshot Query::snapshot() const
{
    return takeSnapshot({ &mSchemaTree, &mRowTree, &mColumnTree, &mSlicerTree }, mMeasures,
                        mStatement);
}

} // namespace mdx
