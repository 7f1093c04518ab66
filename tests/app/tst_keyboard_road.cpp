#include <QProcess>
#include <QTest>

// The wizard program driven by keys alone (keyboarddriver.cpp) prints the statement it built.
class TestKeyboardRoad : public QObject
{
    Q_OBJECT

private slots:
    void keysAlone()
    {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("LD_PRELOAD", MDX_KEYBOARD_DRIVER);
        // Under the sanitizers the driver is preloaded ahead of their runtime.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        program.setProcessEnvironment(env);
        program.start(MDX_PROGRAM, {});
        QVERIFY2(program.waitForFinished(60000), "the program did not end");
        const QByteArray errors = program.readAllStandardError();
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, errors.constData());
        QCOMPARE(program.exitCode(), 0);
        // Time with its last level unticked on Rows, Store on Columns, the first measure off.
        QCOMPARE(program.readAllStandardOutput(),
                 "select crossjoin({descendants([Time].currentmember,[Time].[Quarter])},"
                 "{descendants([Store].currentmember,[Store].[Store Name])}) on rows, "
                 "{[Measures].[Count],[Measures].[Number of Employees],[Measures].[Employee "
                 "Salary],[Measures].[Avg Salary]} on columns from HR\n");
    }
};

QTEST_GUILESS_MAIN(TestKeyboardRoad)
#include "tst_keyboard_road.moc"
