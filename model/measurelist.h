#pragma once

#include <QString>

#include <vector>

namespace mdx {

// Told about every change of a measure list, so that a view can follow the model.
class MeasureListObserver
{
public:
    virtual ~MeasureListObserver() = default;
    virtual void itemAdded(int position) = 0;
    virtual void itemTickChanged(int position) = 0;
    virtual void listCleared() = 0;
};

// The measures of the current cube at positions 0..count()-1, each ticked or not.
// Two entries may carry the same text.
class MeasureList
{
public:
    int count() const { return int(mEntries.size()); }
    // Both throw Failure for a position outside 0..count()-1.
    const QString &text(int position) const;
    bool isTicked(int position) const;
    void setTicked(int position, bool ticked);
    int tickedCount() const;

    // Appends an unticked entry.
    void addItem(const QString &text);
    // Position of the entry added last, or -1.
    int newIndex() const { return mNewIndex; }
    void clear();

    void setObserver(MeasureListObserver *observer) { mObserver = observer; }

private:
    struct Entry
    {
        QString text;
        bool ticked = false;
    };
    void checkPosition(int position) const;

    std::vector<Entry> mEntries;
    int mNewIndex = -1;
    MeasureListObserver *mObserver = nullptr;
};

} // namespace mdx
