#include "xmlaexecuteresult.h"

namespace mdx {

int XmlaExecuteResult::tupleCount(const QString &axisName) const
{
    const qsizetype i = axisNames.indexOf(axisName);
    return i < 0 ? 0 : axisTupleCounts.at(i);
}

} // namespace mdx
