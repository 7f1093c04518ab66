#pragma once

#include "xmlaexecuteresult.h"
#include "xmlafault.h"
#include "xmlarowset.h"

#include <QXmlStreamAttributes>

#include <functional>
#include <optional>

namespace mdx {

// The parts of an answer the reader collects, one small state each. Levels count from the
// element that opened the part (1: its children). start() returns false for an element whose
// content the part does not need; the reader then skips it.

// A SOAP fault, or an error reported inside a result.
class XmlaFaultPart
{
public:
    void start(QStringView name, QStringView parentName, const QXmlStreamAttributes &attributes,
               int level);
    void end(int level);
    void text(QStringView text);
    // An <Error ErrorCode=".." Description=".." Source=".."/>; the first one is the report.
    void takeError(const QXmlStreamAttributes &attributes);
    bool hasError() const { return mHaveError; }
    XmlaFault failure() const;

private:
    QString mFaultCode, mFaultString, mFaultActor, mErrorCode, mErrorDesc, mErrorSource;
    QString *mCapture = nullptr;
    int mCaptureLevel = 0;
    bool mHaveError = false;
};

// The rows of a Discover answer; the inline schema is skipped. Names and text come as the
// parser gives them, UTF-8, and only the kept columns' text is ever turned into strings.
class XmlaRowsetPart
{
public:
    // `ns` may be null (no namespace).
    bool start(const char *ns, const char *name, int level);
    void end(int level);
    void text(const char *text, int length);
    const XmlaRowset &rowset() const { return mRowset; }
    // Only these columns are kept, in this order (all when none is named).
    void keepColumns(const QStringList &columns);
    // Hands each row to `sink` as it ends instead of keeping it.
    void setRowSink(std::function<void(XmlaRowset::Row &&)> sink) { mSink = std::move(sink); }

private:
    qsizetype columnOf(const char *name);

    XmlaRowset mRowset;
    bool mKeepAll = true;
    QList<QByteArray> mNames; // of mRowset.columns, in UTF-8
    std::function<void(XmlaRowset::Row &&)> mSink;
    XmlaRowset::Row mRow;
    bool mInRow = false;
    qsizetype mColumn = -1; // being read
    qsizetype mLastColumn = -1; // read last in this row: the next one is likely its neighbour
    QByteArray mText;
    int mColumnLevel = 0;
};

// A multidimensional result: the axes' tuples and the cells, kept up to the result's cell
// limit and counted beyond it (see XmlaExecuteResult).
class XmlaResultPart
{
public:
    bool start(QStringView ns, QStringView name, QStringView parentName,
               const QXmlStreamAttributes &attributes, int level);
    void end(int level);
    void text(QStringView text);
    // The result has ended: lays out the grid if no cells came to do it.
    void finish() { layOut(); }
    const XmlaExecuteResult &result() const { return mResult; }

private:
    bool startTuple();
    bool startCell(const QXmlStreamAttributes &attributes);
    void capture(QString *into, int level);
    void layOut();

    XmlaExecuteResult mResult;
    int mCurrentAxis = -1;
    bool mInSlicer = false;
    bool mLaidOut = false;
    QStringList mTuple;
    QString mCaption, mUniqueName;
    XmlaCell mCell;
    qsizetype mCellIndex = -1;
    qint64 mNextOrdinal = 0;
    QString *mCapture = nullptr;
    int mCaptureLevel = 0;
};
} // namespace mdx
