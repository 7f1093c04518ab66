#pragma once

#include <QString>

class QWidget;

namespace mdx {

// Every message the window shows goes through this, so that tests can record the messages
// instead of answering modal boxes.
class Prompter
{
public:
    enum class Icon { Information, Exclamation, Critical };

    virtual ~Prompter() = default;
    // Shows the message with one OK button and returns when it has been dismissed.
    virtual void showMessage(QWidget *parent, Icon icon, const QString &title, const QString &text)
        = 0;
};

// The real thing: a modal QMessageBox.
class MessageBoxPrompter : public Prompter
{
public:
    void showMessage(QWidget *parent, Icon icon, const QString &title,
                     const QString &text) override;
};

} // namespace mdx
