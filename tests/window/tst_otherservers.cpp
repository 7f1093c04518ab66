// The wizard on a server that answers in the shapes of other XML for Analysis servers
// (hand-made in tests/data/xmla-msas): what the window makes of them.
#include "fakehttpserver.h"
#include "catalog/xmla/xmlareader.h"
#include "formtesting.h"
#include "window/previewwindow.h"
#include "window/resultgrid.h"

#include <QTableView>

using namespace mdx;
using namespace mdx::test;

namespace {

QByteArray answer(const QString &name)
{
    return FakeHttpServer::file(QStringLiteral(MDX_TEST_DATA_DIR "/xmla-msas/") + name);
}

// Every grid cell, rows by "\n", cells by "|"; a right-aligned cell ends in ">".
QString shown(const ResultGrid &grid)
{
    QStringList lines;
    for (int r = 0; r < grid.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid.columnCount(); ++c) {
            const QModelIndex index = grid.index(r, c);
            const auto align = grid.data(index, Qt::TextAlignmentRole).value<Qt::Alignment>();
            cells << index.data().toString() + (align & Qt::AlignRight ? ">" : "");
        }
        lines << cells.join(u'|');
    }
    return lines.join(u'\n');
}

} // namespace

class TestOtherServers : public QObject, FormFixture
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(open()); }
    void cleanup() { form.reset(); }

    // Hidden objects absent; Date shows its default hierarchy's levels although another is
    // listed first; measures in row order. The statement names the hierarchy and quotes the
    // "]" of a measure; the preview shows a cell in error as such and says why in its tool tip.
    void connectLoadAndPreview()
    {
        FakeHttpServer server;
        server.setHandler([](const HttpRequest &request) {
            const QString type
                = QString::fromUtf8(request.body).section("<RequestType>", 1).section(u'<', 0, 0);
            return FakeHttpServer::chunked(answer(type.isEmpty()
                                                      ? "execute-cells.xml"
                                                      : type.section(u'_', 1).toLower() + ".xml"),
                                           500);
        });
        QCOMPARE(connectTo("provider=msolap;data source=" + server.url().toString()
                           + ";initial catalog=Retail Analysis"),
                 Messages());
        QCOMPARE(outline(schema()),
                 QStringList({ "Date[ ]", "  (All)[ ]", "  Year[ ]", "  Month[ ]", "Product[ ]",
                               "  (All)[ ]", "  Category[ ]" }));
        QCOMPARE(
            measureTicks(),
            QStringList({ "Sales Amount+", "Order Count+", "Margin [Net]+", "Average Price+" }));
        drag("SchemaTree", "Date", "RowTree");
        QCOMPARE(statement(),
                 "select {descendants([Date].[Calendar].currentmember,[Date].[Calendar].[Month])}"
                 " on rows, {[Measures].[Sales Amount],[Measures].[Order Count],"
                 "[Measures].[Margin [Net]]],[Measures].[Average Price]} on columns from Sales");
        key(Qt::Key_F9);
        auto *view = form->findChild<PreviewWindow *>()->findChild<QTableView *>("ResultGrid");
        QVERIFY(view && view->isVisible());
        QCOMPARE(shown(*dynamic_cast<ResultGrid *>(view->model())),
                 "|Sales Amount|Average Price\nCY 2023|1,234.50>|#Error\nCY 2024|7>|3.50>");
        QCOMPARE(view->model()->index(1, 2).data(Qt::ToolTipRole).toString(),
                 "Division by zero in Average Price.");
    }

    // The whole result or a failure, never a partial grid.
    void resultShapes()
    {
        for (const auto &[file, expected] :
             { std::pair { "execute-empty-axis.xml", "Sales Amount" },
               { "execute-exception.xml",
                 "failed c1000007 The query was cancelled because the memory limit was reached." },
               { "execute-messages.xml",
                 "failed c11c0006 The Margin calculation failed for some cells." } }) {
            QString seen;
            try {
                seen = shown(ResultGrid(readXmlaExecuteResult(answer(file))));
            } catch (const Failure &failure) {
                seen
                    = QStringLiteral("failed %1 %2")
                          .arg(QString::number(quint32(failure.code()), 16), failure.description());
            }
            QCOMPARE(seen, expected);
        }
    }
};

QTEST_MAIN(TestOtherServers)
#include "tst_otherservers.moc"
