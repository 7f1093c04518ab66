#pragma once

#include "xmlaparts.h"
#include "xmlatextdecoder.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <optional>
#include <vector>

namespace mdx {

// Reads one SOAP answer as it arrives, chunk by chunk, without keeping the body: rows of a
// rowset, or a multidimensional result (up to its cell limit), or a fault. Namespaces are matched
// by URI; the inline schema is skipped; the encoding the document declares is honoured. Never
// throws: the outcome is asked for at the end.
class XmlaResponseReader
{
public:
    enum class Kind { Discover, Execute };

    explicit XmlaResponseReader(Kind kind);

    // The charset of the HTTP Content-Type, used when the document declares none.
    void setHttpCharset(const QByteArray &charset);
    // A rowset keeps only these columns (all when none is named).
    void keepColumns(const QStringList &columns) { mRowset.keepColumns(columns); }
    void addData(const QByteArray &chunk);
    // The body is complete. After this, failure() tells whether it was a good answer.
    void finish();

    bool failed() const { return mFailure.has_value(); }
    // The fault or the reason the body is unusable; only after finish() or failed().
    const std::optional<XmlaFault> &failure() const { return mFailure; }
    // True when the failure is a fault the server sent (as opposed to an unreadable body).
    bool isServerFault() const { return mServerFault; }
    qint64 bytesRead() const { return mBytes; }

    const XmlaRowset &rowset() const { return mRowset.rowset(); }
    const XmlaExecuteResult &executeResult() const { return mResult.result(); }

private:
    // The part of the answer the element being read belongs to.
    // Empty: a root of the "empty" namespace, which holds nothing but maybe errors.
    enum class Part { Envelope, Fault, Rowset, Result, Empty };

    void take(const XmlaTextDecoder::Text &decoded);
    void parseText(bool all);
    void parse();
    void startElement();
    bool startInEnvelope(const QString &ns, const QString &name, int depth);
    bool startRoot(const QString &ns, const QString &name);
    bool startInPart(const QString &ns, const QString &name, int level);
    void endElement();
    void endPart();
    void text();
    void checkComplete();
    void fail(qint32 code, const QString &description);
    void failFromFault();

    Kind mKind;
    XmlaTextDecoder mDecoder;
    QXmlStreamReader mXml;
    QString mUnparsed; // decoded, not yet given to the parser
    qint64 mBytes = 0;

    std::vector<QString> mNames; // of the open elements, outermost first
    int mSkipDepth = 0; // while skipping an element: its depth
    Part mPart = Part::Envelope;
    int mPartDepth = 0; // of the element that opened the part
    bool mSawBody = false;
    bool mSawReturn = false;
    bool mSawRoot = false;
    bool mEnvelopeClosed = false;
    bool mResultError = false; // an error came inside a result rather than as a SOAP fault
    bool mEmptyRoot = false;

    XmlaFaultPart mFault;
    XmlaRowsetPart mRowset;
    XmlaResultPart mResult;
    std::optional<XmlaFault> mFailure;
    bool mServerFault = false;
};

// Whole-body conveniences for callers that already hold the answer; they throw the failure.
XmlaRowset readXmlaRowset(const QByteArray &body, const QByteArray &httpCharset = {});
XmlaExecuteResult readXmlaExecuteResult(const QByteArray &body, const QByteArray &httpCharset = {});

} // namespace mdx
