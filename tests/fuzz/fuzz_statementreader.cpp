// The statement reader: any text is read or refused with a position, never anything else; a
// statement read, written again in the wizard's own spelling, reads to the same layout.
#include "fuzzing.h"
#include "model/mdxstatement.h"
#include "model/statementreader.h"

using namespace mdx;

static QString written(const StatementLayout &layout)
{
    const auto join = [](const QStringList &sets) {
        if (sets.size() == 1)
            return sets[0];
        if (sets.size() == 2)
            return "crossjoin(" + sets[0] + ',' + sets[1] + ')';
        return "crossjoin(crossjoin(" + sets[0] + ',' + sets[1] + ")," + sets[2] + ')';
    };
    QStringList axes;
    for (const auto &axis : layout.axes) {
        QStringList sets;
        for (const DimensionSetForm &set : axis) {
            switch (set.kind) {
            case DimensionSetForm::Kind::AllMembers:
                sets << '{' + set.dimensionKey + ".[(All)].members}";
                break;
            case DimensionSetForm::Kind::Level:
                sets << '{' + set.levelKey + ".members}";
                break;
            case DimensionSetForm::Kind::Descendants:
                sets << "{descendants(" + set.dimensionKey + ".currentmember," + set.levelKey
                        + ")}";
                break;
            }
        }
        axes << join(sets);
    }
    QStringList measures;
    for (QString measure : layout.measures)
        measures << "[Measures].[" + measure.replace(u']', QStringLiteral("]]")) + ']';
    return "select " + (axes.isEmpty() ? QString() : join(axes) + " on rows, ") + '{'
        + measures.join(',') + "} on columns from " + cubeIdentifier(layout.cube);
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
