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
        row("measures only", {}, "Units*|Revenue*", "Orders", "",
            "{[Measures].[Units],[Measures].[Revenue]}");
        row("no level checked", { "R=A,B" }, units, "O", "{[R].[(All)].members}", unitsSet);
        row("one level checked", { "R=A,B*,C" }, units, "O", "{[R].[B].members}", unitsSet);
        row("first two", { "R=A*,B*,C" }, units, "O", "{descendants([R].currentmember,[R].[B])}",
            unitsSet);
        row("first and last", { "R=A*,B,C*" }, units, "O",
            "{descendants([R].currentmember,[R].[C])}", unitsSet);
        row("dimension mark ignored", { "R*=A,B" }, units, "O", "{[R].[(All)].members}", unitsSet);
        row("levels end at the next dimension", { "R=A,B*;S=X*" }, units, "O",
            "crossjoin({[R].[B].members},{[S].[X].members})", unitsSet);
        row("three on rows", { "A=L;B=L;C=L" }, units, "O",
            "crossjoin(crossjoin({[A].[(All)].members},{[B].[(All)].members}),{[C].[(All)]."
            "members})",
            unitsSet);
        row("four on rows and columns", { "A=L;B=L;C=L;D=L", "C=L" }, units, "O",
            "crossjoin(,{[C].[(All)].members})", unitsSet);
        row("columns only", { "", "C=L" }, units, "O", "{[C].[(All)].members}", unitsSet);
        row("slicers only", { "", "", "S=L" }, units, "O", "{[S].[(All)].members}", unitsSet);
        row("rows and slicers", { "R=L", "", "S=L" }, units, "O",
            "crossjoin({[R].[(All)].members},{[S].[(All)].members})", unitsSet);
        row("every axis", { "Region=Country,City*", "Period=Year,Month", "Item=Category*" },
            "Units*|Revenue*", "Orders",
            "crossjoin(crossjoin({[Region].[City].members},{[Period].[(All)].members}),{[Item]."
            "[Category].members})",
            "{[Measures].[Units],[Measures].[Revenue]}");
        row("no measure ticked", {}, "A|B", "O", "", "{}");
        row("measures with gaps", {}, "A|B*|C|D*", "O", "", "{[Measures].[B],[Measures].[D]}");
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
