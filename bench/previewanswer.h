#pragma once

// What the preview benchmarks share: the statements of a result of a chosen size on the test
// server, an answer fetched the way the client receives it, and the reading of that answer as
// the client reads it.
#include "catalog/xmla/httpexchange.h"
#include "catalog/xmla/xmlaclient.h"

#include <QEventLoop>

namespace mdx::bench {

// Rows of Store x Time and columns of Product x Store Type x four measures, cut to size;
// three measures are constants so that every cell holds a value.
inline QString previewStatement(int rows, int columns)
{
    return QStringLiteral("with member [Measures].[One] as 1 member [Measures].[Two] as 2 member "
                          "[Measures].[Three] as 3 "
                          "select "
                          "head(crossjoin({[Store].members},{[Time].members}),%1) on rows, "
                          "head(crossjoin(crossjoin({[Product].members},{[Store Type].members}),"
                          "{[Measures].[One],[Measures].[Two],[Measures].[Three],[Measures].[Unit "
                          "Sales]}),%2) "
                          "on columns "
                          "from Sales")
        .arg(rows)
        .arg(columns);
}

// The answer in the pieces the network handed over, as the client receives them.
inline QList<QByteArray> fetchArrived(HttpConnections &connections, const QUrl &url,
                                      const QString &statement)
{
    const XmlaParameters properties { { "Catalog", "OlapTest" },
                                      { "Format", "Multidimensional" },
                                      { "AxisFormat", "TupleFormat" } };
    QList<QByteArray> chunks;
    HttpExchange exchange(connections, url,
                          "Content-Type: text/xml; charset=utf-8\r\n"
                          "SOAPAction: \"urn:schemas-microsoft-com:xml-analysis:Execute\"\r\n",
                          XmlaClient::executeBody(statement, properties),
                          [&](const QByteArray &chunk) { chunks.append(chunk); });
    QEventLoop loop;
    QObject::connect(&exchange, &HttpExchange::finished, &loop, &QEventLoop::quit);
    exchange.start();
    loop.exec();
    return chunks;
}

// Reads the pieces as the client does, at most its slice of an answer per turn.
inline void readArrived(XmlaResponseReader &reader, const QList<QByteArray> &chunks)
{
    constexpr qsizetype slice = 256 * 1024;
    for (const QByteArray &chunk : chunks) {
        for (qsizetype at = 0; at < chunk.size(); at += slice)
            reader.addData(at == 0 && chunk.size() <= slice ? chunk : chunk.mid(at, slice));
    }
    reader.finish();
}

} // namespace mdx::bench
