// Reading statements of the wizard's grammar back, as written and as a person edits them.
#include "model/statementreader.h"

#include <QTest>

using namespace mdx;

namespace {

// "Sales | all [Store] x level [Time].[Year] / desc [P] [P].[Name] | Units,Cost": the cube,
// the axis sets apart by "/", their dimension sets by "x", the measures; or the failure.
QString describe(const StatementReading &reading)
{
    if (!reading.ok())
        return reading.failure;
    QStringList axes;
    for (const auto &axis : reading.layout.axes) {
        QStringList sets;
        for (const DimensionSetForm &set : axis) {
            using enum DimensionSetForm::Kind;
            const QString members = '{' + set.members.join(',') + '}';
            sets << (set.kind == AllMembers  ? "all " + set.dimensionKey
                         : set.kind == Level ? "level " + set.levelKey
                         : set.kind == Members
                         ? "members " + members
                         : "desc " + (set.members.isEmpty() ? set.dimensionKey : members) + ' '
                             + set.levelKey);
        }
        axes << sets.join(" x ");
    }
    return (reading.layout.nonEmpty ? "non empty " : "") + reading.layout.cube + " | "
        + axes.join(" / ") + " | " + reading.layout.measures.join(',');
}

} // namespace

class TestStatementReader : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QString &text, const QString &expected) {
            QTest::newRow(name) << text << expected;
        };
        // The query's tests read the plain forms back. Rows takes what it can, then Columns,
        // then Slicers.
        row("two axes",
            "select crossjoin({[A].[(All)].members},crossjoin({[B].[(All)].members},"
            "{[C].[(All)].members})) on rows, {} on columns from X",
            "X | all [A] / all [B] x all [C] | ");
        row("three axes of three",
            "select crossjoin(crossjoin(crossjoin(crossjoin({[A].[1].members},{[B].[1].members}),"
            "{[C].[1].members}),crossjoin({[D].[1].members},{[E].[1].members})),"
            "crossjoin(crossjoin({[F].[1].members},{[G].[1].members}),{[H].[1].members})) on "
            "rows, {} on columns from X",
            "X | level [A].[1] x level [B].[1] x level [C].[1] / level [D].[1] x level [E].[1] / "
            "level [F].[1] x level [G].[1] x level [H].[1] | ");
        // Names quoted as the wizard quotes them, hierarchies, a bracketed or empty cube.
        row("quoting",
            "select {descendants([Date].[Fiscal].currentmember,[Date].[Fiscal].[Month])} on "
            "rows, {[Measures].[Sales [Net]]],[Measures].[a,b]} on columns from [Sales 2]]x]",
            "Sales 2]x | desc [Date].[Fiscal] [Date].[Fiscal].[Month] | Sales [Net],a,b");
        row("bracketed plain cube", "select {} on columns from [Sales]", "Sales |  | ");
        row("empty cube", "select {} on columns from ", " |  | ");
        row("hand edited",
            "SELECT\n  CrossJoin( { [Time] . [Year] . Members } ,\t{[Store].[(All)].MEMBERS} )\n"
            "  ON ROWS ,\n  { [Measures].[Units] } ON COLUMNS\nFROM Sales\n",
            "Sales | level [Time].[Year] x all [Store] | Units");
        // Chosen members as the server names them (keys with "&" too), and no empty rows.
        row("members",
            "select non empty crossjoin({[A].[x] , [A].&[2004]&[1],[A].[a]]b]},"
            "{ descendants( { [B] . [y] } , [B].[L] ) }) on rows, {} on columns from X",
            "non empty X | members {[A].[x],[A].&[2004]&[1],[A].[a]]b]} x desc {[B].[y]} [B].[L] "
            "| ");
        row("non empty after columns",
            "SELECT {} ON COLUMNS, NON\tEMPTY {[A].[B].members} ON ROWS FROM X",
            "non empty X | level [A].[B] | ");
        row("columns first",
            "select {[Measures].[Units]} on columns, {[A].[B].members} on rows "
            "from Sales",
            "Sales | level [A].[B] | Units");

        // Refusals name the first thing not understood, where it stands and what came before.
        row("empty", "", "at 1: expected \"select\"");
        row("garbage", "hello", "at 1: expected \"select\"");
        row("a stray character", "select {} on columns from Sales;",
            "at 32: \";\", which has no place in such a statement");
        row("unclosed bracket", "select {[Measures].[Units} on columns from Sales",
            "at 20: a \"[\" that is never closed");
        row("truncated", "select crossjoin({[Time].[Month].members} {[A].[(All)].members}) on rows",
            "at 43: expected \",\" after {[Time].[Month].members}");
        row("cut short", "select {[Measures].[Units]} on columns fr",
            "at 40: expected \"from\" after {[Measures].[Units]} on columns");
        row("not on rows or columns", "select {} on pages from Sales",
            "at 14: expected \"rows\" or \"columns\" after {} on");
        row("measures on rows", "select {[Measures].[Units]} on rows, {} on columns from Sales",
            "at 8: expected a dimension's set on rows");
        row("a dimension on columns", "select {[A].[B].members} on columns from Sales",
            "at 8: expected the set of measures on columns after {[A].[B].members} on columns "
            "from Sales");
        row("not a measure", "select {[Units]} on columns from Sales",
            "at 8: expected a measure as [Measures].[Name] or a set's \".members\" after {[Units]");
        row("no layout writes it",
            "select crossjoin({[A].[1].members},crossjoin(crossjoin({[B].[1].members},"
            "{[C].[1].members}),crossjoin({[D].[1].members},{[E].[1].members}))) on rows, {} on "
            "columns from X",
            "at 8: expected at most three crossjoined sets of at most three dimensions each on "
            "rows");
        row("too deep", "select " + QString("crossjoin(").repeated(100000),
            "at 48: expected at most three crossjoined sets of at most three dimensions each "
            "on rows");
        row("non empty on columns", "select non empty {} on columns from X",
            "at 8: expected \"non empty\" on rows only");
        row("non alone", "select non {} on columns from X",
            "at 12: expected \"empty\" after select non");
        row("a member cut short", "select {[A].[x],} on rows, {} on columns from X",
            "at 17: expected a member after {[A].[x],");
        // Another tool's statement.
        row("dimension properties",
            "select {[A].[B].members} dimension properties member_caption on rows, {} on "
            "columns from X",
            "at 26: expected \"on\" after {[A].[B].members}");
    }

    void read()
    {
        QFETCH(QString, text);
        QTEST(describe(readStatement(text)), "expected");
    }
};

QTEST_APPLESS_MAIN(TestStatementReader)
#include "tst_statementreader.moc"
