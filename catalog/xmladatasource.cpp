#include "xmladatasource.h"

#include "connectionstring.h"
#include "failurecodes.h"

#include <algorithm>
#include <climits>

namespace mdx {

namespace {

const QString CatalogName = QStringLiteral("CATALOG_NAME");
const QString CubeName = QStringLiteral("CUBE_NAME");

// Catalog lists in a message are for reading, not for scrolling.
constexpr int MaxListedCatalogs = 20;

[[noreturn]] void fail(qint32 code, const QString &description)
{
    throw XmlaFault(code, description, XmlaSource, QString(), QString());
}

class Rows
{
public:
    Rows(const XmlaRowset &rowset, QString requestType)
        : mRowset(rowset)
        , mRequestType(std::move(requestType))
    {
    }

    const QList<XmlaRow> &rows() const { return mRowset.rows; }

    QString text(const XmlaRow &row, const QString &column) const
    {
        const auto it = row.constFind(column);
        if (it == row.constEnd())
            fail(XmlaFailure::MissingColumn,
                 QStringLiteral("The server's %1 answer lacks the column %2, which this program "
                                "needs.")
                     .arg(mRequestType, column));
        return *it;
    }

    QString optionalText(const XmlaRow &row, const QString &column) const
    {
        return row.value(column);
    }

