// preview-probe [URL]: the result preview's cost after the answer is in. For a 10,000-cell and
// a 100,000-cell result of the test server (scripts/olap-server.sh; URL defaults to the one in
// $OLAP_SERVER_STATE_DIR/url), it fetches the whole answer first, then times reading it, building
// the grid and painting the preview window, and prints the process's resident memory before
// and after. The client reads an answer while it arrives, so in use part of this overlaps the
// transfer: the figures are the worst case from the server's last byte.
#include "catalog/xmla/xmlaclient.h"
#include "window/previewwindow.h"
#include "window/resultgrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
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

QByteArray fetch(QNetworkAccessManager &network, const QUrl &url, const QString &statement)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "text/xml; charset=utf-8");
    request.setRawHeader("SOAPAction", "\"urn:schemas-microsoft-com:xml-analysis:Execute\"");
    const mdx::XmlaParameters properties { { "Catalog", "OlapTest" },
                                           { "Format", "Multidimensional" },
                                           { "AxisFormat", "TupleFormat" } };
    QNetworkReply *reply
        = network.post(request, mdx::XmlaClient::executeBody(statement, properties));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

// Rows of Store x Time and columns of Product x Store Type x four measures, cut to size;
// three measures are constants so that every cell holds a value.
QString statement(int rows, int columns)
{
    return QStringLiteral("with member [Measures].[One] as 1 member [Measures].[Two] as 2 member "
                          "[Measures].[Three] as 3 "
                          "select "
                          "head(crossjoin({[Store].members},{[Time].members}),%1) on rows, "
                          "head(crossjoin(crossjoin({[Product].members},{[Store Type].members}),"
                          "{[Measures].[One],[Measures].[Two],[Measures].[Three],[Measures].[Unit "
                          "Sales]}),%2) "
                          "on columns "
                          "from Sales")
        .arg(rows)
        .arg(columns);
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
    QNetworkAccessManager network;
    mdx::PreviewWindow window(nullptr);
    window.resize(900, 600);
    out << "cells    answer MB  read ms  grid+paint ms  total ms  RSS before MB  RSS after MB  "
           "peak MB\n";
    for (const auto &[rows, columns] : { std::pair { 100, 100 }, std::pair { 500, 200 } }) {
        for (int run = 0; run < 3; ++run) {
            const QByteArray body = fetch(network, QUrl(url), statement(rows, columns));
            const auto [before, peakBefore] = memory();
            QElapsedTimer clock;
            clock.start();
            // In pieces, as the client is given them by the network.
            mdx::XmlaResponseReader reader(mdx::XmlaResponseReader::Kind::Execute);
            for (qsizetype at = 0; at < body.size(); at += 64 * 1024)
                reader.addData(body.mid(at, 64 * 1024));
            reader.finish();
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
                       .arg(double(body.size()) / (1024 * 1024), 9, 'f', 1)
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
