#pragma once

#include "queryresult.h"

#include <QList>
#include <QString>

#include <memory>

namespace mdx {

class WaitIndicator;

// Plain metadata as a data source delivers it. The object model (catalog.h) wraps these.
struct MemberInfo
{
    // Most members are measures, known by their names alone.
    MemberInfo(QString name = {}, QString uniqueName = {}, int childCount = 0)
        : name(std::move(name))
        , uniqueName(std::move(uniqueName))
        , childCount(childCount)
    {
    }
    QString name;
    QString uniqueName; // as the source names it; empty for a schema file's measures
    int childCount = 0; // as the source estimates it; 0 for a leaf
};

struct LevelInfo
{
    QString name;
    QString uniqueName;
    // Filled for the Measures level only: other levels' members are the source's to list when
    // asked.
    QList<MemberInfo> members;
};

// Which members to list: those of a level, or the children of a member.
struct MemberQuery
{
    QString levelUniqueName;
    QString parentUniqueName; // when set, the level is not used
};

struct HierarchyInfo
{
    QString name;
    QString uniqueName;
    QList<LevelInfo> levels;
};

struct DimensionInfo
{
    QString name;
    QString uniqueName;
    QList<HierarchyInfo> hierarchies;
};

struct CubeSchema
{
    QList<DimensionInfo> dimensions; // definition order, Measures included
};

struct CubeInfo
{
    QString name;
    QString description;
};

// One open catalog behind a Connection: the embedded sample, a schema file, or a server.
// Every operation may throw mdx::Failure.
class DataSource
{
public:
    virtual ~DataSource() = default;

    virtual QString catalogName() const = 0;
    // The cube list, in the source's order.
    virtual QList<CubeInfo> cubes() = 0;
    // A cube's dimensions; read when first asked for and kept for the connection.
    virtual std::shared_ptr<const CubeSchema> cubeSchema(int cubeIndex) = 0;
    // Requests sent to a server so far (0 for sources that send none); for measuring.
    virtual int requestCount() const { return 0; }
    // Only a source that waits for a server shows its waits.
    virtual void setWaitIndicator(std::shared_ptr<WaitIndicator>) { }
    // The members a query asks for, in the source's order. Sources that only describe cubes
    // fail with CatalogFailure::ListsNoMembers, whose description tells the user where
    // members are found.
    virtual QList<MemberInfo> members(int cubeIndex, const MemberQuery &query);
    // Runs a statement on the catalog's data. Sources that only describe cubes fail with
    // CatalogFailure::HoldsNoData, whose description tells the user where data is found.
    virtual QueryResult execute(const QString &statement);
};

} // namespace mdx
