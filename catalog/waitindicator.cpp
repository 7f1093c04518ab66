#include "waitindicator.h"

namespace mdx {

namespace {
WaitIndicator *gIndicator = nullptr;
}

void setWaitIndicator(WaitIndicator *indicator)
{
    gIndicator = indicator;
}

WaitIndicator *waitIndicator()
{
    return gIndicator;
}

} // namespace mdx
