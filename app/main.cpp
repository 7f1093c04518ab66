// The wizard as a program: one window; when it has gone, the statement goes to standard
// output so that a script or a host in any language can take it.
#include "window/mdxform.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
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
