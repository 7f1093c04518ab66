// The window while Connect waits for a server that never answers: the progress dialog,
// input dropped meanwhile, and the ways out of the wait.
#include "fakehttpserver.h"
#include "common/failure.h"
#include "formtesting.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QWindow>

using namespace mdx;
using namespace mdx::test;

const Message cancelled { Prompter::Icon::Information, "Connection Failed: MdxWizard.Xmla",
                          cannotConnect + "The request was cancelled by the user." };

class TestMdxFormWait : public QObject, FormFixture
{
    Q_OBJECT

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
        FakeHttpServer server; // holds every request unanswered
        server.setHandler([](const HttpRequest &) { return std::optional<QByteArray>(); });
        const QString url = server.url().toString();
        QSignalSpy closed(form.get(), &MdxForm::closed);
        bool dialogShown = false;
        int polls = 0;
        QTimer poll;
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

    // Two windows at once: each shows its own waits, whichever was created last.
    void twoWindowsKeepTheirOwnWaitDialogs()
    {
        FakeHttpServer server; // holds every request unanswered
        server.setHandler([](const HttpRequest &) { return std::optional<QByteArray>(); });
        auto other = std::make_unique<MdxForm>(prompter);
        other->show();
        for (int round = 0; round < 2; ++round) {
            QWidget *shownOver = nullptr;
            QTimer poll;
            connect(&poll, &QTimer::timeout, this, [&] {
                for (QWidget *window : { (QWidget *)form.get(), (QWidget *)other.get() }) {
                    auto *dialog = window->findChild<QProgressDialog *>();
                    if (dialog && dialog->isVisible() && !shownOver) {
                        shownOver = window;
                        dialog->findChild<QPushButton *>()->click();
                    }
                }
            });
            poll.start(10);
            QCOMPARE(connectTo("provider=msolap;data source=" + server.url().toString()),
                     Messages({ cancelled }));
            QCOMPARE(shownOver, form.get());
            std::swap(form, other); // the other window connects next
        }
    }

    // A host opens the connection itself and hands it over: the window shows its waits.
    void hostConnectionWaitsInTheWindow()
    {
        FakeHttpServer server; // answers the catalog and cube lists, holds every cube's schema
        server.setHandler([](const HttpRequest &request) -> std::optional<QByteArray> {
            for (const char *list : { "DBSCHEMA_CATALOGS", "MDSCHEMA_CUBES" })
                if (request.body.contains(list))
                    return FakeHttpServer::chunked(
                        FakeHttpServer::file(QStringLiteral(MDX_TEST_DATA_DIR "/xmla/recorded/")
                                             + (list[0] == 'D' ? "catalogs.xml" : "cubes.xml")),
                        1000);
            return std::nullopt;
        });
        Connection connection;
        connection.open("provider=msolap;data source=" + server.url().toString());
        bool shown = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto *dialog = form->findChild<QProgressDialog *>();
                dialog && dialog->isVisible()) {
                shown = true;
                dialog->findChild<QPushButton *>()->click();
            }
        });
        poll.start(10);
        QVERIFY_THROWS_EXCEPTION(Failure, form->showCubes(connection));
        QVERIFY(shown);
    }
};

QTEST_MAIN(TestMdxFormWait)
#include "tst_mdxform_wait.moc"
