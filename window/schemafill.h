#pragma once

#include <QString>

namespace mdx {

class CubeDef;
class LayoutTree;
class MeasureList;

// The name of the dimension whose members are the measures; compared exactly.
inline constexpr QStringView measuresDimensionName = u"Measures";

// "Name" for a cube without a description, else "Name: Description".
QString cubeSubTitle(const QString &name, const QString &description);

// Fills the schema tree and the measure list from a cube: a dimension node per dimension
// other than Measures (its text the dimension's name, its key the unique name of its first
// hierarchy where the server names that "[Dimension].[Hierarchy]", else the dimension's),
// followed by the levels of that hierarchy, all unchecked; the
// members of the first level of Measures, all ticked. Then every node is
// collapsed and the first one, if any, selected. The tree is cleared first; the list is not
// (the caller clears it earlier, with the axis trees).
//
// Throws Failure from the catalog; whatever was added before the failure stays.
void fillSchema(const CubeDef &cube, LayoutTree &schemaTree, MeasureList &measures);

} // namespace mdx
