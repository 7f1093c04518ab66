#include "catalog.h"

#include "common/failure.h"

#include <optional>

namespace mdx {

void failItemOutOfRange(const QString &what, int position, int count)
{
    const QString description = count == 0
        ? QStringLiteral("There is no item %1 among the %2: there are none.")
              .arg(QString::number(position), what)
        : QStringLiteral("There is no item %1 among the %2: they are numbered 0 to %3.")
              .arg(QString::number(position), what, QString::number(count - 1));
    throw Failure(CatalogFailure::ItemOutOfRange, description, FailureSource::Catalog);
}

namespace {

// A default-constructed object stands for "no object", like an unset object variable.
template<typename Info> const Info &required(const Info *info, const char *kind)
{
    if (!info)
        throw Failure(CatalogFailure::ObjectNotSet,
                      QStringLiteral("The %1 object is not set.").arg(QLatin1StringView(kind)),
                      FailureSource::Catalog);
    return *info;
}

// Wraps each child record in its object, sharing the schema that keeps the records alive.
template<typename Item, typename Info>
Collection<Item> wrapAll(const std::shared_ptr<const CubeSchema> &schema, const QList<Info> &infos,
                         QString what, const MemberOrigin &origin)
{
    QList<Item> items;
    items.reserve(infos.size());
    for (const Info &info : infos)
        items.append(Item(schema, &info, origin));
    return Collection<Item>(std::move(items), std::move(what));
}

} // namespace

Level::Level(std::shared_ptr<const CubeSchema> schema, const LevelInfo *info, MemberOrigin origin)
    : mSchema(std::move(schema))
    , mInfo(info)
    , mOrigin(std::move(origin))
{
}

QString Level::name() const
{
    return required(mInfo, "level").name;
}

QString Level::uniqueName() const
{
    return required(mInfo, "level").uniqueName;
}

Collection<Member> Level::members() const
{
    const LevelInfo &info = required(mInfo, "level");
    // The measures come with the schema, whose Measures dimension MDX names so.
    const bool listed = info.uniqueName.startsWith(u"[Measures].") || !mOrigin.source;
    const QList<MemberInfo> infos = listed
        ? info.members
        : mOrigin.source->members(mOrigin.cube, MemberQuery { info.uniqueName, {} });
    QList<Member> members;
    members.reserve(infos.size());
    for (const MemberInfo &member : infos)
        members.append(Member(member));
    return Collection<Member>(std::move(members),
                              QStringLiteral("members of level %1").arg(info.uniqueName));
}

Hierarchy::Hierarchy(std::shared_ptr<const CubeSchema> schema, const HierarchyInfo *info,
                     MemberOrigin origin)
    : mSchema(std::move(schema))
    , mInfo(info)
    , mOrigin(std::move(origin))
{
}

QString Hierarchy::name() const
{
    return required(mInfo, "hierarchy").name;
}

QString Hierarchy::uniqueName() const
{
    return required(mInfo, "hierarchy").uniqueName;
}

Collection<Level> Hierarchy::levels() const
{
    const HierarchyInfo &info = required(mInfo, "hierarchy");
    return wrapAll<Level>(mSchema, info.levels,
                          QStringLiteral("levels of hierarchy %1").arg(info.uniqueName), mOrigin);
}

Dimension::Dimension(std::shared_ptr<const CubeSchema> schema, const DimensionInfo *info,
                     MemberOrigin origin)
    : mSchema(std::move(schema))
    , mInfo(info)
    , mOrigin(std::move(origin))
{
}

QString Dimension::name() const
{
    return required(mInfo, "dimension").name;
}

QString Dimension::uniqueName() const
{
    return required(mInfo, "dimension").uniqueName;
}

Collection<Hierarchy> Dimension::hierarchies() const
{
    const DimensionInfo &info = required(mInfo, "dimension");
    return wrapAll<Hierarchy>(mSchema, info.hierarchies,
                              QStringLiteral("hierarchies of dimension %1").arg(info.uniqueName),
                              mOrigin);
}

CubeDef::CubeDef(std::shared_ptr<DataSource> source, int position, CubeInfo info)
    : mSource(std::move(source))
    , mPosition(position)
    , mInfo(std::move(info))
{
}

Collection<Dimension> CubeDef::dimensions() const
{
    if (!mSource)
        throw Failure(CatalogFailure::ObjectNotSet,
                      QStringLiteral("The cube definition object is not set."),
                      FailureSource::Catalog);
    const std::shared_ptr<const CubeSchema> schema = mSource->cubeSchema(mPosition);
    if (!schema)
        throw Failure(CatalogFailure::InvalidSchema,
                      QStringLiteral("The data source delivered no schema for the cube \"%1\".")
                          .arg(mInfo.name),
                      FailureSource::Catalog);
    return wrapAll<Dimension>(schema, schema->dimensions,
                              QStringLiteral("dimensions of cube \"%1\"").arg(mInfo.name),
                              MemberOrigin { mSource, mPosition });
}

QList<MemberInfo> CubeDef::members(const MemberQuery &query) const
{
    if (!mSource)
        throw Failure(CatalogFailure::ObjectNotSet,
                      QStringLiteral("The cube definition object is not set."),
                      FailureSource::Catalog);
    return mSource->members(mPosition, query);
}

struct Catalog::Data
{
    std::optional<Connection> connection;
    std::optional<CubeDefs> cubeDefs; // listed once per binding
};

Catalog::Catalog()
    : d(std::make_shared<Data>())
{
}

void Catalog::setActiveConnection(const Connection &connection)
{
    if (!connection.isOpen())
        throw Failure(CatalogFailure::NotOpen,
                      QStringLiteral("The catalog cannot use a connection that is not open."),
                      FailureSource::Catalog);
    d->connection = connection;
    d->cubeDefs.reset();
}

CubeDefs Catalog::cubeDefs() const
{
    if (!d->connection)
        throw Failure(CatalogFailure::NotOpen,
                      QStringLiteral("The catalog has no active connection."),
                      FailureSource::Catalog);
    if (!d->cubeDefs) {
        const std::shared_ptr<DataSource> source = d->connection->dataSource();
        const QList<CubeInfo> cubes = source->cubes();
        QList<CubeDef> defs;
        defs.reserve(cubes.size());
        for (int i = 0; i < cubes.size(); ++i)
            defs.append(CubeDef(source, i, cubes.at(i)));
        d->cubeDefs = CubeDefs(
            std::move(defs), QStringLiteral("cubes of catalog \"%1\"").arg(source->catalogName()));
    }
    return *d->cubeDefs;
}

QueryResult Catalog::execute(const QString &statement) const
{
    if (!d->connection)
        throw Failure(CatalogFailure::NotOpen,
                      QStringLiteral("The catalog has no active connection."),
                      FailureSource::Catalog);
    return d->connection->dataSource()->execute(statement);
}

} // namespace mdx
