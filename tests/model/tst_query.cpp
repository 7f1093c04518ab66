// The user's actions on the query, each with its rule, its statement and its undo step, as
// whole outcomes without a window; statements read back as written and as a person edits
// them; the trees' refusals of misuse and the history's bound.

#include "model/failure.h"
#include "model/placement.h"
#include "model/query.h"

#include <QRandomGenerator>
#include <QTest>

#include <functional>
#include <vector>

using namespace mdx;

namespace {

// A catalog object of any kind, as the load walks it: its children are a cube's dimensions,
// a dimension's hierarchies, a hierarchy's levels or a level's members. A missing item fails
// as it does in a catalog.
struct Fake
{
    struct Items : std::vector<Fake>
    {
        int count() const { return int(size()); }
        Fake item(int position) const
        {
            if (position >= count())
                throw Failure(1, QStringLiteral("no item"), QStringLiteral("Fake"));
            return at(size_t(position));
        }
    };
    QString text, unique;
    Items children;
    QString name() const { return text; }
    QString uniqueName() const { return unique; }
    Items dimensions() const { return children; }
    Items hierarchies() const { return children; }
    Items levels() const { return children; }
    Items members() const { return children; }
};

// "Store=(All),Country; Measures=Units,Cost; Date@[Date].[Fiscal]=Year; Broken!": a
// dimension with the levels of its one hierarchy (named after the dimension unless "@" names
// it), the members of the Measures level, and "!" for a dimension without a hierarchy.
Fake cube(const QString &layout)
{
    Fake cube;
    for (const QString &part : layout.split(u';', Qt::SkipEmptyParts)) {
        const QString head = part.section(u'=', 0, 0).trimmed().remove(u'!');
        const QString name = head.section(u'@', 0, 0), key = u'[' + name + u']';
        Fake hierarchy { {}, head.contains(u'@') ? head.section(u'@', 1) : key, {} };
        Fake measures;
        for (QString level : part.section(u'=', 1).split(u',', Qt::SkipEmptyParts)) {
            level = level.trimmed();
            (name == u"Measures" ? measures.children : hierarchy.children)
                .push_back({ level, key + ".[" + level + u']', {} });
        }
        if (name == u"Measures")
            hierarchy.children.push_back(measures);
        Fake dimension { name, key, {} };
        if (!part.contains(u'!'))
            dimension.children.push_back(hierarchy);
        cube.children.push_back(dimension);
    }
    return cube;
}

const QString sales = QStringLiteral("Store=All,Country,City; Measures=Units,Cost,Profit; "
                                     "Time=Year,Month; Product=Family; Gender=Gender");

// A tree in one line: "Store*{[Store].[USA]}(All*,Country,City^)" with "*" for a checked node,
// "^" for the selected one and the chosen members in braces; dimensions apart by blanks.
QString line(const LayoutTree &tree)
{
    QString text;
    for (const Node *node : tree) {
        const QString marks = (node->checked() ? "*" : "") + QString(node->selected() ? "^" : "")
            + (node->members().isEmpty() ? "" : '{' + node->members().join(',') + '}');
        if (!node->parent())
            text += (text.isEmpty() ? "" : " ") + node->text() + marks;
        else
            text += (node == node->parent()->child() ? "(" : ",") + node->text() + marks
                + (node == node->lastSibling() ? ")" : "");
    }
    return text;
}

QString ticks(const MeasureList &measures)
{
    QString text;
    for (int i = 0; i < measures.count(); ++i)
        text += measures.text(i) + (measures.isTicked(i) ? "+ " : "- ");
    return text.trimmed();
}

void loadCube(Query &query, const QString &layout)
{
    query.clearForCube();
    query.fillSchema(cube(layout));
}

// Runs one action of the form "press Rows [Store].[City]", "drop Schema [Store] Rows" (the node
// is selected first, as a press does), "move Rows [Store] Schema", "tick 2", "undo", "redo",
// "open STATEMENT" (its layout taken), "cube NAME", "load CUBE" (in cube()'s notation, the
// dimensions apart by ";" alone), "members Rows [Store] M1,M2" ("-" for none), "nonempty on",
// "edit TEXT".
Outcome act(Query &query, const QString &action)
{
    const QStringList words = action.split(u' ');
    const QString rest = action.section(u' ', 1);
    const auto tree = [&](int word) -> LayoutTree & {
        return query.tree(Query::Tree(
            QStringList { "Schema", "Rows", "Columns", "Slicers" }.indexOf(words[word])));
    };
    const auto node = [&] { return tree(1).find(words[2]); };
    if (words[0] == u"press")
        return query.pressNode(*node());
    if (words[0] == u"drop") {
        if (Node *pressed = node())
            pressed->setSelected(true);
        return query.dropOn(tree(1), tree(3));
    }
    if (words[0] == u"move")
        return query.moveTo(tree(1), node(), tree(3));
    if (words[0] == u"tick")
        return query.toggleMeasure(words[1].toInt());
    if (words[0] == u"undo")
        return query.undo();
    if (words[0] == u"redo")
        return query.redo();
    if (words[0] == u"open")
        return query.openLayout(readStatement(rest).layout);
    if (words[0] == u"members")
        return query.chooseMembers(*node(),
                                   words[3] == u"-" ? QStringList() : words[3].split(u','));
    if (words[0] == u"nonempty")
        return query.setNonEmpty(words[1] == u"on");
    if (words[0] == u"cube")
        query.setCube(rest);
    else if (words[0] == u"load")
        loadCube(query, rest);
    else
        query.editStatement(rest);
    return {};
}

QString statement(const QString &rows,
                  const QString &measures
                  = "[Measures].[Units],[Measures].[Cost],[Measures].[Profit]")
{
    return "select " + (rows.isEmpty() ? "" : rows + " on rows, ") + "{" + measures
        + "} on columns from Sales";
}

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

class TestQuery : public QObject
{
    Q_OBJECT

