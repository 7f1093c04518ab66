#include "xmladatasource.h"

#include "common/failurecodes.h"
#include "connectionstring.h"

#include <QSet>

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
    throw XmlaFault(code, description, FailureSource::Xmla, QString(), QString());
}

// Flags of rows a user may not see, one per kind of object.
const QStringList VisibilityFlags { QStringLiteral("DIMENSION_IS_VISIBLE"),
                                    QStringLiteral("HIERARCHY_IS_VISIBLE"),
                                    QStringLiteral("LEVEL_IS_VISIBLE"),
                                    QStringLiteral("MEASURE_IS_VISIBLE") };

class Rows
{
public:
    Rows(const XmlaRowset &rowset, QString requestType)
        : mRowset(rowset)
        , mRequestType(std::move(requestType))
    {
        for (const QString &flag : VisibilityFlags) {
            if (const qsizetype column = mRowset.column(flag); column >= 0)
                mFlags.append(column);
        }
    }

    const QList<XmlaRow> &rows() const { return mRowset.rows; }

    // The rows a user may see. Some servers leave hidden objects out unless asked, others
    // list them flagged; either way they are not part of the catalog.
    QList<XmlaRow> visibleRows() const
    {
        QList<XmlaRow> visible;
        visible.reserve(mRowset.rows.size());
        for (const XmlaRow &row : mRowset.rows) {
            if (isVisible(row))
                visible.append(row);
        }
        return visible;
    }

    bool isVisible(const XmlaRow &row) const
    {
        return std::none_of(mFlags.cbegin(), mFlags.cend(), [&](qsizetype flag) {
            const QString value = XmlaRowset::value(row, flag).trimmed();
            return value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0
                || value == QLatin1String("0");
        });
    }

    QString text(const XmlaRow &row, const QString &column) const
    {
        const QString value = mRowset.value(row, column);
        if (value.isNull())
            fail(XmlaFailure::MissingColumn,
                 QStringLiteral("The server's %1 answer lacks the column %2, which this program "
                                "needs.")
                     .arg(mRequestType, column));
        return value;
    }

    QString optionalText(const XmlaRow &row, const QString &column) const
    {
        return mRowset.value(row, column);
    }

    // A missing optional number sorts after all given ones, keeping the server's order; an
    // empty element (<MEMBER_ORDINAL/>) is as good as a missing one.
    int number(const XmlaRow &row, const QString &column, bool required) const
    {
        const QString value = mRowset.value(row, column);
        if (value.isNull() || (!required && value.trimmed().isEmpty())) {
            if (required)
                text(row, column); // throws
            return INT_MAX;
        }
        bool ok = false;
        const int number = value.trimmed().toInt(&ok);
        if (!ok)
            fail(XmlaFailure::BadValue,
                 QStringLiteral("The server's %1 answer holds \"%2\" in the column %3, where a "
                                "number belongs.")
                     .arg(mRequestType, value.left(40), column));
        return number;
    }

private:
    const XmlaRowset &mRowset;
    QString mRequestType;
    QList<qsizetype> mFlags; // the visibility flags among the columns
};

const QString DimensionUnique = QStringLiteral("DIMENSION_UNIQUE_NAME");
const QString HierarchyUnique = QStringLiteral("HIERARCHY_UNIQUE_NAME");
const QString LevelUnique = QStringLiteral("LEVEL_UNIQUE_NAME");
const QString MemberName = QStringLiteral("MEMBER_NAME");
const QString MemberUnique = QStringLiteral("MEMBER_UNIQUE_NAME");
const QString MemberOrdinal = QStringLiteral("MEMBER_ORDINAL");
const QString ChildCount = QStringLiteral("CHILDREN_CARDINALITY");

// The columns a schema is built of: only these are kept of the answers, which for a big cube
// hold many times more.
const QStringList DimensionColumns { QStringLiteral("DIMENSION_NAME"), DimensionUnique,
                                     QStringLiteral("DIMENSION_ORDINAL"),
                                     QStringLiteral("DEFAULT_HIERARCHY"),
                                     QStringLiteral("DIMENSION_IS_VISIBLE") };
const QStringList HierarchyColumns { QStringLiteral("HIERARCHY_NAME"), HierarchyUnique,
                                     DimensionUnique, QStringLiteral("HIERARCHY_ORDINAL"),
                                     QStringLiteral("HIERARCHY_IS_VISIBLE") };
