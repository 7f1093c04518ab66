// The wizard as a program: one window; when it has gone, the statement goes to standard
// output so that a script or a host in any language can take it.
#include "window/mdxform.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#ifdef MDX_TEST_DRIVER_HOOK
#include <QLibrary>
#endif
#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

const char usage[]
    = "Usage: mdx-wizard [--help | --version]\n"
      "       mdx-wizard --connection STRING [--statement TEXT | --statement -]\n"
      "\n"
      "Opens the MDX Wizard window, which composes an MDX select statement against a cube of\n"
      "an OLAP server; the connection string is typed into the window.\n"
      "\n"
      "With --connection the window connects with STRING at once, as its Connect command\n"
      "does. With --statement it then reopens TEXT (read from standard input for \"-\"), a\n"
      "statement the wizard wrote: the statement's cube is selected, and the trees, level\n"
      "marks and measures become those that write it. A failure to connect or to reopen the\n"
      "statement is shown in the window, which stays open.\n"
      "\n"
      "When the window closes, the statement is printed on standard output followed by a\n"
      "newline; nothing is printed when it is empty.\n"
      "\n"
      "Exit status:\n"
      "  0  the wizard ended with OK or the close box (and after --help, --version)\n"
      "  1  the wizard ended with Cancel\n"
      "  2  the command line was not understood\n";

// What the window does first, from the command line.
struct Start
{
    std::optional<QString> connection;
    std::optional<QString> statement; // "-": standard input
};

int refuse(const QByteArray &why)
{
    std::fprintf(stderr, "mdx-wizard: %s\n\n%s", why.constData(), usage);
    return 2;
}

int refuseArgument(const char *argument)
{
    return refuse(QByteArray("unexpected argument '") + argument + '\'');
}

// Answers the command line before Qt starts, so that --help works without a display; no
// answer means: open the window, starting as `start` says.
std::optional<int> answerCommandLine(int argc, char *argv[], Start &start)
{
    if (argc == 1)
        return std::nullopt;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("mdx-wizard " MDX_VERSION "\n", stdout);
        return 0;
    }
    // Qt's own options (-platform, -style, ...) are refused too: they are not ours to promise.
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0)
        return refuseArgument(argv[2]);
    for (int i = 1; i < argc; i += 2) {
        const bool connection = std::strcmp(argv[i], "--connection") == 0;
        std::optional<QString> &value = connection ? start.connection : start.statement;
        if ((!connection && std::strcmp(argv[i], "--statement") != 0) || value)
            return refuseArgument(argv[i]);
        if (i + 1 == argc)
            return refuse(QByteArray(argv[i]) + " needs a value");
        value = QString::fromLocal8Bit(argv[i + 1]);
    }
    if (!start.connection)
        return refuse("--statement needs --connection");
    return std::nullopt;
}

// The statement given, or standard input's to its end for "-".
QString statementOf(const QString &argument)
{
    if (argument != QLatin1String("-"))
        return argument;
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(input.readAll());
}

#ifdef Q_OS_WIN
// A GUI program has no console: a script that pipes or redirects it hands it its streams, but
// one started from a console prompt would print nowhere. There it writes to that console.
// Streams of a script go out byte for byte, with the same newlines as elsewhere.
void useParentConsole()
{
    const bool out = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_UNKNOWN;
    const bool err = GetFileType(GetStdHandle(STD_ERROR_HANDLE)) != FILE_TYPE_UNKNOWN;
    if (out)
        _setmode(_fileno(stdout), _O_BINARY);
    if (err)
        _setmode(_fileno(stderr), _O_BINARY);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!out)
        std::freopen("CONOUT$", "w", stdout);
    if (!err)
        std::freopen("CONOUT$", "w", stderr);
}
#endif

// Test builds only: the library named by MDX_TEST_DRIVER is loaded to drive the window, as
// the program tests do with their key player.
void loadTestDriver()
{
#ifdef MDX_TEST_DRIVER_HOOK
    const QString driver = qEnvironmentVariable("MDX_TEST_DRIVER");
    if (!driver.isEmpty() && !QLibrary(driver).load())
        std::fprintf(stderr, "mdx-wizard: cannot load %s\n", qPrintable(driver));
#endif
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    useParentConsole();
#endif
    Start start;
    if (const std::optional<int> status = answerCommandLine(argc, argv, start))
        return *status;

    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(MDX_VERSION));
    // Lets the desktop match the window to its menu entry and icon (Wayland uses the app id).
    QGuiApplication::setDesktopFileName(QStringLiteral(MDX_APP_ID));
    QApplication::setQuitOnLastWindowClosed(false); // message boxes must not end the program

    loadTestDriver();
    mdx::MdxForm form;
    QObject::connect(&form, &mdx::MdxForm::closed, &app, &QApplication::quit);
    form.show();
    if (start.connection) {
        // Once the window is up, as though the user had typed and pressed Connect.
        QTimer::singleShot(0, &form, [&form, &start] {
            form.connectWith(*start.connection);
            if (start.statement)
                form.openStatement(statementOf(*start.statement));
        });
    }
    app.exec();

    const QString statement = form.mdxString();
    if (!statement.isEmpty()) {
        std::fputs(statement.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
    }
    // As dialog programs do: 1 when the user cancelled, 0 when they accepted or closed.
    return form.closeReason() == mdx::MdxForm::CloseReason::Cancel ? 1 : 0;
}