    Query query;

private slots:
    void init()
    {
        query.setCube(QStringLiteral("Sales"));
        // Loading keeps the switch; each row starts without it.
        query.setNonEmpty(false);
        loadCube(query, sales);
    }

    // After actions apart by "; ": the trees (schema|rows|columns|slicers), the statement, what
    // each action said (a refusal with its severity, title and text) and the steps the history
    // holds.
    void actions_data()
    {
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QString>("trees");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("steps");
        const auto row = [](const char *name, const QString &actions, const QString &trees,
                            const QString &statement, const QString &said, int steps) {
            QTest::newRow(name) << actions << trees << statement << said << steps;
        };

        const QString store = "{descendants([Store].currentmember,[Store].[City])}";
        const QString time = "{descendants([Time].currentmember,[Time].[Month])}";
        const QString loaded = "Store^(All,Country,City) Time(Year,Month) Product(Family) "
                               "Gender(Gender)|||";
        // The schema without Store or Time and its trees, the dimensions as dropped on an axis.
        const QString noStore = "Time(Year,Month) Product(Family) Gender(Gender)|";
        const QString noTime = "Store(All,Country,City) Product(Family) Gender(Gender)|";
        const QString storeOn = "Store*(All*,Country*,City*)", timeOn = "Time*(Year*,Month*)";
        const QString timeOnRows = noTime + timeOn + "||";
        const QString axis = " warning Invalid Axis: This wizard only supports up to 3 "
                             "dimensions on any axis.";

        // A press flips the mark, selects and rebuilds, in any tree, the schema's too.
        row("press in the schema", "press Schema [Time].[Year]",
            "Store(All,Country,City) Time(Year*^,Month) Product(Family) Gender(Gender)|||",
            statement(""), "cw", 1);
        // A level carries its whole dimension, every node checked; a drop on the same tree,
        // or of nothing, does nothing and is no step.
        row("drop a level",
            "drop Schema [Store].[City] Rows; drop Rows [Store] Rows; drop Columns - Rows",
            noStore + "Store*^(All*,Country*,City*)||", statement(store), "cw; -; -", 1);
        row("statement forms by the level marks",
            "drop Schema [Store] Rows; press Rows [Store].[City]; press Rows [Store].[All]; "
            "drop Schema [Time] Slicers; press Slicers [Time].[Month]; "
            "press Slicers [Time].[Year]",
            "Product(Family) Gender(Gender)|Store*(All^,Country*,City)||Time*(Year^,Month)",
            statement("crossjoin({[Store].[Country].members},{[Time].[(All)].members})"),
            "cw; cw; cw; cw; cw; cw", 6);
        // Between axis trees every level is ticked again; back to the schema at its end.
        row("axis to axis and back",
            "drop Schema [Time] Columns; press Columns [Time].[Year]; "
            "drop Columns [Time] Slicers; drop Schema [Store] Rows; drop Rows [Store] Schema",
            "Product(Family) Gender(Gender) Store*(All*,Country*,City*)|||Time*(Year*,Month*)",
            statement(time), "cw; cw; cw; cw; cw", 5);
        // A move by key selects the dimension that took the moved one's place, or the one
        // before it at the end.
        row("moves by key select a neighbour",
            "move Schema [Store].[City] Rows; move Schema [Time] Rows; move Rows [Time] Columns",
            "Product^(Family) Gender(Gender)|Store*^(All*,Country*,City*)|Time*(Year*,Month*)|",
            statement("crossjoin(" + store + "," + time + ")"), "cw; cw; cw", 3);
        row("three on an axis, crossed with another",
            "drop Schema [Store] Rows; drop Schema [Time] Rows; drop Schema [Product] Rows; "
            "drop Schema [Gender] Columns",
            "|" + storeOn + " " + timeOn + " Product*(Family*)|Gender*(Gender*)|",
            statement("crossjoin(crossjoin(crossjoin(" + store + "," + time
                      + "),{[Product].[Family].members}),{[Gender].[Gender].members})"),
            "cw; cw; cw; cw", 4);
        // A refused move, by mouse or key, changes nothing, the selection neither.
        row("a full axis refuses",
            "drop Schema [Store] Rows; drop Schema [Time] Rows; drop Schema [Product] Rows; "
            "press Schema [Gender]; move Schema [Gender] Rows",
            "Gender*^(Gender)|" + storeOn + " " + timeOn + " Product*(Family*)||",
            statement("crossjoin(crossjoin(" + store + "," + time
                      + "),{[Product].[Family].members})"),
            "cw; cw; cw; cw; -" + axis, 4);
        row("a full schema refuses", "drop Schema [Store] Rows; drop Rows [Store] Schema",
            noStore + "Store*^(All*,Country*,City*)||", statement(store), "cw; -" + axis, 1);
        // One measure stays ticked; the refused click rebuilds too, and is no step.
        row("measures", "tick 0; tick 2; edit by hand; tick 1; tick -1", loaded,
            statement("", "[Measures].[Cost]"),
            "cw; cw; -; w information Invalid Selection: Must have at least one measure checked; -",
            2);
        // Cube and measure names bracketed where they need it, "]" doubled; a cube without
        // measures writes an empty set.
        const auto names = [&](const char *name, const QString &cube, const QString &quoted) {
            row(name, "cube " + cube + "; tick 0; tick 0", loaded,
                statement("").replace("from Sales", "from " + quoted), "-; cw; cw", 2);
        };
        names("plain cube", "_Sales_2024", "_Sales_2024");
        names("no cube", "", "");
        names("leading digit", "2024Sales", "[2024Sales]");
        names("bracket", "Odd]Cube", "[Odd]]Cube]");
        row("measure names", "load Measures=Sales ]Net,Sales [Net],Ä ß 'x'; tick 1; tick 1", "|||",
            "select {[Measures].[Sales ]]Net],[Measures].[Sales [Net]]],[Measures].[Ä ß 'x']} "
            "on columns from Sales",
            "-; cw; cw", 2);
        row("no measure", "load Store=All;Gender=Gender; drop Schema [Store] Rows",
            "Gender(Gender)|Store*(All*)||",
            "select {[Store].[All].members} on rows, {} on columns from Sales", "-; cw", 1);
        // Undo brings back the trees, the selection and the text of then, hand edits included;
        // a new step forgets what could be redone.
        row("undo", "drop Schema [Time] Rows; edit by hand; drop Schema [Store] Rows; undo",
            "Store^(All,Country,City) Product(Family) Gender(Gender)|Time*(Year*,Month*)||",
            "by hand", "cw; -; cw; cw", 1);
        row("undo and redo",
            "drop Schema [Time] Rows; press Rows [Time].[Year]; undo; undo; redo; redo; redo",
            "Store(All,Country,City) Product(Family) Gender(Gender)|Time*(Year^,Month*)||",
            statement("{[Time].[Month].members}"), "cw; cw; cw; cw; cw; cw; -", 2);
        row("a new step forgets the redo", "drop Schema [Time] Rows; undo; tick 0; redo",
            "Store(All,Country,City) Time^(Year,Month) Product(Family) Gender(Gender)|||",
            statement("", "[Measures].[Cost],[Measures].[Profit]"), "cw; cw; cw; -", 1);

        // Chosen members narrow a dimension's set, with its levels or alone; they go along
        // between axes, not back to the schema, and choosing is a step of its own.
        const QString usa = "[Store].[USA],[Store].[Odd]]Name]";
        row("members with levels",
            "drop Schema [Store] Rows; members Rows [Store] " + usa + "; press Rows [Store].[City]",
            noStore + "Store*{" + usa + "}(All*,Country*,City^)||",
            statement("{descendants({" + usa + "},[Store].[Country])}"), "cw; cw; cw", 3);
        row("members alone",
            "drop Schema [Store] Rows; members Rows [Store] [Store].[USA]; press Rows "
            "[Store].[All]; press Rows [Store].[Country]; press Rows [Store].[City]",
            noStore + "Store*{[Store].[USA]}(All,Country,City^)||", statement("{[Store].[USA]}"),
            "cw; cw; cw; cw; cw", 5);
        row("members go along, not back to the schema",
            "drop Schema [Store] Columns; drop Schema [Time] Rows; members Rows [Time] "
            "[Time].[1997]; drop Rows [Time] Slicers; members Slicers [Time] [Time].[1997]; "
            "members Schema [Gender] [Gender].[F]; drop Slicers [Time] Schema",
            "Product(Family) Gender(Gender) Time*(Year*,Month*)||Store*(All*,Country*,City*)|",
            statement(store), "cw; cw; cw; cw; -; -; cw", 5);
        row("undo of choosing",
            "drop Schema [Time] Rows; members Rows [Time] [Time].[1997]; members Rows [Time] -; "
            "undo",
            noTime + "Time*{[Time].[1997]}(Year*,Month*)||",
            statement("{descendants({[Time].[1997]},[Time].[Month])}"), "cw; cw; cw; cw", 2);
        // No empty rows: only where there are rows; kept when another cube loads.
        row("non empty",
            "nonempty on; nonempty on; drop Schema [Time] Rows; load " + QString(sales).remove(' ')
                + "; drop Schema [Gender] Columns",
            "Store(All,Country,City) Time(Year,Month) Product(Family)||Gender*(Gender*)|",
            "select non empty " + statement("{[Gender].[Gender].members}").mid(7),
            "cw; -; cw; -; cw", 1);
        row("non empty off and undo", "drop Schema [Time] Rows; nonempty on; nonempty off; undo",
            timeOnRows, "select non empty " + statement(time).mid(7), "cw; cw; cw; cw", 2);

        // A statement's layout taken on the cube: trees, marks and ticks as the rule places them,
        // one step that undo takes back; or a refusal that changes nothing.
        const QString from = " on rows, {[Measures].[Cost]} on columns from Sales";
        const QString forms = "select crossjoin(crossjoin({[Gender].[(All)].members},{[Time]."
                              "[Month].members}),{descendants([Store].currentmember,[Store]."
                              "[Country])})"
            + from;
        // Each set form; Store's runs to its last checked level, not its last level.
        row("open each form", "drop Schema [Time] Rows; open " + forms,
            "Product(Family)|Gender*(Gender) Time*(Year,Month*) Store*(All*,Country*,City)||",
            forms, "cw; cw", 2);
        row("open and undo", "drop Schema [Time] Rows; open " + forms + "; undo", timeOnRows,
            statement(time), "cw; cw; cw", 1);
        const QString axes = "select crossjoin({[Gender].[Gender].members},crossjoin({descendants("
                             "[Store].currentmember,[Store].[City])},{[Product].[(All)].members}))"
            + from;
        row("open fills the axes as the rule does", "open " + axes,
            "Time(Year,Month)|Gender*(Gender*)|" + storeOn + " Product*(Family)|", axes, "cw", 1);
        const QString narrowed = "select non empty crossjoin({descendants({[Store].[USA]},"
                                 "[Store].[Country])},{[Time].[1997],[Time].[1998]})"
            + from;
        row("open members and non empty", "open " + narrowed,
            "Product(Family) Gender(Gender)|Store*{[Store].[USA]}(All,Country*,City) "
            "Time*{[Time].[1997],[Time].[1998]}(Year,Month)||",
            narrowed, "cw", 1);
        const auto refused = [&](const char *name, const QString &text, const QString &why) {
            row(name, "drop Schema [Time] Rows; open " + text, timeOnRows, statement(time),
                "cw; - warning Invalid Statement: " + why, 1);
        };
        refused("no such dimension", "select {[Region].[(All)].members}" + from,
                "The cube has no dimension [Region].");
        refused("no such level", "select {[Time].[Week].members}" + from,
                "The cube has no level [Time].[Week].");
        refused("level of another dimension",
                "select {descendants([Store].currentmember,[Time].[Month])}" + from,
                "The dimension [Store] has no level [Time].[Month].");
        refused("descendants to the top",
                "select {descendants([Store].currentmember,[Store].[All])}" + from,
                "Descendants to [Store].[All], the top level of [Store], is no layout the "
                "wizard writes.");
        refused("twice",
                "select crossjoin({[Time].[Year].members},{[Time].[(All)].members})" + from,
                "The statement names the dimension [Time] twice.");
        refused("a member of no dimension", "select {[Region].[North]}" + from,
                "The cube has no dimension of the member [Region].[North].");
        refused("a member of another dimension",
                "select {descendants({[Time].[1997]},[Store].[City])}" + from,
                "The member [Time].[1997] is not of the dimension [Store].");
        refused("no such measure", "select {[Measures].[Margin]} on columns from Sales",
                "The cube has no measure Margin.");
        refused("a measure twice",
                "select {[Measures].[Cost],[Measures].[Cost]} on columns from Sales",
                "The cube has no measure Cost as often as the statement names it.");
        refused("no measure", "select {} on columns from Sales",
                "The statement names no measure; one must stay ticked.");
    }

