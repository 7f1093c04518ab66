// catalog-probe [--connect] "<connection string>": opens the connection, lists the cubes and
// loads every cube's schema the way the window does, and prints the wall time and the HTTP
// requests of each step, and the peak memory of the process. With --connect it does what
// Connect does to fill the window instead: the first cube's schema tree and measures, after the
// cube list. Works for every data source; local ones simply send no requests.
#include "catalog/catalog.h"
#include "model/failure.h"
#include "model/query.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <functional>

namespace mdx {
namespace {

struct Row
{
    QString step;
    double milliseconds = 0;
    int requests = 0;
    QString contents;
};

struct Probe
{
    QList<Row> rows;
    std::shared_ptr<DataSource> source; // known once the connection is open

    // Runs one step and records its time and the requests it sent; `body` returns what the
    // step produced, in words. A failure propagates after the rows measured so far.
    void step(const QString &name, const std::function<QString()> &body)
    {
        const int before = source ? source->requestCount() : 0;
        QElapsedTimer timer;
        timer.start();
        const QString contents = body();
        const double milliseconds = double(timer.nsecsElapsed()) / 1e6;
        const int after = source ? source->requestCount() : 0;
        rows.append({ name, milliseconds, after - before, contents });
    }
};

QString plural(qsizetype count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// What a cube load touches: every dimension, its first hierarchy's levels, and the measures.
// The members of other levels are asked of a server only when a user opens the member window.
QString walk(const CubeDef &cube)
{
    qsizetype dimensions = 0;
    qsizetype levels = 0;
    qsizetype members = 0;
    for (const Dimension &dimension : cube.dimensions()) {
        ++dimensions;
        const Collection<Hierarchy> hierarchies = dimension.hierarchies();
        if (hierarchies.count() == 0)
            continue;
        for (const Level &level : hierarchies.item(0).levels()) {
            ++levels;
            if (level.uniqueName().startsWith(u"[Measures]."))
                members += level.members().count();
        }
    }
    return plural(dimensions, "dimension", "dimensions") + QStringLiteral(", ")
        + plural(levels, "level", "levels") + QStringLiteral(", ")
        + plural(members, "measure", "measures");
}

// The process's peak resident memory, as the kernel counts it.
QString peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return QString::fromLatin1(line.mid(6).simplified());
    }
    return QStringLiteral("unknown");
}

void printTable(QTextStream &out, const QList<Row> &rows)
{
    if (rows.isEmpty())
        return;
    Row total { QStringLiteral("total"), 0, 0, {} };
    for (const Row &row : rows) {
        total.milliseconds += row.milliseconds;
        total.requests += row.requests;
    }
    QList<Row> all = rows;
    all.append(total);

    const QString stepHeader = QStringLiteral("step");
    const QString timeHeader = QStringLiteral("ms");
    const QString requestsHeader = QStringLiteral("requests");
    qsizetype stepWidth = stepHeader.size();
    qsizetype timeWidth = timeHeader.size();
    qsizetype requestsWidth = requestsHeader.size();
    for (const Row &row : all) {
        stepWidth = qMax(stepWidth, row.step.size());
        timeWidth = qMax(timeWidth, QString::number(row.milliseconds, 'f', 2).size());
        requestsWidth = qMax(requestsWidth, QString::number(row.requests).size());
    }
    const auto line = [&](const QString &step, const QString &time, const QString &requests,
                          const QString &contents) {
        QString text = step.leftJustified(stepWidth) + QStringLiteral("  ")
            + time.rightJustified(timeWidth) + QStringLiteral("  ")
            + requests.rightJustified(requestsWidth);
        if (!contents.isEmpty())
            text += QStringLiteral("  ") + contents;
        out << text << '\n';
    };
    line(stepHeader, timeHeader, requestsHeader, {});
    for (const Row &row : all) {
        if (&row == &all.last())
            line(QString(stepWidth, u'-'), QString(timeWidth, u'-'), QString(requestsWidth, u'-'),
                 {});
        line(row.step, QString::number(row.milliseconds, 'f', 2), QString::number(row.requests),
             row.contents);
    }
}

// What the schema tree holds once the window has filled it.
QString fill(Query &query, const CubeDef &cube)
{
    query.clearForCube();
    query.fillSchema(cube);
    const LayoutTree &schema = query.tree(Query::Tree::Schema);
    return plural(schema.countRootNodes(), "dimension", "dimensions") + QStringLiteral(", ")
        + plural(schema.count() - schema.countRootNodes(), "level", "levels") + QStringLiteral(", ")
        + plural(query.measures().count(), "measure", "measures");
}

int run(const QString &connectionString, bool connectOnly)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    Probe probe;
    Connection connection;
    Catalog catalog;
    QString current;
    try {
        current = QStringLiteral("open");
        probe.step(current, [&] {
            connection.open(connectionString);
            probe.source = connection.dataSource();
            return QStringLiteral("catalog \"%1\"").arg(probe.source->catalogName());
        });
        CubeDefs cubes;
        current = QStringLiteral("cube list");
        probe.step(current, [&] {
            catalog.setActiveConnection(connection);
            cubes = catalog.cubeDefs();
            return plural(cubes.count(), "cube", "cubes");
        });
        if (connectOnly && cubes.count() > 0) {
            Query query;
            const CubeDef first = cubes.item(0);
            current = QStringLiteral("first cube \"%1\" filled").arg(first.name());
            probe.step(current, [&] { return fill(query, first); });
        }
        for (const CubeDef &cube : cubes) {
            if (connectOnly)
                break;
            current = QStringLiteral("cube \"%1\"").arg(cube.name());
            probe.step(current, [&] { return walk(cube); });
        }
    } catch (const Failure &failure) {
        printTable(out, probe.rows);
        out.flush();
        err << "catalog-probe: " << current << " failed\n"
            << "  source: " << failure.source() << '\n'
            << "  description: " << failure.description() << '\n'
            << "  code: 0x" << QString::number(quint32(failure.code()), 16) << '\n';
        return 1;
    } catch (const std::exception &failure) {
        printTable(out, probe.rows);
        out.flush();
        err << "catalog-probe: " << current << " failed\n"
            << "  source: catalog-probe\n"
            << "  description: " << failure.what() << '\n';
        return 1;
    }
    printTable(out, probe.rows);
    out << "peak memory: " << peakMemory() << '\n';
    return 0;
}

} // namespace
} // namespace mdx

int main(int argc, char *argv[])
{
    // Talking to a server needs an application object for its event loop.
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    const bool connectOnly = arguments.removeAll(QStringLiteral("--connect")) > 0;
    if (arguments.size() != 2) {
        QTextStream(stderr) << "usage: catalog-probe [--connect] \"<connection string>\"\n"
                            << "  e.g. catalog-probe \"provider=msolap;data source=local;"
                               "initial catalog=foodmart 2000\"\n";
        return 2;
    }
    return mdx::run(arguments.at(1), connectOnly);
}
