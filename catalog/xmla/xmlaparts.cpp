#include "xmlaparts.h"

#include "xmlanamespaces.h"

#include <limits>

namespace mdx {

namespace {

bool isError(QStringView name)
{
    return name.compare(QLatin1String("error"), Qt::CaseInsensitive) == 0;
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

QString firstGiven(const QString &a, const QString &b, const QString &otherwise)
{
    if (!a.trimmed().isEmpty())
        return a.trimmed();
    if (!b.trimmed().isEmpty())
        return b.trimmed();
    return otherwise;
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

// ---- Fault: <faultcode/>, <faultstring/>, <faultactor/>, and in the detail either
// <Error ErrorCode=".." Description=".."/> or <error><code/><desc/><source/></error>.

void XmlaFaultPart::start(QStringView name, QStringView parentName,
                          const QXmlStreamAttributes &attributes, int level)
{
    if (level == 1) {
        if (name == QLatin1String("faultcode"))
            mCapture = &mFaultCode;
        else if (name == QLatin1String("faultstring"))
            mCapture = &mFaultString;
        else if (name == QLatin1String("faultactor"))
            mCapture = &mFaultActor;
        if (mCapture)
            mCaptureLevel = level;
    } else if (!mHaveError && isError(name)) {
        takeError(attributes);
    } else if (mHaveError && isError(parentName) && !mCapture) {
        if (name == QLatin1String("code"))
            mCapture = &mErrorCode;
        else if (name == QLatin1String("desc"))
            mCapture = &mErrorDesc;
        else if (name == QLatin1String("source"))
            mCapture = &mErrorSource;
        if (mCapture) {
            mCapture->clear();
            mCaptureLevel = level;
        }
    }
}

void XmlaFaultPart::end(int level)
{
    if (mCapture && level == mCaptureLevel)
        mCapture = nullptr;
}

void XmlaFaultPart::text(QStringView text)
{
    if (mCapture)
        mCapture->append(text);
}

void XmlaFaultPart::takeError(const QXmlStreamAttributes &attributes)
{
    mErrorCode = attributes.value(QLatin1String("ErrorCode")).toString();
    mErrorDesc = attributes.value(QLatin1String("Description")).toString();
    mErrorSource = attributes.value(QLatin1String("Source")).toString();
    mHaveError = true;
}

XmlaFault XmlaFaultPart::failure() const
{
    const QString errorCode = mErrorCode.trimmed();
    return XmlaFault(
        numericCode(errorCode).value_or(XmlaFailure::ServerFault),
        firstGiven(mErrorDesc, mFaultString,
                   QStringLiteral("The server reported a failure without a description.")),
        firstGiven(mErrorSource, mFaultActor, QStringLiteral("XML for Analysis server")),
        mFaultCode.trimmed(), errorCode);
}

// ---- Rowset: <row><COLUMN>text</COLUMN>...</row>; markup inside a column is its text.

bool XmlaRowsetPart::start(QStringView ns, QStringView name, int level)
{
    if (level == 1) {
        if (ns != XmlaNamespace::Rowset || name != QLatin1String("row"))
            return false; // the inline xsd:schema, and anything we do not know
        mRow.emplace();
    } else if (level == 2 && mRow) {
        mColumn = name.toString();
        mText.clear();
        mColumnLevel = level;
    }
    return true;
}

void XmlaRowsetPart::end(int level)
{
    if (mColumnLevel > 0 && level == mColumnLevel) {
        // A column given twice keeps its first value.
        if (!mRow->contains(mColumn))
            mRow->insert(mColumn, mText);
        mColumnLevel = 0;
        mText.clear();
    } else if (mRow && level == 1) {
        mRowset.rows.append(std::move(*mRow));
        mRow.reset();
    }
}

void XmlaRowsetPart::text(QStringView text)
{
    if (mColumnLevel > 0)
        mText.append(text);
}

// ---- Result: <Axes><Axis name=".."><Tuples><Tuple/>...</Tuples></Axis></Axes> and
// <CellData><Cell/>...</CellData>.

bool XmlaResultPart::start(QStringView ns, QStringView name, QStringView parentName,
                           const QXmlStreamAttributes &attributes, int level)
{
    switch (level) {
    case 1: // OlapInfo, and anything we do not know, is skipped
        return ns == XmlaNamespace::Dataset
            && (name == QLatin1String("Axes") || name == QLatin1String("CellData"));
    case 2:
        if (parentName == QLatin1String("CellData")) {
            if (name == QLatin1String("Cell"))
                ++mResult.cellCount;
            return false;
        }
        if (name != QLatin1String("Axis")
            || attributes.value(QLatin1String("name")) == QLatin1String("SlicerAxis"))
            return false;
        mResult.axisNames.append(attributes.value(QLatin1String("name")).toString());
        mResult.axisTupleCounts.append(0);
        mCurrentAxis = int(mResult.axisNames.size()) - 1;
        return true;
    case 3:
        return name == QLatin1String("Tuples");
    case 4:
        if (name == QLatin1String("Tuple") && mCurrentAxis >= 0)
            ++mResult.axisTupleCounts[mCurrentAxis];
        return false;
    default:
        return true;
    }
}

} // namespace mdx
