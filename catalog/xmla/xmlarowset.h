#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace mdx {

// The rows of a Discover answer, each a list of texts by the position of its column in
// `columns`. A column the server left out (a null) is a null QString, which is not the same
// as present and empty; a row shorter than `columns` lacks the columns past its end.
struct XmlaRowset
{
    using Row = QList<QString>;

    QStringList columns; // the kept ones as asked, else every one in the order first seen
    QList<Row> rows;

    // The column's position, or -1 when no row may hold it.
    qsizetype column(const QString &name) const { return columns.indexOf(name); }
    // The text, null when the row lacks it.
    static QString value(const Row &row, qsizetype column)
    {
        return column >= 0 && column < row.size() ? row.at(column) : QString();
    }
    QString value(const Row &row, const QString &name) const { return value(row, column(name)); }
};

using XmlaRow = XmlaRowset::Row;

} // namespace mdx
