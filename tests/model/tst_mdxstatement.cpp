#include "treebuilder.h"

#include "model/mdxstatement.h"

#include <QTest>

using namespace mdx;

namespace {
const QStringList regionLevels { "[Region].[Country]", "[Region].[City]" };
const QStringList periodLevels { "[Period].[Year]", "[Period].[Month]" };
const QStringList itemLevels { "[Item].[Category]" };
} // namespace

class TestMdxStatement : public QObject
{
    Q_OBJECT

    LayoutTree rows { QStringLiteral("RowTree") };
    LayoutTree columns { QStringLiteral("ColumnTree") };
    LayoutTree slicers { QStringLiteral("SlicerTree") };
    MeasureList measures;

    QString statement(const QString &cube = QStringLiteral("Orders"))
    {
        return composeMdx(rows, columns, slicers, measures, cube);
    }

private slots:
    void init()
    {
        rows.clear();
        columns.clear();
        slicers.clear();
        measures.clear();
    }

    void workedExamples()
    {
        fillMeasures(measures, { "Units", "Revenue" }, { "Units", "Revenue" });
        QCOMPARE(statement(),
                 QStringLiteral(
                     "select {[Measures].[Units],[Measures].[Revenue]} on columns from Orders"));

        measures.setTicked(1, false);
        addDimension(rows, "[Region]", regionLevels);
        QCOMPARE(
            statement(),
            QStringLiteral("select {[Region].[(All)].members} on rows, {[Measures].[Units]} on "
                           "columns from Orders"));

        init();
        fillMeasures(measures, { "Units", "Revenue" }, { "Revenue" });
        addDimension(rows, "[Region]", regionLevels, { "[Region].[City]" });
        addDimension(rows, "[Period]", periodLevels, periodLevels);
        addDimension(slicers, "[Item]", itemLevels);
        QCOMPARE(buildAxisSet(rows),
                 QStringLiteral("crossjoin({[Region].[City].members},{descendants([Period]."
                                "currentmember,[Period].[Month])})"));
        QCOMPARE(buildAxisSet(slicers), QStringLiteral("{[Item].[(All)].members}"));
        QCOMPARE(
            statement(),
            QStringLiteral("select crossjoin(crossjoin({[Region].[City].members},{descendants("
                           "[Period].currentmember,[Period].[Month])}),{[Item].[(All)].members}) "
                           "on rows, {[Measures].[Revenue]} on columns from Orders"));

        init();
        fillMeasures(measures, { "Units", "Revenue" }, { "Units", "Revenue" });
        addDimension(rows, "[Region]", regionLevels, { "[Region].[City]" });
        addDimension(columns, "[Period]", periodLevels);
        addDimension(slicers, "[Item]", itemLevels, itemLevels);
        QCOMPARE(statement(),
                 QStringLiteral("select crossjoin(crossjoin({[Region].[City].members},{[Period].[("
                                "All)].members}),{[Item].[Category].members}) on rows, {[Measures]."
                                "[Units],[Measures].[Revenue]} on columns from Orders"));
    }

    void dimensionSet_data()
    {
        QTest::addColumn<QStringList>("checked");
        QTest::addColumn<QString>("expected");
        const QStringList three { "[D].[A]", "[D].[B]", "[D].[C]" };
        QTest::newRow("none") << QStringList() << "{[D].[(All)].members}";
        QTest::newRow("one") << QStringList { "[D].[B]" } << "{[D].[B].members}";
        QTest::newRow("first and second")
            << QStringList { "[D].[A]", "[D].[B]" } << "{descendants([D].currentmember,[D].[B])}";
        QTest::newRow("first and last")
            << QStringList { "[D].[A]", "[D].[C]" } << "{descendants([D].currentmember,[D].[C])}";
        QTest::newRow("all") << three << "{descendants([D].currentmember,[D].[C])}";
    }

    void dimensionSet()
    {
        QFETCH(QStringList, checked);
        QFETCH(QString, expected);
        Node *d = addDimension(rows, "[D]", { "[D].[A]", "[D].[B]", "[D].[C]" }, checked);
        // A dimension standing after it must not be read as its levels.
        addDimension(rows, "[E]", { "[E].[X]" }, { "[E].[X]" });
        QCOMPARE(buildDimensionSet(rows, *d), expected);
        // The dimension node's own mark plays no part.
        d->setChecked(!d->checked());
        QCOMPARE(buildDimensionSet(rows, *d), expected);
    }

    void singleLevelDimensionPlaced()
    {
        Node *d = addDimension(rows, "[Gender]", { "[Gender].[Gender]" }, { "[Gender].[Gender]" });
        QCOMPARE(buildDimensionSet(rows, *d), QStringLiteral("{[Gender].[Gender].members}"));
    }

