#include "xmlafault.h"

namespace mdx {

XmlaFault::XmlaFault(qint32 code, QString description, QString source, QString faultCode,
                     QString errorCode)
    : Failure(code, std::move(description), std::move(source))
    , mFaultCode(std::move(faultCode))
    , mErrorCode(std::move(errorCode))
{
}

} // namespace mdx
