// The preview from the wizard's window with real keys: F9 and the statement box's menu on a
// source without data, Esc, the preview going with the window, and a held answer cancelled.
#include "fakehttpserver.h"
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
        QCOMPARE(preview()->windowTitle(), "Preview - " + cubes()->currentText());
        QVERIFY2(message().contains("describes the cubes but holds no data"),
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
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = form->findChild<QProgressDialog *>();
            if (!dialog || !dialog->isVisible())
                return;
            QCOMPARE(dialog->labelText(), "Running the statement" + QString(QChar(0x2026)));
            dialog->findChild<QPushButton *>()->click();
        });
        poll.start(10);
        // With a line end at the end: the preview runs exactly the text the box holds.
        const QString mdx = "select {[Measures].[Unit Sales]} on columns from Sales\n";
        pressF9(mdx);
        QCOMPARE(message(), "The preview was cancelled.");
        QCOMPARE(preview()->findChild<QPlainTextEdit *>("StatementText")->toPlainText(), mdx);
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
