// The statement reader: any text is read or refused with a position, never anything else; a
// statement read, written again in the wizard's own spelling, reads to the same layout.
#include "fuzzing.h"
#include "model/mdxstatement.h"
#include "model/statementreader.h"

using namespace mdx;

static QString written(const StatementLayout &layout)
{
    const auto join = [](const QStringList &sets) {
        QString joined = sets[0];
        for (const QString &set : sets.mid(1))
            joined = "crossjoin(" + joined + ',' + set + ')';
        return joined;
    };
    QStringList axes;
    for (const auto &axis : layout.axes) {
        QStringList sets;
        for (const DimensionSetForm &set : axis) {
            using Kind = DimensionSetForm::Kind;
            const QString members = '{' + set.members.join(',') + '}';
            const QString origin
                = set.members.isEmpty() ? set.dimensionKey + ".currentmember" : members;
            sets << (set.kind == Kind::AllMembers  ? '{' + set.dimensionKey + ".[(All)].members}"
                         : set.kind == Kind::Level ? '{' + set.levelKey + ".members}"
                         : set.kind == Kind::Members
                         ? members
                         : "{descendants(" + origin + ',' + set.levelKey + ")}");
        }
        axes << join(sets);
    }
    QStringList measures;
    for (QString measure : layout.measures)
        measures << "[Measures].[" + measure.replace(u']', QStringLiteral("]]")) + ']';
    return "select " + QString(layout.nonEmpty ? "non empty " : "")
        + (axes.isEmpty() ? QString() : join(axes) + " on rows, ") + '{' + measures.join(',')
        + "} on columns from " + cubeIdentifier(layout.cube);
}

int mdx::fuzz::run(const QByteArray &input)
{
    const StatementReading reading = readStatement(QString::fromUtf8(input));
    if (!reading.ok()) {
        if (!reading.failure.startsWith(u"at "))
            finding("a refusal that does not say where", reading.failure);
        return 0;
    }
    const QString again = written(reading.layout);
    const StatementReading second = readStatement(again);
    if (!second.ok() || second.layout != reading.layout)
        finding("written again, the statement reads otherwise", again + '\n' + second.failure);
    return 0;
}
