// The member window: pages of a long level, children when a member opens, check marks, find,
// select all and none, counts, and a source that lists no members.

#include "common/failure.h"
#include "window/memberchooser.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using namespace mdx;

namespace {

// A level of `count` members "M0", "M1", ... of which M0 has the children C1 and C2; every
// query asked is kept as "level X" or "children of X".
struct FakeLister
{
    int count = 2500;
    QStringList asked;
    QList<MemberInfo> operator()(const MemberQuery &query)
    {
        QList<MemberInfo> members;
        if (!query.parentUniqueName.isEmpty()) {
            asked << "children of " + query.parentUniqueName;
            for (const QString name : { "C1", "C2" })
                members.append({ name, "[D].[M0].[" + name + ']', 0 });
            return members;
        }
        asked << "level " + query.levelUniqueName;
        for (int i = 0; i < count; ++i)
            members.append({ QStringLiteral("M%1").arg(i), QStringLiteral("[D].[M%1]").arg(i),
                             i == 0 ? 2 : 0 });
        return members;
    }
};

} // namespace

class TestMemberChooser : public QObject
{
    Q_OBJECT

    std::unique_ptr<MemberChooser> open(FakeLister &lister, const QStringList &chosen = {})
    {
        auto chooser = std::make_unique<MemberChooser>(
            "D", "[D].[L]", chosen, [&lister](const MemberQuery &q) { return lister(q); });
        chooser->show();
        return chooser;
    }
    static QTreeView *tree(const MemberChooser &chooser)
    {
        return chooser.findChild<QTreeView *>("MemberTree");
    }
    static QString countText(const MemberChooser &chooser)
    {
        return chooser.findChild<QLabel *>("MemberCountLabel")->text();
    }

private slots:
    void longLevelInPagesAndChildrenOnOpening()
    {
        FakeLister lister;
        const auto chooser = open(lister);
        QAbstractItemModel *model = tree(*chooser)->model();
        // A page or two for a start (the view asks for what fills it); the rest on demand.
        QVERIFY(model->rowCount() < 2500 && model->rowCount() % MemberTreeModel::pageSize == 0);
        QCOMPARE(lister.asked, QStringList { "level [D].[L]" });
        QCOMPARE(countText(*chooser),
                 QStringLiteral("0 chosen of %1 listed").arg(QLocale().toString(2500)));
        while (model->canFetchMore({}))
            model->fetchMore({});
        QCOMPARE(model->rowCount(), 2500);
        QCOMPARE(model->index(2499, 0).data().toString(), "M2499");

        const QModelIndex first = model->index(0, 0), second = model->index(1, 0);
        QVERIFY(model->hasChildren(first));
        QVERIFY(!model->hasChildren(second));
        tree(*chooser)->expand(first);
        QTRY_COMPARE(model->rowCount(first), 2);
        QCOMPARE(model->index(1, 0, first).data(Qt::ToolTipRole).toString(), "[D].[M0].[C2]");
        QCOMPARE(lister.asked, (QStringList { "level [D].[L]", "children of [D].[M0]" }));
        // Listed once: closing and opening again asks nothing.
        tree(*chooser)->collapse(first);
        tree(*chooser)->expand(first);
        QCOMPARE(lister.asked.size(), 2);
    }

    void checkMarksKeepTheOrderOfChoosing()
    {
        FakeLister lister;
        const auto chooser = open(lister, { "[D].[M5]", "[D].[Elsewhere]" });
        QAbstractItemModel *model = tree(*chooser)->model();
        QCOMPARE(model->index(5, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(model->index(4, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QVERIFY(model->flags(model->index(3, 0)) & Qt::ItemIsUserCheckable);
        model->setData(model->index(3, 0), Qt::Checked, Qt::CheckStateRole);
        model->setData(model->index(5, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(chooser->chosen(), (QStringList { "[D].[Elsewhere]", "[D].[M3]" }));
        QVERIFY(countText(*chooser).startsWith("2 chosen of "));
    }

    void findNarrowsWhatSelectAllTakes()
    {
        FakeLister lister;
        const auto chooser = open(lister, { "[D].[M7]" });
        QAbstractItemModel *model = tree(*chooser)->model();
        // Of what is listed so far: M12, M120 to M129, ...
        int matches = 0;
        for (int i = 0; i < model->rowCount(); ++i)
            matches += QStringLiteral("M%1").arg(i).startsWith("M12");
        QTest::keyClicks(chooser->findChild<QLineEdit *>("MemberFindField"), "m12");
        QCOMPARE(model->rowCount(), matches);
        chooser->findChild<QPushButton *>("SelectAllButton")->click();
        QCOMPARE(chooser->chosen().size(), matches + 1);
        QCOMPARE(chooser->chosen().first(), "[D].[M7]");
        QVERIFY(chooser->chosen().contains("[D].[M125]"));
        QVERIFY(!chooser->chosen().contains("[D].[M13]"));
        // Choosing all again adds nothing twice.
        chooser->findChild<QPushButton *>("SelectAllButton")->click();
        QCOMPARE(chooser->chosen().size(), matches + 1);
        chooser->findChild<QPushButton *>("SelectNoneButton")->click();
        QVERIFY(chooser->chosen().isEmpty());
        // Without a find, all that is listed so far.
        chooser->findChild<QLineEdit *>("MemberFindField")->clear();
        chooser->findChild<QPushButton *>("SelectAllButton")->click();
        QCOMPARE(chooser->chosen().size(), model->rowCount());
        QCOMPARE(chooser->chosen().first(), "[D].[M0]");
        QVERIFY(countText(*chooser).startsWith(QLocale().toString(model->rowCount()) + " chosen"));
        chooser->findChild<QPushButton *>("SelectNoneButton")->click();
        QCOMPARE(model->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    }

    void aSourceWithoutMembersSaysSo()
    {
        const QString why = QStringLiteral("This catalog lists no members: connect to an OLAP "
                                           "server to choose members");
        MemberChooser chooser("D", "[D].[L]", { "[D].[X]" }, [&](const MemberQuery &) {
            throw Failure(CatalogFailure::ListsNoMembers, why, FailureSource::Catalog);
            return QList<MemberInfo>();
        });
        chooser.show();
        const auto *status = chooser.findChild<QLabel *>("MemberStatusLabel");
        QVERIFY(status->isVisible());
        QCOMPARE(status->text(), why);
        QCOMPARE(tree(chooser)->model()->rowCount(), 0);
        QCOMPARE(chooser.chosen(), QStringList { "[D].[X]" });
    }
};

QTEST_MAIN(TestMemberChooser)
#include "tst_memberchooser.moc"
