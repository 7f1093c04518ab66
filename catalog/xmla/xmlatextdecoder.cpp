#include "xmlatextdecoder.h"

#include <QRegularExpression>

#include <utility>

namespace mdx {

namespace {

// Enough to see a whole XML declaration; a longer one is not a declaration we can use.
constexpr qsizetype DeclarationWindow = 512;

bool isUtf8Name(const QByteArray &charset)
{
    const QByteArray lower = charset.trimmed().toLower();
    return lower.isEmpty() || lower == "utf-8" || lower == "utf8";
}

std::optional<QStringConverter::Encoding> byteOrderMark(const QByteArray &head)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        return QStringConverter::Utf8;
    if (head.startsWith("\xFF\xFE") || head.startsWith(QByteArray("<\0?\0", 4)))
        return QStringConverter::Utf16LE;
    if (head.startsWith("\xFE\xFF") || head.startsWith(QByteArray("\0<\0?", 4)))
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

QByteArray declaredEncoding(const QByteArray &declaration)
{
    static const QRegularExpression encodingPattern(
        QStringLiteral("encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
    const QRegularExpressionMatch match = encodingPattern.match(QString::fromLatin1(declaration));
    return match.hasMatch() ? match.captured(1).trimmed().toLatin1() : QByteArray();
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

} // namespace

struct XmlaTextDecoder::OwnEncoding
{
    const char *name; // as failures name it
    std::initializer_list<const char *> aliases; // lower case
    bool asciiOnly; // a byte over 0x7F is bad; otherwise 0x80-0x9F map through `high`
    char16_t high[32];
};

namespace {

// Windows' code page 1252 differs from Latin-1 only in 0x80-0x9F; the five bytes it leaves
// undefined stay the C1 controls, as Windows and the WHATWG decoders read them.
const XmlaTextDecoder::OwnEncoding *ownEncoding(const QByteArray &charset)
{
    using Own = XmlaTextDecoder::OwnEncoding;
    static const Own ascii {
        "US-ASCII", { "us-ascii", "ascii", "ansi_x3.4-1968", "iso646-us", "us", "cp367" }, true, {}
    };
    static const Own windows1252 {
        "windows-1252",
        { "windows-1252", "cp1252", "x-cp1252" },
        false,
        { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
          0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
          0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 }
    };
    const QByteArray lower = charset.trimmed().toLower();
    for (const Own *own : { &ascii, &windows1252 }) {
        for (const char *alias : own->aliases) {
            if (lower == alias)
                return own;
        }
    }
    return nullptr;
}

} // namespace

XmlaTextDecoder::Text XmlaTextDecoder::decode(const QByteArray &bytes, bool finished)
{
    mPending += bytes;
    if (!mDecoder && !mOwn) {
        if (!chooseEncoding(finished))
            return {};
        if (!mOwn && !mDecoder->isValid()) {
            Text unreadable;
            unreadable.error = QStringLiteral("The server's reply is in the encoding \"%1\", "
                                              "which this program cannot read.")
                                   .arg(QString::fromLatin1(mEncodingName));
            return unreadable;
        }
    }
    return decodePending();
}

// Only the first bytes are searched, so that the choice does not depend on how much of the
// answer the first chunk held. False while too few bytes have come to tell.
bool XmlaTextDecoder::chooseEncoding(bool finished)
{
    std::optional<QStringConverter::Encoding> detected = byteOrderMark(mPending);
    if (!detected) {
        if (mPending.size() < 5 && !finished)
            return false;
        if (mPending.startsWith("<?xml")) {
            const qsizetype end = mPending.left(DeclarationWindow).indexOf("?>");
            if (end < 0 && mPending.size() < DeclarationWindow && !finished)
                return false; // wait for the rest of the declaration
            mEncodingName = end < 0 ? QByteArray() : declaredEncoding(mPending.left(end));
        }
        if (mEncodingName.isEmpty())
            mEncodingName = mHttpCharset;
        if ((mOwn = ownEncoding(mEncodingName))) {
            mCheck = Check::OwnTable;
            return true;
        }
        detected = isUtf8Name(mEncodingName)
            ? QStringConverter::Utf8
            : QStringConverter::encodingForName(mEncodingName.constData());
    }
    // Without a byte order mark, UTF-16 is read little-endian, as Windows servers write it.
    if (detected == QStringConverter::Utf16)
        detected = QStringConverter::Utf16LE;
    if (detected)
        mDecoder.emplace(*detected);
    else
        mDecoder.emplace(mEncodingName.constData());
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
    return true;
}

// Decodes the held bytes up to the last whole character; the rest waits for the next chunk.
// A bad byte stops decoding: a name read wrongly would be sent back and not be found.
XmlaTextDecoder::Text XmlaTextDecoder::decodePending()
{
    Text out;
    qsizetype used = mPending.size();
    qsizetype bad = -1;
    if (mCheck == Check::OwnTable) {
        out.text.reserve(mPending.size());
        for (qsizetype i = 0; i < mPending.size() && bad < 0; ++i) {
            const uchar byte = uchar(mPending[i]);
            if (byte >= 0x80 && mOwn->asciiOnly)
                bad = i;
            else
                out.text += QChar(byte >= 0x80 && byte < 0xA0 ? mOwn->high[byte - 0x80] : byte);
        }
    } else if (mCheck == Check::ByteByByte) {
        // Qt's decoders tell a bad byte only by a flag: one byte at a time tells which.
        for (qsizetype i = 0; i < mPending.size(); ++i) {
            const QString piece = mDecoder->decode(QByteArrayView(mPending).sliced(i, 1));
            if (mDecoder->hasError()) {
                bad = i;
                break;
            }
            out.text += piece;
        }
    } else if (mCheck == Check::Utf8) {
        // Valid UTF-8 is what the parser reads: no need to decode it and encode it again.
        used = wholeUtf8(mPending, bad);
        // Mostly every byte held is whole: then they are handed on without a copy.
        out.utf8 = used == mPending.size() ? std::exchange(mPending, {}) : mPending.first(used);
    } else {
        if (mCheck != Check::AllValid)
            used = wholeUtf16(mPending, mCheck == Check::Utf16BE, bad);
        out.text = mDecoder->decode(QByteArrayView(mPending).first(used));
    }
    if (bad >= 0)
        out.error = QStringLiteral("The server's reply is not valid %1 text: there is no valid "
                                   "character at byte offset %2 (0x%3).")
                        .arg(encodingName())
                        .arg(mPendingOffset + bad)
                        .arg(uchar(mPending[bad]), 2, 16, QLatin1Char('0'));
    mPendingOffset += used;
    mPending.remove(0, used);
    return out;
}

QString XmlaTextDecoder::encodingName() const
{
    return mOwn ? QLatin1String(mOwn->name) : QLatin1String(mDecoder->name());
}

} // namespace mdx
