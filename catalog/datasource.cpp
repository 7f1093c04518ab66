#include "datasource.h"

#include "common/failure.h"

namespace mdx {

QueryResult DataSource::execute(const QString &)
{
    throw Failure(
        CatalogFailure::HoldsNoData,
        QStringLiteral(
            "The catalog \"%1\" comes from a cube description (the built-in sample or a schema "
            "file): it describes the cubes but holds no data, so there is no result to show.\n\n"
            "To see what the statement returns, connect to an OLAP server that speaks XML for "
            "Analysis: give its address as the Data Source, for example\n"
            "provider=msolap;data source=http://127.0.0.1:8080/xmla;initial catalog=OlapTest\n"
            "and press Connect. The project's own test server (scripts/olap-server.sh start) "
            "prints the string to paste.")
            .arg(catalogName()),
        FailureSource::Catalog);
}

QList<MemberInfo> DataSource::members(int, const MemberQuery &)
{
    throw Failure(CatalogFailure::ListsNoMembers,
                  QStringLiteral("This catalog lists no members: connect to an OLAP server to "
                                 "choose members"),
                  FailureSource::Catalog);
}

} // namespace mdx
