#include "treebuilder.h"

#include <QTest>

class TestMdxStatement : public QObject
{
    Q_OBJECT

private slots:
    // Whole statements from the axis trees and the measures (see fill() for the notation).
    void statement_data()
    {
        QTest::addColumn<QStringList>("axes"); // rows, columns, slicers
        QTest::addColumn<QString>("measures");
        QTest::addColumn<QString>("cube");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, QStringList axes, const char *measures, const char *cube,
                      const QString &onRows, const QString &onColumns, QString quoted = {}) {
            QTest::newRow(name) << axes << measures << cube
                                << "select " + (onRows.isEmpty() ? "" : onRows + " on rows, ")
                    + onColumns + " on columns from " + (quoted.isEmpty() ? cube : quoted);
        };
        const char *units = "Units*|Revenue";
        const QString unitsSet = "{[Measures].[Units]}";
        // The query's tests hold the common forms; these are the ones its actions cannot reach.
        row("first and last", { "R=A*,B,C*" }, units, "O",
            "{descendants([R].currentmember,[R].[C])}", unitsSet);
        row("four on rows and columns", { "A=L;B=L;C=L;D=L", "C=L" }, units, "O",
            "crossjoin(,{[C].[(All)].members})", unitsSet);
        row("columns only", { "", "C=L" }, units, "O", "{[C].[(All)].members}", unitsSet);
        row("no measure ticked", {}, "A|B", "O", "", "{}");
        row("measure names", {}, "Sales ]Net*|Sales [Net]*|Ä ß, 'x'*", "O", "",
            "{[Measures].[Sales ]]Net],[Measures].[Sales [Net]]],[Measures].[Ä ß, 'x']}");
        for (const char *plain : { "_Sales_2024", "" })
            row(plain, {}, units, plain, "", unitsSet);
        row("spaces", {}, units, "Warehouse and Sales", "", unitsSet, "[Warehouse and Sales]");
        row("leading digit", {}, units, "2024Sales", "", unitsSet, "[2024Sales]");
        row("bracket", {}, units, "Odd]Cube", "", unitsSet, "[Odd]]Cube]");
        row("trailing space", {}, units, "Sales ", "", unitsSet, "[Sales ]");
    }

    void statement()
    {
        QFETCH(QStringList, axes);
        QFETCH(QString, measures);
        QFETCH(QString, cube);
        QTEST(compose(axes, measures, cube), "expected");
    }
};

QTEST_GUILESS_MAIN(TestMdxStatement)
#include "tst_mdxstatement.moc"
