#include "query.h"

#include "mdxstatement.h"
#include "placement.h"

#include <QHash>
#include <QSet>

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
    mLoadedSchema = takeSnapshot({ &mSchemaTree, &mRowTree, &mColumnTree, &mSlicerTree }, mMeasures,
                                 QString())
                        .trees[0];
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
    const QString key = node ? (node->parent() ? node->parent() : node)->key() : QString();
    switch (placeNode(source, node, target)) {
    case Placement::Moved:
        // Members are chosen for an axis: back in the pool the dimension is whole again.
        if (&target == &mSchemaTree)
            mSchemaTree.find(key)->setMembers({});
        return recordChange(std::move(before));
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

Outcome Query::chooseMembers(Node &dimension, const QStringList &members)
{
    if (&dimension.tree() == &mSchemaTree || dimension.parent() || dimension.members() == members)
        return {};
    QuerySnapshot before = snapshot();
    dimension.setMembers(members);
    return recordChange(std::move(before));
}

Outcome Query::setNonEmpty(bool nonEmpty)
{
    if (mNonEmpty == nonEmpty)
        return {};
    QuerySnapshot before = snapshot();
    mNonEmpty = nonEmpty;
    return recordChange(std::move(before));
}

Outcome Query::recordChange(QuerySnapshot before)
{
    mHistory.record(std::move(before));
    buildMdx();
    return { true, true, std::nullopt };
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
    mNonEmpty = state->nonEmpty;
    mStatement = state->statement;
    return { true, true, std::nullopt };
}

Outcome Query::openLayout(const StatementLayout &layout)
{
    if (std::optional<Refusal> refusal = refuseLayout(layout))
        return { false, false, refusal };
    QuerySnapshot before = snapshot();
    QuerySnapshot start;
    start.trees[0] = mLoadedSchema;
    start.measureTicks.assign(size_t(mMeasures.count()), false);
    restoreSnapshot(start, mTrees, mMeasures);
    LayoutTree *axisTrees[] = { &mRowTree, &mColumnTree, &mSlicerTree };
    for (size_t a = 0; a < layout.axes.size(); ++a) {
        for (const DimensionSetForm &form : layout.axes[a]) {
            Node *dimension = moveDimension(*mSchemaTree.find(dimensionOf(form)), *axisTrees[a]);
            markLevels(*dimension, form);
            dimension->setMembers(form.members);
        }
    }
    mNonEmpty = layout.nonEmpty;
    QStringList named = layout.measures;
    for (int m = 0; m < mMeasures.count(); ++m) {
        if (named.removeOne(mMeasures.text(m)))
            mMeasures.setTicked(m, true);
    }
    buildMdx();
    // The layout it had already is no step.
    const bool changed = snapshot() != before;
    if (changed)
        mHistory.record(std::move(before));
    return { changed, true, std::nullopt };
}

// The dimension node a form's set belongs to in the loaded schema: the one it names, its
// level's, or the one whose key begins its first member's name; empty when there is none.
QString Query::dimensionOf(const DimensionSetForm &form) const
{
    if (!form.dimensionKey.isEmpty())
        return form.dimensionKey;
    if (!form.levelKey.isEmpty()) {
        for (const auto &node : mLoadedSchema.nodes) {
            if (node.key == form.levelKey)
                return node.parentKey;
        }
        return QString();
    }
    // The longest such key, as a hierarchy's key may begin with its dimension's.
    QString found;
    for (const auto &node : mLoadedSchema.nodes) {
        if (node.parentKey.isEmpty() && node.key.size() > found.size()
            && form.members.front().startsWith(node.key + u'.'))
            found = node.key;
    }
    return found;
}

// The marks that write a form: none, the one level, or every level down to the deepest; from
// chosen members the one level is enough.
void Query::markLevels(Node &dimension, const DimensionSetForm &form)
{
    bool onPath = form.kind == DimensionSetForm::Kind::Descendants && form.members.isEmpty();
    for (Node *level = dimension.child(); level; level = level->next()) {
        const bool named = level->key() == form.levelKey;
        level->setChecked(named || onPath);
        if (named)
            onPath = false;
    }
}

namespace {

using NodesByKey = QHash<QString, const QuerySnapshot::NodeState *>;

// Why the loaded schema cannot take one dimension's set, whose dimension is `key`, if it
// cannot; the dimensions placed so far are in `placed`.
std::optional<QString> refuseForm(const DimensionSetForm &form, const QString &key,
                                  const QuerySnapshot::TreeState &schema, const NodesByKey &nodes,
                                  QSet<QString> &placed)
{
    const auto levelOf = [&](const QString &levelKey) {
        const auto *node = nodes.value(levelKey);
        return node && !node->parentKey.isEmpty() ? node : nullptr;
    };
    const bool levelOnly = form.kind == DimensionSetForm::Kind::Level
        || (form.kind == DimensionSetForm::Kind::Descendants && !form.members.isEmpty());
    if (levelOnly && !levelOf(form.levelKey))
        return QStringLiteral("The cube has no level %1.").arg(form.levelKey);
    if (key.isEmpty())
        return QStringLiteral("The cube has no dimension of the member %1.")
            .arg(form.members.front());
    const auto *dimension = nodes.value(key);
    if (!dimension || !dimension->parentKey.isEmpty())
        return QStringLiteral("The cube has no dimension %1.").arg(key);
    if (placed.contains(key))
        return QStringLiteral("The statement names the dimension %1 twice.").arg(key);
    placed.insert(key);
    for (const QString &member : form.members) {
        if (!member.startsWith(key + u'.'))
            return QStringLiteral("The member %1 is not of the dimension %2.").arg(member, key);
    }
    if (form.kind != DimensionSetForm::Kind::Descendants || levelOnly)
        return std::nullopt;
    const auto *level = levelOf(form.levelKey);
    if (!level || level->parentKey != key)
        return QStringLiteral("The dimension %1 has no level %2.").arg(key, form.levelKey);
    if (&schema.nodes[size_t(level - schema.nodes.data()) - 1] == dimension)
        return QStringLiteral("Descendants to %1, the top level of %2, is no layout the wizard "
                              "writes.")
            .arg(form.levelKey, key);
    return std::nullopt;
}

// Why the measures named cannot be the ticked ones of the list, if they cannot.
std::optional<QString> refuseMeasures(const QStringList &named, const MeasureList &measures)
{
    QStringList listed;
    for (int m = 0; m < measures.count(); ++m)
        listed << measures.text(m);
    for (const QString &measure : named) {
        if (!listed.removeOne(measure))
            return QStringLiteral("The cube has no measure %1%2.")
                .arg(measure,
                     named.count(measure) > 1
                         ? QStringLiteral(" as often as the statement names it")
                         : QString());
    }
    if (named.isEmpty() && measures.count() > 0)
        return QStringLiteral("The statement names no measure; one must stay ticked.");
    return std::nullopt;
}

} // namespace

std::optional<Refusal> Query::refuseLayout(const StatementLayout &layout) const
{
    // The loaded schema's nodes by key, with the dimension each level belongs to.
    NodesByKey nodes;
    for (const auto &node : mLoadedSchema.nodes)
        nodes.insert(node.key, &node);
    QSet<QString> placed;
    std::optional<QString> why;
    for (const auto &axis : layout.axes) {
        for (const DimensionSetForm &form : axis) {
            if (!why)
                why = refuseForm(form, dimensionOf(form), mLoadedSchema, nodes, placed);
        }
    }
    if (!why)
        why = refuseMeasures(layout.measures, mMeasures);
    if (!why)
        return std::nullopt;
    return Refusal { Refusal::Severity::Warning, QStringLiteral("Invalid Statement"), *why };
}

void Query::buildMdx()
{
    mStatement = composeMdx(mRowTree, mColumnTree, mSlicerTree, mMeasures, mCube, mNonEmpty);
}

QuerySnapshot Query::snapshot() const
{
    QuerySnapshot state = takeSnapshot({ &mSchemaTree, &mRowTree, &mColumnTree, &mSlicerTree },
                                       mMeasures, mStatement);
    state.nonEmpty = mNonEmpty;
    return state;
}

} // namespace mdx
