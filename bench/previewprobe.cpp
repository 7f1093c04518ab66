// preview-probe [URL]: the result preview's cost after the answer is in. For a 10,000-cell and
// a 100,000-cell result of the test server (scripts/olap-server.sh; URL defaults to the one in
// $OLAP_SERVER_STATE_DIR/url), it fetches the whole answer first, in the pieces the network
// hands over, then times reading them as the client does, building the grid and painting the
// preview window, and prints the process's resident memory before and after. The client reads
// an answer while it arrives, so in use part of this overlaps the transfer: the figures are the
// worst case from the server's last byte.
#include "previewanswer.h"
#include "window/previewwindow.h"
#include "window/resultgrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

namespace {

// Resident and peak resident memory of this process, in MB.
std::pair<double, double> memory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    double rss = 0, peak = 0;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            const double kb = line.simplified().split(' ').value(1).toDouble();
            if (line.startsWith("VmRSS:"))
                rss = kb / 1024;
            else if (line.startsWith("VmHWM:"))
                peak = kb / 1024;
        }
    }
    return { rss, peak };
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString url = app.arguments().value(1);
    if (url.isEmpty()) {
        QFile file(qEnvironmentVariable("OLAP_SERVER_STATE_DIR") + QStringLiteral("/url"));
        if (file.open(QIODevice::ReadOnly))
            url = QString::fromUtf8(file.readAll()).trimmed();
    }
    QTextStream out(stdout);
    if (url.isEmpty()) {
        out << "usage: preview-probe http://127.0.0.1:PORT/xmla (the test server's address)\n";
        return 2;
    }
    mdx::HttpConnections network;
    mdx::PreviewWindow window(nullptr);
    window.resize(900, 600);
    out << "cells    answer MB  read ms  grid+paint ms  total ms  RSS before MB  RSS after MB  "
           "peak MB\n";
    for (const auto &[rows, columns] : { std::pair { 100, 100 }, std::pair { 500, 200 } }) {
        for (int run = 0; run < 3; ++run) {
            const QList<QByteArray> chunks = mdx::bench::fetchArrived(
                network, QUrl(url), mdx::bench::previewStatement(rows, columns));
            qsizetype bytes = 0;
            for (const QByteArray &chunk : chunks)
                bytes += chunk.size();
            const auto [before, peakBefore] = memory();
            QElapsedTimer clock;
            clock.start();
            mdx::XmlaResponseReader reader(mdx::XmlaResponseReader::Kind::Execute);
            mdx::bench::readArrived(reader, chunks);
            if (reader.failure()) {
                out << "failed: " << reader.failure()->description() << '\n';
                return 1;
            }
            mdx::QueryResult result = reader.executeResult();
            const double read = double(clock.nsecsElapsed()) / 1e6;
            window.showResult(QStringLiteral("Sales"), std::move(result));
            window.show();
            window.grab(); // paints the window as it is on screen
            const double total = double(clock.nsecsElapsed()) / 1e6;
            const auto [after, peak] = memory();
            out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8\n")
                       .arg(window.grid()->result().cells.size(), 7)
                       .arg(double(bytes) / (1024 * 1024), 9, 'f', 1)
                       .arg(read, 7, 'f', 0)
                       .arg(total - read, 13, 'f', 0)
                       .arg(total, 8, 'f', 0)
                       .arg(before, 13, 'f', 1)
                       .arg(after, 12, 'f', 1)
                       .arg(peak, 7, 'f', 1);
            out.flush();
        }
    }
    return 0;
}
