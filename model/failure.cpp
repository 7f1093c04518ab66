#include "failure.h"

namespace mdx {

Failure::Failure(qint32 code, QString description, QString source)
    : mCode(code)
    , mDescription(std::move(description))
    , mSource(std::move(source))
    , mWhat((mSource + QStringLiteral(": ") + mDescription).toUtf8())
{
}

} // namespace mdx
