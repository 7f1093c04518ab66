// The connection string parser: any text either parses or fails with a failure; what parses
// written back in canonical form (every value quoted) parses to the same fields.
#include "catalog/connectionstring.h"
#include "fuzzing.h"

#include <QStringList>

using namespace mdx;

static QStringList fields(const ConnectionString &c)
{
    return { c.provider, c.dataSource, c.initialCatalog,
             c.userId,   c.password,   QString::number(c.connectTimeout) };
}

int mdx::fuzz::run(const QByteArray &input)
{
    const QStringList parsed = fields(parseConnectionString(QString::fromUtf8(input)));
    isOlapProvider(parsed[0]);
    static const char *const keys[]
        = { "Provider", "Data Source", "Initial Catalog", "User ID", "Password" };
    QString canonical = parsed[5] == u"-1" ? QString() : "Connect Timeout=" + parsed[5] + u';';
    for (int i = 0; i < 5; ++i)
        canonical += QStringLiteral("%1=\"%2\";")
                         .arg(QLatin1String(keys[i]),
                              QString(parsed[i]).replace(u'"', QStringLiteral("\"\"")));
    try {
        if (fields(parseConnectionString(canonical)) != parsed)
            finding("written back, the string parses to other fields", canonical);
    } catch (const Failure &failure) {
        finding("written back, the string does not parse", failure.description());
    }
    return 0;
}
