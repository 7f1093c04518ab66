#include <QProcess>
#include <QTest>

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    // Without keys the program runs without a display: no platform is offered, so opening a
    // window would abort it. With keys, the driver the program loads plays them at the window.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output"); // "usage": the usage text
        QTest::addColumn<QByteArray>("errors"); // with status 2: how it begins
        const QByteArray usage = "usage", none;
        const auto refused = [](const QByteArray &argument) {
            return "mdx-wizard: unexpected argument '" + argument + "'\n\nUsage: mdx-wizard ";
        };
        const auto row = [](const char *tag, const QStringList &arguments, const QByteArray &keys,
                            int status, const QByteArray &output, const QByteArray &errors = {}) {
            QTest::newRow(tag) << arguments << keys << status << output << errors;
        };
        row("help", { "--help" }, none, 0, usage);
        row("version", { "--version" }, none, 0, "mdx-wizard " MDX_VERSION "\n");
        row("Qt's own option", { "-platform", "offscreen" }, none, 2, none, refused("-platform"));
        row("help, then more", { "--help", "x" }, none, 2, none, refused("x"));
        row("version, then help", { "--version", "--help" }, none, 2, none, refused("--help"));
        row("statement alone", { "--statement", "x" }, none, 2, none,
            "mdx-wizard: --statement needs --connection\n\nUsage: mdx-wizard ");
        row("connection twice", { "--connection", "a", "--connection", "b" }, none, 2, none,
            refused("--connection"));
        row("no value", { "--connection" }, none, 2, none,
            "mdx-wizard: --connection needs a value\n\nUsage: mdx-wizard ");

        // A statement reopened from the command line comes back as it went in, for another
        // cube than the first too, from standard input as well.
        const QString sample = "provider=msolap;data source=local;initial catalog=foodmart 2000";
        const QByteArray sales
            = "select crossjoin({[Time].[Year].members},{descendants([Store].currentmember,"
              "[Store].[Store State])}) on rows, {[Measures].[Store Sales]} on columns from Sales";
        const QByteArray ok = "Alt+O Return"; // and Enter for the copy confirmation
        row("statement", { "--connection", sample, "--statement", sales }, ok, 0, sales + '\n');
        row("statement piped in", { "--statement", "-", "--connection", sample }, ok, 0,
            sales + '\n');
        row("bad connection string", { "--connection", "provider=x", "--statement", sales },
            "Return Esc", 1, none);

        // The second cube without its first measure; the close box keeps it, Cancel does not.
        const QByteArray hr = "F5 Down Tab Tab Tab Tab Tab Tab Space ";
        row("close box", {}, hr + "Close", 0,
            "select {[Measures].[Count],[Measures].[Number of Employees],[Measures].[Employee "
            "Salary],[Measures].[Avg Salary]} on columns from HR\n");
        row("Cancel", {}, hr + "Esc", 1, none);
        // Every character of the names comes out as it came in: the first measure ticked again.
        row("odd names",
            { "--connection",
              QStringLiteral("provider=msolap;data source=" MDX_TEST_DATA_DIR
                             "/window/oddnames.xml") },
            "Tab Tab Tab Tab Tab Tab Space Space " + ok, 0,
            QStringLiteral("select {[Measures].[Cafe\u0301\U0001F600],[Measures].[A\u00a0B"
                           "\u2028C\tD]} on columns from [Odd\u00a0Sales]\n")
                .toUtf8());
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, keys);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, errors);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
            env.remove(name);
        if (!keys.isEmpty()) {
            env.insert("QT_QPA_PLATFORM", "offscreen");
            env.insert("MDX_TEST_DRIVER", MDX_KEYBOARD_DRIVER);
            env.insert("MDX_KEYS", keys);
        }
        program.setProcessEnvironment(env);
        program.start(MDX_PROGRAM, arguments);
        // Given "-", the statement comes in on standard input as it should come out.
        if (arguments.contains("-"))
            program.write(output);
        program.closeWriteChannel();
        QVERIFY2(program.waitForFinished(60000), "the program did not end");
        const QByteArray out = program.readAllStandardOutput();
        const QByteArray err = program.readAllStandardError();
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, err.constData());
        QTEST(program.exitCode(), "status");
        // The usage's forms and exit statuses as a script reads them; the prose between is
        // the manual's.
        QVERIFY2(output == "usage"
                     ? out.startsWith("Usage: mdx-wizard [--help | --version]\n       mdx-wizard "
                                      "--connection STRING [--statement TEXT | --statement -]\n\n")
                         && out.endsWith("\n\nExit status:\n  0  the wizard ended with OK or the "
                                         "close box (and after --help, --version)\n  1  the "
                                         "wizard ended with Cancel\n  2  the command line was "
                                         "not understood\n")
                     : out == output,
                 out.constData());
        if (keys.isEmpty())
            QVERIFY2(program.exitCode() == 2 ? err.startsWith(errors) : err == errors,
                     err.constData());
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
