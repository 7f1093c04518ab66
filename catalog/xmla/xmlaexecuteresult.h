#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace mdx {

// One cell of a result: the server's value as text, its formatted value (empty when the
// server gave none) and whether the value is a number.
struct XmlaCell
{
    QString value;
    QString formattedValue;
    bool numeric = false;
    // The server could not compute this cell; it says why here. Its other cells stand.
    bool failed = false;
    QString errorDescription;

    // What a person reads: the formatted value, else the value.
    const QString &text() const { return formattedValue.isEmpty() ? value : formattedValue; }
};

// What an Execute answered: the tuple count of each axis (Axis0, Axis1, ... in document
// order, the slicer axis left out) and the number of cells the server sent (empty cells
// are omitted by servers, so this may be less than the product of the axes).
//
// Beside the counts it holds what a person can look at: the member captions of the first
// tuples of each axis, the slicer's members, and the cells of the first rows and columns,
// at most MaxCells of them. Whatever lies beyond is counted but never kept, so that a huge
// result costs no more memory than a shown one.
struct XmlaExecuteResult
{
    static constexpr int MaxCells = 100'000;

    QList<QString> axisNames;
    QList<int> axisTupleCounts;
    int cellCount = 0;

    // Per axis, in axisNames' order: the captions of each kept tuple's members.
    QList<QList<QStringList>> axisTuples;
    QStringList slicer; // captions of the slicer's members
    // The part of the grid that is kept: columns (Axis0) by rows (Axis1); a result without
    // axes is one cell, one with only columns one row.
    int shownColumns = 0;
    int shownRows = 0;
    QList<XmlaCell> cells; // shownRows * shownColumns, row by row; empty cells are blank
    qint64 elapsedMs = 0; // from sending the statement to the answer's last byte

    int tupleCount(const QString &axisName) const;
    int columnTuples() const { return tupleCount(QStringLiteral("Axis0")); }
    int rowTuples() const { return tupleCount(QStringLiteral("Axis1")); }
    // The rows and columns of the whole result.
    int totalColumns() const { return axisNames.isEmpty() ? 1 : columnTuples(); }
    int totalRows() const { return axisNames.size() < 2 ? 1 : rowTuples(); }
};

} // namespace mdx
