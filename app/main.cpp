// The wizard as a program: one window; when it has gone, the statement goes to standard
// output so that a script or a host in any language can take it.
#include "window/mdxform.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

const char usage[]
    = "Usage: mdx-wizard [--help | --version]\n"
      "\n"
      "Opens the MDX Wizard window, which composes an MDX select statement against a cube of\n"
      "an OLAP server; the connection string is typed into the window.\n"
      "\n"
      "When the window closes, the statement is printed on standard output followed by a\n"
      "newline; nothing is printed when it is empty.\n"
      "\n"
      "Exit status:\n"
      "  0  the wizard ended with OK or the close box (and after --help, --version)\n"
      "  1  the wizard ended with Cancel\n"
      "  2  the command line was not understood\n";

// Answers the command line before Qt starts, so that --help works without a display; no
// answer means: open the window.
std::optional<int> answerCommandLine(int argc, char *argv[])
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
    const bool firstKnown
        = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0;
    std::fprintf(stderr, "mdx-wizard: unexpected argument '%s'\n\n%s", argv[firstKnown ? 2 : 1],
                 usage);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerCommandLine(argc, argv))
        return *status;

    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(MDX_VERSION));
    // Lets the desktop match the window to its menu entry and icon (Wayland uses the app id).
    QGuiApplication::setDesktopFileName(QStringLiteral(MDX_APP_ID));
    QApplication::setQuitOnLastWindowClosed(false); // message boxes must not end the program

    mdx::MdxForm form;
    QObject::connect(&form, &mdx::MdxForm::closed, &app, &QApplication::quit);
    form.show();
    app.exec();

    const QString statement = form.mdxString();
    if (!statement.isEmpty()) {
        std::fputs(statement.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
    }
    // As dialog programs do: 1 when the user cancelled, 0 when they accepted or closed.
    return form.closeReason() == mdx::MdxForm::CloseReason::Cancel ? 1 : 0;
}
