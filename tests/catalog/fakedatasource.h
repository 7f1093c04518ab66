#pragma once

#include "catalog/datasource.h"
#include "common/failure.h"

#include <QList>
#include <QString>

#include <memory>

namespace mdx::test {

// A data source made in code: it delivers the cubes and schemas it is given, counts the
// requests it receives, and fails at the operation it is told to fail at.
class FakeDataSource : public DataSource
{
public:
    enum class FailAt { Nothing, Cubes, CubeSchema };

    QString name = QStringLiteral("Fake");
    QList<CubeInfo> cubeList;
    QList<std::shared_ptr<const CubeSchema>> schemas; // by cube position
    FailAt failAt = FailAt::Nothing;
    Failure failure { qint32(0x80040E37), QStringLiteral("The fake source failed on purpose."),
                      QStringLiteral("FakeSource") };
    int cubesCalls = 0;
    QList<int> schemaCalls;

    QString catalogName() const override { return name; }

    QList<CubeInfo> cubes() override
    {
        ++cubesCalls;
        if (failAt == FailAt::Cubes)
            throw failure;
        return cubeList;
    }

    std::shared_ptr<const CubeSchema> cubeSchema(int cubeIndex) override
    {
        schemaCalls.append(cubeIndex);
        if (failAt == FailAt::CubeSchema)
            throw failure;
        return schemas.value(cubeIndex);
    }
};

inline LevelInfo level(const QString &name, const QString &uniqueName,
                       const QStringList &members = {})
{
    LevelInfo info { name, uniqueName, {} };
    for (const QString &member : members)
        info.members.append(MemberInfo { member });
    return info;
}

} // namespace mdx::test
