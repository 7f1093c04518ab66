// Loading a cube definition into the schema tree and the measure list, without a window.
// Failures half way are tested through the window, on schema files.
#include "catalog/catalog.h"
#include "model/layouttree.h"
#include "model/mdxstatement.h"
#include "model/measurelist.h"
#include "model/placement.h"
#include "window/cubeloader.h"

#include <QTest>

using namespace mdx;

namespace {

struct OneCube : DataSource
{
    std::shared_ptr<CubeSchema> schema = std::make_shared<CubeSchema>();
    QString catalogName() const override { return QStringLiteral("Test"); }
    QList<CubeInfo> cubes() override { return { { QStringLiteral("Cube"), QString() } }; }
    std::shared_ptr<const CubeSchema> cubeSchema(int) override { return schema; }
};

// A dimension with one hierarchy per list of "level" or "level:member,member" texts.
DimensionInfo dimension(const QString &name, const QList<QStringList> &hierarchies,
                        const QString &uniqueName = {})
{
    DimensionInfo info { name, uniqueName.isEmpty() ? '[' + name + ']' : uniqueName, {} };
    for (const QStringList &levels : hierarchies) {
        info.hierarchies.append({ name, info.uniqueName, {} });
        for (const QString &level : levels) {
            const QString levelName = level.section(':', 0, 0);
            LevelInfo levelInfo { levelName, '[' + name + "].[" + levelName + ']', {} };
            for (const QString &member : level.section(':', 1).split(',', Qt::SkipEmptyParts))
                levelInfo.members.append({ member });
            info.hierarchies.back().levels.append(levelInfo);
        }
    }
    return info;
}

} // namespace

class TestCubeLoader : public QObject
{
    Q_OBJECT
private slots:
    void fillsSchemaAndMeasures()
    {
        auto source = std::make_shared<OneCube>();
        source->schema->dimensions = {
            dimension("Store", { { "Country", "City" } }),
            dimension("Measures", { { "Level:Units,Units,Cost", "Deeper:Hidden" } }),
            dimension("Time", { { "Year", "Month" }, { "Week" } }),
            // Only the exact name marks the measures; the unique name does not.
            dimension("measures", { { "Kind" } }),
            dimension("Facts", { { "Fact" } }, "[Measures]"),
        };
        LayoutTree schema;
        schema.add("[Old]", "Old")->setSelected(true); // a previous cube's, to be replaced
        MeasureList measures;
        fillSchema(CubeDef(source, 0, { "Cube", "" }), schema, measures);

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
        QCOMPARE(measures.listIndex(), -1);
    }

    // A server may send a hierarchy without level rows: its dimension comes without levels,
    // moves as any other and stands for all its members.
    void dimensionWithoutLevels()
    {
        auto source = std::make_shared<OneCube>();
        source->schema->dimensions
            = { dimension("Measures", { { "M:Units" } }), dimension("Flat", { {} }) };
        LayoutTree schema, axis, empty;
        MeasureList measures;
        fillSchema(CubeDef(source, 0, { "Cube", "" }), schema, measures);
        QCOMPARE(placeDroppedNode(schema, axis), Placement::Moved);
        QCOMPARE(axis.count(), 1);
        QCOMPARE(composeMdx(axis, empty, empty, measures, "Cube"),
                 "select {[Flat].[(All)].members} on rows, {[Measures].[Units]} on columns from "
                 "Cube");
    }
};

QTEST_MAIN(TestCubeLoader)
#include "tst_cubeloader.moc"
