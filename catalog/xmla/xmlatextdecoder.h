#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <optional>

namespace mdx {

// Turns the bytes of an answer into text as they arrive. The document's own byte order mark
// or declaration decides the encoding; the HTTP charset only fills in for a document that
// declares none. Only whole characters are decoded, so that neither a character nor a bad
// byte depends on where the network split the answer; the parser gets the text as UTF-8,
// whatever the answer's encoding (a UTF-8 answer's own bytes, once checked).
class XmlaTextDecoder
{
public:
    struct Text
    {
        QString text; // the whole characters decoded from the bytes so far
        QByteArray utf8; // instead of `text` when the answer is UTF-8: its bytes, checked
        std::optional<QString> error; // why decoding stopped after `text`
    };

    // A single-byte encoding decoded by our own table, the same on every system (Qt reads
    // these only where it has ICU).
    struct OwnEncoding;

    void setHttpCharset(const QByteArray &charset) { mHttpCharset = charset.trimmed(); }
    // `finished`: no more bytes will come.
    Text decode(const QByteArray &bytes, bool finished);

private:
    // How whole, valid characters are told from cut and bad ones in the encoding chosen.
    enum class Check { Utf8, Utf16LE, Utf16BE, AllValid, ByteByByte, OwnTable };

    bool chooseEncoding(bool finished);
    Text decodePending();
    QString encodingName() const;

    QByteArray mHttpCharset;
    std::optional<QStringDecoder> mDecoder;
    const OwnEncoding *mOwn = nullptr;
    QByteArray mEncodingName;
    Check mCheck = Check::Utf8;
    // Bytes held until the declaration is seen, then those of a character cut by a chunk's end.
    QByteArray mPending;
    qint64 mPendingOffset = 0; // of mPending's first byte in the body
};

} // namespace mdx
