#include <QProcess>
#include <QTest>

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    // Without a scenario the program runs without a display: no platform is offered, so
    // opening a window would abort it. With one, the preloaded driver plays it at the window.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output"); // "usage": the usage text
        QTest::addColumn<QByteArray>("errors"); // with status 2: how it begins
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("connection"); // for the scenario; none: the window's own
        QTest::addColumn<QByteArray>("input");
        const QByteArray usage = "usage", none;
        const auto refused = [](const QByteArray &argument) {
            return "mdx-wizard: unexpected argument '" + argument + "'\n\nUsage: mdx-wizard ";
        };
        const auto row = [](const char *tag, const QStringList &arguments, int status,
                            const QByteArray &output, const QByteArray &errors,
                            const QByteArray &scenario = {}, const QString &connection = {},
                            const QByteArray &input = {}) {
            QTest::newRow(tag) << arguments << status << output << errors << scenario << connection
                               << input;
        };
        row("help", { "--help" }, 0, usage, none);
        row("version", { "--version" }, 0, "mdx-wizard " MDX_VERSION "\n", none);
        row("Qt's own option", { "-platform", "offscreen" }, 2, none, refused("-platform"));
        row("connection string", { "provider=msolap;data source=local" }, 2, none,
            refused("provider=msolap;data source=local"));
        row("help, then more", { "--help", "x" }, 2, none, refused("x"));
        row("version, then help", { "--version", "--help" }, 2, none, refused("--help"));
        row("empty argument", { "" }, 2, none, refused(""));
        row("statement alone", { "--statement", "x" }, 2, none,
            "mdx-wizard: --statement needs --connection\n\nUsage: mdx-wizard ");
        row("connection twice", { "--connection", "a", "--connection", "b" }, 2, none,
            refused("--connection"));
        row("no value", { "--connection" }, 2, none,
            "mdx-wizard: --connection needs a value\n\nUsage: mdx-wizard ");

        // A statement reopened from the command line comes back as it went in, for another
        // cube than the first too, from standard input as well.
        const QString sample = "provider=msolap;data source=local;initial catalog=foodmart 2000";
        const QByteArray sales
            = "select crossjoin({[Time].[Year].members},{descendants([Store].currentmember,"
              "[Store].[Store State])}) on rows, {[Measures].[Store Sales]} on columns from Sales";
        row("statement", { "--connection", sample, "--statement", sales }, 0, sales + '\n', none,
            "opened");
        row("statement piped in", { "--statement", "-", "--connection", sample }, 0, sales + '\n',
            none, "opened", {}, sales + '\n');
        row("bad connection string", { "--connection", "provider=x", "--statement", sales }, 1,
            none, none, "refused");

        const QByteArray hrWithoutFirstMeasure
            = "select {[Measures].[Count],[Measures].[Number of Employees],[Measures].[Employee "
              "Salary],[Measures].[Avg Salary]} on columns from HR\n";
        row("OK", {}, 0, hrWithoutFirstMeasure, none, "ok");
        row("close box", {}, 0, hrWithoutFirstMeasure, none, "closebox");
        row("Cancel", {}, 1, none, none, "cancel");
        // Every character of the names comes out as it came in.
        row("odd names", {}, 0,
            QStringLiteral("select {[Measures].[Cafe\u0301\U0001F600],[Measures].[A\u00a0B"
                           "\u2028C\tD]} on columns from [Odd\u00a0Sales]\n")
                .toUtf8(),
            none, "retick",
            QStringLiteral("provider=msolap;data source=" MDX_TEST_DATA_DIR
                           "/window/oddnames.xml"));
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, errors);
        QFETCH(QByteArray, scenario);
        QFETCH(QString, connection);
        QFETCH(QByteArray, input);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
            env.remove(name);
        if (!scenario.isEmpty()) {
            env.insert("QT_QPA_PLATFORM", "offscreen");
            env.insert("LD_PRELOAD", MDX_PROGRAM_DRIVER);
            env.insert("MDX_DRIVE", scenario);
            env.insert("MDX_CONNECTION", connection);
            // Under the sanitizers the driver is preloaded ahead of their runtime.
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        }
        program.setProcessEnvironment(env);
        program.start(MDX_PROGRAM, arguments);
        program.write(input);
        program.closeWriteChannel();
        QVERIFY2(program.waitForFinished(60000), "the program did not end");
        const QByteArray out = program.readAllStandardOutput();
        const QByteArray err = program.readAllStandardError();
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, err.constData());
        QTEST(program.exitCode(), "status");
        QVERIFY2(output == "usage" ? out.startsWith("Usage: mdx-wizard ") : out == output,
                 out.constData());
        if (scenario.isEmpty())
            QVERIFY2(program.exitCode() == 2 ? err.startsWith(errors) : err == errors,
                     err.constData());
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
