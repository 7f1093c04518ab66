// Opens a connection of its own, lets the user compose a statement in the wizard window and
// prints the statement when the window has closed.
//
//   mdx-host [connection string] [--close]
//
// --close shuts the window as soon as it is up (for a smoke test without a user).
#include <catalog/catalog.h>
#include <model/failure.h>
#include <window/mdxform.h>

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool closeAtOnce = args.removeAll(QStringLiteral("--close")) > 0;
    const QString connectionString = args.value(
        0, QStringLiteral("provider=msolap;data source=local;initial catalog=foodmart 2000"));

    mdx::MdxForm form;
    try {
        mdx::Connection connection;
        connection.open(connectionString);
        form.showCubes(connection);
    } catch (const mdx::Failure &failure) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(failure.source()),
                     qPrintable(failure.description()));
        return 2;
    }
    QObject::connect(&form, &mdx::MdxForm::closed, &app, &QApplication::quit);
    if (closeAtOnce)
        QTimer::singleShot(0, &form, &QWidget::close);
    app.exec();

    std::printf("%s\n", qPrintable(form.mdxString()));
    return 0;
}
