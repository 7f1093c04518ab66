// Choosing members in a level of many: a scripted server answers the catalog as the test
// server does and lists N members (100,000 unless given) for one level; the probe opens the
// member window on it, then scrolls to the end page by page, and prints the times, the longest
// the window went without handling events, and the requests sent.
//
//   member-probe [N]        (run with QT_QPA_PLATFORM=offscreen where there is no display)
#include "catalog/catalog.h"
#include "window/memberchooser.h"

#include "fakehttpserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

using namespace mdx;

namespace {

const QString level = QStringLiteral("[Store].[Store Name]");

QByteArray membersAnswer(int count)
{
    const QByteArray recorded = test::recorded(QStringLiteral("sales-members.xml"));
    const qsizetype first = recorded.indexOf("<row>");
    const qsizetype end = recorded.lastIndexOf("</row>") + 6;
    QByteArray rows;
    rows.reserve(qsizetype(count) * 900);
    for (int i = 0; i < count; ++i) {
        const QByteArray name = "Store " + QByteArray::number(i);
        rows += "<row><CATALOG_NAME>OlapTest</CATALOG_NAME><SCHEMA_NAME>OlapTest</SCHEMA_NAME>"
                "<CUBE_NAME>Sales</CUBE_NAME><DIMENSION_UNIQUE_NAME>[Store]</DIMENSION_UNIQUE_NAME>"
                "<HIERARCHY_UNIQUE_NAME>[Store]</HIERARCHY_UNIQUE_NAME>"
                "<LEVEL_UNIQUE_NAME>[Store].[Store Name]</LEVEL_UNIQUE_NAME>"
                "<LEVEL_NUMBER>4</LEVEL_NUMBER><MEMBER_ORDINAL>"
            + QByteArray::number(i) + "</MEMBER_ORDINAL><MEMBER_NAME>" + name
            + "</MEMBER_NAME><MEMBER_UNIQUE_NAME>[Store].[" + name
            + "]</MEMBER_UNIQUE_NAME><MEMBER_TYPE>1</MEMBER_TYPE><MEMBER_CAPTION>" + name
            + "</MEMBER_CAPTION><CHILDREN_CARDINALITY>0</CHILDREN_CARDINALITY>"
              "<PARENT_LEVEL>3</PARENT_LEVEL><PARENT_COUNT>1</PARENT_COUNT><DEPTH>4</DEPTH></"
              "row>\n";
    }
    return recorded.left(first) + rows + recorded.mid(end);
}

// The longest time between two turns of the event loop while it runs.
class Heartbeat
{
public:
    Heartbeat()
    {
        QObject::connect(&mTimer, &QTimer::timeout,
                         [this] { mLongest = std::max(mLongest, mSince.restart()); });
        mTimer.start(5);
        mSince.start();
    }
    qint64 longestMs() const { return std::max(mLongest, mSince.elapsed()); }

private:
    QTimer mTimer;
    QElapsedTimer mSince;
    qint64 mLongest = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const QByteArray big = membersAnswer(count);

    // The server answers from a thread of its own, as a real one would from its process: its
    // writing is not the window's time.
    const QByteArray bigAnswer = test::FakeHttpServer::chunked(big, 64 * 1024);
    QUrl url;
    std::unique_ptr<test::FakeHttpServer> server;
    QThread serverThread;
    QObject starter;
    starter.moveToThread(&serverThread);
    serverThread.start();
    QMetaObject::invokeMethod(
        &starter,
        [&] {
            server = std::make_unique<test::FakeHttpServer>();
            server->setHandler([&](const test::HttpRequest &request) -> std::optional<QByteArray> {
                if (request.body.contains("<LEVEL_UNIQUE_NAME>" + level.toUtf8()))
                    return bigAnswer;
                return test::recordedAnswer(request);
            });
            url = server->url();
        },
        Qt::BlockingQueuedConnection);
    const auto stopServer = qScopeGuard([&] {
        QMetaObject::invokeMethod(
            &starter, [&] { server.reset(); }, Qt::BlockingQueuedConnection);
        serverThread.quit();
        serverThread.wait();
    });

    Connection connection;
    connection.open(QStringLiteral("provider=msolap;data source=%1;initial catalog=OlapTest")
                        .arg(url.toString()));
    Catalog catalog;
    catalog.setActiveConnection(connection);
    const CubeDef cube = catalog.cubeDefs().item(0);
    cube.dimensions();
    const int requestsBefore = connection.dataSource()->requestCount();

    {
        QElapsedTimer direct;
        direct.start();
        Heartbeat beat;
        const auto members = cube.members(MemberQuery { level, {} });
        std::printf("direct listing: %lld members in %lld ms, longest without events %lld ms\n",
                    qint64(members.size()), qint64(direct.elapsed()), qint64(beat.longestMs()));
    }
    QElapsedTimer clock;
    clock.start();
    Heartbeat heartbeat;
    MemberChooser chooser(QStringLiteral("Store"), level, {},
                          [&](const MemberQuery &query) { return cube.members(query); });
    chooser.show();
    QCoreApplication::processEvents();
    const qint64 opened = clock.elapsed();
    const qint64 openFreeze = heartbeat.longestMs();

    auto *view = chooser.findChild<QTreeView *>(QStringLiteral("MemberTree"));
    const int shownAtOpen = view->model()->rowCount();
    QElapsedTimer scrolling;
    scrolling.start();
    Heartbeat scrollHeartbeat;
    int steps = 0;
    while (view->model()->rowCount() < count && steps < count) {
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
        ++steps;
    }
    std::printf("%d members: window open with %d shown in %lld ms (longest without events "
                "%lld ms); scrolled to the end in %d steps, %lld ms (longest without events "
                "%lld ms); %d request(s) for the members\n",
                count, shownAtOpen, qint64(opened), qint64(openFreeze), steps,
                qint64(scrolling.elapsed()), qint64(scrollHeartbeat.longestMs()),
                connection.dataSource()->requestCount() - requestsBefore);
    if (const auto *status = chooser.findChild<QLabel *>(QStringLiteral("MemberStatusLabel"));
        !status->text().isEmpty())
        std::printf("The window says: %s\n", qPrintable(status->text()));
    return view->model()->rowCount() == count ? 0 : 1;
}
