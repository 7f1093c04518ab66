#pragma once

#include "xmlaanswer.h"

#include <QXmlStreamAttributes>

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

// The rows of a Discover answer; the inline schema is skipped.
class XmlaRowsetPart
{
public:
    bool start(QStringView ns, QStringView name, int level);
    void end(int level);
    void text(QStringView text);
    const XmlaRowset &rowset() const { return mRowset; }

private:
    XmlaRowset mRowset;
    std::optional<XmlaRow> mRow;
    QString mColumn;
    QString mText;
    int mColumnLevel = 0;
};

// The counts of an Execute answer; the members of the tuples are not needed for counting.
class XmlaResultPart
{
public:
    bool start(QStringView ns, QStringView name, QStringView parentName,
               const QXmlStreamAttributes &attributes, int level);
    const XmlaExecuteResult &result() const { return mResult; }

private:
    XmlaExecuteResult mResult;
    int mCurrentAxis = -1;
};

} // namespace mdx
