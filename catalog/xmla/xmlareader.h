#pragma once

#include "xmlaparts.h"
#include "xmlatextdecoder.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamAttributes>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct _xmlParserCtxt;

namespace mdx {

struct XmlaSax;

// Reads one SOAP answer as it arrives, chunk by chunk, without keeping the body: rows of a
// rowset, or a multidimensional result (up to its cell limit), or a fault. Namespaces are matched
// by URI; the inline schema is skipped; the encoding the document declares is honoured. Never
// throws: the outcome is asked for at the end. The parser is libxml2's push parser, given the
// decoded text as UTF-8: it reads metadata answers several times faster than QXmlStreamReader
// (see the README's Benchmarks).
class XmlaResponseReader
{
public:
    enum class Kind { Discover, Execute };

    explicit XmlaResponseReader(Kind kind);
    ~XmlaResponseReader();
    XmlaResponseReader(const XmlaResponseReader &) = delete;
    XmlaResponseReader &operator=(const XmlaResponseReader &) = delete;

    // The charset of the HTTP Content-Type, used when the document declares none.
    void setHttpCharset(const QByteArray &charset);
    // A rowset keeps only these columns (all when none is named).
    void keepColumns(const QStringList &columns) { mRowset.keepColumns(columns); }
    // Each row goes to `sink` as soon as it is read, rather than into rowset(). A failure the
    // sink throws is the answer's: reading stops there.
    void setRowSink(std::function<void(XmlaRowset::Row &&)> sink);
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
    friend struct XmlaSax;
    struct ParserDeleter
    {
        void operator()(_xmlParserCtxt *parser) const;
    };

    // The part of the answer the element being read belongs to.
    // Empty: a root of the "empty" namespace, which holds nothing but maybe errors.
    enum class Part { Envelope, Fault, Rowset, Result, Empty };

    void take(const XmlaTextDecoder::Text &decoded);
    // Gives UTF-8 text to the parser.
    void feed(QByteArrayView utf8);
    void parseText();
    void endOfText();
    // Names in UTF-8 as the parser gives them; `ns` may be null.
    void startElement(const char *ns, const char *name, const QXmlStreamAttributes *attributes);
    bool startInEnvelope(const QString &ns, const QString &name, int depth);
    bool startRoot(const QString &ns, const QString &name);
    bool startInPart(const char *ns, const char *name, const QString &nsText,
                     const QString &nameText, const QXmlStreamAttributes &attributes, int level);
    void endElement();
    void endPart();
    void text(const char *text, int length);
    void parseError(int code, int line, int column, const QString &message);
    void checkComplete();
    void fail(qint32 code, const QString &description);
    void failFromFault();

    Kind mKind;
    XmlaTextDecoder mDecoder;
    std::unique_ptr<_xmlParserCtxt, ParserDeleter> mParser;
    QString mUnparsed; // decoded, not yet given to the parser (half a surrogate pair)
    bool mStarted = false; // some text was given to the parser
    qint64 mFed = 0; // bytes given to the parser
    bool mEnding = false; // the parser is reading the last of the text
    qint64 mBytes = 0;

    // The names of the open elements, outermost first; kept only where a part asks for its
    // parent's name (faults and results), empty inside rowsets.
    std::vector<QString> mNames;
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
