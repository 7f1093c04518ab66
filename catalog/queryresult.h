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
struct QueryResult : XmlaExecuteResult
{
    QueryResult() = default;
    // A server's answer, taken over by moving its lists: no cell is copied. Implicit, so that
    // an answer read from a server can be shown as it is.
    QueryResult(XmlaExecuteResult answer)
        : XmlaExecuteResult(std::move(answer))
    {
    }

    bool truncated() const { return shownRows < totalRows() || shownColumns < totalColumns(); }
    const QList<QStringList> &columnHeaders() const;
    const QList<QStringList> &rowHeaders() const;
    // The cell at a kept position; a blank one elsewhere.
    const XmlaCell &cell(int row, int column) const;
};

} // namespace mdx
