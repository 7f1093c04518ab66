#include "queryresult.h"

namespace mdx {

const QList<QStringList> &QueryResult::columnHeaders() const
{
    static const QList<QStringList> none;
    return axisTuples.isEmpty() ? none : axisTuples.at(0);
}

const QList<QStringList> &QueryResult::rowHeaders() const
{
    static const QList<QStringList> none;
    return axisTuples.size() < 2 ? none : axisTuples.at(1);
}

const XmlaCell &QueryResult::cell(int row, int column) const
{
    static const XmlaCell blank;
    const qsizetype i = qsizetype(row) * shownColumns + column;
    return row < 0 || column < 0 || column >= shownColumns || i >= cells.size() ? blank
                                                                                : cells.at(i);
}

} // namespace mdx
