#pragma once

#include "catalog/catalog.h"
#include "common/failure.h"

#include <QString>
#include <QStringList>
#include <QTest>

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

// The failure of opening a connection with this string; a connection left open by a failed
// open counts as a fault of its own.
inline std::optional<Failure> openFailure(const QString &connectionString,
                                          const QString &password = {})
{
    Connection connection;
    auto failure = failureOf([&] { connection.open(connectionString, QString(), password); });
    if (failure && connection.isOpen())
        return Failure(0, QStringLiteral("left open: ") + failure->description(), {});
    return failure;
}

// What is wrong with `failure` when a failure with `code` whose description holds `part`
// was wanted; empty when nothing is.
inline QString mismatch(const std::optional<Failure> &failure, qint32 code, const QString &part)
{
    if (!failure)
        return QStringLiteral("nothing failed");
    if (failure->code() == code && failure->description().contains(part))
        return {};
    return QStringLiteral("code %1 (wanted %2), \"%3\" (wanted a part \"%4\")")
        .arg(QString::number(quint32(failure->code()), 16), QString::number(quint32(code), 16),
             failure->description(), part);
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
                levels << l.name
                        + (members.isEmpty() ? QString()
                                             : QStringLiteral(" = ") + members.join(u", "));
            }
            lines << d.uniqueName + u' ' + h.uniqueName + QStringLiteral(": ") + levels.join(u"; ");
        }
    }
    return lines;
}

} // namespace mdx::test

// The failure (an std::optional<mdx::Failure>) has `code` and a description holding `part`.
#define VERIFY_FAILURE(failure, code, part)                                                        \
    do {                                                                                           \
        const QString wrong_ = mdx::test::mismatch(failure, code, part);                           \
        QVERIFY2(wrong_.isEmpty(), qPrintable(wrong_));                                            \
    } while (false)
