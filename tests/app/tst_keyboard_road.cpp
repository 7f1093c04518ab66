#include <QProcess>
#include <QTest>

// The wizard program, driven by keys alone (keyboarddriver.cpp), prints what they built.
class TestKeyboardRoad : public QObject
{
    Q_OBJECT

private slots:
    void keysAlone()
    {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("LD_PRELOAD", MDX_KEYBOARD_DRIVER);
        // Under the sanitizers the driver is preloaded ahead of their runtime.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        // Connect; the second cube; its first two dimensions to Rows and Columns; the last
        // level on Rows unticked, back and unticked again; the first measure off; OK, and
        // Enter for the copy confirmation.
        env.insert("MDX_KEYS",
                   "F5 Down Tab Ctrl+1 Ctrl+2 Tab End Space Ctrl+Z Ctrl+Y "
                   "Tab Tab Tab Space Alt+O Return");
        program.setProcessEnvironment(env);
        program.start(MDX_PROGRAM, {});
        QVERIFY2(program.waitForFinished(60000), "the program did not end");
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(program.readAllStandardOutput(),
                 "select crossjoin({descendants([Time].currentmember,[Time].[Quarter])},"
                 "{descendants([Store].currentmember,[Store].[Store Name])}) on rows, "
                 "{[Measures].[Count],[Measures].[Number of Employees],[Measures].[Employee "
                 "Salary],[Measures].[Avg Salary]} on columns from HR\n");
    }
};

QTEST_GUILESS_MAIN(TestKeyboardRoad)
#include "tst_keyboard_road.moc"
