#include "xmlareader.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <limits>

namespace mdx {

namespace {

const QString SoapEnvelopeNs = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString XmlaNs = QStringLiteral("urn:schemas-microsoft-com:xml-analysis");
const QString RowsetNs = QStringLiteral("urn:schemas-microsoft-com:xml-analysis:rowset");
const QString DatasetNs = QStringLiteral("urn:schemas-microsoft-com:xml-analysis:mddataset");
const QString EmptyNs = QStringLiteral("urn:schemas-microsoft-com:xml-analysis:empty");
const QString ExceptionNs = QStringLiteral("urn:schemas-microsoft-com:xml-analysis:exception");
const QString XsdNs = QStringLiteral("http://www.w3.org/2001/XMLSchema");

// Enough to see a whole XML declaration; a longer one is not a declaration we can use.
constexpr qsizetype DeclarationWindow = 512;
// The parser gets the text in pieces of this many characters, whatever the network's pieces:
// where it stands at an error (the line and column reported) depends on how much text it had.
constexpr qsizetype ParsePiece = 4096;

bool isUtf8Name(const QByteArray &charset)
{
    const QByteArray lower = charset.trimmed().toLower();
    return lower.isEmpty() || lower == "utf-8" || lower == "utf8";
}

// The length of the run of whole, valid UTF-8 characters that `bytes` starts with. When an
// invalid sequence ends the run, `bad` gets its offset; when a character cut by the end of
// `bytes` does, `bad` is left alone (the rest of the character may come with the next chunk).
qsizetype wholeUtf8(QByteArrayView bytes, qsizetype &bad)
{
    qsizetype i = 0;
    while (i < bytes.size()) {
        const uchar lead = uchar(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The second byte's range keeps out overlong forms, surrogates and code points past
        // U+10FFFF.
        int length = 0;
        uchar low = 0x80;
        uchar high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        for (int k = 1; k < length; ++k) {
            if (i + k == bytes.size())
                return i;
            const uchar next = uchar(bytes[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
                length = 0;
        }
        if (length == 0) {
            bad = i;
            return i;
        }
        i += length;
    }
    return i;
}

// The same for UTF-16: a surrogate must come in a pair, high then low.
qsizetype wholeUtf16(QByteArrayView bytes, bool bigEndian, qsizetype &bad)
{
    const auto unit = [&](qsizetype at) {
        const uchar first = uchar(bytes[at]);
        const uchar second = uchar(bytes[at + 1]);
        return bigEndian ? char16_t(first << 8 | second) : char16_t(second << 8 | first);
    };
    qsizetype i = 0;
    while (i + 2 <= bytes.size()) {
        const char16_t u = unit(i);
        if (!QChar::isSurrogate(u)) {
            i += 2;
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 4 > bytes.size())
            return i;
        if (QChar::isLowSurrogate(u) || !QChar::isLowSurrogate(unit(i + 2))) {
            bad = i;
            return i;
        }
        i += 4;
    }
    return i;
}

// The server's own code as a number when it is one: SQL-style codes are decimal, COM-style
// ones often written as unsigned decimal or hex.
std::optional<qint32> numericCode(const QString &text)
{
    bool ok = false;
    const QString t = text.trimmed();
    qlonglong value = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
        ? t.mid(2).toLongLong(&ok, 16)
        : t.toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<qint32>::min()
        || value > std::numeric_limits<quint32>::max())
        return std::nullopt;
    return qint32(quint32(value));
}

} // namespace

XmlaFault::XmlaFault(qint32 code, QString description, QString source, QString faultCode,
                     QString errorCode)
    : Failure(code, std::move(description), std::move(source))
    , mFaultCode(std::move(faultCode))
    , mErrorCode(std::move(errorCode))
{
}

int XmlaExecuteResult::tupleCount(const QString &axisName) const
{
    const qsizetype i = axisNames.indexOf(axisName);
    return i < 0 ? 0 : axisTupleCounts.at(i);
}

XmlaResponseReader::XmlaResponseReader(Kind kind)
    : mKind(kind)
{
    mXml.setNamespaceProcessing(true);
}

void XmlaResponseReader::setHttpCharset(const QByteArray &charset)
{
    mHttpCharset = charset.trimmed();
}

void XmlaResponseReader::addData(const QByteArray &chunk)
{
    mBytes += chunk.size();
    if (mFailure || mEnvelopeClosed)
        return;
    mPending += chunk;
    if (mDecodingChosen)
        decodePending();
    else
        startDecoding();
}

// The document's own byte order mark or declaration decides the encoding; the HTTP charset
// only fills in for a document that declares none. Only the first bytes are searched, so that
// the choice does not depend on how much of the answer the first chunk held.
void XmlaResponseReader::startDecoding()
{
    const QByteArray &head = mPending;
    std::optional<QStringConverter::Encoding> detected;
    QByteArray name;
    if (head.startsWith("\xEF\xBB\xBF")) {
        detected = QStringConverter::Utf8;
    } else if (head.startsWith("\xFF\xFE") || head.startsWith(QByteArray("<\0?\0", 4))) {
        detected = QStringConverter::Utf16LE;
    } else if (head.startsWith("\xFE\xFF") || head.startsWith(QByteArray("\0<\0?", 4))) {
        detected = QStringConverter::Utf16BE;
    } else if (head.size() < 5 && !mFinished) {
        return; // too little to tell
    } else if (head.startsWith("<?xml")) {
        const qsizetype end = head.left(DeclarationWindow).indexOf("?>");
        if (end < 0 && head.size() < DeclarationWindow && !mFinished)
            return; // wait for the rest of the declaration
        static const QRegularExpression encodingPattern(
            QStringLiteral("encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
        const QRegularExpressionMatch match
            = encodingPattern.match(QString::fromLatin1(end < 0 ? QByteArray() : head.left(end)));
        if (match.hasMatch())
            name = match.captured(1).trimmed().toLatin1();
    }
    if (!detected && name.isEmpty())
        name = mHttpCharset;
    if (!detected && isUtf8Name(name))
        detected = QStringConverter::Utf8;
    if (!detected)
        detected = QStringConverter::encodingForName(name.constData());
    // Without a byte order mark, UTF-16 is read little-endian, as Windows servers write it.
    if (detected == QStringConverter::Utf16)
        detected = QStringConverter::Utf16LE;

    mDecodingChosen = true;
    if (detected)
        mDecoder.emplace(*detected);
    else
        mDecoder.emplace(name.constData());
    if (!mDecoder->isValid()) {
        fail(XmlaFailure::Encoding,
             QStringLiteral("The server's reply is in the encoding \"%1\", which this program "
                            "cannot read.")
                 .arg(QString::fromLatin1(name)));
        return;
    }
    switch (detected.value_or(QStringConverter::System)) {
    case QStringConverter::Utf8:
        mCheck = Check::Utf8;
        break;
    case QStringConverter::Utf16LE:
        mCheck = Check::Utf16LE;
        break;
    case QStringConverter::Utf16BE:
        mCheck = Check::Utf16BE;
        break;
    case QStringConverter::Latin1:
        mCheck = Check::AllValid;
        break;
    default:
        mCheck = Check::ByteByByte;
        break;
    }
    decodePending();
}

// Decodes the held bytes up to the last whole character; the rest waits for the next chunk.
// The bytes are decoded here rather than by QXmlStreamReader, whose own decoding fails on
// UTF-16 split at odd byte counts, as network chunks may be; and only whole characters are
// decoded, so that neither a character nor a bad byte depends on where the network split the
// answer. A bad byte fails the reply: a name read wrongly would be sent back and not be found.
void XmlaResponseReader::decodePending()
{
    QString text;
    qsizetype used = mPending.size();
    qsizetype bad = -1;
    if (mCheck == Check::ByteByByte) {
        // Qt's decoders tell a bad byte only by a flag: one byte at a time tells which.
        for (qsizetype i = 0; i < mPending.size(); ++i) {
            const QString piece = mDecoder->decode(QByteArrayView(mPending).sliced(i, 1));
            if (mDecoder->hasError()) {
                bad = i;
                break;
            }
            text += piece;
        }
    } else {
        if (mCheck == Check::Utf8)
            used = wholeUtf8(mPending, bad);
        else if (mCheck != Check::AllValid)
            used = wholeUtf16(mPending, mCheck == Check::Utf16BE, bad);
        text = mDecoder->decode(QByteArrayView(mPending).first(used));
    }
    mUnparsed += text;
    parseText(bad >= 0);
    // Bytes after the envelope's end are not read, in this chunk as in later ones.
    if (bad >= 0 && !mEnvelopeClosed)
        fail(XmlaFailure::Encoding,
             QStringLiteral("The server's reply is not valid %1 text: there is no valid character "
                            "at byte offset %2 (0x%3).")
                 .arg(QLatin1String(mDecoder->name()))
                 .arg(mPendingOffset + bad)
                 .arg(uchar(mPending[bad]), 2, 16, QLatin1Char('0')));
    mPendingOffset += used;
    mPending.remove(0, used);
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
        switch (token) {
        case QXmlStreamReader::StartElement:
            startElement();
            break;
        case QXmlStreamReader::EndElement:
            endElement();
            break;
        case QXmlStreamReader::Characters:
            if (mArea == Area::Skip)
                break;
            if (mCapture)
                mCapture->append(mXml.text());
            else if (mColumnDepth > 0)
                mText.append(mXml.text());
            break;
        case QXmlStreamReader::EndDocument:
        case QXmlStreamReader::Invalid:
            return;
        default:
            break;
        }
    }
}

void XmlaResponseReader::startElement()
{
    const QString ns = mXml.namespaceUri().toString();
    const QString name = mXml.name().toString();
    mStack.push_back({ ns, name });
    const int depth = int(mStack.size());
    if (mArea == Area::Skip)
        return;
    auto skip = [&] {
        mAreaBeforeSkip = mArea;
        mArea = Area::Skip;
        mSkipDepth = depth;
    };

    // An error inside a result (rather than a SOAP fault) comes as an element of the
    // exception namespace with its texts in attributes; the first one is the report.
    if (ns == ExceptionNs && name == QLatin1String("Error") && !mHaveError) {
        const QXmlStreamAttributes attributes = mXml.attributes();
        mErrorCode = attributes.value(QLatin1String("ErrorCode")).toString();
        mErrorDesc = attributes.value(QLatin1String("Description")).toString();
        mErrorSource = attributes.value(QLatin1String("Source")).toString();
        mHaveError = true;
        if (!mInFault)
            mResultError = true;
        return;
    }

    switch (depth) {
    case 1:
        if (ns != SoapEnvelopeNs || name != QLatin1String("Envelope")) {
            fail(XmlaFailure::NotXmla,
                 QStringLiteral("The server's reply is not a SOAP 1.1 envelope: it starts with "
                                "<%1>. Is the Data Source the address of an XML for Analysis "
                                "service?")
                     .arg(mXml.qualifiedName().toString()));
            return;
        }
        mSawEnvelope = true;
        return;
    case 2:
        if (ns == SoapEnvelopeNs && name == QLatin1String("Body"))
            mSawBody = true;
        else
            skip(); // Header and anything else
        return;
    case 3:
        if (ns == SoapEnvelopeNs && name == QLatin1String("Fault")) {
            mArea = Area::Fault;
            mAreaDepth = depth;
            mInFault = true;
        } else if (ns != XmlaNs
                   || name
                       != (mKind == Kind::Discover ? QLatin1String("DiscoverResponse")
                                                   : QLatin1String("ExecuteResponse"))) {
            skip();
        }
        return;
    default:
        break;
    }

    if (mArea == Area::Fault) {
        const Element &parent = mStack[mStack.size() - 2];
        if (depth == mAreaDepth + 1) {
            if (name == QLatin1String("faultcode"))
                mCapture = &mFaultCode;
            else if (name == QLatin1String("faultstring"))
                mCapture = &mFaultString;
            else if (name == QLatin1String("faultactor"))
                mCapture = &mFaultActor;
            if (mCapture)
                mCaptureDepth = depth;
        } else if (!mHaveError && name.compare(QLatin1String("error"), Qt::CaseInsensitive) == 0) {
            // <Error ErrorCode=".." Description=".."/> or <error><code/><desc/></error>
            const QXmlStreamAttributes attributes = mXml.attributes();
            mErrorCode = attributes.value(QLatin1String("ErrorCode")).toString();
            mErrorDesc = attributes.value(QLatin1String("Description")).toString();
            mErrorSource = attributes.value(QLatin1String("Source")).toString();
            mHaveError = true;
        } else if (mHaveError
                   && parent.name.compare(QLatin1String("error"), Qt::CaseInsensitive) == 0
                   && !mCapture) {
            if (name == QLatin1String("code"))
                mCapture = &mErrorCode;
            else if (name == QLatin1String("desc"))
                mCapture = &mErrorDesc;
            else if (name == QLatin1String("source"))
                mCapture = &mErrorSource;
            if (mCapture) {
                mCapture->clear();
                mCaptureDepth = depth;
            }
        }
        return;
    }

    if (mArea == Area::Outside) {
        if (depth == 4) {
            if (ns == XmlaNs && name == QLatin1String("return"))
                mSawReturn = true;
            else
                skip();
        } else if (depth == 5) {
            if (mSawRoot || name != QLatin1String("root")) {
                skip();
            } else if (mKind == Kind::Discover && ns == RowsetNs) {
                mSawRoot = true;
                mArea = Area::Rowset;
                mAreaDepth = depth;
            } else if (mKind == Kind::Execute && ns == DatasetNs) {
                mSawRoot = true;
                mArea = Area::Dataset;
                mAreaDepth = depth;
            } else if (mKind == Kind::Execute && ns == EmptyNs) {
                mSawRoot = true; // a statement without a result
                skip();
            } else {
                fail(XmlaFailure::NotXmla,
                     QStringLiteral("The server answered with a result of the unexpected type "
                                    "\"%1\".")
                         .arg(ns));
            }
        } else {
            skip();
        }
        return;
    }

    const int level = depth - mAreaDepth;
    if (ns == ExceptionNs)
        return; // descend: an Error element may be inside
    if (mArea == Area::Rowset) {
        if (level == 1) {
            if (ns == RowsetNs && name == QLatin1String("row")) {
                mInRow = true;
                mRow.clear();
            } else {
                skip(); // the inline xsd:schema, and anything we do not know
            }
        } else if (level == 2 && mInRow) {
            mColumn = name;
            mText.clear();
            mColumnDepth = depth;
        }
        // deeper: markup inside a column; its text belongs to the column
        return;
    }

    if (mArea == Area::Dataset) {
        const Element &parent = mStack[mStack.size() - 2];
        if (level == 1) {
            if (ns != DatasetNs
                || (name != QLatin1String("Axes") && name != QLatin1String("CellData")))
                skip(); // OlapInfo, and anything we do not know
        } else if (level == 2 && parent.name == QLatin1String("Axes")) {
            if (name == QLatin1String("Axis")) {
                const QString axisName = mXml.attributes().value(QLatin1String("name")).toString();
                if (axisName == QLatin1String("SlicerAxis")) {
                    skip();
                } else {
                    mExecute.axisNames.append(axisName);
                    mExecute.axisTupleCounts.append(0);
                    mCurrentAxis = int(mExecute.axisNames.size()) - 1;
                }
            } else {
                skip();
            }
        } else if (level == 2 && parent.name == QLatin1String("CellData")) {
            if (name == QLatin1String("Cell"))
                ++mExecute.cellCount;
            skip();
        } else if (level == 3) {
            if (name != QLatin1String("Tuples"))
                skip();
        } else if (level == 4) {
            if (name == QLatin1String("Tuple") && mCurrentAxis >= 0)
                ++mExecute.axisTupleCounts[mCurrentAxis];
            skip(); // the members of a tuple are not needed for counting
        }
    }
}

void XmlaResponseReader::endElement()
{
    const int depth = int(mStack.size());
    mStack.pop_back();
    if (mArea == Area::Skip) {
        if (depth == mSkipDepth) {
            mSkipDepth = 0;
            mArea = mAreaBeforeSkip;
        }
        return;
    }
    if (mCapture && depth == mCaptureDepth) {
        mCapture = nullptr;
        mCaptureDepth = 0;
    }
    if (mArea == Area::Rowset) {
        if (mColumnDepth > 0 && depth == mColumnDepth) {
            if (!mRow.contains(mColumn))
                mRow.insert(mColumn, mText);
            mColumnDepth = 0;
            mText.clear();
        } else if (mInRow && depth == mAreaDepth + 1) {
            mRowset.rows.append(std::move(mRow));
            mRow = {};
            mInRow = false;
        }
    }
    if (mArea != Area::Outside && depth == mAreaDepth) {
        if (mInFault) {
            failFromFault();
            return;
        }
        mArea = Area::Outside;
        mAreaDepth = 0;
        if (mResultError)
            failFromFault();
        return;
    }
    if (depth == 1)
        mEnvelopeClosed = true;
}

void XmlaResponseReader::finish()
{
    mFinished = true;
    if (!mDecodingChosen && !mFailure)
        startDecoding();
    parseText(true);
    if (mFailure)
        return;
    if (mResultError) {
        failFromFault();
        return;
    }
    if (mInFault) {
        // A fault cut short still says what went wrong; but say that it was cut.
        fail(XmlaFailure::Truncated,
             QStringLiteral("The server's reply ended early, after %1 bytes, in the middle of a "
                            "fault report.")
                 .arg(mBytes));
        return;
    }
    if (!mEnvelopeClosed) {
        if (mBytes == 0)
            fail(XmlaFailure::Truncated, QStringLiteral("The server sent an empty reply."));
        else
            fail(XmlaFailure::Truncated,
                 QStringLiteral("The server's reply ended early, after %1 bytes; the answer is "
                                "incomplete.")
                     .arg(mBytes));
        return;
    }
    if (!mSawBody || !mSawReturn || (mKind == Kind::Discover && !mSawRoot)) {
        fail(XmlaFailure::NotXmla,
             QStringLiteral("The server's reply holds no %1 result.")
                 .arg(mKind == Kind::Discover ? QStringLiteral("Discover")
                                              : QStringLiteral("Execute")));
    }
}

void XmlaResponseReader::fail(qint32 code, const QString &description)
{
    if (!mFailure)
        mFailure.emplace(code, description, XmlaSource, QString(), QString());
}

void XmlaResponseReader::failFromFault()
{
    if (mFailure)
        return;
    QString description = mErrorDesc.trimmed();
    if (description.isEmpty())
        description = mFaultString.trimmed();
    if (description.isEmpty())
        description = QStringLiteral("The server reported a failure without a description.");
    QString source = mErrorSource.trimmed();
    if (source.isEmpty())
        source = mFaultActor.trimmed();
    if (source.isEmpty())
        source = QStringLiteral("XML for Analysis server");
    const QString errorCode = mErrorCode.trimmed();
    const qint32 code = numericCode(errorCode).value_or(XmlaFailure::ServerFault);
    mFailure.emplace(code, description, source, mFaultCode.trimmed(), errorCode);
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
