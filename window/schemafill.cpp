#include "schemafill.h"

#include "catalog/catalog.h"
#include "model/layouttree.h"
#include "model/measurelist.h"

namespace mdx {

namespace {

// The unique name of the hierarchy shown where the server qualifies hierarchies by their
// dimension ("[Date].[Fiscal]"): such a server rejects "[Date].currentmember" when the
// dimension holds several hierarchies. Elsewhere (a dimension's own hierarchy, a name such as
// "[Time.Weekly]") the dimension's unique name stands, which names its default hierarchy.
QString dimensionKey(const Dimension &dimension, const Collection<Hierarchy> &hierarchies)
{
    const QString own = dimension.uniqueName();
    const QString shown = hierarchies.count() > 0 ? hierarchies.item(0).uniqueName() : QString();
    return shown.startsWith(own + u'.') ? shown : own;
}

} // namespace

QString cubeSubTitle(const QString &name, const QString &description)
{
    if (description.isEmpty())
        return name;
    return name + QStringLiteral(": ") + description;
}

void fillSchema(const CubeDef &cube, LayoutTree &schemaTree, MeasureList &measures)
{
    schemaTree.clear();
    for (const Dimension &dimension : cube.dimensions()) {
        if (dimension.name() != measuresDimensionName) {
            const Collection<Hierarchy> hierarchies = dimension.hierarchies();
            const Node *dimensionNode
                = schemaTree.add(dimensionKey(dimension, hierarchies), dimension.name());
            const Collection<Level> levels = hierarchies.item(0).levels();
            for (const Level &level : levels)
                schemaTree.add(dimensionNode->key(), LayoutTree::Child, level.uniqueName(),
                               level.name());
        } else {
            const Level first = dimension.hierarchies().item(0).levels().item(0);
            const Collection<Member> members = first.members();
            for (const Member &member : members) {
                measures.addItem(member.name());
                measures.setTicked(measures.newIndex(), true);
            }
        }
    }
    for (Node *node : schemaTree)
        node->setExpanded(false);
    // A cube of measures alone is sound on every server: there is just nothing to select.
    if (schemaTree.count() > 0)
        schemaTree.item(1)->setSelected(true);
}

} // namespace mdx