    void actions()
    {
        QFETCH(QString, actions);
        QStringList said, trees;
        for (const QString &action : actions.split("; ", Qt::SkipEmptyParts)) {
            // What the action says it did, which the window goes by: "c" changed, "w"
            // statement written, "-" neither; a refusal apart.
            const Outcome outcome = act(query, action);
            const QString flags
                = (outcome.changed ? "c" : "") + QString(outcome.statementWritten ? "w" : "");
            said << (flags.isEmpty() ? "-" : flags);
            if (const auto &refusal = outcome.refusal)
                said.last() += (refusal->severity == Refusal::Severity::Warning ? " warning "
                                                                                : " information ")
                    + refusal->title + ": " + refusal->text;
        }
        for (int tree = 0; tree < 4; ++tree)
            trees << line(query.tree(Query::Tree(tree)));
        QTEST(trees.join('|'), "trees");
        QTEST(query.statement(), "statement");
        QTEST(said.join("; "), "said");
        QTEST(query.history().undoCount(), "steps");
    }

    // Loading: every dimension but the one named exactly Measures, the levels of its first
    // hierarchy, the members of the first Measures level ticked; all collapsed, the first node
    // selected; the axis trees, the statement and the history emptied.
    void load_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("measures");
        const auto row = [](const char *name, const QString &layout, const char *schema,
                            const char *keys, const char *measures) {
            QTest::newRow(name) << layout << schema << keys << measures;
        };
        row("sales", sales,
            "Store^(All,Country,City) Time(Year,Month) Product(Family) Gender(Gender)",
            "[Store] [Time] [Product] [Gender]", "Units+ Cost+ Profit+");
        row("case of Measures", "measures=Kind; Measures=Units,Units", "measures^(Kind)",
            "[measures]", "Units+ Units+");
        // A hierarchy qualified by its dimension names the dimension's node; others do not.
        row("hierarchy names", "Date@[Date].[Fiscal]=Year; Week@[Week.Weekly]=Day; Flat",
            "Date^(Year) Week(Day) Flat", "[Date].[Fiscal] [Week] [Flat]", "");
        row("measures only", "Measures=Visits,Orders", "", "", "Visits+ Orders+");
    }

