// Loading a cube definition into the schema tree and the measure list, without a window.
#include "catalog/catalog.h"
#include "model/failure.h"
#include "model/layouttree.h"
#include "model/measurelist.h"
#include "window/cubeloader.h"

#include <QTest>

using namespace mdx;

namespace {

class OneCubeSource : public DataSource
{
public:
    explicit OneCubeSource(CubeSchema schema)
        : mSchema(std::make_shared<CubeSchema>(std::move(schema)))
    {
    }
    QString catalogName() const override { return QStringLiteral("Test"); }
    QList<CubeInfo> cubes() override { return { { QStringLiteral("Cube"), QString() } }; }
    std::shared_ptr<const CubeSchema> cubeSchema(int) override { return mSchema; }

private:
    std::shared_ptr<const CubeSchema> mSchema;
};

LevelInfo level(const QString &dimension, const QString &name, QStringList members = {})
{
    LevelInfo info { name, QStringLiteral("[%1].[%2]").arg(dimension, name), {} };
    for (const QString &member : members)
        info.members.append({ member });
    return info;
}

DimensionInfo dimension(const QString &name, QList<QList<LevelInfo>> hierarchies,
                        QString uniqueName = QString())
{
    DimensionInfo info {
        name, uniqueName.isEmpty() ? QLatin1Char('[') + name + QLatin1Char(']') : uniqueName, {}
    };
    for (const auto &levels : hierarchies)
        info.hierarchies.append({ name, info.uniqueName, levels });
    return info;
}

CubeDef cubeOf(QList<DimensionInfo> dimensions)
{
    return CubeDef(std::make_shared<OneCubeSource>(CubeSchema { std::move(dimensions) }), 0,
                   { QStringLiteral("Cube"), QString() });
}

// "key text" per node, level nodes indented, with the flags that are set.
QStringList outline(const LayoutTree &tree)
{
    QStringList lines;
    for (const Node *node : tree) {
        QString line = (node->parent() ? QStringLiteral("  ") : QString()) + node->key();
        if (node->checked())
            line += QStringLiteral(" checked");
        if (node->expanded())
            line += QStringLiteral(" expanded");
        if (node->selected())
            line += QStringLiteral(" selected");
        lines << line;
    }
    return lines;
}

QStringList measures(const MeasureList &list)
{
    QStringList entries;
    for (int i = 0; i < list.count(); ++i)
        entries << list.text(i) + (list.isTicked(i) ? QStringLiteral("+") : QStringLiteral("-"));
    return entries;
}

} // namespace

class TestCubeLoader : public QObject
{
    Q_OBJECT
private slots:
    void fillsSchemaAndMeasuresInCatalogOrder()
    {
        LayoutTree schema(QStringLiteral("SchemaTree"));
        // Leftovers of a previous cube must go, selection and all.
        schema.add(QStringLiteral("[Old]"), QStringLiteral("Old"))->setSelected(true);
        MeasureList list;
        fillSchema(cubeOf({
                       dimension(QStringLiteral("Store"),
                                 { { level("Store", "Country"), level("Store", "City") } }),
                       dimension(QStringLiteral("Measures"),
                                 { { level("Measures", "Level", { "Units", "Units", "Cost" }),
                                     level("Measures", "Deeper", { "Hidden" }) } }),
                       dimension(QStringLiteral("Time"),
                                 { { level("Time", "Year"), level("Time", "Month") },
                                   { level("Time", "Week") } }),
                       // Only the exact name marks the measures; the unique name does not.
                       dimension(QStringLiteral("measures"), { { level("measures", "Kind") } }),
                       dimension(QStringLiteral("Facts"), { { level("Facts", "Fact") } },
                                 QStringLiteral("[Measures]")),
                   }),
                   schema, list);

        QCOMPARE(outline(schema),
                 QStringList({ "[Store] selected", "  [Store].[Country]", "  [Store].[City]",
                               "[Time]", "  [Time].[Year]", "  [Time].[Month]", "[measures]",
                               "  [measures].[Kind]", "[Measures]", "  [Facts].[Fact]" }));
        QCOMPARE(schema.item(1)->text(), QStringLiteral("Store"));
        QCOMPARE(schema.item(2)->text(), QStringLiteral("Country"));
        QCOMPARE(measures(list), QStringList({ "Units+", "Units+", "Cost+" }));
        QCOMPARE(list.listIndex(), -1);
    }

    void failureLeavesWhatWasLoaded_data()
    {
        QTest::addColumn<QList<DimensionInfo>>("dimensions");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("list");

        QTest::newRow("nothing but measures") << QList<DimensionInfo> {
            dimension(QStringLiteral("Measures"), { { level("Measures", "L", { "A", "B" }) } })
        } << QStringList() << QStringList({ "A+", "B+" });
        QTest::newRow("dimension without hierarchy")
            << QList<DimensionInfo> { dimension(QStringLiteral("Store"),
                                                { { level("Store", "Country") } }),
                                      dimension(QStringLiteral("Time"), {}) }
            << QStringList({ "[Store]", "  [Store].[Country]", "[Time]" }) << QStringList();
        QTest::newRow("measures without level")
            << QList<DimensionInfo> { dimension(QStringLiteral("Measures"), { {} }) }
            << QStringList() << QStringList();
    }

    void failureLeavesWhatWasLoaded()
    {
        QFETCH(QList<DimensionInfo>, dimensions);
        LayoutTree schema(QStringLiteral("SchemaTree"));
        MeasureList list;
        QVERIFY_THROWS_EXCEPTION(Failure, fillSchema(cubeOf(dimensions), schema, list));
        QTEST(outline(schema), "tree");
        QTEST(measures(list), "list");
    }

    void subTitle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no description") << "Sales"
                                        << ""
                                        << "Sales";
        QTest::newRow("description") << "Sales"
                                     << "FoodMart 2000 - Sales"
                                     << "Sales: FoodMart 2000 - Sales";
        QTest::newRow("blank description kept") << "HR"
                                                << " "
                                                << "HR:  ";
    }

    void subTitle()
    {
        QFETCH(QString, name);
        QFETCH(QString, description);
        QTEST(cubeSubTitle(name, description), "expected");
    }
};

QTEST_MAIN(TestCubeLoader)
#include "tst_cubeloader.moc"
