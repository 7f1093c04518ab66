#include "treebuilder.h"

#include "model/failure.h"
#include "model/placement.h"

#include <QTest>

#include <functional>

using namespace mdx;

namespace {

// Records what a view bound to a tree would be told.
class RecordingObserver : public LayoutTreeObserver
{
public:
    QStringList events;
    void nodeAdded(const Node &node) override { events << "add " + node.key(); }
    void nodeAboutToBeRemoved(const Node &node) override { events << "remove " + node.key(); }
    void treeCleared() override { events << "clear"; }
    void nodeChanged(const Node &node) override { events << "change " + node.key(); }
};

// Each node in sequence as "text@index parent>child next last-sibling", "-" for none, a star
// after a checked node's text: the links a walk over the tree follows.
QStringList links(const LayoutTree &tree)
{
    const auto text = [](const Node *node) { return node ? node->text() : QStringLiteral("-"); };
    QStringList lines;
    for (int p = 1; p <= tree.count(); ++p) {
        const Node *n = tree.item(p);
        lines << QStringLiteral("%1%2@%3 %4>%5 %6 %7")
                     .arg(n->text(), n->checked() ? "*" : "")
                     .arg(n->index())
                     .arg(text(n->parent()), text(n->child()), text(n->next()),
                          text(n->lastSibling()));
    }
    return lines;
}

} // namespace

class TestLayoutTree : public QObject
{
    Q_OBJECT

private slots:
    void addAndRemoveKeepSequenceAndLinks()
    {
        LayoutTree tree;
        fill(tree, "A=1; B=1,2");
        // A child goes to the end of the sequence even when its parent is not last.
        tree.add("[A]", LayoutTree::Child, "[A].[2]", "2");
        QCOMPARE(links(tree),
                 QStringList({ "A@1 ->1 B B", "1@2 A>- 2 2", "B@3 ->1 - B", "1@4 B>- 2 2",
                               "2@5 B>- - 2", "2@6 A>- - 2" }));
        fill(tree, "C=1,2*,3");
        tree.find("[A]")->setSelected(true);
        tree.find("[B].[2]")->setSelected(true);
        tree.remove("[B]");
        QCOMPARE(tree.selectedItem(), nullptr); // one selected node, gone with its block
        tree.remove("[C].[1]");
        QCOMPARE(links(tree),
                 QStringList({ "A@1 ->1 C C", "1@2 A>- 2 2", "2@3 A>- - 2", "C@4 ->2 - C",
                               "2*@5 C>- 3 3", "3@6 C>- - 3" }));
        QCOMPARE(tree.countRootNodes(), 2);
        QCOMPARE(tree.add("[B]", "B")->index(), 7); // the freed key can be used again
        // Put back where it stood, as undo does: before the siblings that stand later.
        tree.insert(5, "[C]", "[C].[1]", "1");
        tree.insert(1, QString(), "[Z]", "Z");
        QCOMPARE(
            links(tree),
            QStringList({ "Z@1 ->- A B", "A@2 ->1 C B", "1@3 A>- 2 2", "2@4 A>- - 2", "C@5 ->1 B B",
                          "1@6 C>- 2 3", "2*@7 C>- 3 3", "3@8 C>- - 3", "B@9 ->- - B" }));
    }

    // Every refused operation throws, with its code, and leaves the trees and list unchanged.
    void failures()
    {
        LayoutTree tree(QStringLiteral("RowTree")), other;
        MeasureList measures;
        fill(tree, "A=1");
        fill(measures, "Units");
        other.add("[B]", "B");
        other.add("[B]", LayoutTree::Child, "[A].[1]", "1"); // a level key taken elsewhere
        const QList<std::pair<qint32, std::function<void()>>> cases {
            { ModelFailure::KeyExists, [&] { tree.add("[A]", "Again"); } },
            { ModelFailure::KeyExists,
              [&] { tree.add("[A]", LayoutTree::Child, "[A].[1]", "1"); } },
            { ModelFailure::KeyNotFound,
              [&] { tree.add("[B]", LayoutTree::Child, "[B].[1]", "1"); } },
            { ModelFailure::KeyNotFound, [&] { tree.remove("[B]"); } },
            { ModelFailure::PositionOutOfRange, [&] { tree.item(0); } },
            { ModelFailure::PositionOutOfRange, [&] { tree.item(3); } },
            { ModelFailure::PositionOutOfRange, [&] { tree.insert(4, {}, "[Z]", "Z"); } },
            { ModelFailure::KeyNotFound, [&] { tree.insert(3, "[B]", "[B].[1]", "1"); } },
            { ModelFailure::PositionOutOfRange, [&] { measures.text(1); } },
            { ModelFailure::PositionOutOfRange, [&] { measures.setTicked(-1, true); } },
            { ModelFailure::KeyExists, [&] { moveDimension(*tree.find("[A]"), other); } },
            { ModelFailure::NotADimensionNode,
              [&] { moveDimension(*tree.find("[A].[1]"), other); } },
        };
        for (qsizetype i = 0; i < cases.size(); ++i) {
            qint32 code = 0; // and -1 for a failure that does not say what and where
            try {
                cases[i].second();
            } catch (const Failure &f) {
                code = f.description().isEmpty() || f.source().isEmpty() ? -1 : f.code();
            }
            QVERIFY2(code == cases[i].first, qPrintable(QString::number(i)));
        }
        QCOMPARE(links(tree), QStringList({ "A@1 ->1 - A", "1@2 A>- - 1" }));
        QCOMPARE(links(other), QStringList({ "B@1 ->1 - B", "1@2 B>- - 1" }));
        QCOMPARE(measures.count(), 1);
    }

    // A drop, as a view bound to the target is told it; the query's tests hold the trees.
    void viewsAreToldEveryChange()
    {
        LayoutTree schema, rows(QStringLiteral("RowTree"));
        fill(schema, "Store=(All); Gender=(All),Gender");
        RecordingObserver observer;
        rows.setObserver(&observer);
        placeNode(schema, schema.find("[Gender].[Gender]"), rows);
        QVERIFY(rows.find("[Gender]")->expanded());
        rows.find("[Gender]")->setSelected(true);
        rows.find("[Gender].[Gender]")->setSelected(true);
        rows.clear();
        rows.setObserver(nullptr);
        QCOMPARE(observer.events,
                 QStringList({ "add [Gender]", "change [Gender]", "add [Gender].[(All)]",
                               "change [Gender].[(All)]", "add [Gender].[Gender]",
                               "change [Gender].[Gender]", "change [Gender]", "change [Gender]",
                               "change [Gender]", "change [Gender].[Gender]", "clear" }));
    }
};

QTEST_GUILESS_MAIN(TestLayoutTree)
#include "tst_layouttree.moc"
