#include "xmlareader.h"

#include "xmlanamespaces.h"

#include <algorithm>

namespace mdx {

namespace {

// The parser gets the text in pieces of this many characters, whatever the network's pieces:
// where it stands at an error (the line and column reported) depends on how much text it had.
constexpr qsizetype ParsePiece = 4096;

} // namespace

XmlaResponseReader::XmlaResponseReader(Kind kind)
    : mKind(kind)
{
    mXml.setNamespaceProcessing(true);
}

void XmlaResponseReader::setHttpCharset(const QByteArray &charset)
{
    mDecoder.setHttpCharset(charset);
}

void XmlaResponseReader::addData(const QByteArray &chunk)
{
    mBytes += chunk.size();
    if (mFailure || mEnvelopeClosed)
        return;
    take(mDecoder.decode(chunk, false));
}

void XmlaResponseReader::finish()
{
    if (!mFailure && !mEnvelopeClosed)
        take(mDecoder.decode({}, true));
    parseText(true);
    checkComplete();
}

// The text before a bad byte is read to its end: an answer complete before it stands.
void XmlaResponseReader::take(const XmlaTextDecoder::Text &decoded)
{
    mUnparsed += decoded.text;
    parseText(decoded.error.has_value());
    if (decoded.error && !mEnvelopeClosed)
        fail(XmlaFailure::Encoding, *decoded.error);
}

// Hands the decoded text to the parser in pieces of ParsePiece characters, and the rest too
// when `all`; a piece never ends between the two halves of a surrogate pair.
void XmlaResponseReader::parseText(bool all)
{
    qsizetype start = 0;
    while (!mFailure && !mEnvelopeClosed && start < mUnparsed.size()
           && (all || mUnparsed.size() - start >= ParsePiece)) {
        qsizetype size = std::min(mUnparsed.size() - start, ParsePiece);
        if (start + size < mUnparsed.size() && mUnparsed.at(start + size - 1).isHighSurrogate())
            --size;
        mXml.addData(mUnparsed.mid(start, size));
        start += size;
        parse();
    }
    mUnparsed.remove(0, start);
}

void XmlaResponseReader::parse()
{
    while (!mFailure && !mEnvelopeClosed) {
        const QXmlStreamReader::TokenType token = mXml.readNext();
        if (mXml.hasError()) {
            if (mXml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                return; // the rest is still on its way
            fail(XmlaFailure::NotXml,
                 QStringLiteral("The server's reply is not well-formed XML (line %1, column %2: "
                                "%3).")
                     .arg(mXml.lineNumber())
                     .arg(mXml.columnNumber())
                     .arg(mXml.errorString()));
            return;
        }
        if (token == QXmlStreamReader::StartElement)
            startElement();
        else if (token == QXmlStreamReader::EndElement)
            endElement();
        else if (token == QXmlStreamReader::Characters)
            text();
        else if (token == QXmlStreamReader::EndDocument || token == QXmlStreamReader::Invalid)
            return;
    }
}

void XmlaResponseReader::startElement()
{
    const QString ns = mXml.namespaceUri().toString();
    const QString name = mXml.name().toString();
    mNames.push_back(name);
    const int depth = int(mNames.size());
    if (mSkipDepth > 0)
        return;
    // An error inside a result (rather than a SOAP fault) comes as an element of the
    // exception namespace with its texts in attributes; the first one is the report.
    if (ns == XmlaNamespace::Exception && name == QLatin1String("Error") && !mFault.hasError()) {
        mFault.takeError(mXml.attributes());
        mResultError = mPart != Part::Fault;
        return;
    }
    // An <Exception/> marks the answer as broken off even when its Messages say nothing
    // (or come later): the rows or cells before it are not the whole answer.
    if (ns == XmlaNamespace::Exception && name == QLatin1String("Exception")
        && mPart != Part::Envelope && mPart != Part::Fault)
        mResultError = true;
    const bool keep = mPart == Part::Envelope ? startInEnvelope(ns, name, depth)
                                              : startInPart(ns, name, depth - mPartDepth);
    if (!keep)
        mSkipDepth = depth;
}

// Envelope, Body, the response, its return and the root of the result; anything else at
// those levels (a Header, say) is skipped.
bool XmlaResponseReader::startInEnvelope(const QString &ns, const QString &name, int depth)
{
    switch (depth) {
    case 1:
        if (ns != XmlaNamespace::Soap || name != QLatin1String("Envelope"))
            fail(XmlaFailure::NotXmla,
                 QStringLiteral("The server's reply is not a SOAP 1.1 envelope: it starts with "
                                "<%1>. Is the Data Source the address of an XML for Analysis "
                                "service?")
                     .arg(mXml.qualifiedName().toString()));
        return true;
    case 2:
        mSawBody = mSawBody || (ns == XmlaNamespace::Soap && name == QLatin1String("Body"));
        return ns == XmlaNamespace::Soap && name == QLatin1String("Body");
    case 3:
        if (ns == XmlaNamespace::Soap && name == QLatin1String("Fault")) {
            mPart = Part::Fault;
            mPartDepth = depth;
            return true;
        }
        return ns == XmlaNamespace::Xmla
            && name
            == (mKind == Kind::Discover ? QLatin1String("DiscoverResponse")
                                        : QLatin1String("ExecuteResponse"));
    case 4:
        mSawReturn = mSawReturn || (ns == XmlaNamespace::Xmla && name == QLatin1String("return"));
        return ns == XmlaNamespace::Xmla && name == QLatin1String("return");
    case 5:
        return startRoot(ns, name);
    default:
        return false;
    }
}

bool XmlaResponseReader::startRoot(const QString &ns, const QString &name)
{
    if (mSawRoot || name != QLatin1String("root"))
        return false;
    mSawRoot = true;
    if (mKind == Kind::Discover && ns == XmlaNamespace::Rowset)
        mPart = Part::Rowset;
    else if (mKind == Kind::Execute && ns == XmlaNamespace::Dataset)
        mPart = Part::Result;
    else if (ns == XmlaNamespace::Empty) {
        // A statement without a result, or an answer that holds only its errors.
        mPart = Part::Empty;
        mEmptyRoot = true;
    } else
        fail(XmlaFailure::NotXmla,
             QStringLiteral("The server answered with a result of the unexpected type \"%1\".")
                 .arg(ns));
    mPartDepth = int(mNames.size());
    return true;
}

bool XmlaResponseReader::startInPart(const QString &ns, const QString &name, int level)
{
    const QString &parent = mNames[mNames.size() - 2];
    if (mPart == Part::Fault) {
        mFault.start(name, parent, mXml.attributes(), level);
        return true;
    }
    if (ns == XmlaNamespace::Exception)
        return true; // descend: an Error element may be inside
    if (mPart == Part::Empty)
        return false;
    if (mPart == Part::Rowset)
        return mRowset.start(ns, name, level);
    return mResult.start(ns, name, parent, mXml.attributes(), level);
}

void XmlaResponseReader::endElement()
{
    const int depth = int(mNames.size());
    mNames.pop_back();
    if (mSkipDepth > 0) {
        if (depth == mSkipDepth)
            mSkipDepth = 0;
        return;
    }
    if (mPart == Part::Envelope) {
        mEnvelopeClosed = depth == 1;
        return;
    }
    const int level = depth - mPartDepth;
    if (level == 0)
        endPart();
    else if (mPart == Part::Fault)
        mFault.end(level);
    else if (mPart == Part::Rowset)
        mRowset.end(level);
    else if (mPart == Part::Result)
        mResult.end(level);
}

void XmlaResponseReader::endPart()
{
    if (mPart == Part::Fault) {
        failFromFault();
        return;
    }
    if (mPart == Part::Result)
        mResult.finish();
    mPart = Part::Envelope;
    mPartDepth = 0;
    if (mResultError)
        failFromFault();
}

void XmlaResponseReader::text()
{
    if (mSkipDepth > 0)
        return;
    if (mPart == Part::Fault)
        mFault.text(mXml.text());
    else if (mPart == Part::Rowset)
        mRowset.text(mXml.text());
    else if (mPart == Part::Result)
        mResult.text(mXml.text());
}

// What the end of the body says about an answer that has not failed yet.
void XmlaResponseReader::checkComplete()
{
    if (mFailure)
        return;
    if (mResultError) {
        failFromFault();
    } else if (mPart == Part::Fault) {
        // A fault cut short still says what went wrong; but say that it was cut.
        fail(XmlaFailure::Truncated,
             QStringLiteral("The server's reply ended early, after %1 bytes, in the middle of a "
                            "fault report.")
                 .arg(mBytes));
    } else if (!mEnvelopeClosed) {
        fail(XmlaFailure::Truncated,
             mBytes == 0 ? QStringLiteral("The server sent an empty reply.")
                         : QStringLiteral("The server's reply ended early, after %1 bytes; the "
                                          "answer is incomplete.")
                               .arg(mBytes));
    } else if (!mSawBody || !mSawReturn || (mKind == Kind::Discover && (!mSawRoot || mEmptyRoot))) {
        fail(XmlaFailure::NotXmla,
             QStringLiteral("The server's reply holds no %1 result.")
                 .arg(mKind == Kind::Discover ? QStringLiteral("Discover")
                                              : QStringLiteral("Execute")));
    }
}

void XmlaResponseReader::fail(qint32 code, const QString &description)
{
    if (!mFailure)
        mFailure.emplace(code, description, FailureSource::Xmla, QString(), QString());
}

void XmlaResponseReader::failFromFault()
{
    if (mFailure)
        return;
    mFailure = mFault.failure();
    mServerFault = true;
}

namespace {

// Reads a whole answer held in memory; throws what the answer reports.
template<typename Result>
Result readWhole(XmlaResponseReader::Kind kind, const QByteArray &body,
                 const QByteArray &httpCharset, const Result &(XmlaResponseReader::*result)() const)
{
    XmlaResponseReader reader(kind);
    reader.setHttpCharset(httpCharset);
    reader.addData(body);
    reader.finish();
    if (reader.failure())
        throw *reader.failure();
    return (reader.*result)();
}

} // namespace

XmlaRowset readXmlaRowset(const QByteArray &body, const QByteArray &httpCharset)
{
    return readWhole(XmlaResponseReader::Kind::Discover, body, httpCharset,
                     &XmlaResponseReader::rowset);
}

XmlaExecuteResult readXmlaExecuteResult(const QByteArray &body, const QByteArray &httpCharset)
{
    return readWhole(XmlaResponseReader::Kind::Execute, body, httpCharset,
                     &XmlaResponseReader::executeResult);
}

} // namespace mdx
