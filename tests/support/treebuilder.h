#pragma once

#include "model/layouttree.h"
#include "model/mdxstatement.h"
#include "model/measurelist.h"

#include <QStringList>

// Adds dimensions as a cube load or a placement would, from a line such as
// "Store=(All),Country*,City; Time*=Year": the nodes [Store], [Store].[(All)], ... and
// [Time], [Time].[Year], a star marking a checked node.
inline mdx::LayoutTree &fill(mdx::LayoutTree &tree, const QString &layout)
{
    for (const QString &dimension : layout.split(u';', Qt::SkipEmptyParts)) {
        const QString name = dimension.section(u'=', 0, 0).trimmed();
        const QString text = QString(name).remove(u'*');
        const QString key = u'[' + text + u']';
        tree.add(key, text)->setChecked(name.endsWith(u'*'));
        for (const QString &level : dimension.section(u'=', 1).split(u',', Qt::SkipEmptyParts)) {
            const QString levelText = level.trimmed().remove(u'*');
            tree.add(key, mdx::LayoutTree::Child, key + ".[" + levelText + u']', levelText)
                ->setChecked(level.endsWith(u'*'));
        }
    }
    return tree;
}

// Adds measures from a line such as "Units*|Revenue", a star marking a ticked one.
inline mdx::MeasureList &fill(mdx::MeasureList &list, const QString &layout)
{
    for (const QString &name : layout.split(u'|', Qt::SkipEmptyParts)) {
        list.addItem(QString(name).remove(u'*'));
        list.setTicked(list.newIndex(), name.endsWith(u'*'));
    }
    return list;
}

// The statement for the axis trees (rows, columns, slicers) and measures in fill()'s notation.
inline QString compose(const QStringList &axes, const QString &measures, const QString &cube)
{
    mdx::LayoutTree trees[3];
    for (int i = 0; i < axes.size(); ++i)
        fill(trees[i], axes[i]);
    mdx::MeasureList list;
    return mdx::composeMdx(trees[0], trees[1], trees[2], fill(list, measures), cube);
}
