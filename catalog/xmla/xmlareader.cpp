#include "xmlareader.h"

#include "xmlanamespaces.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

namespace mdx {

namespace {

bool isException(const char *ns)
{
    return ns && XmlaNamespace::Exception == QLatin1String(ns);
}

} // namespace

// libxml2 calls back with the reader as its user data.
struct XmlaSax
{
    static XmlaResponseReader &of(void *reader)
    {
        return *static_cast<XmlaResponseReader *>(reader);
    }

    static void startElement(void *reader, const xmlChar *name, const xmlChar * /*prefix*/,
                             const xmlChar *uri, int /*namespaceCount*/,
                             const xmlChar ** /*namespaces*/, int attributeCount,
                             int /*defaultedCount*/, const xmlChar **attributes)
    {
        XmlaResponseReader &r = of(reader);
        if (r.mEnding)
            return;
        // Attributes matter to faults, errors and results only; rows never read them.
        if (r.mSkipDepth > 0
            || (r.mPart == XmlaResponseReader::Part::Rowset
                && !isException(reinterpret_cast<const char *>(uri)))) {
            r.startElement(reinterpret_cast<const char *>(uri),
                           reinterpret_cast<const char *>(name), nullptr);
            return;
        }
        QXmlStreamAttributes list;
        // Each attribute is five pointers: name, prefix, URI, value and the value's end.
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar *const *a = attributes + 5 * i;
            list.append(QString::fromUtf8(reinterpret_cast<const char *>(a[2])),
                        QString::fromUtf8(reinterpret_cast<const char *>(a[0])),
                        QString::fromUtf8(reinterpret_cast<const char *>(a[3]), a[4] - a[3]));
        }
        r.startElement(reinterpret_cast<const char *>(uri), reinterpret_cast<const char *>(name),
                       &list);
    }

    // What the parser reads only once told the text has ended was cut by that end: it is
    // looked at for errors, never taken as content.
    static void endElement(void *reader, const xmlChar *, const xmlChar *, const xmlChar *)
    {
        if (!of(reader).mEnding)
            of(reader).endElement();
    }

    static void characters(void *reader, const xmlChar *text, int length)
    {
        if (!of(reader).mEnding)
            of(reader).text(reinterpret_cast<const char *>(text), length);
    }

    // Warnings pass; an error (a prefix never declared, say) fails the answer as a fatal one does.
    static void error(void *reader, xmlErrorPtr error)
    {
        if (error && error->level >= XML_ERR_ERROR)
            of(reader).parseError(error->code, error->line, error->int2,
                                  QString::fromUtf8(error->message).trimmed());
    }

    static xmlSAXHandler handler()
    {
        xmlSAXHandler sax {};
        sax.initialized = XML_SAX2_MAGIC;
        sax.startElementNs = startElement;
        sax.endElementNs = endElement;
        sax.characters = characters;
        sax.cdataBlock = characters;
        sax.ignorableWhitespace = characters;
        sax.serror = error;
        return sax;
    }
};

void XmlaResponseReader::ParserDeleter::operator()(_xmlParserCtxt *parser) const
{
    // An entity declaration makes libxml2 keep a document of its own to hold it, even for a
    // SAX reader; the context does not free it.
    if (parser->myDoc)
        xmlFreeDoc(parser->myDoc);
    xmlFreeParserCtxt(parser);
}

XmlaResponseReader::XmlaResponseReader(Kind kind)
    : mKind(kind)
{
    // libxml2 sets up its globals once, before any thread may parse.
    static const bool initialised = (xmlInitParser(), true);
    Q_UNUSED(initialised);
    static xmlSAXHandler sax = XmlaSax::handler();
    mParser.reset(xmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr));
    if (!mParser) {
        fail(XmlaFailure::NotXml, QStringLiteral("There is not enough memory to read an answer."));
        return;
    }
    // The text comes decoded, as UTF-8, whatever the document declares. Nothing is fetched
    // from the network, and entities are never expanded into more than they say.
    xmlCtxtUseOptions(mParser.get(), XML_PARSE_NONET | XML_PARSE_IGNORE_ENC | XML_PARSE_NOWARNING);
    xmlSwitchEncoding(mParser.get(), XML_CHAR_ENCODING_UTF8);
}

XmlaResponseReader::~XmlaResponseReader() = default;

// The sink runs inside the parser's callbacks, which are C: nothing may be thrown through them.
void XmlaResponseReader::setRowSink(std::function<void(XmlaRowset::Row &&)> sink)
{
    mRowset.setRowSink([this, sink = std::move(sink)](XmlaRowset::Row &&row) {
        try {
            sink(std::move(row));
        } catch (const XmlaFault &failure) {
            if (!mFailure)
                mFailure = failure;
        } catch (...) {
            fail(XmlaFailure::NotXml, QStringLiteral("The server's answer could not be read."));
        }
        if (mFailure)
            xmlStopParser(mParser.get());
    });
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
    if (!mFailure && !mEnvelopeClosed) {
        take(mDecoder.decode({}, true));
        endOfText();
    }
    checkComplete();
}

// The text before a bad byte is read to its end: an answer complete before it stands.
void XmlaResponseReader::take(const XmlaTextDecoder::Text &decoded)
{
    feed(decoded.utf8);
    mUnparsed += decoded.text;
    parseText();
    if (decoded.error) {
        endOfText();
        if (!mEnvelopeClosed)
            fail(XmlaFailure::Encoding, *decoded.error);
    }
}

