#pragma once

#include "model/layouttree.h"
#include "model/measurelist.h"

#include <QStringList>

// Adds a dimension node with its level nodes as a cube load or a placement would, and
// returns the dimension node. Levels are given as keys; their text is the last name part.
inline mdx::Node *addDimension(mdx::LayoutTree &tree, const QString &key,
                               const QStringList &levelKeys, const QStringList &checked = {})
{
    mdx::Node *dimension = tree.add(key, key.mid(1, key.size() - 2));
    for (const QString &level : levelKeys) {
        mdx::Node *node
            = tree.add(key, mdx::LayoutTree::Child, level, level.section(QLatin1Char('.'), -1));
        node->setChecked(checked.contains(level));
    }
    return dimension;
}

inline void fillMeasures(mdx::MeasureList &list, const QStringList &names,
                         const QStringList &ticked)
{
    for (const QString &name : names) {
        list.addItem(name);
        list.setTicked(list.newIndex(), ticked.contains(name));
    }
}

// The keys of a tree in sequence order, level keys indented by two blanks.
inline QStringList keysOf(const mdx::LayoutTree &tree)
{
    QStringList keys;
    for (const mdx::Node *node : tree)
        keys << (node->parent() ? QStringLiteral("  ") : QString()) + node->key();
    return keys;
}
