// The wizard on a server that answers in the shapes of other XML for Analysis servers
// (hand-made in tests/data/xmla-msas): Connect and load, the statement that names the
// hierarchy shown, and the shapes of results as the preview shows them.
#include "../catalog/fakehttpserver.h"
#include "catalog/xmla/xmlareader.h"
#include "formtesting.h"
#include "resultgridtesting.h"
#include "window/previewwindow.h"

#include <QLabel>
#include <QTableView>

using namespace mdx;
using namespace mdx::test;

namespace {

QByteArray answer(const QString &name)
{
    return FakeHttpServer::file(QStringLiteral(MDX_TEST_DATA_DIR "/xmla-msas/") + name);
}

} // namespace

class TestOtherServers : public QObject, FormFixture
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(open()); }
    void cleanup() { form.reset(); }

    void connectLoadAndBuild()
    {
        FakeHttpServer server; // a statement gets the result with a cell in error
        server.setHandler([](const HttpRequest &request) {
            const QString type
                = QString::fromUtf8(request.body).section("<RequestType>", 1).section(u'<', 0, 0);
            return FakeHttpServer::chunked(answer(type.isEmpty()
                                                      ? "execute-cells.xml"
                                                      : type.section(u'_', 1).toLower() + ".xml"),
                                           500);
        });
        const QString address = server.url().resolved(QUrl("/olap/msmdpump.dll")).toString();
        QCOMPARE(connectTo("provider=msolap;data source=" + address
                           + ";initial catalog=Retail Analysis"),
                 Messages());
        QCOMPARE(cubes()->count(), 2);
        // Hidden dimensions, hierarchies and levels are absent; Date shows its default
        // hierarchy's levels although another is listed first.
        QCOMPARE(outline(schema()),
                 QStringList({ "Date[ ]", "  (All)[ ]", "  Year[ ]", "  Month[ ]", "Product[ ]",
                               "  (All)[ ]", "  Category[ ]" }));
        QCOMPARE(
            measureTicks(),
            QStringList({ "Sales Amount+", "Order Count+", "Margin [Net]+", "Average Price+" }));

        // The statement names the hierarchy; the measure with "]" is quoted.
        const QString measures = " on rows, {[Measures].[Sales Amount],[Measures].[Order Count],"
                                 "[Measures].[Margin [Net]]],[Measures].[Average Price]} on "
                                 "columns from Sales";
        drag("SchemaTree", "Date", "RowTree");
        QCOMPARE(statement(),
                 "select {descendants([Date].[Calendar].currentmember,[Date].[Calendar].[Month])}"
                     + measures);
        QTreeWidget *rows = tree("RowTree");
        for (const char *level : { "(All)", "Year", "Month" })
            click(at(rows, item(rows, level, "Date")));
        QCOMPARE(statement(), "select {[Date].[Calendar].[(All)].members}" + measures);

        // The preview: a cell in error shows a marker and says why in its tool tip.
        key(Qt::Key_F9);
        auto *grid = form->findChild<PreviewWindow *>()->findChild<QTableView *>("ResultGrid");
        QVERIFY(grid && grid->isVisible());
        const QModelIndex failed = grid->model()->index(1, 2);
        QCOMPARE(failed.data().toString(), ResultGrid::ErrorMarker);
        QCOMPARE(failed.data(Qt::ToolTipRole).toString(), "Division by zero in Average Price.");
    }

    void resultShapes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("cell error, slicer, no FormatString")
            << "execute-cells.xml"
            << "|Sales Amount|Average Price\nCY 2023|1,234.50>|#Error\nCY 2024|7>|3.50>"
               "\nslicer Bikes, Components, Clothing, Accessories; axes Axis0 Axis1";
        QTest::newRow("empty axis") << "execute-empty-axis.xml"
                                    << "Sales Amount\nslicer ; axes Axis0 Axis1";
        QTest::newRow("Exception inside CellData")
            << "execute-exception.xml"
            << "failed c1000007 The query was cancelled because the memory limit was reached.";
        QTest::newRow("trailing Messages")
            << "execute-messages.xml"
            << "failed c11c0006 The Margin calculation failed for some cells.";
    }

    // The whole result or a failure, never a partial grid; the slicer is never a data axis.
    void resultShapes()
    {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        QString seen;
        try {
            const ResultGrid grid(readXmlaExecuteResult(answer(file)));
            seen = shown(grid) + "\nslicer " + grid.result().slicer.join(", ") + "; axes "
                + grid.result().axisNames.join(' ');
        } catch (const Failure &failure) {
            seen = QStringLiteral("failed %1 %2")
                       .arg(quint32(failure.code()), 0, 16)
                       .arg(failure.description());
        }
        QCOMPARE(seen, expected);
    }
};

QTEST_MAIN(TestOtherServers)
#include "tst_otherservers.moc"
