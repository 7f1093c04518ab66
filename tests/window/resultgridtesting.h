#pragma once

#include "window/resultgrid.h"

namespace mdx::test {

// Every grid cell, rows by "\n", cells by "|"; a right-aligned cell ends in ">".
inline QString shown(const ResultGrid &grid)
{
    QStringList lines;
    for (int r = 0; r < grid.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid.columnCount(); ++c) {
            const QModelIndex index = grid.index(r, c);
            const auto align = grid.data(index, Qt::TextAlignmentRole).value<Qt::Alignment>();
            cells << index.data().toString() + (align & Qt::AlignRight ? ">" : "");
        }
        lines << cells.join(u'|');
    }
    return lines.join(u'\n');
}

} // namespace mdx::test
