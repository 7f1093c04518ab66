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

void XmlaRowsetPart::keepColumns(const QStringList &columns)
{
    mKeepAll = columns.isEmpty();
    mRowset.columns = columns;
    mNames.clear();
    for (const QString &column : columns)
        mNames.append(column.toUtf8());
}

// Rows list their columns in one order: the neighbour of the last one is tried first.
qsizetype XmlaRowsetPart::columnOf(const char *name)
{
    const qsizetype next = mLastColumn + 1;
    if (next < mNames.size() && mNames.at(next) == name)
        return next;
    for (qsizetype i = 0; i < mNames.size(); ++i) {
        if (mNames.at(i) == name)
            return i;
    }
    if (!mKeepAll)
        return -1;
    mNames.append(QByteArray(name));
    mRowset.columns.append(QString::fromUtf8(name));
    return mNames.size() - 1;
}

bool XmlaRowsetPart::start(const char *ns, const char *name, int level)
{
    if (level == 1) {
        if (!ns || XmlaNamespace::Rowset != QLatin1String(ns) || qstrcmp(name, "row") != 0)
            return false; // the inline xsd:schema, and anything we do not know
        mInRow = true;
        mLastColumn = -1;
        mRow = XmlaRowset::Row(mKeepAll ? 0 : mNames.size());
    } else if (level == 2 && mInRow) {
        mColumn = columnOf(name);
        if (mColumn >= 0) {
            mText.clear();
            mColumnLevel = level;
            mLastColumn = mColumn;
        }
    }
    return true;
}

void XmlaRowsetPart::end(int level)
{
    if (mColumnLevel > 0 && level == mColumnLevel) {
        if (mRow.size() <= mColumn)
            mRow.resize(mColumn + 1);
        // A column given twice keeps its first value; an empty one is present, not null.
        QString &value = mRow[mColumn];
        if (value.isNull())
            value = mText.isEmpty() ? QStringLiteral("") : QString::fromUtf8(mText);
        mColumnLevel = 0;
    } else if (mInRow && level == 1) {
        mInRow = false;
        if (mSink)
            mSink(std::move(mRow));
        else
            mRowset.rows.append(std::move(mRow));
        mRow = {};
    }
}

void XmlaRowsetPart::text(const char *text, int length)
{
    if (mColumnLevel > 0)
        mText.append(text, length);
}

// ---- Result: <Axes><Axis name=".."><Tuples><Tuple><Member><Caption/>...</Member>...</Tuple>
// </Tuples></Axis></Axes> and <CellData><Cell CellOrdinal=".."><Value/><FmtValue/></Cell>
// </CellData>. Axes come before the cells, so the grid's size is known when cells arrive.

namespace {

bool isNumberType(QStringView type)
{
    static const QStringList numbers { "double",       "float",         "decimal",
                                       "int",          "integer",       "long",
                                       "short",        "byte",          "unsignedInt",
                                       "unsignedLong", "unsignedShort", "unsignedByte" };
    const qsizetype colon = type.indexOf(u':');
    return numbers.contains(type.mid(colon + 1).toString());
}

const QString XsiNamespace = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

} // namespace

bool XmlaResultPart::start(QStringView ns, QStringView name, QStringView parentName,
                           const QXmlStreamAttributes &attributes, int level)
{
    switch (level) {
    case 1: // OlapInfo, and anything we do not know, is skipped
        if (ns == XmlaNamespace::Dataset && name == QLatin1String("CellData"))
            layOut();
        return ns == XmlaNamespace::Dataset
            && (name == QLatin1String("Axes") || name == QLatin1String("CellData"));
    case 2:
        if (parentName == QLatin1String("CellData"))
            return name == QLatin1String("Cell") && startCell(attributes);
        if (name != QLatin1String("Axis"))
            return false;
        mInSlicer = attributes.value(QLatin1String("name")) == QLatin1String("SlicerAxis");
        mCurrentAxis = -1;
        if (!mInSlicer) {
            mResult.axisNames.append(attributes.value(QLatin1String("name")).toString());
            mResult.axisTupleCounts.append(0);
            mResult.axisTuples.append(QList<QStringList>());
            mCurrentAxis = int(mResult.axisNames.size()) - 1;
        }
        return true;
    case 3:
        if (parentName == QLatin1String("Cell")) {
            if (name == QLatin1String("Value")) {
                mCell.numeric = isNumberType(attributes.value(XsiNamespace, QLatin1String("type")));
                capture(&mCell.value, level);
            } else if (name == QLatin1String("FmtValue")) {
                capture(&mCell.formattedValue, level);
            }
            return mCapture != nullptr;
        }
        return name == QLatin1String("Tuples");
    case 4:
        if (parentName == QLatin1String("Value")) {
            // <Value><Error><ErrorCode/><Description/></Error></Value>: a cell in error.
            mCell.failed = mCell.failed || name == QLatin1String("Error");
            mCell.value.clear();
            mCapture = nullptr;
            return mCell.failed;
        }
        return name == QLatin1String("Tuple") && startTuple();
    case 5:
        if (parentName == QLatin1String("Error")) {
            if (name == QLatin1String("Description"))
                capture(&mCell.errorDescription, level);
            return mCapture != nullptr;
        }
        mCaption.clear();
        mUniqueName.clear();
        return name == QLatin1String("Member");
    case 6:
        if (name == QLatin1String("Caption"))
            capture(&mCaption, level);
        else if (name == QLatin1String("UName"))
            capture(&mUniqueName, level);
        return mCapture != nullptr;
    default:
        return true;
    }
}

