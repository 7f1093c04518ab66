// Waiting for a server: the progress dialog, input dropped meanwhile and the ways out of the
// wait. The preview from the window with real keys; answers in the shapes of other XML for
// Analysis servers (hand-made in tests/data/xmla-msas); the preview's grid on its own.
#include "catalog/xmla/xmlareader.h"
#include "common/failure.h"
#include "fakehttpserver.h"
#include "formtesting.h"
#include "window/previewwindow.h"
#include "window/resultgrid.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QWindow>

using namespace mdx;
using namespace mdx::test;

namespace {

const Message cancelled { Prompter::Icon::Information, "Connection Failed: MdxWizard.Xmla",
                          cannotConnect + "The request was cancelled by the user." };

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

// Two rows of two header columns by three columns under one header row: a cell the server
// left out, a value without a formatted one, text, a tab inside a value.
QueryResult filled()
{
    QueryResult result;
    result.axisNames = { "Axis0", "Axis1" };
    result.axisTupleCounts = { 3, 2 };
    result.axisTuples
        = { { { "Sales" }, { "Cost" }, { "Note" } }, { { "USA", "Drink" }, { "USA", "Food" } } };
    result.shownColumns = 3;
    result.shownRows = 2;
    result.cells = { { "5", "", true, false, {} },
                     { "1234.5", "1,234.50", true, false, {} },
                     { "a\tb", "", false, false, {} },
                     {},
                     {},
                     { "7", "", true, false, {} } };
    result.elapsedMs = 1500;
    return result;
}

} // namespace

class TestPreview : public QObject, FormFixture
{
    Q_OBJECT

    PreviewWindow *preview() const { return form->findChild<PreviewWindow *>(); }
    QString message() const { return preview()->findChild<QLabel *>("MessageLabel")->text(); }

    // F9 leaves the statement, the result and the clipboard as they were.
    void pressF9(const QString &mdx)
    {
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        control<QPlainTextEdit>("MdxTextbox")->setPlainText(mdx);
        QGuiApplication::clipboard()->setText("before");
        key(Qt::Key_F9);
        QCOMPARE(form->mdxString(), mdx); // the box's text, as the box sets it
        QCOMPARE(QGuiApplication::clipboard()->text(), "before");
        QCOMPARE(messages(), Messages());
    }

private slots:
    void init() { QVERIFY(open()); }
    void cleanup() { form.reset(); }

    void connectToASilentServer_data()
    {
        QTest::addColumn<bool>("early"); // act before the dialog is up
        QTest::newRow("Cancel button") << false;
        QTest::newRow("Escape") << false;
        QTest::newRow("window closed") << false;
        QTest::newRow("window closed early") << true;
    }