const QStringList LevelColumns { QStringLiteral("LEVEL_NAME"), LevelUnique, HierarchyUnique,
                                 QStringLiteral("LEVEL_NUMBER"),
                                 QStringLiteral("LEVEL_IS_VISIBLE") };
const QStringList MeasureColumns { MemberName, LevelUnique, MemberOrdinal,
                                   QStringLiteral("MEASURE_IS_VISIBLE") };

// Items of a parent (by the parent's unique name) with the ordinal they are sorted by.
template<typename T> using ByParent = QHash<QString, QList<std::pair<int, T>>>;

template<typename T> QList<T> sortedByOrdinal(QList<std::pair<int, T>> items)
{
    // Servers mostly list in order already: then a long list costs one pass, not a sort.
    const auto byOrdinal = [](const auto &a, const auto &b) { return a.first < b.first; };
    if (!std::is_sorted(items.cbegin(), items.cend(), byOrdinal))
        std::stable_sort(items.begin(), items.end(), byOrdinal);
    QList<T> sorted;
    sorted.reserve(items.size());
    for (auto &item : items)
        sorted.append(std::move(item.second));
    return sorted;
}

// By MEMBER_ORDINAL; servers that leave it out keep their own order.
ByParent<MemberInfo> membersByLevel(const Rows &rows)
{
    ByParent<MemberInfo> members;
    for (const XmlaRow &row : rows.visibleRows())
        members[rows.text(row, LevelUnique)].append(
            { rows.number(row, MemberOrdinal, false), MemberInfo { rows.text(row, MemberName) } });
    return members;
}

// A level row as a level of its hierarchy; its members come with attachMembers().
void addLevel(const Rows &rows, const XmlaRow &row, ByParent<LevelInfo> &levels)
{
    if (!rows.isVisible(row))
        return;
    LevelInfo level { rows.text(row, QStringLiteral("LEVEL_NAME")),
                      rows.text(row, LevelUnique),
                      {} };
    levels[rows.text(row, HierarchyUnique)].append(
        { rows.number(row, QStringLiteral("LEVEL_NUMBER"), true), std::move(level) });
}

void attachMembers(ByParent<LevelInfo> &levels, const ByParent<MemberInfo> &members)
{
    for (auto &list : levels) {
        for (auto &item : list)
            item.second.members = sortedByOrdinal(members.value(item.second.uniqueName));
    }
}

// Dimensions that list hierarchies, all hidden, are left out by the caller: they hold nothing
// to show. Their unique names go to `hiddenOnly`.
ByParent<HierarchyInfo> hierarchiesByDimension(const Rows &rows, const ByParent<LevelInfo> &levels,
                                               QSet<QString> &hiddenOnly)
{
    for (const XmlaRow &row : rows.rows())
        hiddenOnly.insert(rows.text(row, DimensionUnique));
    ByParent<HierarchyInfo> hierarchies;
    for (const XmlaRow &row : rows.visibleRows()) {
        hiddenOnly.remove(rows.text(row, DimensionUnique));
        const QString unique = rows.text(row, HierarchyUnique);
        HierarchyInfo hierarchy { rows.text(row, QStringLiteral("HIERARCHY_NAME")), unique,
                                  sortedByOrdinal(levels.value(unique)) };
        hierarchies[rows.text(row, DimensionUnique)].append(
            { rows.number(row, QStringLiteral("HIERARCHY_ORDINAL"), false), std::move(hierarchy) });
    }
    return hierarchies;
}

XmlaParameters catalogProperties(const QString &catalog)
{
    return { { QStringLiteral("Catalog"), catalog },
             { QStringLiteral("Format"), QStringLiteral("Tabular") } };
}

// What the cube list keeps of each row.
const QStringList CubeColumns { CatalogName, CubeName, QStringLiteral("CUBE_SOURCE"),
                                QStringLiteral("CUBE_TYPE"), QStringLiteral("DESCRIPTION") };