// Counts every tuple; keeps the members of the ones a grid can show.
bool XmlaResultPart::startTuple()
{
    mTuple.clear();
    if (mInSlicer)
        return true;
    if (mCurrentAxis < 0)
        return false;
    return ++mResult.axisTupleCounts[mCurrentAxis] <= XmlaExecuteResult::MaxCells;
}

bool XmlaResultPart::startCell(const QXmlStreamAttributes &attributes)
{
    ++mResult.cellCount;
    layOut();
    bool ok = false;
    const qint64 given = attributes.value(QLatin1String("CellOrdinal")).toLongLong(&ok);
    const qint64 ordinal = ok ? given : mNextOrdinal;
    mNextOrdinal = ordinal + 1;
    const qint64 columns = mResult.totalColumns();
    mCellIndex = -1;
    if (columns <= 0 || ordinal < 0)
        return false;
    const qint64 row = ordinal / columns, column = ordinal % columns;
    if (row >= mResult.shownRows || column >= mResult.shownColumns)
        return false; // beyond what is kept: counted, never read
    mCellIndex = row * mResult.shownColumns + column;
    mCell = XmlaCell();
    return true;
}

void XmlaResultPart::capture(QString *into, int level)
{
    into->clear();
    mCapture = into;
    mCaptureLevel = level;
}

void XmlaResultPart::end(int level)
{
    if (mCapture && level == mCaptureLevel) {
        mCapture = nullptr;
        return;
    }
    switch (level) {
    case 5: // a member: its caption, or its unique name if it has none
        if (mInSlicer || mCurrentAxis >= 0)
            mTuple.append(mCaption.isEmpty() ? mUniqueName : mCaption);
        break;
    case 4:
        if (mCellIndex >= 0)
            break; // the error inside a cell's value
        if (mInSlicer)
            mResult.slicer.append(mTuple);
        else if (mCurrentAxis >= 0)
            mResult.axisTuples[mCurrentAxis].append(mTuple);
        break;
    case 2:
        if (mCellIndex >= 0 && mCellIndex < mResult.cells.size())
            mResult.cells[mCellIndex] = std::move(mCell);
        mCellIndex = -1;
        mInSlicer = false;
        mCurrentAxis = -1;
        break;
    default:
        break;
    }
}

void XmlaResultPart::text(QStringView text)
{
    if (mCapture)
        mCapture->append(text);
}

// The kept grid: all columns up to the cell limit, then as many rows as fit beside them.
void XmlaResultPart::layOut()
{
    if (mLaidOut)
        return;
    mLaidOut = true;
    constexpr int limit = XmlaExecuteResult::MaxCells;
    XmlaExecuteResult &r = mResult;
    r.shownColumns = std::min(r.totalColumns(), limit);
    r.shownRows = r.shownColumns == 0
        ? std::min(r.totalRows(), limit)
        : std::min(r.totalRows(), std::max(1, limit / r.shownColumns));
    if (!r.axisTuples.isEmpty())
        r.axisTuples[0].resize(std::min<qsizetype>(r.axisTuples[0].size(), r.shownColumns));
    if (r.axisTuples.size() > 1)
        r.axisTuples[1].resize(std::min<qsizetype>(r.axisTuples[1].size(), r.shownRows));
    for (qsizetype i = 2; i < r.axisTuples.size(); ++i)
        r.axisTuples[i].clear();
    r.cells.resize(qsizetype(r.shownColumns) * r.shownRows);
}

} // namespace mdx
