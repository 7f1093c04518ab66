#pragma once

#include "common/failure.h"

#include <QHash>
#include <QList>
#include <QString>

namespace mdx {

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

} // namespace mdx
