#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace mdx {

// One dimension's set as a statement writes it.
struct DimensionSetForm
{
    enum class Kind {
        AllMembers, // "{D.[(All)].members}": no level chosen
        Level, // "{L.members}": one level chosen
        Descendants, // "{descendants(D.currentmember,L)}": several, the deepest L;
                     // "{descendants({M},L)}" with chosen members
        Members, // "{M}": chosen members alone
    };
    Kind kind = Kind::AllMembers;
    QString dimensionKey; // empty for Level and where members stand, which name no dimension
    QString levelKey; // empty for AllMembers and Members
    QStringList members; // as the statement writes them

    bool operator==(const DimensionSetForm &) const = default;
};

// What a statement of the wizard's grammar says: the cube, the axis sets of the rows part in
// order (one to three dimension sets each, as the axis trees would hold them), whether empty
// rows are left out, and the measures it names.
struct StatementLayout
{
    QString cube;
    bool nonEmpty = false;
    std::vector<std::vector<DimensionSetForm>> axes;
    QStringList measures;
    bool operator==(const StatementLayout &) const = default;
};

// A statement read back, or the first thing in it that was not understood.
struct StatementReading
{
    StatementLayout layout;
    // Empty when the statement was read: "at 57: expected "," or ")" after ...".
    QString failure;
    bool ok() const { return failure.isEmpty(); }
};

// Reads a statement in the grammar the wizard writes, as a person editing one would write it
// too: keywords in any letter case, any white space between tokens, a plain cube name in
// brackets, the columns part before the rows part. Where several layouts write the same
// text, the axis sets take as many dimension sets as they can, Rows first, then Columns.
// Never throws.
StatementReading readStatement(const QString &text);

} // namespace mdx
