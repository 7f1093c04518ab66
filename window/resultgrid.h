#pragma once

#include "catalog/datasource.h"

#include <QAbstractTableModel>
#include <QModelIndexList>

namespace mdx {

// A statement's result as one grid, the way a spreadsheet shows a pivot: the columns axis's
// members across the top (one header row per member of its tuples), the rows axis's members
// down the left (one header column per member), the cells beside them. Holds no widget, so
// what the preview shows and copies is tested without a screen.
class ResultGrid final : public QAbstractTableModel
{
public:
    // What a cell the server could not compute shows; its tool tip says why.
    static inline const QString ErrorMarker = QStringLiteral("#Error");

    explicit ResultGrid(QueryResult result, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    int headerRows() const { return mHeaderRows; }
    int headerColumns() const { return mHeaderColumns; }
    bool isHeader(const QModelIndex &index) const;
    const QueryResult &result() const { return mResult; }

    // Tab-separated text with "\n" line ends: the header lines first, each led by one empty
    // field per header column, then each row's headers and cells. Covers the rows and
    // columns of the selected grid cells (a selection of headers alone takes all of the
    // other direction), or the whole grid when nothing is selected.
    QString copyText(const QModelIndexList &selection = {}) const;
    // The status line: the result's size, what is shown of it and the server's time.
    QString statusText() const;

private:
    QString text(int row, int column) const;

    QueryResult mResult;
    int mHeaderRows = 0;
    int mHeaderColumns = 0;
};

} // namespace mdx