    void load()
    {
        QFETCH(QString, layout);
        act(query, "drop Schema [Time] Rows");
        act(query, "edit by hand");
        loadCube(query, layout);
        QTEST(line(query.tree(Query::Tree::Schema)), "schema");
        QStringList keys;
        for (const Node *node : query.tree(Query::Tree::Schema)) {
            QVERIFY(!node->expanded());
            if (!node->parent())
                keys << node->key();
        }
        QTEST(keys.join(' '), "keys");
        QTEST(ticks(query.measures()), "measures");
        QCOMPARE(query.tree(Query::Tree::Rows).count(), 0);
        QCOMPARE(query.statement(), QString());
        QCOMPARE(query.history().undoCount(), 0);
    }

    // Any layout the wizard writes reads back into a layout that writes it again: random moves,
    // presses, chosen members, the switch and ticks on a wide cube with hierarchies and odd
    // measure names; after each, the statement read back and taken on a second query writes
    // the same statement.
    void statementsReadBackWriteThemselves()
    {
        const QString wide = "Measures=Units,Sales [Net],Count; D0@[D0].[H]=L0; D1=L0,L1; "
                             "D2=L0,L1,L2; D3@[D3].[H]=L0,L1,L2,L3; D4=L0; D5=L0,L1; "
                             "D6@[D6].[H]=L0,L1,L2; D7=L0,L1,L2,L3; D8=L0; D9@[D9].[H]=L0,L1; "
                             "D10=L0,L1,L2; D11=L0,L1,L2,L3";
        loadCube(query, wide);
        Query again;
        again.setCube(query.cube());
        loadCube(again, wide);
        QRandomGenerator random(7);
        for (int step = 0; step < 2000; ++step) {
            LayoutTree &source = query.tree(Query::Tree(random.bounded(4)));
            if (source.count() == 0)
                continue;
            Node *node = source.item(random.bounded(source.count()) + 1);
            switch (random.bounded(5)) {
            case 0:
                query.moveTo(source, node, query.tree(Query::Tree(random.bounded(4))));
                break;
            case 1:
                query.pressNode(*node);
                break;
            case 2: {
                Node *dimension = node->parent() ? node->parent() : node;
                QStringList members;
                for (int m = random.bounded(3); m > 0; --m)
                    members << dimension->key() + QStringLiteral(".[m%1]]x]").arg(m);
                query.chooseMembers(*dimension, members);
                break;
            }
            case 3:
                query.setNonEmpty(!query.nonEmpty());
                break;
            default:
                query.toggleMeasure(random.bounded(query.measures().count()));
            }
            const StatementReading reading = readStatement(query.statement());
            QVERIFY2(reading.ok(), qPrintable(reading.failure));
            const Outcome outcome = again.openLayout(reading.layout);
            QVERIFY2(!outcome.refusal, qPrintable(query.statement()));
            QCOMPARE(again.statement(), query.statement());
        }
    }

