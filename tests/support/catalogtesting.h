#pragma once

#include "catalog/catalog.h"
#include "common/failure.h"

#include <QStringList>
#include <QTest>

#include <optional>

namespace mdx::test {

// The failure `operation` raised, or nothing when it succeeded.
template<typename Operation> std::optional<Failure> failureOf(Operation &&operation)
{
    try {
        operation();
    } catch (const Failure &failure) {
        return failure;
    }
    return std::nullopt;
}

// The failure of opening a connection with this string; a connection left open by a failed
// open counts as a fault of its own.
inline std::optional<Failure> openFailure(const QString &connectionString)
{
    Connection connection;
    const auto failure = failureOf([&] { connection.open(connectionString); });
    if (failure && connection.isOpen())
        return Failure(0, QStringLiteral("left open: ") + failure->description(), {});
    return failure;
}

inline QString schemaPath(const QString &fileName)
{
    return QStringLiteral(MDX_TEST_DATA_DIR "/schemas/") + fileName;
}

// One line per hierarchy: "[Dimension] [Hierarchy]: Level; Level = member, member"; a
// dimension without hierarchies reads "[Dimension] -".
inline QStringList outline(const CubeSchema &schema)
{
    QStringList lines;
    for (const DimensionInfo &d : schema.dimensions) {
        if (d.hierarchies.isEmpty())
            lines << d.uniqueName + QStringLiteral(" -");
        for (const HierarchyInfo &h : d.hierarchies) {
            QStringList levels;
            for (const LevelInfo &l : h.levels) {
                QStringList members;
                for (const MemberInfo &m : l.members)
                    members << m.name;
                levels << (members.isEmpty() ? l.name : l.name + " = " + members.join(u", "));
            }
            lines << d.uniqueName + u' ' + h.uniqueName + QStringLiteral(": ") + levels.join(u"; ");
        }
    }
    return lines;
}

} // namespace mdx::test

// The failure (an std::optional<mdx::Failure>) has `code` and a description holding `part`.
#define VERIFY_FAILURE(failure_, code_, part_)                                                     \
    do {                                                                                           \
        const std::optional<mdx::Failure> f_ = (failure_);                                         \
        QVERIFY2(                                                                                  \
            f_ && f_->code() == (code_) && f_->description().contains(part_),                      \
            f_ ? qPrintable(QString::number(quint32(f_->code()), 16) + u' ' + f_->description())   \
               : "nothing failed");                                                                \
    } while (false)
