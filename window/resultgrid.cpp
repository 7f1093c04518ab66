#include "resultgrid.h"

#include <QBrush>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <set>

namespace mdx {

namespace {

int depthOf(const QList<QStringList> &tuples)
{
    int depth = 0;
    for (const QStringList &tuple : tuples)
        depth = std::max(depth, int(tuple.size()));
    return depth;
}

// A tab or line break inside a caption or value would break the grid a spreadsheet reads.
QString field(QString text)
{
    for (QChar &c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    }
    return text;
}

QString duration(qint64 ms)
{
    return ms < 1000 ? QStringLiteral("%1 ms").arg(ms)
                     : QStringLiteral("%1 s").arg(double(ms) / 1000, 0, 'f', 1);
}

// Digits grouped by thousands whatever the locale, as the rest of the text is English.
QString grouped(qint64 n)
{
    QString digits = QString::number(n);
    for (qsizetype i = digits.size() - 3; i > (n < 0 ? 1 : 0); i -= 3)
        digits.insert(i, u',');
    return digits;
}

QString count(qint64 n, const char *one, const char *many)
{
    return grouped(n) + u' ' + QLatin1String(n == 1 ? one : many);
}

// The data rows (or columns) a selection touches, past the headers; all when it touches none.
QList<int> touched(const std::set<int> &positions, int headers, int all)
{
    QList<int> data;
    for (const int p : positions) {
        if (p >= headers)
            data.append(p - headers);
    }
    if (data.isEmpty()) {
        for (int i = 0; i < all; ++i)
            data.append(i);
    }
    return data;
}

} // namespace

ResultGrid::ResultGrid(QueryResult result, QObject *parent)
    : QAbstractTableModel(parent)
    , mResult(std::move(result))
    , mHeaderRows(depthOf(mResult.columnHeaders()))
    , mHeaderColumns(depthOf(mResult.rowHeaders()))
{
}

int ResultGrid::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : mHeaderRows + mResult.shownRows;
}

int ResultGrid::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : mHeaderColumns + mResult.shownColumns;
}

bool ResultGrid::isHeader(const QModelIndex &index) const
{
    return index.row() < mHeaderRows || index.column() < mHeaderColumns;
}

QString ResultGrid::text(int row, int column) const
{
    if (row < mHeaderRows && column < mHeaderColumns)
        return {};
    if (row < mHeaderRows)
        return mResult.columnHeaders().value(column - mHeaderColumns).value(row);
    if (column < mHeaderColumns)
        return mResult.rowHeaders().value(row - mHeaderRows).value(column);
    const XmlaCell &cell = mResult.cell(row - mHeaderRows, column - mHeaderColumns);
    return cell.failed ? ErrorMarker : cell.text();
}

QVariant ResultGrid::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const XmlaCell *cell = isHeader(index)
        ? nullptr
        : &mResult.cell(index.row() - mHeaderRows, index.column() - mHeaderColumns);
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case Qt::ToolTipRole:
        if (cell && cell->failed)
            return cell->errorDescription.isEmpty()
                ? QStringLiteral("The server could not compute this cell.")
                : cell->errorDescription;
        return text(index.row(), index.column());
    case Qt::ForegroundRole:
        if (cell && cell->failed)
            return QBrush(Qt::red);
        return {};
    case Qt::TextAlignmentRole: {
        const bool number = cell && cell->numeric;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    case Qt::BackgroundRole:
        if (isHeader(index))
            return QGuiApplication::palette().brush(QPalette::Button);
        return {};
    case Qt::FontRole:
        if (isHeader(index)) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    default:
        return {};
    }
}

QString ResultGrid::copyText(const QModelIndexList &selection) const
{
    std::set<int> selectedRows, selectedColumns;
    for (const QModelIndex &index : selection) {
        selectedRows.insert(index.row());
        selectedColumns.insert(index.column());
    }
    const QList<int> rows = touched(selectedRows, mHeaderRows, mResult.shownRows);
    const QList<int> columns = touched(selectedColumns, mHeaderColumns, mResult.shownColumns);
    QString out;
    const auto line = [&](int gridRow) {
        QStringList fields;
        for (int c = 0; c < mHeaderColumns; ++c)
            fields.append(field(text(gridRow, c)));
        for (const int c : columns)
            fields.append(field(text(gridRow, mHeaderColumns + c)));
        out += fields.join(u'\t') + u'\n';
    };
    for (int h = 0; h < mHeaderRows; ++h)
        line(h);
    for (const int r : rows)
        line(mHeaderRows + r);
    return out;
}

QString ResultGrid::statusText() const
{
    const QString size = count(mResult.totalRows(), "row", "rows") + QStringLiteral(" × ")
        + count(mResult.totalColumns(), "column", "columns");
    const QString time = QStringLiteral("The server took %1.").arg(duration(mResult.elapsedMs));
    if (!mResult.truncated())
        return size + QStringLiteral(". ") + time;
    return QStringLiteral("The result has %1, more than the %2 cells a preview shows: the first "
                          "%3 and %4 are shown. %5")
        .arg(size, grouped(QueryResult::MaxCells), count(mResult.shownRows, "row", "rows"),
             count(mResult.shownColumns, "column", "columns"), time);
}

} // namespace mdx
