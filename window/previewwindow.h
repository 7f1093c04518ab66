#pragma once

#include "catalog/catalog.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QTableView;

namespace mdx {

class Failure;
class ResultGrid;

// What a statement returns, beside the wizard's window: a grid of the result, or the reason
// there is none (the server's own message with the statement, or why the source has no data).
// Modeless; each preview replaces the last one; Esc closes it; it goes when the window it
// belongs to goes.
class PreviewWindow final : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewWindow(QWidget *owner);
    ~PreviewWindow() override;

    // Runs the statement on the catalog's source (waiting as the connection waits) and shows
    // the outcome. Only a failure of a kind the catalog does not raise is thrown.
    void preview(const Catalog &catalog, const QString &cube, const QString &statement);

    void showResult(const QString &cube, QueryResult result);
    void showFailure(const QString &cube, const QString &statement, const Failure &failure);
    ResultGrid *grid() const { return mModel; }
    // The grid's selection, or the whole grid, as tab-separated text on the clipboard.
    void copySelection();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showPage(const QString &cube, QWidget *page);

    QLabel *mSlicerLabel = nullptr;
    QStackedWidget *mPages = nullptr;
    QTableView *mGridView = nullptr;
    QWidget *mMessagePage = nullptr;
    QLabel *mMessageLabel = nullptr;
    QLabel *mStatementLabel = nullptr;
    QPlainTextEdit *mStatementText = nullptr;
    QLabel *mStatusLabel = nullptr;
    ResultGrid *mModel = nullptr;
};

} // namespace mdx
