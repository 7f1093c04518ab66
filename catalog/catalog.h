#pragma once

#include "connection.h"
#include "datasource.h"

#include <QString>

#include <memory>

namespace mdx {

// A read-only, 0-based collection whose item() fails rather than misbehaves when the
// position is outside it.
template<typename T> class Collection
{
public:
    Collection() = default;
    explicit Collection(QList<T> items, QString what)
        : mItems(std::move(items))
        , mWhat(std::move(what))
    {
    }

    int count() const { return int(mItems.size()); }
    T item(int position) const;

    auto begin() const { return mItems.cbegin(); }
    auto end() const { return mItems.cend(); }

private:
    QList<T> mItems;
    QString mWhat;
};

[[noreturn]] void failItemOutOfRange(const QString &what, int position, int count);

template<typename T> T Collection<T>::item(int position) const
{
    if (position < 0 || position >= mItems.size())
        failItemOutOfRange(mWhat, position, int(mItems.size()));
    return mItems.at(position);
}

class Member
{
public:
    Member() = default;
    explicit Member(MemberInfo info)
        : mInfo(std::move(info))
    {
    }
    QString name() const { return mInfo.name; }
    QString uniqueName() const { return mInfo.uniqueName; }
    int childCount() const { return mInfo.childCount; }

private:
    MemberInfo mInfo;
};

// The source and cube a level asks for the members its schema does not list.
struct MemberOrigin
{
    std::shared_ptr<DataSource> source;
    int cube = -1;
};

class Level
{
public:
    Level() = default;
    Level(std::shared_ptr<const CubeSchema> schema, const LevelInfo *info,
          MemberOrigin origin = {});
    QString name() const;
    QString uniqueName() const;
    // The measures as the schema lists them; any other level's members are asked of the
    // source, which may throw (a source without members does).
    Collection<Member> members() const;

private:
    std::shared_ptr<const CubeSchema> mSchema; // keeps mInfo alive
    const LevelInfo *mInfo = nullptr;
    MemberOrigin mOrigin;
};

class Hierarchy
{
public:
    Hierarchy() = default;
    Hierarchy(std::shared_ptr<const CubeSchema> schema, const HierarchyInfo *info,
              MemberOrigin origin = {});
    QString name() const;
    QString uniqueName() const;
    Collection<Level> levels() const;

private:
    std::shared_ptr<const CubeSchema> mSchema;
    const HierarchyInfo *mInfo = nullptr;
    MemberOrigin mOrigin;
};

class Dimension
{
public:
    Dimension() = default;
    Dimension(std::shared_ptr<const CubeSchema> schema, const DimensionInfo *info,
              MemberOrigin origin = {});
    QString name() const;
    QString uniqueName() const;
    Collection<Hierarchy> hierarchies() const;

private:
    std::shared_ptr<const CubeSchema> mSchema;
    const DimensionInfo *mInfo = nullptr;
    MemberOrigin mOrigin;
};

class CubeDef
{
public:
    CubeDef() = default;
    CubeDef(std::shared_ptr<DataSource> source, int position, CubeInfo info);
    QString name() const { return mInfo.name; }
    QString description() const { return mInfo.description; }
    // Reads the cube's schema from the source on first use; may throw.
    Collection<Dimension> dimensions() const;
    // The members of one of the cube's levels, or a member's children; may throw.
    QList<MemberInfo> members(const MemberQuery &query) const;

private:
    std::shared_ptr<DataSource> mSource;
    int mPosition = -1;
    CubeInfo mInfo;
};

using CubeDefs = Collection<CubeDef>;

// The multidimensional catalog bound to a connection. Copies share one catalog.
class Catalog
{
public:
    Catalog();
    // Binds to the connection object itself (not to its string). Throws if it is closed.
    void setActiveConnection(const Connection &connection);
    // Throws when no connection is bound or the source cannot list its cubes.
    CubeDefs cubeDefs() const;
    // Runs a statement on the bound connection's source; throws its failure.
    QueryResult execute(const QString &statement) const;

private:
    struct Data;
    std::shared_ptr<Data> d;
};

} // namespace mdx
