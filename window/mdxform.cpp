#include "mdxform.h"

namespace mdx {

MdxForm::MdxForm(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Orvanta 3.0 Mdx Builder Utility Program"));
}

} // namespace mdx
