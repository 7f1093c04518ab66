#pragma once

#include "model/failure.h"

#include <QString>

#include <optional>

namespace mdx::test {

// Runs `operation` and hands back the failure it raised, or nothing when it succeeded.
template<typename Operation> std::optional<Failure> failureOf(Operation &&operation)
{
    try {
        operation();
    } catch (const Failure &failure) {
        return failure;
    }
    return std::nullopt;
}

inline QString schemaPath(const QString &fileName)
{
    return QStringLiteral(MDX_TEST_DATA_DIR "/schemas/") + fileName;
}

} // namespace mdx::test
