#pragma once

#include "common/failure.h"

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

} // namespace mdx