    void axisSetByDimensionCount_data()
    {
        QTest::addColumn<int>("dimensions");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0") << 0 << "";
        QTest::newRow("1") << 1 << "{[D1].[(All)].members}";
        QTest::newRow("2") << 2 << "crossjoin({[D1].[(All)].members},{[D2].[(All)].members})";
        QTest::newRow("3") << 3
                           << "crossjoin(crossjoin({[D1].[(All)].members},{[D2].[(All)].members}),"
                              "{[D3].[(All)].members})";
        QTest::newRow("4") << 4 << "";
    }

    void axisSetByDimensionCount()
    {
        QFETCH(int, dimensions);
        QFETCH(QString, expected);
        for (int i = 1; i <= dimensions; ++i)
            addDimension(rows, QStringLiteral("[D%1]").arg(i),
                         { QStringLiteral("[D%1].[L]").arg(i) });
        QCOMPARE(buildAxisSet(rows), expected);
    }

    void rowsPartByFilledTrees_data()
    {
        QTest::addColumn<QString>("filled"); // which trees hold a dimension, in filling order
        QTest::addColumn<QString>("expected");
        const QString tail = "{[Measures].[Units]} on columns from Orders";
        QTest::newRow("none") << ""
                              << "select " + tail;
        QTest::newRow("columns only") << "C"
                                      << "select {[C].[(All)].members} on rows, " + tail;
        QTest::newRow("slicers only") << "S"
                                      << "select {[S].[(All)].members} on rows, " + tail;
        QTest::newRow("rows and slicers")
            << "SR"
            << "select crossjoin({[R].[(All)].members},{[S].[(All)].members}) on rows, " + tail;
        QTest::newRow("all three, filled backwards")
            << "SCR"
            << "select crossjoin(crossjoin({[R].[(All)].members},{[C].[(All)].members}),{[S].[("
               "All)].members}) on rows, "
                + tail;
        QTest::newRow("rows over the limit")
            << "RRRRC"
            << "select crossjoin(,{[C].[(All)].members}) on rows, " + tail;
    }

    void rowsPartByFilledTrees()
    {
        QFETCH(QString, filled);
        QFETCH(QString, expected);
        fillMeasures(measures, { "Units" }, { "Units" });
        int serial = 0;
        for (const QChar tree : filled) {
            LayoutTree &target = tree == 'R' ? rows : tree == 'C' ? columns : slicers;
            const QString key = target.count() == 0
                ? QStringLiteral("[%1]").arg(tree)
                : QStringLiteral("[%1%2]").arg(tree).arg(++serial);
            addDimension(target, key, { key + ".[L]" });
        }
        QCOMPARE(statement(), expected);
    }

    void measuresSet_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty list") << QStringList() << QStringList() << "{}";
        QTest::newRow("none ticked") << QStringList { "A", "B" } << QStringList() << "{}";
        QTest::newRow("last only")
            << QStringList { "A", "B", "C" } << QStringList { "C" } << "{[Measures].[C]}";
        QTest::newRow("gaps") << QStringList { "A", "B", "C", "D" } << QStringList { "B", "D" }
                              << "{[Measures].[B],[Measures].[D]}";
        QTest::newRow("bracket doubled")
            << QStringList { "Sales ]Net" } << QStringList { "Sales ]Net" }
            << "{[Measures].[Sales ]]Net]}";
        QTest::newRow("other characters unchanged")
            << QStringList { "Sales [Net]", "Ä ß, 'x'" }
            << QStringList { "Sales [Net]", "Ä ß, 'x'" }
            << "{[Measures].[Sales [Net]]],[Measures].[Ä ß, 'x']}";
    }

    void measuresSet()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, ticked);
        QFETCH(QString, expected);
        fillMeasures(measures, names, ticked);
        QCOMPARE(buildMeasuresSet(measures), expected);
    }

    void cubeText_data()
    {
        QTest::addColumn<QString>("cube");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "Sales"
                               << "Sales";
        QTest::newRow("underscore and digits") << "_Sales_2024"
                                               << "_Sales_2024";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("blanks") << "Warehouse and Sales"
                                << "[Warehouse and Sales]";
        QTest::newRow("leading digit") << "2024Sales"
                                       << "[2024Sales]";
        QTest::newRow("bracket") << "Odd]Cube"
                                 << "[Odd]]Cube]";
        QTest::newRow("trailing blank") << "Sales "
                                        << "[Sales ]";
    }

    void cubeText()
    {
        QFETCH(QString, cube);
        QFETCH(QString, expected);
        fillMeasures(measures, { "Units" }, { "Units" });
        QCOMPARE(statement(cube), "select {[Measures].[Units]} on columns from " + expected);
    }
};

QTEST_GUILESS_MAIN(TestMdxStatement)
#include "tst_mdxstatement.moc"