// Hands the decoded text to the parser, but for the first half of a surrogate pair whose
// second half is still on its way. The parser is never told the text has ended: an answer cut
// short is told by its envelope left open (checkComplete), not by the parser.
void XmlaResponseReader::parseText()
{
    if (mFailure || mEnvelopeClosed || mUnparsed.isEmpty())
        return;
    qsizetype size = mUnparsed.size();
    if (mUnparsed.at(size - 1).isHighSurrogate())
        --size;
    feed(QStringView(mUnparsed).first(size).toUtf8());
    mUnparsed.remove(0, size);
}

void XmlaResponseReader::feed(QByteArrayView utf8)
{
    if (mFailure || mEnvelopeClosed)
        return;
    // A byte order mark is the encoding's, not the document's.
    if (!mStarted && utf8.startsWith("\xEF\xBB\xBF"))
        utf8 = utf8.sliced(3);
    if (utf8.isEmpty())
        return;
    mStarted = true;
    mFed += utf8.size();
    xmlParseChunk(mParser.get(), utf8.data(), int(utf8.size()), 0);
}

// No more text will come. The parser looks ahead for the end of a tag before it reads one,
// and how far it got depends on where the text was split; told that the text has ended, it
// reads all it has, so that an error in it is found however the answer came.
void XmlaResponseReader::endOfText()
{
    if (mFailure || mEnvelopeClosed || !mStarted)
        return;
    mEnding = true;
    xmlParseChunk(mParser.get(), nullptr, 0, 1);
    mEnding = false;
}

void XmlaResponseReader::parseError(int code, int line, int column, const QString &message)
{
    // What the parser finds at the end of the text is the text's end, which the caller
    // reports as such (cut short, or a bad byte).
    if (mEnding && (code == XML_ERR_DOCUMENT_END || xmlByteConsumed(mParser.get()) >= mFed))
        return;
    fail(XmlaFailure::NotXml,
         QStringLiteral("The server's reply is not well-formed XML (line %1, column %2: %3).")
             .arg(line)
             .arg(column)
             .arg(message));
    xmlStopParser(mParser.get());
}

void XmlaResponseReader::startElement(const char *ns, const char *name,
                                      const QXmlStreamAttributes *attributes)
{
    if (mFailure || mEnvelopeClosed)
        return;
    const bool inRowset = mPart == Part::Rowset;
    const int depth = int(mNames.size()) + 1;
    if (mSkipDepth > 0 || (inRowset && depth - mPartDepth > 1 && !isException(ns))) {
        // Inside a skipped element, or deeper than a row: nothing to decide but the depth.
        mNames.emplace_back();
        if (mSkipDepth == 0 && !mRowset.start(ns, name, depth - mPartDepth))
            mSkipDepth = depth;
        return;
    }
    const QString nsText = ns ? QString::fromUtf8(ns) : QString();
    const QString nameText = QString::fromUtf8(name);
    mNames.push_back(inRowset ? QString() : nameText);
    static const QXmlStreamAttributes none;
    const QXmlStreamAttributes &given = attributes ? *attributes : none;
    // An error inside a result (rather than a SOAP fault) comes as an element of the
    // exception namespace with its texts in attributes; the first one is the report.
    if (nsText == XmlaNamespace::Exception && nameText == QLatin1String("Error")
        && !mFault.hasError()) {
        mFault.takeError(given);
        mResultError = mPart != Part::Fault;
        return;
    }
    // An <Exception/> marks the answer as broken off even when its Messages say nothing
    // (or come later): the rows or cells before it are not the whole answer.
    if (nsText == XmlaNamespace::Exception && nameText == QLatin1String("Exception")
        && mPart != Part::Envelope && mPart != Part::Fault)
        mResultError = true;
    const bool keep = mPart == Part::Envelope
        ? startInEnvelope(nsText, nameText, depth)
        : startInPart(ns, name, nsText, nameText, given, depth - mPartDepth);
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
                     .arg(name));
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

bool XmlaResponseReader::startInPart(const char *ns, const char *name, const QString &nsText,
                                     const QString &nameText,
                                     const QXmlStreamAttributes &attributes, int level)
{
    const QString &parent = mNames[mNames.size() - 2];
    if (mPart == Part::Fault) {
        mFault.start(nameText, parent, attributes, level);
        return true;
    }
    if (nsText == XmlaNamespace::Exception)
        return true; // descend: an Error element may be inside
    if (mPart == Part::Empty)
        return false;
    if (mPart == Part::Rowset)
        return mRowset.start(ns, name, level);
    return mResult.start(nsText, nameText, parent, attributes, level);
}

void XmlaResponseReader::endElement()
{
    if (mFailure || mEnvelopeClosed)
        return;
    const int depth = int(mNames.size());
    mNames.pop_back();
    if (mSkipDepth > 0) {
        if (depth == mSkipDepth)
            mSkipDepth = 0;
        return;
    }
    if (mPart == Part::Envelope) {
        mEnvelopeClosed = depth == 1;
        // What follows the envelope is not the answer's.
        if (mEnvelopeClosed)
            xmlStopParser(mParser.get());
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

void XmlaResponseReader::text(const char *text, int length)
{
    if (mSkipDepth > 0 || mFailure || mEnvelopeClosed)
        return;
    if (mPart == Part::Rowset)
        mRowset.text(text, length);
    else if (mPart == Part::Fault)
        mFault.text(QString::fromUtf8(text, length));
    else if (mPart == Part::Result)
        mResult.text(QString::fromUtf8(text, length));
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