    void connectToASilentServer()
    {
        QFETCH(bool, early);
        const QString way = QTest::currentDataTag();
        const bool windowClosed = way.startsWith("window");
        FakeHttpServer server;
        server.setHandler([](const HttpRequest &) { return std::optional<QByteArray>(); });
        const QString url = server.url().toString();
        QSignalSpy closed(form.get(), &MdxForm::closed);
        MdxForm other(prompter); // created last, yet the wait shows over the window that waits
        other.show();
        bool dialogShown = false;
        int polls = 0;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = form->findChild<QProgressDialog *>();
            if (early ? ++polls < 5 : !dialog || !dialog->isVisible())
                return;
            poll.stop();
            dialogShown = dialog != nullptr;
            if (dialog)
                QCOMPARE(dialog->labelText(), "Connecting to " + url + QChar(0x2026));
            // Each would run a handler of the window: a message, or the window gone.
            click(at("CopyButton"));
            click(at("CancelButton"));
            key(Qt::Key_Escape);
            if (windowClosed)
                form->windowHandle()->close(); // as the close box does
            else if (way == "Escape")
                QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
            else
                QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {},
                                  dialog->findChild<QPushButton *>()->geometry().center());
        });
        poll.start(10);
        const Messages shown = connectTo("provider=msolap;data source=" + url);
        QTest::qWait(100); // input held back instead of dropped would arrive now

        QCOMPARE(dialogShown, !early);
        QCOMPARE(form->findChild<QProgressDialog *>(), nullptr);
        QCOMPARE(form->isVisible(), !windowClosed);
        QCOMPARE(closed.size(), windowClosed ? 1 : 0);
        QCOMPARE(form->closeReason(),
                 windowClosed ? MdxForm::CloseReason::CloseBox : MdxForm::CloseReason::None);
        // Nobody is told when the user has closed the window.
        QCOMPARE(shown + messages(), windowClosed ? Messages() : Messages({ cancelled }));
    }

    // A host's own connection: the window shows itself, not modal; the connection's waits show
    // in the window it is handed to; a failure, a closed connection too, is the host's to handle.
    void showCubesForAHost()
    {
        MdxForm hosted(prompter);
        Connection local;
        local.open(sampleString);
        hosted.showCubes(local);
        QVERIFY(hosted.isVisible() && !hosted.isModal());
        QVERIFY_THROWS_EXCEPTION(Failure, hosted.showCubes(Connection()));

        FakeHttpServer server;
        server.setHandler([](const HttpRequest &request) -> std::optional<QByteArray> {
            if (recordedFile(request).startsWith("sales-")) // each cube's schema never comes
                return std::nullopt;
            return recordedAnswer(request);
        });
        Connection connection;
        connection.open("provider=msolap;data source=" + server.url().toString());
        QWidget *shownOver = nullptr;
        whenUp<QProgressDialog>([&](QProgressDialog *dialog) {
            shownOver = dialog->parentWidget();
            dialog->findChild<QPushButton *>()->click(); // Cancel
        });
        QVERIFY_THROWS_EXCEPTION(Failure, form->showCubes(connection));
        QCOMPARE(shownOver, form.get());
        QCOMPARE(messages(), Messages());
    }

    // F9 and the statement box's menu on a source without data, Esc, the preview going with
    // the window.
    void aSourceWithoutDataExplains()
    {
        key(Qt::Key_F9); // nothing to run on before Connect
        QCOMPARE(preview(), nullptr);
        QCOMPARE(connectTo(sampleString), Messages());
        QString entry; // the statement box's menu, its shortcut shown
        whenUp<QMenu>([&](QMenu *menu) {
            entry = menu->actions().last()->text() + '|'
                + menu->actions().last()->shortcut().toString();
            menu->close();
        });
        emit control("MdxTextbox")->customContextMenuRequested(QPoint(5, 5));
        QCOMPARE(entry, "Preview Results|F9");
        form->activateWindow();

        pressF9("select {[Measures].[Unit Sales]} on columns from Sales");
        QCOMPARE(preview()->windowTitle(), "Preview - " + cubes()->currentText());
        QVERIFY2(message().endsWith(
                     "it describes the cubes but holds no data, so there is no result to show.\n\n"
                     "To see what the statement returns, connect to an OLAP server that speaks XML "
                     "for Analysis: give its address as the Data Source, for example\n"
                     "provider=msolap;data source=http://127.0.0.1:8080/xmla;initial "
                     "catalog=OlapTest\nand press Connect. The project's own test server "
                     "(scripts/olap-server.sh start) prints the string to paste."),
                 qPrintable(message()));
        QVERIFY(!preview()->findChild<QPlainTextEdit *>("StatementText")->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(preview()));
        QTest::keyClick(preview()->windowHandle(), Qt::Key_Escape);
        QVERIFY(!preview()->isVisible());

        // Another preview reuses the window, which goes when the wizard's window goes.
        form->activateWindow();
        pressF9("select");
        QCOMPARE(form->findChildren<PreviewWindow *>().size(), 1);
        QVERIFY(preview()->isVisible());
        click(at("CancelButton"));
        QVERIFY(!preview()->isVisible());
    }

    void cancelWhileTheAnswerIsHeld()
    {
        FakeHttpServer server; // the recorded Sales answers; a statement is never answered
        server.setHandler([](const HttpRequest &request) -> std::optional<QByteArray> {
            if (recordedFile(request) == u"execute-sales.xml")
                return std::nullopt;
            return recordedAnswer(request);
        });
        QCOMPARE(connectTo("provider=msolap;data source=" + server.url().toString()), Messages());
        QString label;
        whenUp<QProgressDialog>([&](QProgressDialog *dialog) {
            label = dialog->labelText();
            dialog->findChild<QPushButton *>()->click(); // Cancel
        });
        // With a line end at the end: the preview runs exactly the text the box holds.
        const QString mdx = "select {[Measures].[Unit Sales]} on columns from Sales\n";
        pressF9(mdx);
        QCOMPARE(label, "Running the statement" + QString(QChar(0x2026)));
        QCOMPARE(message(), "The preview was cancelled.");
        QCOMPARE(preview()->findChild<QPlainTextEdit *>("StatementText")->toPlainText(), mdx);
    }

    // Hidden objects absent; Date shows its default hierarchy's levels although another is
    // listed first. The statement takes every measure, ticked, in row order, names the hierarchy
    // and quotes the "]" of a measure; the preview shows a cell in error as such and says why in
    // its tool tip.
    void anotherServersShapes()
    {
        FakeHttpServer server;
        server.setHandler([](const HttpRequest &request) {
            const QString type
                = QString::fromUtf8(request.body).section("<RequestType>", 1).section(u'<', 0, 0);
            return FakeHttpServer::chunked(
                otherServerAnswer(type.isEmpty() ? "execute-cells.xml"
                                                 : type.section(u'_', 1).toLower() + ".xml"),
                500);
        });
        QCOMPARE(connectTo("provider=msolap;data source=" + server.url().toString()
                           + ";initial catalog=Retail Analysis"),
                 Messages());
        QCOMPARE(outline(schema()),
                 QStringList({ "Date[ ]", "  (All)[ ]", "  Year[ ]", "  Month[ ]", "Product[ ]",
                               "  (All)[ ]", "  Category[ ]" }));
        drag("SchemaTree", "Date", "RowTree");
        QCOMPARE(statement(),
                 "select {descendants([Date].[Calendar].currentmember,[Date].[Calendar].[Month])}"
                 " on rows, {[Measures].[Sales Amount],[Measures].[Order Count],"
                 "[Measures].[Margin [Net]]],[Measures].[Average Price]} on columns from Sales");
        key(Qt::Key_F9);
        auto *view = preview()->findChild<QTableView *>("ResultGrid");
        QVERIFY(view && view->isVisible());
        QCOMPARE(shown(*dynamic_cast<ResultGrid *>(view->model())),
                 "|Sales Amount|Average Price\nCY 2023|1,234.50>|#Error\nCY 2024|7>|3.50>");
        QCOMPARE(view->model()->index(1, 2).data(Qt::ToolTipRole).toString(),
                 "Division by zero in Average Price.");

        // The whole result or a failure, never a partial grid.
        for (const auto &[file, expected] :
             { std::pair { "execute-empty-axis.xml", "Sales Amount" },
               { "execute-exception.xml",
                 "failed c1000007 The query was cancelled because the memory limit was reached." },
               { "execute-messages.xml",
                 "failed c11c0006 The Margin calculation failed for some cells." } }) {
            QString seen;
            try {
                seen = shown(ResultGrid(readXmlaExecuteResult(otherServerAnswer(file))));
            } catch (const Failure &failure) {
                seen = "failed " + QString::number(quint32(failure.code()), 16) + ' '
                    + failure.description();
            }
            QCOMPARE(seen, expected);
        }
    }

    // Headers beside the cells, alignment, the status line and the tab-separated copy of a
    // selection; every rule of a Qt item model, filled and empty alike.
    void grid()
    {
        const ResultGrid grid(filled());
        QCOMPARE(shown(grid), "||Sales|Cost|Note\nUSA|Drink|5>|1,234.50>|a\tb\nUSA|Food|||7>");
        QCOMPARE(grid.statusText(), "2 rows × 3 columns. The server took 1.5 s.");
        // Two cells of the first row, with a column header cell that adds nothing.
        QCOMPARE(grid.copyText({ grid.index(1, 3), grid.index(1, 4), grid.index(0, 3) }),
                 "\t\tCost\tNote\nUSA\tDrink\t1,234.50\ta b\n");
        // A row header alone takes the whole row.
        QCOMPARE(grid.copyText({ grid.index(2, 0) }), "\t\tSales\tCost\tNote\nUSA\tFood\t\t\t7\n");
        for (const QueryResult &result : { filled(), QueryResult() }) {
            ResultGrid model(result);
            QAbstractItemModelTester tester(&model,
                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
        }
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