// With no catalog: every cube the server lists unasked (all catalogs', or its default one's).
XmlaDiscover cubesRequest(const QString &catalog)
{
    if (catalog.isEmpty())
        return { QStringLiteral("MDSCHEMA_CUBES"),
                 {},
                 { { QStringLiteral("Format"), QStringLiteral("Tabular") } },
                 CubeColumns,
                 {} };
    return { QStringLiteral("MDSCHEMA_CUBES"),
             { { CatalogName, catalog } },
             catalogProperties(catalog),
             CubeColumns,
             {} };
}

QList<CubeInfo> cubeList(const XmlaRowset &answer, const QString &catalog)
{
    const Rows rows(answer, QStringLiteral("MDSCHEMA_CUBES"));
    QList<CubeInfo> cubes;
    for (const XmlaRow &row : rows.rows()) {
        // A server that ignores the restriction still says which catalog a row is of.
        const QString rowCatalog = rows.optionalText(row, CatalogName);
        if (!rowCatalog.isEmpty() && rowCatalog.compare(catalog, Qt::CaseInsensitive) != 0)
            continue;
        // Some servers list every dimension as a cube of its own (CUBE_SOURCE 2, or CUBE_TYPE
        // DIMENSION); those are not cubes a statement is written for.
        if (rows.optionalText(row, QStringLiteral("CUBE_SOURCE")).trimmed() == QLatin1String("2")
            || rows.optionalText(row, QStringLiteral("CUBE_TYPE")).trimmed()
                == QLatin1String("DIMENSION"))
            continue;
        cubes.append(CubeInfo { rows.text(row, CubeName),
                                rows.optionalText(row, QStringLiteral("DESCRIPTION")) });
    }
    return cubes;
}

// The cube list sent ahead, where it surely is the catalog's whole list: the answer to the
// catalog's own request, or to the request for no catalog one in which every row names its
// catalog and some row names this one. Else the cubes are asked for again when wanted, which
// also reports what was wrong with this answer.
std::optional<QList<CubeInfo>> cubesAhead(const std::optional<XmlaRowset> &answer,
                                          const QString &catalog, bool askedForCatalog)
{
    if (!answer)
        return std::nullopt;
    if (!askedForCatalog) {
        bool named = false;
        for (const XmlaRow &row : answer->rows) {
            const QString rowCatalog = answer->value(row, CatalogName);
            if (rowCatalog.isNull())
                return std::nullopt;
            named = named || rowCatalog == catalog;
        }
        if (!named)
            return std::nullopt;
    }
    try {
        return cubeList(*answer, catalog);
    } catch (const Failure &) {
        return std::nullopt;
    }
}

// The schema of the dimension, hierarchy and measure answers and the levels read already.
CubeSchema assemble(const XmlaRowset &dimensions, const XmlaRowset &hierarchies,
                    ByParent<LevelInfo> levels, const XmlaRowset &members)
{
    const Rows dimensionRows(dimensions, QStringLiteral("MDSCHEMA_DIMENSIONS"));
    QSet<QString> hiddenOnly;
    attachMembers(levels, membersByLevel(Rows(members, QStringLiteral("MDSCHEMA_MEMBERS"))));
    const ByParent<HierarchyInfo> hierarchiesOf = hierarchiesByDimension(
        Rows(hierarchies, QStringLiteral("MDSCHEMA_HIERARCHIES")), levels, hiddenOnly);
    QList<std::pair<int, DimensionInfo>> ordered;
    for (const XmlaRow &row : dimensionRows.visibleRows()) {
        DimensionInfo dimension { dimensionRows.text(row, QStringLiteral("DIMENSION_NAME")),
                                  dimensionRows.text(row, DimensionUnique),
                                  {} };
        if (hiddenOnly.contains(dimension.uniqueName))
            continue;
        dimension.hierarchies = sortedByOrdinal(hierarchiesOf.value(dimension.uniqueName));
        // Position 0 is the dimension's default hierarchy, the others follow by ordinal.
        const QString defaultHierarchy
            = dimensionRows.optionalText(row, QStringLiteral("DEFAULT_HIERARCHY"));
        std::stable_partition(
            dimension.hierarchies.begin(), dimension.hierarchies.end(),
            [&](const HierarchyInfo &h) { return h.uniqueName == defaultHierarchy; });
        ordered.append({ dimensionRows.number(row, QStringLiteral("DIMENSION_ORDINAL"), true),
                         std::move(dimension) });
    }
    return CubeSchema { sortedByOrdinal(std::move(ordered)) };
}

} // namespace

