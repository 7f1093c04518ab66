#pragma once

#include "model/failure.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <optional>
#include <vector>

namespace mdx {

// Codes of the XML for Analysis client, HRESULT-shaped like the rest of the catalog's.
namespace XmlaFailure {
constexpr qint32 ConnectionRefused = qint32(0x8004B101);
constexpr qint32 HostNotFound = qint32(0x8004B102);
constexpr qint32 TimedOut = qint32(0x8004B103);
constexpr qint32 Cancelled = qint32(0x8004B104);
constexpr qint32 HttpStatus = qint32(0x8004B105);
constexpr qint32 NotAuthorized = qint32(0x8004B106);
constexpr qint32 Forbidden = qint32(0x8004B107);
constexpr qint32 NotFound = qint32(0x8004B108);
constexpr qint32 Redirected = qint32(0x8004B109);
constexpr qint32 Certificate = qint32(0x8004B10A);
constexpr qint32 Network = qint32(0x8004B10B);
constexpr qint32 NotXml = qint32(0x8004B10C);
constexpr qint32 Truncated = qint32(0x8004B10D);
constexpr qint32 NotXmla = qint32(0x8004B10E);
constexpr qint32 ServerFault = qint32(0x8004B10F);
constexpr qint32 TooLarge = qint32(0x8004B110);
constexpr qint32 MissingColumn = qint32(0x8004B111);
constexpr qint32 BadValue = qint32(0x8004B112);
constexpr qint32 UnknownCatalog = qint32(0x8004B113);
constexpr qint32 NoCatalog = qint32(0x8004B114);
constexpr qint32 BadAddress = qint32(0x8004B115);
constexpr qint32 Busy = qint32(0x8004B116);
constexpr qint32 NoEventLoop = qint32(0x8004B117);
constexpr qint32 Encoding = qint32(0x8004B118);
} // namespace XmlaFailure

// The source of the failures the client raises itself.
inline const QString XmlaSource = QStringLiteral("MdxWizard.Xmla");

// A fault the server reported. The server's own code is kept as text (servers use
// "00HSBD01" as well as numbers); code() holds it when it is a number, else ServerFault.
class XmlaFault : public Failure
{
public:
    XmlaFault(qint32 code, QString description, QString source, QString faultCode,
              QString errorCode);
    // The SOAP faultcode, e.g. "SOAP-ENV:Client.00HSBD01"; empty for an error inside a result.
    const QString &faultCode() const noexcept { return mFaultCode; }
    // The error code of the fault's detail, e.g. "00HSBD01" or "3238658057".
    const QString &errorCode() const noexcept { return mErrorCode; }

private:
    QString mFaultCode;
    QString mErrorCode;
};

// One row of a Discover answer: column name -> text. A column the server left out (a null)
// is absent, which is not the same as present and empty.
using XmlaRow = QHash<QString, QString>;

struct XmlaRowset
{
    QList<XmlaRow> rows;
};

// What an Execute answered: the tuple count of each axis (Axis0, Axis1, ... in document
// order, the slicer axis left out) and the number of cells the server sent (empty cells
// are omitted by servers, so this may be less than the product of the axes).
struct XmlaExecuteResult
{
    QList<QString> axisNames;
    QList<int> axisTupleCounts;
    int cellCount = 0;

    int tupleCount(const QString &axisName) const;
    int columnTuples() const { return tupleCount(QStringLiteral("Axis0")); }
    int rowTuples() const { return tupleCount(QStringLiteral("Axis1")); }
};

// Reads one SOAP answer as it arrives, chunk by chunk, without keeping the body: rows of a
// rowset, or the counts of a multidimensional result, or a fault. Namespaces are matched by
// URI; the inline schema is skipped; the encoding the document declares is honoured.
// Never throws: the outcome is asked for at the end.
class XmlaResponseReader
{
public:
    enum class Kind { Discover, Execute };

    explicit XmlaResponseReader(Kind kind);

    // The charset of the HTTP Content-Type, used when the document declares none.
    void setHttpCharset(const QByteArray &charset);
    void addData(const QByteArray &chunk);
    // The body is complete. After this, failure() tells whether it was a good answer.
    void finish();

    bool failed() const { return mFailure.has_value(); }
    // The fault or the reason the body is unusable; only after finish() or failed().
    const std::optional<XmlaFault> &failure() const { return mFailure; }
    // True when the failure is a fault the server sent (as opposed to an unreadable body).
    bool isServerFault() const { return mServerFault; }
    qint64 bytesRead() const { return mBytes; }

    const XmlaRowset &rowset() const { return mRowset; }
    const XmlaExecuteResult &executeResult() const { return mExecute; }

private:
    struct Element
    {
        QString ns;
        QString name;
    };
    enum class Area { Outside, Fault, Rowset, Dataset, Skip };

    void startDecoding();
    void decodePending();
    void parseText(bool all);
    void parse();
    void startElement();
    void endElement();
    void fail(qint32 code, const QString &description);
    void failFromFault();

    Kind mKind;
    QByteArray mHttpCharset;
    QXmlStreamReader mXml;
    // How whole, valid characters are told from cut and bad ones in the encoding chosen.
    enum class Check { Utf8, Utf16LE, Utf16BE, AllValid, ByteByByte };

    std::optional<QStringDecoder> mDecoder;
    Check mCheck = Check::Utf8;
    // Bytes held until the declaration is seen, then those of a character cut by a chunk's end.
    QByteArray mPending;
    qint64 mPendingOffset = 0; // of mPending's first byte in the body
    QString mUnparsed; // decoded, not yet given to the parser
    bool mDecodingChosen = false;
    qint64 mBytes = 0;
    bool mFinished = false;

    std::vector<Element> mStack;
    Area mArea = Area::Outside;
    Area mAreaBeforeSkip = Area::Outside;
    int mAreaDepth = 0; // stack depth of the element that opened the area
    int mSkipDepth = 0; // while skipping: depth of the skipped element
    bool mSawEnvelope = false;
    bool mSawBody = false;
    bool mSawReturn = false;
    bool mSawRoot = false;
    bool mEnvelopeClosed = false;

    // Rowset
    XmlaRow mRow;
    bool mInRow = false;
    QString mColumn;
    QString mText;
    int mColumnDepth = 0;

    // Fault (a SOAP fault, or an error element inside a result)
    bool mInFault = false;
    QString mFaultCode, mFaultString, mFaultActor, mErrorCode, mErrorDesc, mErrorSource;
    QString *mCapture = nullptr;
    int mCaptureDepth = 0;
    bool mHaveError = false;
    bool mResultError = false;

    // Dataset
    int mCurrentAxis = -1;

    XmlaRowset mRowset;
    XmlaExecuteResult mExecute;
    std::optional<XmlaFault> mFailure;
    bool mServerFault = false;
};

// Whole-body conveniences for callers that already hold the answer; they throw the failure.
XmlaRowset readXmlaRowset(const QByteArray &body, const QByteArray &httpCharset = {});
XmlaExecuteResult readXmlaExecuteResult(const QByteArray &body, const QByteArray &httpCharset = {});

} // namespace mdx