    // A catalog failing half way leaves what it had given, unselected and as it came.
    void failedLoadKeepsWhatCame()
    {
        QVERIFY_THROWS_EXCEPTION(
            Failure, loadCube(query, "Region=Country; Measures=Units; Product!; Time=Year"));
        QCOMPARE(line(query.tree(Query::Tree::Schema)) + '|' + ticks(query.measures()),
                 "Region(Country) Product|Units+");
        // No layout is taken on a cube half loaded, nor on the one before it.
        QCOMPARE(act(query,
                     "open select {[Store].[(All)].members} on rows, {[Measures].[Units]} "
                     "on columns from X")
                     .refusal->text,
                 "The cube has no dimension [Store].");
    }
    void read_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QString &text, const QString &expected) {
            QTest::newRow(name) << text << expected;
        };
        // The actions above read the plain forms back, and how Rows takes what it can, then
        // Columns, then Slicers; any layout read back is in statementsReadBackWriteThemselves.
        // Names quoted as the wizard quotes them, hierarchies, a bracketed or empty cube.
        row("quoting",
            "select {descendants([Date].[Fiscal].currentmember,[Date].[Fiscal].[Month])} on "
            "rows, {[Measures].[Sales [Net]]],[Measures].[a,b]} on columns from [Sales 2]]x]",
            "Sales 2]x | desc [Date].[Fiscal] [Date].[Fiscal].[Month] | Sales [Net],a,b");
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

        // Refusals name the first thing not understood, where it stands and what came before.
        row("empty", "", "at 1: expected \"select\"");
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
    // Every refused operation on a tree or the measure list throws, saying what and where, with
    // its code, and leaves them unchanged.
    void misuseFails()
    {
        LayoutTree tree(QStringLiteral("RowTree")), other;
        MeasureList measures;
        tree.add("[A]", "A");
        tree.add("[A]", LayoutTree::Child, "[A].[1]", "1");
        measures.addItem("Units");
        other.add("[B]", "B");
        other.add("[B]", LayoutTree::Child, "[A].[1]", "1"); // a level key taken elsewhere
        using namespace ModelFailure;
        const QList<std::pair<qint32, std::function<void()>>> cases {
            { KeyExists, [&] { tree.add("[A]", "Again"); } },
            { KeyNotFound, [&] { tree.add("[B]", LayoutTree::Child, "[B].[1]", "1"); } },
            { KeyNotFound, [&] { tree.remove("[B]"); } },
            { PositionOutOfRange, [&] { tree.item(0); } },
            { PositionOutOfRange, [&] { tree.item(3); } },
            { PositionOutOfRange, [&] { tree.insert(4, {}, "[Z]", "Z"); } },
            { KeyNotFound, [&] { tree.insert(3, "[B]", "[B].[1]", "1"); } },
            { PositionOutOfRange, [&] { measures.text(1); } },
            { PositionOutOfRange, [&] { measures.setTicked(-1, true); } },
            { KeyExists, [&] { moveDimension(*tree.find("[A]"), other); } },
            { NotADimensionNode, [&] { moveDimension(*tree.find("[A].[1]"), other); } },
        };
        for (qsizetype i = 0; i < cases.size(); ++i) {
            qint32 code = 0; // and -1 for a failure that does not say what and where
            try {
                cases[i].second();
            } catch (const Failure &f) {
                code = f.description().isEmpty() || f.source().isEmpty() ? -1 : f.code();
            }
            QVERIFY2(code == cases[i].first, qPrintable(QString::number(i)));
        }
        QCOMPARE(line(tree) + '|' + line(other) + '|' + ticks(measures), "A(1)|B(1)|Units-");
    }

    // Only the newest steps are kept, a bound the actions above do not reach.
    void historyKeepsTheNewestSteps()
    {
        UndoHistory history;
        QuerySnapshot step;
        for (int n = 1; n <= UndoHistory::maxSteps + 5; ++n) {
            step.statement = QString::number(n);
            history.record(step);
        }
        QStringList undone;
        while (auto previous = history.undo({}))
            undone << previous->statement;
        QCOMPARE(undone.first() + ".." + undone.last(), "105..6");
    }
};

QTEST_APPLESS_MAIN(TestQuery)
#include "tst_query.moc"