XmlaDataSource::XmlaDataSource(XmlaSettings settings)
    : mClient(std::move(settings))
{
}

std::shared_ptr<XmlaDataSource> XmlaDataSource::open(const ConnectionString &connection,
                                                     std::shared_ptr<WaitIndicator> waitIndicator)
{
    XmlaSettings settings;
    settings.waitIndicator = std::move(waitIndicator);
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
    const QString wanted = catalog.trimmed();
    // The cubes are asked for in the same round trip, as the catalog's name stands (or for no
    // catalog); the answer serves once the catalog list confirms the name.
    QList<XmlaDiscover> requests {
        { QStringLiteral("DBSCHEMA_CATALOGS"), {}, {}, { CatalogName }, {} }, cubesRequest(wanted)
    };
    requests.last().ahead = true;
    const QList<std::optional<XmlaRowset>> answers = client.discoverAhead(
        requests, QStringLiteral("Connecting to %1…").arg(client.displayUrl()));
    const Rows rows(*answers.constFirst(), QStringLiteral("DBSCHEMA_CATALOGS"));
    QStringList names;
    for (const XmlaRow &row : rows.rows())
        names.append(rows.text(row, CatalogName));
    if (names.isEmpty())
        fail(CatalogFailure::CatalogNotFound,
             QStringLiteral("The server at %1 has no catalogs.").arg(client.displayUrl()));

    if (wanted.isEmpty()) {
        source->mCatalog = names.constFirst();
        source->mCubes = cubesAhead(answers.constLast(), source->mCatalog, false);
        return source;
    }
    for (const QString &name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
            source->mCatalog = name; // the server's spelling from here on
            if (name == wanted)
                source->mCubes = cubesAhead(answers.constLast(), name, true);
            return source;
        }
    }
    QStringList listed = names.mid(0, MaxListedCatalogs);
    if (names.size() > MaxListedCatalogs)
        listed.append(QStringLiteral("and %1 more").arg(names.size() - MaxListedCatalogs));
    fail(CatalogFailure::CatalogNotFound,
         QStringLiteral("The server at %1 has no catalog \"%2\". Its catalogs: %3.")
             .arg(client.displayUrl(), wanted, listed.join(QStringLiteral(", "))));
}

XmlaParameters XmlaDataSource::catalogProperty() const
{
    return { { QStringLiteral("Catalog"), mCatalog } };
}

QList<CubeInfo> XmlaDataSource::cubes()
{
    if (!mCubes)
        mCubes
            = cubeList(mClient.discover(cubesRequest(mCatalog),
                                        QStringLiteral("Reading the cubes of %1…").arg(mCatalog)),
                       mCatalog);
    return *mCubes;
}

std::shared_ptr<const CubeSchema> XmlaDataSource::cubeSchema(int cubeIndex)
{
    if (const auto cached = mSchemas.value(cubeIndex))
        return cached;
    const QString cube = cubeName(cubeIndex);
    const XmlaParameters restrictions { { CatalogName, mCatalog }, { CubeName, cube } };
    const XmlaParameters properties = catalogProperties(mCatalog);
    // The measures are the members of the Measures dimension, whose unique name MDX fixes.
    XmlaParameters memberRestrictions = restrictions;
    memberRestrictions.append(
        { QStringLiteral("DIMENSION_UNIQUE_NAME"), QStringLiteral("[Measures]") });
    // The levels, many times more than the rest on a big cube, become levels as they are read.
    XmlaRowset levelColumns;
    levelColumns.columns = LevelColumns;
    const Rows levelRows(levelColumns, QStringLiteral("MDSCHEMA_LEVELS"));
    ByParent<LevelInfo> levels;
    const auto addLevelRow = [&](XmlaRow &&row) { addLevel(levelRows, row, levels); };
    const QList<XmlaRowset> answers = mClient.discover(
        {
            XmlaDiscover { QStringLiteral("MDSCHEMA_DIMENSIONS"),
                           restrictions,
                           properties,
                           DimensionColumns,
                           {} },
            XmlaDiscover { QStringLiteral("MDSCHEMA_HIERARCHIES"),
                           restrictions,
                           properties,
                           HierarchyColumns,
                           {} },
            XmlaDiscover { QStringLiteral("MDSCHEMA_LEVELS"), restrictions, properties,
                           LevelColumns, addLevelRow },
            XmlaDiscover { QStringLiteral("MDSCHEMA_MEMBERS"),
                           memberRestrictions,
                           properties,
                           MeasureColumns,
                           {} },
        },
        QStringLiteral("Reading the cube \"%1\"…").arg(cube));
    if (answers.at(0).rows.isEmpty())
        fail(XmlaFailure::BadValue,
             QStringLiteral("The server lists no dimensions for the cube \"%1\"; has it been "
                            "removed since the cube list was read?")
                 .arg(cube));
    auto schema = std::make_shared<const CubeSchema>(
        assemble(answers.at(0), answers.at(1), std::move(levels), answers.at(3)));
    mSchemas.insert(cubeIndex, schema);
    return schema;
}

