// The preview window from the wizard's window, with real keys: F9 on a source without data,
// on a scripted server (the grid, Ctrl+C, Esc, the statement box's menu), and a held answer
// cancelled from the wait dialog.
#include "../catalog/fakehttpserver.h"
#include "formtesting.h"
#include "window/previewwindow.h"
#include "window/resultgrid.h"

#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>

using namespace mdx;
using namespace mdx::test;

namespace {

// The recorded answers of the test server: catalogs, cubes, the Sales cube's schema, and for
// any statement the result of execute-sales.xml (or nothing, when `hold`).
FakeHttpServer::Handler recordedServer(bool hold)
{
    return [hold](const HttpRequest &request) -> std::optional<QByteArray> {
        const QString body = QString::fromUtf8(request.body);
        QString file;
        if (body.contains(u"<Statement>")) {
            if (hold)
                return std::nullopt;
            file = "execute-sales";
        } else {
            const QString type = body.section("<RequestType>", 1).section(u'<', 0, 0);
            const bool schema = type.startsWith(u"MDSCHEMA_") && type != u"MDSCHEMA_CUBES";
            file = (schema ? "sales-" : "") + type.section(u'_', 1).toLower();
        }
        return FakeHttpServer::chunked(
            FakeHttpServer::file(MDX_TEST_DATA_DIR "/xmla/recorded/" + file + ".xml"), 1000);
    };
}

} // namespace

class TestPreview : public QObject, FormFixture
{
    Q_OBJECT

    PreviewWindow *preview() const { return form->findChild<PreviewWindow *>(); }
    QString message() const { return preview()->findChild<QLabel *>("MessageLabel")->text(); }
    QPlainTextEdit *statementBox() const { return control<QPlainTextEdit>("MdxTextbox"); }

    // F9 leaves the statement, the result and the clipboard as they were.
    void pressF9(const QString &statement)
    {
        statementBox()->setPlainText(statement);
        QGuiApplication::clipboard()->setText("before");
        key(Qt::Key_F9);
        QCOMPARE(statementBox()->toPlainText(), statement);
        QCOMPARE(form->mdxString(), statement);
        QCOMPARE(QGuiApplication::clipboard()->text(), "before");
        QCOMPARE(messages(), Messages());
    }

private slots:
    void init() { QVERIFY(open()); }
    void cleanup() { form.reset(); }

    void aSourceWithoutDataExplains()
    {
        key(Qt::Key_F9); // nothing to run on before Connect
        QCOMPARE(preview(), nullptr);
        QCOMPARE(connectTo(sampleString), Messages());
        pressF9("select {[Measures].[Unit Sales]} on columns from Sales");
        QVERIFY(preview()->isVisible());
        QCOMPARE(preview()->windowTitle(), "Preview - " + cubes()->currentText());
        QVERIFY2(message().startsWith("The catalog \"FoodMart 2000\" comes from a cube "
                                      "description (the built-in sample or a schema file): it "
                                      "describes the cubes but holds no data"),
                 qPrintable(message()));
        QVERIFY(message().contains("data source=http://127.0.0.1:8080/xmla"));
        QVERIFY(!preview()->findChild<QPlainTextEdit *>("StatementText")->isVisible());
    }

    void gridCopyAndEscape()
    {
        FakeHttpServer server;
        server.setHandler(recordedServer(false));
        QCOMPARE(connectTo("provider=msolap;data source=" + server.url().toString()), Messages());
        // The entry in the statement box's menu, its shortcut shown.
        QStringList entries;
        QTimer::singleShot(0, this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (const QAction *action : menu->actions())
                entries << action->text() + u'|' + action->shortcut().toString();
            menu->close();
        });
        emit statementBox()->customContextMenuRequested(QPoint(5, 5));
        QCOMPARE(entries.last(), "Preview Results|F9");
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));

        pressF9("select ... from Sales");
        QCOMPARE(server.requests().size(), 7);
        QVERIFY(QTest::qWaitForWindowActive(preview()));
        QCOMPARE(preview()->findChild<QLabel *>("StatusLabel")->text().left(26),
                 "4 rows × 2 columns. The se");
        const QString whole = "\t\tUnit Sales\tProfit\nCanada\t1997\t486\t583.28\n"
                              "Canada\t1998\t439\t561.61\nUSA\t1997\t802\t956.85\n"
                              "USA\t1998\t783\t1,018.16\n";
        QTest::keyClick(preview()->windowHandle(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), whole);
        auto *view = preview()->findChild<QTableView *>("ResultGrid");
        view->selectionModel()->select(view->model()->index(4, 3), QItemSelectionModel::Select);
        QTest::keyClick(preview()->windowHandle(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), "\t\tProfit\nUSA\t1998\t1,018.16\n");
        QTest::keyClick(preview()->windowHandle(), Qt::Key_Escape);
        QVERIFY(!preview()->isVisible());
        QVERIFY(form->isVisible());

        // A second preview replaces the first; the window takes it along when it goes.
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        pressF9("select ... from Sales");
        QVERIFY(preview()->isVisible());
        QCOMPARE(form->findChildren<PreviewWindow *>().size(), 1);
        QCOMPARE(preview()->grid()->copyText(), whole);
        click(at("CancelButton"));
        QVERIFY(!preview()->isVisible());
    }

    void cancelWhileTheAnswerIsHeld()
    {
        FakeHttpServer server;
        server.setHandler(recordedServer(true));
        QCOMPARE(connectTo("provider=msolap;data source=" + server.url().toString()), Messages());
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = form->findChild<QProgressDialog *>();
            if (!dialog || !dialog->isVisible())
                return;
            poll.stop();
            QCOMPARE(dialog->labelText(), "Running the statement" + QString(QChar(0x2026)));
            QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {},
                              dialog->findChild<QPushButton *>()->geometry().center());
        });
        poll.start(10);
        pressF9("select {[Measures].[Unit Sales]} on columns from Sales");
        QCOMPARE(message(), "The preview was cancelled.");
        QCOMPARE(preview()->findChild<QPlainTextEdit *>("StatementText")->toPlainText(),
                 "select {[Measures].[Unit Sales]} on columns from Sales");
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
