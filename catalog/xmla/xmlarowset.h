#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace mdx {

// One row of a Discover answer: column name -> text. A column the server left out (a null)
// is absent, which is not the same as present and empty.
using XmlaRow = QHash<QString, QString>;

struct XmlaRowset
{
    QList<XmlaRow> rows;
};

} // namespace mdx
