#pragma once

#include <QDialog>

namespace mdx {

// The wizard's one window.
class MdxForm : public QDialog
{
    Q_OBJECT
public:
    explicit MdxForm(QWidget *parent = nullptr);
};

} // namespace mdx
