#include <QProcess>
#include <QTest>

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void resultOnStandardOutput_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("connection");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("status");
        const QByteArray hrWithoutFirstMeasure
            = "select {[Measures].[Count],[Measures].[Number of Employees],[Measures].[Employee "
              "Salary],[Measures].[Avg Salary]} on columns from HR\n";
        QTest::newRow("OK") << QByteArray("ok") << QString() << hrWithoutFirstMeasure << 0;
        QTest::newRow("close box")
            << QByteArray("closebox") << QString() << hrWithoutFirstMeasure << 0;
        QTest::newRow("Cancel") << QByteArray("cancel") << QString() << QByteArray() << 1;
        // Every character of the names comes out as it came in.
        QTest::newRow("odd names")
            << QByteArray("retick")
            << QStringLiteral("provider=msolap;data source=" MDX_TEST_DATA_DIR
                              "/window/oddnames.xml")
            << QStringLiteral("select {[Measures].[Cafe\u0301\U0001F600],[Measures].[A\u00a0B"
                              "\u2028C\tD]} on columns from [Odd\u00a0Sales]\n")
                   .toUtf8()
            << 0;
    }

    void resultOnStandardOutput()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(QString, connection);
        QFETCH(QByteArray, output);
        QFETCH(int, status);

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("LD_PRELOAD", MDX_PROGRAM_DRIVER);
        env.insert("MDX_DRIVE", scenario);
        if (!connection.isEmpty())
            env.insert("MDX_CONNECTION", connection);
        // Under the sanitizers the driver is preloaded ahead of their runtime.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        program.setProcessEnvironment(env);
        program.start(MDX_PROGRAM, {});
        QVERIFY2(program.waitForFinished(60000), "the program did not end");
        const QByteArray errors = program.readAllStandardError();
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, errors.constData());
        QCOMPARE(program.readAllStandardOutput(), output);
        QVERIFY2(program.exitCode() == status, errors.constData());
    }

    // The program answers these without a display: no platform is offered, so opening a
    // window would abort it.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output"); // "usage": the usage text
        QTest::addColumn<QByteArray>("errors"); // "usage": a line, then the usage text
        const QByteArray usage = "usage";
        const QByteArray none;
        QTest::newRow("help") << QStringList { "--help" } << 0 << usage << none;
        QTest::newRow("version") << QStringList { "--version" } << 0
                                 << QByteArray("mdx-wizard " MDX_VERSION "\n") << none;
        QTest::newRow("unknown option") << QStringList { "--verbose" } << 2 << none << usage;
        QTest::newRow("Qt's own option")
            << QStringList { "-platform", "offscreen" } << 2 << none << usage;
        QTest::newRow("connection string")
            << QStringList { "provider=msolap;data source=local" } << 2 << none << usage;
        QTest::newRow("help, then more") << QStringList { "--help", "x" } << 2 << none << usage;
        QTest::newRow("version, then help")
            << QStringList { "--version", "--help" } << 2 << none << usage;
        QTest::newRow("empty argument") << QStringList { "" } << 2 << none << usage;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, errors);

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
            env.remove(name);
        program.setProcessEnvironment(env);
        program.start(MDX_PROGRAM, arguments);
        QVERIFY2(program.waitForFinished(30000), "the program did not end");
        const QByteArray out = program.readAllStandardOutput();
        const QByteArray err = program.readAllStandardError();
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, err.constData());
        QCOMPARE(program.exitCode(), status);
        if (output == "usage")
            QVERIFY2(out.startsWith("Usage: mdx-wizard "), out.constData());
        else
            QCOMPARE(out, output);
        if (errors == "usage") {
            const qsizetype usageStart = err.indexOf("\n\nUsage: mdx-wizard ");
            QVERIFY2(err.startsWith("mdx-wizard: ") && usageStart > 0, err.constData());
        } else {
            QCOMPARE(err, errors);
        }
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
