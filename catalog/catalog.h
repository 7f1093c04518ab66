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
    explicit Member(QString name)
        : mName(std::move(name))
    {
    }
    QString name() const { return mName; }

private:
    QString mName;
};

class Level
{
public:
    Level() = default;
    Level(std::shared_ptr<const CubeSchema> schema, const LevelInfo *info);
    QString name() const;
    QString uniqueName() const;
    Collection<Member> members() const;

private:
    std::shared_ptr<const CubeSchema> mSchema; // keeps mInfo alive
    const LevelInfo *mInfo = nullptr;
};

class Hierarchy
{
public:
    Hierarchy() = default;
    Hierarchy(std::shared_ptr<const CubeSchema> schema, const HierarchyInfo *info);
    QString name() const;
    QString uniqueName() const;
    Collection<Level> levels() const;

private:
    std::shared_ptr<const CubeSchema> mSchema;
    const HierarchyInfo *mInfo = nullptr;
};

class Dimension
{
public:
    Dimension() = default;
    Dimension(std::shared_ptr<const CubeSchema> schema, const DimensionInfo *info);
    QString name() const;
    QString uniqueName() const;
    Collection<Hierarchy> hierarchies() const;

private:
    std::shared_ptr<const CubeSchema> mSchema;
    const DimensionInfo *mInfo = nullptr;
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
