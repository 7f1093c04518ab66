#pragma once

// What each fuzz target checks besides the sanitizers: any other exception than mdx::Failure
// escapes the target and ends the run, and so does a failure that does not say what went
// wrong and where.
#include "common/failure.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace mdx::fuzz {

[[noreturn]] inline void finding(const char *what, const QString &detail)
{
    std::fprintf(stderr, "finding: %s\n%s\n", what, qPrintable(detail));
    std::abort();
}

// A server's fault may carry the code 0; the program's own failures never do.
inline void checkFailure(const Failure &failure, bool serverCode = false)
{
    if ((failure.code() == 0 && !serverCode) || failure.description().trimmed().isEmpty()
        || failure.source().trimmed().isEmpty())
        finding("a failure without a code, a description or a source",
                QStringLiteral("%1|%2|%3")
                    .arg(failure.code())
                    .arg(failure.description(), failure.source()));
}

// The target itself, given the input; a failure it raises ends the input.
int run(const QByteArray &input);

} // namespace mdx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        return mdx::fuzz::run(
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const mdx::Failure &failure) {
        mdx::fuzz::checkFailure(failure);
    }
    return 0;
}
