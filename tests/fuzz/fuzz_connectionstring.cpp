// The connection string parser: any text either parses or fails with a failure; what parses
// written back in canonical form (every value quoted) parses to the same fields.
#include "catalog/connectionstring.h"
#include "fuzzing.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

using namespace mdx;

namespace {

QStringList fields(const ConnectionString &c)
{
    return { c.provider, c.dataSource, c.initialCatalog,
             c.userId,   c.password,   QString::number(c.connectTimeout) };
}

QString quoted(const QString &value)
{
    return u'"' + QString(value).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString canonical(const ConnectionString &c)
{
    QString text = QStringLiteral("Provider=%1;Data Source=%2;Initial Catalog=%3;User ID=%4;"
                                  "Password=%5")
                       .arg(quoted(c.provider), quoted(c.dataSource), quoted(c.initialCatalog),
                            quoted(c.userId), quoted(c.password));
    if (c.connectTimeout >= 0)
        text += QStringLiteral(";Connect Timeout=%1").arg(c.connectTimeout);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    ConnectionString parsed;
    try {
        parsed = parseConnectionString(text);
        isOlapProvider(parsed.provider);
    } catch (const Failure &failure) {
        fuzz::checkFailure(failure);
        return 0;
    }
    try {
        const ConnectionString again = parseConnectionString(canonical(parsed));
        if (fields(again) != fields(parsed))
            fuzz::finding("written back, the string parses to other fields",
                          fields(parsed).join(u'|') + u'\n' + fields(again).join(u'|'));
    } catch (const Failure &failure) {
        fuzz::finding("written back, the string does not parse", failure.description());
    }
    return 0;
}
