// The connection string parser: any text either parses or fails with a failure; what parses
// written back in canonical form (every value quoted) parses to the same fields.
#include "catalog/connectionstring.h"
#include "fuzzing.h"

#include <QStringList>

using namespace mdx;

namespace {

QStringList fields(const ConnectionString &c)
{
    return { c.provider, c.dataSource, c.initialCatalog,
             c.userId,   c.password,   QString::number(c.connectTimeout) };
}

QString canonical(const QStringList &fields)
{
    static const char *const keys[]
        = { "Provider", "Data Source", "Initial Catalog", "User ID", "Password" };
    QString text;
    for (int i = 0; i < 5; ++i)
        text += QString::fromLatin1(keys[i]) + QStringLiteral("=\"")
            + QString(fields[i]).replace(u'"', QStringLiteral("\"\"")) + QStringLiteral("\";");
    return fields[5] == u"-1" ? text : text + QStringLiteral("Connect Timeout=") + fields[5];
}

} // namespace

int mdx::fuzz::run(const QByteArray &input)
{
    const ConnectionString parsed = parseConnectionString(QString::fromUtf8(input));
    isOlapProvider(parsed.provider);
    try {
        const QStringList again = fields(parseConnectionString(canonical(fields(parsed))));
        if (again != fields(parsed))
            finding("written back, the string parses to other fields",
                    fields(parsed).join(u'|') + u'\n' + again.join(u'|'));
    } catch (const Failure &failure) {
        finding("written back, the string does not parse", failure.description());
    }
    return 0;
}
