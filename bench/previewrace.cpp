// preview-race [URL] [ROUNDS]: the preview against its peer, olap4j's XML for Analysis driver
// (bench/olap4j, run by the JDK found at build time), on the same test server and statements,
// interleaved: a 10,000-cell and a 100,000-cell result, ROUNDS (default 5) times each after a
// warm-up. Each side is timed from the moment it holds the server's last byte of the answer
// to a filled grid (every caption and cell text taken). Ours is the worse case: the answer is
// all read after it arrived, where the client reads while it arrives. Prints the medians and
// our time as a share of the peer's.
#include "previewanswer.h"
#include "window/resultgrid.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <algorithm>

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Our side: the answer fetched first, then read and laid out as the preview's grid.
double ours(mdx::HttpConnections &network, const QUrl &url, int rows, int columns, qsizetype &cells)
{
    const QList<QByteArray> chunks
        = mdx::bench::fetchArrived(network, url, mdx::bench::previewStatement(rows, columns));
    QElapsedTimer clock;
    clock.start();
    mdx::XmlaResponseReader reader(mdx::XmlaResponseReader::Kind::Execute);
    mdx::bench::readArrived(reader, chunks);
    if (reader.failure())
        throw std::runtime_error(reader.failure()->description().toStdString());
    mdx::ResultGrid grid(reader.executeResult());
    qsizetype characters = 0;
    for (int r = 0; r < grid.rowCount(); ++r) {
        for (int c = 0; c < grid.columnCount(); ++c)
            characters += grid.data(grid.index(r, c)).toString().size();
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (characters == 0)
        throw std::runtime_error("the grid shows nothing");
    cells = grid.result().cells.size();
    return ms;
}

// The peer's side: one line out, one line back ("AFTER_LAST_BYTE_MS TOTAL_MS CELLS REQUESTS").
double peer(QProcess &java, int rows, int columns, qsizetype &cells, int &requests)
{
    java.write(QStringLiteral("%1 %2\n").arg(rows).arg(columns).toLatin1());
    while (!java.canReadLine()) {
        if (!java.waitForReadyRead(600'000))
            throw std::runtime_error("the olap4j peer did not answer: "
                                     + java.readAllStandardError().toStdString());
    }
    const QList<QByteArray> fields = java.readLine().trimmed().split(' ');
    if (fields.size() != 4)
        throw std::runtime_error("the olap4j peer said: " + fields.join(' ').toStdString());
    cells = fields.at(2).toLongLong();
    requests = fields.at(3).toInt();
    return fields.at(0).toDouble();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QString url = app.arguments().value(1);
    if (url.isEmpty()) {
        QFile file(qEnvironmentVariable("OLAP_SERVER_STATE_DIR") + QStringLiteral("/url"));
        if (file.open(QIODevice::ReadOnly))
            url = QString::fromUtf8(file.readAll()).trimmed();
    }
    const int rounds = app.arguments().size() > 2 ? app.arguments().at(2).toInt() : 5;
    if (url.isEmpty() || rounds < 1) {
        out << "usage: preview-race http://127.0.0.1:PORT/xmla [ROUNDS] (the test server)\n";
        return 2;
    }
    QProcess java;
    java.setProcessChannelMode(QProcess::SeparateChannels);
    java.start(QStringLiteral(MDX_JAVA),
               { QStringLiteral("-cp"), QStringLiteral(MDX_PEER_CLASSPATH),
                 QStringLiteral("PreviewPeer"), url, QStringLiteral("OlapTest") });
    if (!java.waitForStarted()) {
        out << "preview-race: cannot start " << MDX_JAVA << '\n';
        return 1;
    }
    mdx::HttpConnections network;
    try {
        out << "cells    ours ms  olap4j ms  ours/olap4j  olap4j requests meanwhile  (medians of "
            << rounds << ")\n";
        for (const auto &[rows, columns] : { std::pair { 100, 100 }, std::pair { 500, 200 } }) {
            QList<double> ourTimes, peerTimes;
            qsizetype ourCells = 0, peerCells = 0;
            int peerRequests = 0;
            // The first round of each warms up caches and the JIT and is not counted.
            for (int round = 0; round <= rounds; ++round) {
                const double a = ours(network, QUrl(url), rows, columns, ourCells);
                const double b = peer(java, rows, columns, peerCells, peerRequests);
                if (round > 0) {
                    ourTimes << a;
                    peerTimes << b;
                }
            }
            if (ourCells != peerCells)
                out << "(cells differ: ours " << ourCells << ", olap4j " << peerCells << ")\n";
            const double a = median(ourTimes), b = median(peerTimes);
            out << QStringLiteral("%1  %2  %3  %4  %5\n")
                       .arg(ourCells, 7)
                       .arg(a, 7, 'f', 0)
                       .arg(b, 9, 'f', 0)
                       .arg(b > 0 ? a / b : 0, 11, 'f', 2)
                       .arg(peerRequests, 25);
            out.flush();
        }
    } catch (const std::exception &failure) {
        out << "preview-race: " << failure.what() << '\n';
        java.kill();
        java.waitForFinished();
        return 1;
    }
    java.closeWriteChannel();
    java.waitForFinished();
    return 0;
}
