#pragma once

#include "xmla/xmlaexecuteresult.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace mdx {

// What a statement returned, as the preview shows it: the tuple count of each axis (Axis0,
// Axis1, ... in order, the slicer left out), the captions of the kept tuples, the slicer's
// members, and the cells of the first rows and columns, at most MaxCells of them. Whatever lies
// beyond is counted but never kept, so that a huge result costs no more memory than a shown one.
struct QueryResult
{
    static constexpr int MaxCells = XmlaExecuteResult::MaxCells;

    QueryResult() = default;
    // A server's answer, taken over by moving its lists: no cell is copied. Implicit, so that
    // an answer read from a server can be shown as it is.
    QueryResult(XmlaExecuteResult answer);

    QList<QString> axisNames;
    QList<int> axisTupleCounts;
    int cellCount = 0; // cells the server sent; it leaves empty ones out

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
    bool truncated() const { return shownRows < totalRows() || shownColumns < totalColumns(); }
    const QList<QStringList> &columnHeaders() const;
    const QList<QStringList> &rowHeaders() const;
    // The cell at a kept position; a blank one elsewhere.
    const XmlaCell &cell(int row, int column) const;
};

} // namespace mdx