    // A missing optional number sorts after all given ones, keeping the server's order.
    int number(const XmlaRow &row, const QString &column, bool required) const
    {
        const auto it = row.constFind(column);
        if (it == row.constEnd()) {
            if (required)
                text(row, column); // throws
            return INT_MAX;
        }
        bool ok = false;
        const int value = it->trimmed().toInt(&ok);
        if (!ok)
            fail(XmlaFailure::BadValue,
                 QStringLiteral("The server's %1 answer holds \"%2\" in the column %3, where a "
                                "number belongs.")
                     .arg(mRequestType, it->left(40), column));
        return value;
    }

private:
    const XmlaRowset &mRowset;
    QString mRequestType;
};

template<typename T> void sortByOrdinal(QList<std::pair<int, T>> &items)
{
    std::stable_sort(items.begin(), items.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
}

} // namespace

XmlaDataSource::XmlaDataSource(XmlaSettings settings)
    : mClient(std::move(settings))
{
}

std::shared_ptr<XmlaDataSource> XmlaDataSource::open(const ConnectionString &connection)
{
    XmlaSettings settings;
    settings.url = QUrl(connection.dataSource);
    settings.userId = connection.userId;
    settings.password = connection.password;
    if (connection.connectTimeout >= 0)
        settings.timeoutSeconds = connection.connectTimeout;
    return open(std::move(settings), connection.initialCatalog);
}

std::shared_ptr<XmlaDataSource> XmlaDataSource::open(XmlaSettings settings, const QString &catalog)
{
    std::shared_ptr<XmlaDataSource> source(new XmlaDataSource(std::move(settings)));
    XmlaClient &client = source->mClient;
    const XmlaRowset answer
        = client.discover(XmlaDiscover { QStringLiteral("DBSCHEMA_CATALOGS"), {}, {} },
                          QStringLiteral("Connecting to %1…").arg(client.displayUrl()));
    const Rows rows(answer, QStringLiteral("DBSCHEMA_CATALOGS"));
    QStringList names;
    for (const XmlaRow &row : rows.rows())
        names.append(rows.text(row, CatalogName));
    if (names.isEmpty())
        fail(XmlaFailure::NoCatalog,
             QStringLiteral("The server at %1 has no catalogs.").arg(client.displayUrl()));

    const QString wanted = catalog.trimmed();
    if (wanted.isEmpty()) {
        source->mCatalog = names.constFirst();
        return source;
    }
    for (const QString &name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
            source->mCatalog = name; // the server's spelling from here on
            return source;
        }
    }
    QStringList listed = names.mid(0, MaxListedCatalogs);
    if (names.size() > MaxListedCatalogs)
        listed.append(QStringLiteral("and %1 more").arg(names.size() - MaxListedCatalogs));
    fail(XmlaFailure::UnknownCatalog,
         QStringLiteral("The server at %1 has no catalog \"%2\". Its catalogs: %3.")
             .arg(client.displayUrl(), wanted, listed.join(QStringLiteral(", "))));
}

XmlaParameters XmlaDataSource::catalogProperty() const
{
    return { { QStringLiteral("Catalog"), mCatalog } };
}

QList<CubeInfo> XmlaDataSource::cubes()
{
    if (mCubes)
        return *mCubes;
    XmlaParameters properties = catalogProperty();
    properties.append({ QStringLiteral("Format"), QStringLiteral("Tabular") });
    const XmlaRowset answer = mClient.discover(
        XmlaDiscover {
            QStringLiteral("MDSCHEMA_CUBES"), { { CatalogName, mCatalog } }, properties },
        QStringLiteral("Reading the cubes of %1…").arg(mCatalog));
    const Rows rows(answer, QStringLiteral("MDSCHEMA_CUBES"));
    QList<CubeInfo> cubes;
    for (const XmlaRow &row : rows.rows()) {
        // A server that ignores the restriction still says which catalog a row is of.
        const QString rowCatalog = rows.optionalText(row, CatalogName);
        if (!rowCatalog.isEmpty() && rowCatalog.compare(mCatalog, Qt::CaseInsensitive) != 0)
            continue;
        // Some servers list every dimension as a cube of its own (CUBE_SOURCE 2); those are
        // not cubes a statement is written for.
        if (rows.optionalText(row, QStringLiteral("CUBE_SOURCE")).trimmed() == QLatin1String("2"))
            continue;
        cubes.append(CubeInfo { rows.text(row, CubeName),
                                rows.optionalText(row, QStringLiteral("DESCRIPTION")) });
    }
    mCubes = cubes;
    return cubes;
}

std::shared_ptr<const CubeSchema> XmlaDataSource::cubeSchema(int cubeIndex)
{
    if (const auto cached = mSchemas.value(cubeIndex))
        return cached;
    const QList<CubeInfo> list = cubes();
    if (cubeIndex < 0 || cubeIndex >= list.size())
        fail(CatalogFailure::ItemOutOfRange,
             QStringLiteral("There is no cube at position %1; the catalog has %2.")
                 .arg(cubeIndex)
                 .arg(list.size()));
    const QString cube = list.at(cubeIndex).name;

    const XmlaParameters restrictions { { CatalogName, mCatalog }, { CubeName, cube } };
    XmlaParameters properties = catalogProperty();
    properties.append({ QStringLiteral("Format"), QStringLiteral("Tabular") });
    // The measures are the members of the Measures dimension, whose unique name MDX fixes.
    XmlaParameters memberRestrictions = restrictions;
    memberRestrictions.append(
        { QStringLiteral("DIMENSION_UNIQUE_NAME"), QStringLiteral("[Measures]") });
    const QList<XmlaRowset> answers = mClient.discover(
        {
            XmlaDiscover { QStringLiteral("MDSCHEMA_DIMENSIONS"), restrictions, properties },
            XmlaDiscover { QStringLiteral("MDSCHEMA_HIERARCHIES"), restrictions, properties },
            XmlaDiscover { QStringLiteral("MDSCHEMA_LEVELS"), restrictions, properties },
            XmlaDiscover { QStringLiteral("MDSCHEMA_MEMBERS"), memberRestrictions, properties },
        },
        QStringLiteral("Reading the cube \"%1\"…").arg(cube));
    if (answers.at(0).rows.isEmpty())
        fail(XmlaFailure::BadValue,
             QStringLiteral("The server lists no dimensions for the cube \"%1\"; has it been "
                            "removed since the cube list was read?")
                 .arg(cube));
    auto schema = std::make_shared<const CubeSchema>(
        buildSchema(answers.at(0), answers.at(1), answers.at(2), answers.at(3)));
    mSchemas.insert(cubeIndex, schema);
    return schema;
}

CubeSchema XmlaDataSource::buildSchema(const XmlaRowset &dimensions, const XmlaRowset &hierarchies,
                                       const XmlaRowset &levels, const XmlaRowset &members)
{
    const Rows dimensionRows(dimensions, QStringLiteral("MDSCHEMA_DIMENSIONS"));
    const Rows hierarchyRows(hierarchies, QStringLiteral("MDSCHEMA_HIERARCHIES"));
    const Rows levelRows(levels, QStringLiteral("MDSCHEMA_LEVELS"));
    const Rows memberRows(members, QStringLiteral("MDSCHEMA_MEMBERS"));
    const QString dimensionUnique = QStringLiteral("DIMENSION_UNIQUE_NAME");
    const QString hierarchyUnique = QStringLiteral("HIERARCHY_UNIQUE_NAME");
    const QString levelUnique = QStringLiteral("LEVEL_UNIQUE_NAME");

    // Members by level, by MEMBER_ORDINAL (servers that leave it out keep their own order).
    QHash<QString, QList<std::pair<int, MemberInfo>>> membersByLevel;
    for (const XmlaRow &row : memberRows.rows())
        membersByLevel[memberRows.text(row, levelUnique)].append(
            { memberRows.number(row, QStringLiteral("MEMBER_ORDINAL"), false),
              MemberInfo { memberRows.text(row, QStringLiteral("MEMBER_NAME")) } });

    QHash<QString, QList<std::pair<int, LevelInfo>>> levelsByHierarchy;
    for (const XmlaRow &row : levelRows.rows()) {
        LevelInfo level { levelRows.text(row, QStringLiteral("LEVEL_NAME")),
                          levelRows.text(row, levelUnique),
                          {} };
        levelsByHierarchy[levelRows.text(row, hierarchyUnique)].append(
            { levelRows.number(row, QStringLiteral("LEVEL_NUMBER"), true), std::move(level) });
    }

    QHash<QString, QList<std::pair<int, QString>>> hierarchiesByDimension;
    QHash<QString, QString> hierarchyNames;
    for (const XmlaRow &row : hierarchyRows.rows()) {
        const QString unique = hierarchyRows.text(row, hierarchyUnique);
        hierarchyNames.insert(unique, hierarchyRows.text(row, QStringLiteral("HIERARCHY_NAME")));
        hierarchiesByDimension[hierarchyRows.text(row, dimensionUnique)].append(
            { hierarchyRows.number(row, QStringLiteral("HIERARCHY_ORDINAL"), false), unique });
    }

    QList<std::pair<int, DimensionInfo>> ordered;
    for (const XmlaRow &row : dimensionRows.rows()) {
        DimensionInfo dimension { dimensionRows.text(row, QStringLiteral("DIMENSION_NAME")),
                                  dimensionRows.text(row, dimensionUnique),
                                  {} };
        QList<std::pair<int, QString>> own = hierarchiesByDimension.value(dimension.uniqueName);
        sortByOrdinal(own);
        // Position 0 is the dimension's default hierarchy, the others follow by ordinal.
        const QString defaultHierarchy
            = dimensionRows.optionalText(row, QStringLiteral("DEFAULT_HIERARCHY"));
        std::stable_partition(own.begin(), own.end(),
                              [&](const auto &h) { return h.second == defaultHierarchy; });
        for (const auto &[ordinal, unique] : own) {
            Q_UNUSED(ordinal)
            HierarchyInfo hierarchy { hierarchyNames.value(unique), unique, {} };
            QList<std::pair<int, LevelInfo>> levelList = levelsByHierarchy.value(unique);
            sortByOrdinal(levelList);
            for (auto &[number, level] : levelList) {
                Q_UNUSED(number)
                QList<std::pair<int, MemberInfo>> memberList
                    = membersByLevel.value(level.uniqueName);
                sortByOrdinal(memberList);
                for (auto &[memberOrdinal, member] : memberList) {
                    Q_UNUSED(memberOrdinal)
                    level.members.append(std::move(member));
                }
                hierarchy.levels.append(std::move(level));
            }
            dimension.hierarchies.append(std::move(hierarchy));
        }
        ordered.append({ dimensionRows.number(row, QStringLiteral("DIMENSION_ORDINAL"), true),
                         std::move(dimension) });
    }
    sortByOrdinal(ordered);

    CubeSchema schema;
    for (auto &[ordinal, dimension] : ordered) {
        Q_UNUSED(ordinal)
        schema.dimensions.append(std::move(dimension));
    }
    return schema;
}

XmlaExecuteResult XmlaDataSource::execute(const QString &statement)
{
    XmlaParameters properties = catalogProperty();
    properties.append({ QStringLiteral("Format"), QStringLiteral("Multidimensional") });
    properties.append({ QStringLiteral("AxisFormat"), QStringLiteral("TupleFormat") });
    return mClient.execute(statement, properties, QStringLiteral("Running the statement…"));
}

} // namespace mdx
