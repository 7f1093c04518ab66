#include "prompter.h"

#include <QMessageBox>

namespace mdx {

void MessageBoxPrompter::showMessage(QWidget *parent, Icon icon, const QString &title,
                                     const QString &text)
{
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    switch (icon) {
    case Icon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case Icon::Exclamation:
        boxIcon = QMessageBox::Warning;
        break;
    case Icon::Critical:
        boxIcon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(boxIcon, title, text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("MdxMessageBox"));
    box.exec();
}

} // namespace mdx
