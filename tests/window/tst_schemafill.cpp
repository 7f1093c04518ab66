// Filling the schema tree and the measure list from a cube definition, without a window.
// Failures half way are tested through the window, on schema files.
#include "catalog/catalog.h"
#include "model/layouttree.h"
#include "model/mdxstatement.h"
#include "model/measurelist.h"
#include "model/placement.h"
#include "window/schemafill.h"

#include "fakedatasource.h"

#include <QTest>

using namespace mdx;
using test::dimension;

namespace {

CubeDef cubeOf(QList<DimensionInfo> dimensions)
{
    auto source = std::make_shared<test::FakeDataSource>();
    source->cubeList = { { QStringLiteral("Cube"), QString() } };
    source->schemas = { std::make_shared<CubeSchema>(CubeSchema { std::move(dimensions) }) };
    return CubeDef(source, 0, source->cubeList.first());
}

} // namespace

class TestSchemaFill : public QObject
{
    Q_OBJECT
private slots:
    void fillsSchemaAndMeasures()
    {
        DimensionInfo facts = dimension("Facts", { { "Fact" } });
        facts.uniqueName = "[Measures]"; // only the exact name marks the measures
        LayoutTree schema;
        schema.add("[Old]", "Old")->setSelected(true); // a previous cube's, to be replaced
        MeasureList measures;
        fillSchema(
            cubeOf({ dimension("Store", { { "Country", "City" } }),
                     dimension("Measures", { { "Level:Units,Units,Cost", "Deeper:Hidden" } }),
                     dimension("Time", { { "Year", "Month" }, { "Week" } }),
                     dimension("measures", { { "Kind" } }), facts }),
            schema, measures);

        QStringList nodes;
        for (const Node *node : schema)
            nodes << (node->parent() ? "  " : "") + node->key() + '=' + node->text()
                    + (node->checked() || node->expanded() ? " flagged" : "")
                    + (node->selected() ? " selected" : "");
        QCOMPARE(nodes,
                 QStringList({ "[Store]=Store selected", "  [Store].[Country]=Country",
                               "  [Store].[City]=City", "[Time]=Time", "  [Time].[Year]=Year",
                               "  [Time].[Month]=Month", "[measures]=measures",
                               "  [measures].[Kind]=Kind", "[Measures]=Facts",
                               "  [Facts].[Fact]=Fact" }));
        QStringList entries;
        for (int i = 0; i < measures.count(); ++i)
            entries << measures.text(i) + (measures.isTicked(i) ? "+" : "-");
        QCOMPARE(entries, QStringList({ "Units+", "Units+", "Cost+" }));
    }

    // A server may send a hierarchy without level rows: its dimension comes without levels,
    // moves as any other and stands for all its members.
    void dimensionWithoutLevels()
    {
        LayoutTree schema, axis, empty;
        MeasureList measures;
        fillSchema(cubeOf({ dimension("Measures", { { "M:Units" } }), dimension("Flat", { {} }) }),
                   schema, measures);
        QCOMPARE(placeDroppedNode(schema, axis), Placement::Moved);
        QCOMPARE(axis.count(), 1);
        QCOMPARE(composeMdx(axis, empty, empty, measures, "Cube"),
                 "select {[Flat].[(All)].members} on rows, {[Measures].[Units]} on columns from "
                 "Cube");
    }
};

QTEST_MAIN(TestSchemaFill)
#include "tst_schemafill.moc"
