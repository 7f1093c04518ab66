#include "mdxstatement.h"

#include "layouttree.h"
#include "measurelist.h"

#include <QStringList>

namespace mdx {

namespace {

// Appends "[name]" with every "]" of the name doubled.
void appendBracketed(QString &out, const QString &name)
{
    out += QLatin1Char('[');
    for (const QChar c : name) {
        out += c;
        if (c == QLatin1Char(']'))
            out += c;
    }
    out += QLatin1Char(']');
}

bool isPlainIdentifier(const QString &text)
{
    if (text.isEmpty() || text.front().isDigit())
        return false;
    for (const QChar c : text) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('_'))
            return false;
    }
    return true;
}

// One, two or three sets nested into crossjoins; anything else is no set at all.
QString crossjoin(const QStringList &sets)
{
    switch (sets.size()) {
    case 1:
        return sets[0];
    case 2:
        return QLatin1String("crossjoin(") + sets[0] + QLatin1Char(',') + sets[1]
            + QLatin1Char(')');
    case 3:
        return QLatin1String("crossjoin(crossjoin(") + sets[0] + QLatin1Char(',') + sets[1]
            + QLatin1String("),") + sets[2] + QLatin1Char(')');
    default:
        return QString();
    }
}

} // namespace

QString cubeIdentifier(const QString &cube)
{
    if (cube.isEmpty() || isPlainIdentifier(cube))
        return cube;
    QString identifier;
    appendBracketed(identifier, cube);
    return identifier;
}

QString buildMeasuresSet(const MeasureList &measures)
{
    const int count = measures.count();
    // Sized once: growing a long set step by step costs far more than the extra pass.
    qsizetype length = 2;
    for (int i = 0; i < count; ++i)
        length += measures.isTicked(i) ? measures.text(i).size() + 15 : 0;
    QString set;
    set.reserve(length);
    set += QLatin1Char('{');
    QLatin1String separator("");
    for (int i = 0; i < count; ++i) {
        if (measures.isTicked(i)) {
            set += separator;
            set += QLatin1String("[Measures].");
            appendBracketed(set, measures.text(i));
            separator = QLatin1String(",");
        }
    }
    return set + QLatin1Char('}');
}

QString buildDimensionSet(const LayoutTree &tree, const Node &dimension)
{
    int chosen = 0;
    const QString *lastChosenKey = nullptr;
    const int count = tree.count();
    for (int p = dimension.index() + 1; p <= count; ++p) {
        const Node *node = tree.item(p);
        if (node->parent() != &dimension)
            break;
        if (node->checked()) {
            ++chosen;
            lastChosenKey = &node->key();
        }
    }
    // Chosen members replace the dimension's current member as the set's origin.
    const QStringList &members = dimension.members();
    if (!members.isEmpty()) {
        const QString set = QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
        if (chosen == 0)
            return set;
        return QLatin1String("{descendants(") + set + QLatin1Char(',') + *lastChosenKey
            + QLatin1String(")}");
    }
    if (chosen == 0)
        return QLatin1Char('{') + dimension.key() + QLatin1String(".[(All)].members}");
    if (chosen == 1)
        return QLatin1Char('{') + *lastChosenKey + QLatin1String(".members}");
    return QLatin1String("{descendants(") + dimension.key() + QLatin1String(".currentmember,")
        + *lastChosenKey + QLatin1String(")}");
}

QString buildAxisSet(const LayoutTree &tree)
{
    QStringList sets;
    for (const Node *node : tree) {
        if (!node->parent())
            sets.append(buildDimensionSet(tree, *node));
    }
    return crossjoin(sets);
}

QString composeMdx(const LayoutTree &rows, const LayoutTree &columns, const LayoutTree &slicers,
                   const MeasureList &measures, const QString &cube, bool nonEmpty)
{
    QString statement = QStringLiteral("select ");
    QStringList axisSets;
    for (const LayoutTree *tree : { &rows, &columns, &slicers }) {
        if (tree->count() > 0)
            axisSets.append(buildAxisSet(*tree));
    }
    if (!axisSets.isEmpty()) {
        if (nonEmpty)
            statement += QLatin1String("non empty ");
        statement += crossjoin(axisSets) + QLatin1String(" on rows, ");
    }
    return statement + buildMeasuresSet(measures) + QLatin1String(" on columns from ")
        + cubeIdentifier(cube);
}

} // namespace mdx
