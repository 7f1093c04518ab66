#pragma once

#include "catalog/datasource.h"
#include "common/failure.h"

#include <memory>

namespace mdx::test {

// A data source made in code: it delivers the cubes and schemas it is given (a null schema
// stands for a source that delivers none), counts the requests it receives, refuses positions
// outside its cube list as real sources do, and fails at the operation it is told to fail at.
class FakeDataSource : public DataSource
{
public:
    enum class FailAt { Nothing, Cubes, CubeSchema };

    QList<CubeInfo> cubeList;
    QList<std::shared_ptr<const CubeSchema>> schemas; // by cube position
    FailAt failAt = FailAt::Nothing;
    Failure failure { qint32(0x80040E37), QStringLiteral("The fake source failed on purpose."),
                      QStringLiteral("FakeSource") };
    int cubesCalls = 0;
    QList<int> schemaCalls;

    QString catalogName() const override { return QStringLiteral("Fake"); }

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
        if (cubeIndex < 0 || cubeIndex >= cubeList.size())
            throw Failure(CatalogFailure::ItemOutOfRange, QStringLiteral("No such cube."), {});
        return schemas.value(cubeIndex);
    }
};

// A dimension with one hierarchy per list of levels, each level "Name" or "Name:member,member"
// (a measures level); each hierarchy after the first is named "Dimension.N".
inline DimensionInfo dimension(const QString &name, const QList<QStringList> &hierarchies)
{
    DimensionInfo info { name, u'[' + name + u']', {} };
    for (const QStringList &levels : hierarchies) {
        const QString hierarchy = info.hierarchies.isEmpty()
            ? name
            : name + u'.' + QString::number(info.hierarchies.size());
        info.hierarchies.append({ hierarchy, u'[' + hierarchy + u']', {} });
        for (const QString &text : levels) {
            const QString level = text.section(u':', 0, 0);
            LevelInfo &added = info.hierarchies.back().levels.emplace_back(
                LevelInfo { level, u'[' + hierarchy + QStringLiteral("].[") + level + u']', {} });
            for (const QString &member : text.section(u':', 1).split(u',', Qt::SkipEmptyParts))
                added.members.append(MemberInfo { member });
        }
    }
    return info;
}

// Cubes "Sales" (Measures: Units, Profit; Store: (All), Country, and a second hierarchy
// without levels), a second "Sales" without a schema, and "Odd" (Flat, without hierarchies).
inline std::shared_ptr<FakeDataSource> salesSource()
{
    auto source = std::make_shared<FakeDataSource>();
    source->cubeList = { { "Sales", "Sales cube" }, { "Sales", {} }, { "Odd", {} } };
    auto sales = std::make_shared<CubeSchema>();
    sales->dimensions = { dimension("Measures", { { "MeasuresLevel:Units,Profit" } }),
                          dimension("Store", { { "(All)", "Country" }, {} }) };
    auto odd = std::make_shared<CubeSchema>();
    odd->dimensions = { dimension("Flat", {}) };
    source->schemas = { sales, nullptr, odd };
    return source;
}

} // namespace mdx::test
