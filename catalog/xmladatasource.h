#pragma once

#include "datasource.h"
#include "xmla/xmlaclient.h"

#include <QHash>

#include <optional>

namespace mdx {

struct ConnectionString;

// A catalog on an OLAP server that speaks XML for Analysis, the catalog's side of the client
// in xmla/ (which knows nothing of data sources). Opening asks for the catalog list and, in the
// same round trip, for the cubes (the cube list costs a request of its own only when that
// answer cannot serve); each cube's schema costs four concurrent requests the first time it is
// needed and none after.
class XmlaDataSource final : public DataSource
{
public:
    // Checks that the server answers and that the catalog exists (matched ignoring case;
    // none named: the server's first). Throws mdx::Failure otherwise.
    static std::shared_ptr<XmlaDataSource> open(XmlaSettings settings, const QString &catalog);
    // Data Source, Initial Catalog, User ID, Password and Connect Timeout of the string.
    static std::shared_ptr<XmlaDataSource> open(const ConnectionString &connection,
                                                std::shared_ptr<WaitIndicator> waitIndicator = {});

    QString catalogName() const override { return mCatalog; }
    QList<CubeInfo> cubes() override;
    std::shared_ptr<const CubeSchema> cubeSchema(int cubeIndex) override;
    // A level's members by MDSCHEMA_MEMBERS, or a member's children (TREE_OP children).
    QList<MemberInfo> members(int cubeIndex, const MemberQuery &query) override;
    int requestCount() const override { return mClient.requestCount(); }
    void setWaitIndicator(std::shared_ptr<WaitIndicator> indicator) override
    {
        mClient.setWaitIndicator(std::move(indicator));
    }

    // Runs a statement against the catalog; the server's failure is thrown as it came. A
    // result of more than two axes (columns and rows) is refused: no grid shows it.
    QueryResult execute(const QString &statement) override;

    // Builds a cube's schema from the four answers, ordered as the cube defines it.
    // Public for tests; throws when a required column is missing or not a number.
    static CubeSchema buildSchema(const XmlaRowset &dimensions, const XmlaRowset &hierarchies,
                                  const XmlaRowset &levels, const XmlaRowset &members);

private:
    explicit XmlaDataSource(XmlaSettings settings);

    XmlaParameters catalogProperty() const;
    QString cubeName(int cubeIndex);

    XmlaClient mClient;
    QString mCatalog;
    std::optional<QList<CubeInfo>> mCubes;
    QHash<int, std::shared_ptr<const CubeSchema>> mSchemas;
};

} // namespace mdx