QString XmlaDataSource::cubeName(int cubeIndex)
{
    const QList<CubeInfo> list = cubes();
    if (cubeIndex < 0 || cubeIndex >= list.size())
        fail(CatalogFailure::ItemOutOfRange,
             QStringLiteral("There is no cube at position %1; the catalog has %2.")
                 .arg(cubeIndex)
                 .arg(list.size()));
    return list.at(cubeIndex).name;
}

QList<MemberInfo> XmlaDataSource::members(int cubeIndex, const MemberQuery &query)
{
    XmlaParameters restrictions { { CatalogName, mCatalog }, { CubeName, cubeName(cubeIndex) } };
    const bool children = !query.parentUniqueName.isEmpty();
    if (children) {
        restrictions.append({ QStringLiteral("MEMBER_UNIQUE_NAME"), query.parentUniqueName });
        // MDTREEOP_CHILDREN: the member's children, not the member itself.
        restrictions.append({ QStringLiteral("TREE_OP"), QStringLiteral("1") });
    } else {
        restrictions.append({ LevelUnique, query.levelUniqueName });
    }
    const XmlaParameters properties = catalogProperties(mCatalog);
    // Each row becomes a member as it is read, a slice of the answer per turn of the event
    // loop, so that a level of many members never holds the window up in one go.
    XmlaRowset kept;
    kept.columns = { MemberName, MemberUnique, MemberOrdinal, ChildCount };
    const Rows rows(kept, QStringLiteral("MDSCHEMA_MEMBERS"));
    QList<std::pair<int, MemberInfo>> members;
    XmlaDiscover request {
        QStringLiteral("MDSCHEMA_MEMBERS"), restrictions, properties, kept.columns, {}
    };
    request.rowSink = [&](XmlaRow &&row) {
        const int childCount = rows.number(row, ChildCount, false);
        members.append({ rows.number(row, MemberOrdinal, false),
                         MemberInfo { rows.text(row, MemberName), rows.text(row, MemberUnique),
                                      childCount == INT_MAX ? 0 : childCount } });
    };
    mClient.discover(request,
                     QStringLiteral("Reading the members of %1…")
                         .arg(children ? query.parentUniqueName : query.levelUniqueName));
    return sortedByOrdinal(std::move(members));
}

CubeSchema XmlaDataSource::buildSchema(const XmlaRowset &dimensions, const XmlaRowset &hierarchies,
                                       const XmlaRowset &levels, const XmlaRowset &members)
{
    const Rows levelRows(levels, QStringLiteral("MDSCHEMA_LEVELS"));
    ByParent<LevelInfo> levelsOf;
    for (const XmlaRow &row : levels.rows)
        addLevel(levelRows, row, levelsOf);
    return assemble(dimensions, hierarchies, std::move(levelsOf), members);
}

QueryResult XmlaDataSource::execute(const QString &statement)
{
    XmlaParameters properties = catalogProperty();
    properties.append({ QStringLiteral("Format"), QStringLiteral("Multidimensional") });
    properties.append({ QStringLiteral("AxisFormat"), QStringLiteral("TupleFormat") });
    XmlaExecuteResult answer
        = mClient.execute(statement, properties, QStringLiteral("Running the statement…"));
    if (answer.axisNames.size() > 2)
        fail(XmlaFailure::TooManyAxes,
             QStringLiteral("The statement returns %1 axes; a result is shown on columns and "
                            "rows only, so use at most two axes.")
                 .arg(answer.axisNames.size()));
    return QueryResult(std::move(answer));
}

} // namespace mdx
