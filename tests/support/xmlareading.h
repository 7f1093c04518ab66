#pragma once

// Reading an answer the way the network delivers it, and all that a read yields as one text,
// so that two reads of the same answer can be compared. Shared by the reader's tests and its
// fuzz target.
#include "catalog/xmla/xmlareader.h"

#include <QStringList>

#include <algorithm>
#include <memory>

namespace mdx::test {

// Reads the body in chunks of this size (0: all at once).
inline std::unique_ptr<XmlaResponseReader> readXmla(XmlaResponseReader::Kind kind,
                                                    const QByteArray &body, int chunkSize = 0,
                                                    const QByteArray &charset = {})
{
    auto reader = std::make_unique<XmlaResponseReader>(kind);
    reader->setHttpCharset(charset);
    const qsizetype step = chunkSize > 0 ? chunkSize : std::max<qsizetype>(body.size(), 1);
    for (qsizetype i = 0; i < body.size(); i += step)
        reader->addData(body.mid(i, step));
    reader->finish();
    return reader;
}

// "failed <code> <description>|<source>|<fault code>|<error code>[|server]", or "ok ", the
// result's counts and each row as "COLUMN=value|COLUMN=value", the columns sorted.
inline QString outcome(const XmlaResponseReader &reader)
{
    if (const std::optional<XmlaFault> &f = reader.failure())
        return QStringLiteral("failed %1 %2|%3|%4|%5")
                   .arg(quint32(f->code()), 0, 16)
                   .arg(f->description(), f->source(), f->faultCode(), f->errorCode())
            + (reader.isServerFault() ? QStringLiteral("|server") : QString());
    const XmlaExecuteResult &result = reader.executeResult();
    QStringList axes;
    for (qsizetype i = 0; i < result.axisNames.size(); ++i)
        axes << QStringLiteral("%1:%2").arg(result.axisNames[i]).arg(result.axisTupleCounts[i]);
    QStringList rows;
    const XmlaRowset &rowset = reader.rowset();
    for (const XmlaRow &row : rowset.rows) {
        QStringList columns;
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (!row.at(i).isNull())
                columns << rowset.columns.at(i) + u'=' + row.at(i);
        }
        columns.sort();
        rows << columns.join(u'|');
    }
    return QStringLiteral("ok %1 cells %2\n").arg(axes.join(u' ')).arg(result.cellCount)
        + rows.join(u'\n');
}

} // namespace mdx::test
