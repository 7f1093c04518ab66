#include "window/mdxform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    mdx::MdxForm form;
    form.show();
    return app.exec();
}
