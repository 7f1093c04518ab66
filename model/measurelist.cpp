#include "measurelist.h"

#include "common/failure.h"

#include <algorithm>

namespace mdx {

void MeasureList::checkPosition(int position) const
{
    if (position < 0 || position >= count())
        throw Failure(ModelFailure::PositionOutOfRange,
                      QStringLiteral("The measures list has no entry at position %1 (it holds %2).")
                          .arg(position)
                          .arg(count()),
                      FailureSource::MeasureList);
}

const QString &MeasureList::text(int position) const
{
    checkPosition(position);
    return mEntries[size_t(position)].text;
}

bool MeasureList::isTicked(int position) const
{
    checkPosition(position);
    return mEntries[size_t(position)].ticked;
}

void MeasureList::setTicked(int position, bool ticked)
{
    checkPosition(position);
    Entry &entry = mEntries[size_t(position)];
    if (entry.ticked == ticked)
        return;
    entry.ticked = ticked;
    if (mObserver)
        mObserver->itemTickChanged(position);
}

int MeasureList::tickedCount() const
{
    return int(std::count_if(mEntries.begin(), mEntries.end(),
                             [](const Entry &entry) { return entry.ticked; }));
}

void MeasureList::addItem(const QString &text)
{
    mEntries.push_back({ text, false });
    mNewIndex = count() - 1;
    if (mObserver)
        mObserver->itemAdded(mNewIndex);
}

void MeasureList::clear()
{
    mEntries.clear();
    mNewIndex = -1;
    if (mObserver)
        mObserver->listCleared();
}

} // namespace mdx
