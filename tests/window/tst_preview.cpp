// The preview from the wizard's window with real keys: F9 and the statement box's menu on a
// source without data, Esc, the preview going with the window, and a held answer cancelled.
#include "../catalog/fakehttpserver.h"
#include "formtesting.h"
#include "window/previewwindow.h"

#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>

using namespace mdx;
using namespace mdx::test;

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
        QCOMPARE(statement(), mdx);
        QCOMPARE(form->mdxString(), mdx);
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
        QString entry; // the statement box's menu, its shortcut shown
        QTimer::singleShot(0, this, [&] {
            QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            entry = menu->actions().last()->text() + '|'
                + menu->actions().last()->shortcut().toString();
            menu->close();
        });
        emit control("MdxTextbox")->customContextMenuRequested(QPoint(5, 5));
        QCOMPARE(entry, "Preview Results|F9");
        form->activateWindow();

        pressF9("select {[Measures].[Unit Sales]} on columns from Sales");
        QVERIFY(preview()->isVisible());
        QCOMPARE(preview()->windowTitle(), "Preview - " + cubes()->currentText());
        QVERIFY2(message().startsWith("The catalog \"FoodMart 2000\" comes from a cube "
                                      "description (the built-in sample or a schema file): it "
                                      "describes the cubes but holds no data"),
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
            const QString body = QString::fromUtf8(request.body);
            const QString type = body.section("<RequestType>", 1).section(u'<', 0, 0);
            if (type.isEmpty())
                return std::nullopt;
            const bool schema = type.startsWith(u"MDSCHEMA_") && type != u"MDSCHEMA_CUBES";
            return FakeHttpServer::chunked(
                FakeHttpServer::file(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/recorded/")
                                     + (schema ? "sales-" : "") + type.section(u'_', 1).toLower()
                                     + ".xml"),
                1000);
        });
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
