#pragma once

#include "layouttree.h"
#include "measurelist.h"
#include "statementreader.h"
#include "undohistory.h"

#include <QString>

#include <optional>

namespace mdx {

// A user's action the query would not take, with the words that tell the user why.
struct Refusal
{
    enum class Severity { Warning, Information };
    Severity severity = Severity::Warning;
    QString title;
    QString text;
    bool operator==(const Refusal &) const = default;
};

// What one of the user's actions came to. The window shows the refusal, if any, and then
// writes the statement into its box when it was rebuilt or brought back.
struct Outcome
{
    // The query changed, and the change is one step of the history.
    bool changed = false;
    bool statementWritten = false;
    std::optional<Refusal> refusal;
    bool operator==(const Outcome &) const = default;
};

// The query a user composes: the schema and axis trees, the measure list, the cube text the
// statement names, the statement and the history of the user's changes. Every action of the
// user is one operation here, which applies its rule, rebuilds the statement where it must
// and records its own undo step; nothing here shows anything.
class Query
{
public:
    enum class Tree { Schema, Rows, Columns, Slicers };

    Query();
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    // Trees and the list are the window's to show; what they show changes through the
    // operations below (and the display state a view changes itself: expansion, selection).
    LayoutTree &tree(Tree which) { return *mTrees[size_t(which)]; }
    const LayoutTree &tree(Tree which) const { return *mTrees[size_t(which)]; }
    MeasureList &measures() { return mMeasures; }
    const MeasureList &measures() const { return mMeasures; }

    // The statement box's text: the last statement built or brought back by undo, or what the
    // user has typed since.
    const QString &statement() const { return mStatement; }
    const QString &cube() const { return mCube; }
    // The cube text follows the cube list's, whatever changed it.
    void setCube(const QString &cube) { mCube = cube; }

    // Loading a cube, in two steps so that the window can show the emptied statement before
    // the catalog is read. First the axis trees, the measures, the statement and the history
    // are emptied.
    void clearForCube();
    // Then the schema tree is filled from the cube, which walks its catalog: dimensions() of
    // objects with name(), uniqueName(), hierarchies().item(0).levels() and members(). The
    // catalog may fail at any step; what was loaded before stays, as the user then sees it.
    template<typename Cube> void fillSchema(const Cube &cube);

    // A press on a node: flips its check mark, selects it and rebuilds the statement.
    Outcome pressNode(Node &node);
    // A drop: moves the dimension of the source's selected node onto the target.
    Outcome dropOn(LayoutTree &source, LayoutTree &target);
    // A move by the menu or a key: the dimension of `node` (a node of source, or none) goes to
    // the target, and the dimension that took its place in the source is selected.
    Outcome moveTo(LayoutTree &source, Node *node, LayoutTree &target);
    // A click or Space on a measure: flips its tick, keeping one measure ticked.
    Outcome toggleMeasure(int position);
    // Narrows a dimension node of an axis tree to the members chosen (all of them when none).
    Outcome chooseMembers(Node &dimension, const QStringList &members);
    // Whether the rows part leaves out the rows without data.
    bool nonEmpty() const { return mNonEmpty; }
    Outcome setNonEmpty(bool nonEmpty);
    Outcome undo();
    Outcome redo();
    // Takes a statement's layout on the loaded cube: the dimensions go to the axis trees in its
    // order (Rows, then Columns, then Slicers), the schema tree keeps the others as the cube
    // was loaded, the level marks write each set's form (one level: that level alone;
    // descendants: every level from the top down to it) and the named measures alone are
    // ticked. A layout the cube cannot hold is refused, naming what it lacks, and changes
    // nothing. The layout's cube is the caller's to have loaded.
    Outcome openLayout(const StatementLayout &layout);
    // The user typed in the statement box; it is no step of the history.
    void editStatement(const QString &text) { mStatement = text; }

    const UndoHistory &history() const { return mHistory; }

private:
    // The steps of fillSchema().
    Node *addSchemaDimension(const QString &uniqueName, const QString &hierarchyUniqueName,
                             const QString &name);
    void addSchemaLevel(const Node &dimension, const QString &uniqueName, const QString &name);
    void addMeasure(const QString &name);
    void collapseSchema();

    Outcome place(LayoutTree &source, Node *node, LayoutTree &target);
    std::optional<Refusal> refuseLayout(const StatementLayout &layout) const;
    QString dimensionOf(const DimensionSetForm &form) const;
    Outcome recordChange(QuerySnapshot before);
    void markLevels(Node &dimension, const DimensionSetForm &form);
    void buildMdx();
    QuerySnapshot snapshot() const;
    Outcome travel(std::optional<QuerySnapshot> state);

    LayoutTree mSchemaTree { QStringLiteral("SchemaTree") };
    LayoutTree mRowTree { QStringLiteral("RowTree") };
    LayoutTree mColumnTree { QStringLiteral("ColumnTree") };
    LayoutTree mSlicerTree { QStringLiteral("SlicerTree") };
    QueryTrees mTrees;
    // The schema tree as the cube was loaded, which a layout starts from.
    QuerySnapshot::TreeState mLoadedSchema;
    MeasureList mMeasures;
    QString mCube;
    QString mStatement;
    // Kept across cubes: it is the user's way of asking, not a part of a cube's layout.
    bool mNonEmpty = false;
    UndoHistory mHistory;
};

// What the window shows of a cube under its title: "Name", or "Name: Description".
QString cubeSubTitle(const QString &name, const QString &description);

// The name of the dimension whose members are the measures; compared exactly.
inline constexpr QStringView measuresDimensionName = u"Measures";

template<typename Cube> void Query::fillSchema(const Cube &cube)
{
    mSchemaTree.clear();
    // Until the load is whole, no layout can be taken on it.
    mLoadedSchema = {};
    for (const auto &dimension : cube.dimensions()) {
        if (dimension.name() != measuresDimensionName) {
            const auto hierarchies = dimension.hierarchies();
            const QString shown
                = hierarchies.count() > 0 ? hierarchies.item(0).uniqueName() : QString();
            const Node *node = addSchemaDimension(dimension.uniqueName(), shown, dimension.name());
            for (const auto &level : hierarchies.item(0).levels())
                addSchemaLevel(*node, level.uniqueName(), level.name());
        } else {
            for (const auto &member : dimension.hierarchies().item(0).levels().item(0).members())
                addMeasure(member.name());
        }
    }
    collapseSchema();
}

} // namespace mdx
