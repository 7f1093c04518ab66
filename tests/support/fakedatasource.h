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

// Cubes "Sales" (Measures: Units, Profit; Store: (All), Country, and a second hierarchy
// without levels), a second "Sales" without a schema, and "Odd" (Flat, without hierarchies).
inline std::shared_ptr<FakeDataSource> salesSource()
{
    auto source = std::make_shared<FakeDataSource>();
    source->cubeList = { { "Sales", "Sales cube" }, { "Sales", {} }, { "Odd", {} } };
    const LevelInfo measures { "MeasuresLevel",
                               "[Measures].[MeasuresLevel]",
                               { { "Units" }, { "Profit" } } };
    const LevelInfo all { "(All)", "[Store].[(All)]", {} },
        country { "Country", "[Store].[Country]", {} };
    source->schemas = {
        std::make_shared<CubeSchema>(CubeSchema { {
            { "Measures", "[Measures]", { { "Measures", "[Measures]", { measures } } } },
            { "Store",
              "[Store]",
              { { "Store", "[Store]", { all, country } }, { "Store.1", "[Store.1]", {} } } },
        } }),
        nullptr,
        std::make_shared<CubeSchema>(CubeSchema { { { "Flat", "[Flat]", {} } } }),
    };
    return source;
}

} // namespace mdx::test
