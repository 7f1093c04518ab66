#include "queryresult.h"

namespace mdx {

QueryResult::QueryResult(XmlaExecuteResult answer)
    : axisNames(std::move(answer.axisNames))
    , axisTupleCounts(std::move(answer.axisTupleCounts))
    , cellCount(answer.cellCount)
    , axisTuples(std::move(answer.axisTuples))
    , slicer(std::move(answer.slicer))
    , shownColumns(answer.shownColumns)
    , shownRows(answer.shownRows)
    , cells(std::move(answer.cells))
    , elapsedMs(answer.elapsedMs)
{
}

int QueryResult::tupleCount(const QString &axisName) const
{
    const qsizetype i = axisNames.indexOf(axisName);
    return i < 0 ? 0 : axisTupleCounts.at(i);
}

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
