#include "model/failure.h"
#include "model/layouttree.h"
#include "model/measurelist.h"

#include <QTest>

using namespace mdx;

class TestLayoutTree : public QObject
{
    Q_OBJECT

private slots:
    void emptyTreeAndList()
    {
        LayoutTree tree(QStringLiteral("RowTree"));
        QCOMPARE(tree.count(), 0);
        QCOMPARE(tree.selectedItem(), nullptr);
        QCOMPARE(tree.countRootNodes(), 0);
        QVERIFY_THROWS_EXCEPTION(Failure, tree.item(1));
        MeasureList list;
        QCOMPARE(list.count(), 0);
        QCOMPARE(list.newIndex(), -1);
    }

    void addKeepsSequenceOrderAndLinks()
    {
        LayoutTree tree;
        Node *store = tree.add("[Store]", "Store");
        Node *time = tree.add("[Time]", "Time");
        // A child goes to the end of the sequence even when its parent is not last.
        Node *country = tree.add("[Store]", LayoutTree::Child, "[Store].[Country]", "Country");
        Node *city = tree.add("[Store]", LayoutTree::Child, "[Store].[City]", "City");

        QCOMPARE(tree.count(), 4);
        QCOMPARE(tree.item(1), store);
        QCOMPARE(tree.item(3), country);
        QCOMPARE(city->index(), 4);
        QCOMPARE(country->parent(), store);
        QCOMPARE(store->parent(), nullptr);
        QCOMPARE(store->child(), country);
        QCOMPARE(country->next(), city);
        QCOMPARE(city->next(), nullptr);
        QCOMPARE(country->lastSibling(), city);
        QCOMPARE(store->next(), time);
        QCOMPARE(store->lastSibling(), time);
        QCOMPARE(time->child(), nullptr);
        QCOMPARE(tree.countRootNodes(), 2);
        QVERIFY(!city->checked() && !city->expanded() && !city->selected());

        QList<Node *> seen;
        for (Node *node : tree)
            seen << node;
        QCOMPARE(seen, (QList<Node *> { store, time, country, city }));
    }

    void treeErrorsAreFailures()
    {
        LayoutTree tree(QStringLiteral("SchemaTree"));
        tree.add("[Store]", "Store");
        try {
            tree.add("[Store]", "Again");
            QFAIL("a duplicate key was accepted");
        } catch (const Failure &failure) {
            QCOMPARE(failure.code(), FailureCode::KeyExists);
            QVERIFY(failure.description().contains("[Store]"));
            QVERIFY(!failure.source().isEmpty());
        }
        QVERIFY_THROWS_EXCEPTION(Failure, tree.add("[Time]", LayoutTree::Child, "[Time].[Y]", "Y"));
        QVERIFY_THROWS_EXCEPTION(Failure, tree.remove("[Nowhere]"));
        QVERIFY_THROWS_EXCEPTION(Failure, tree.item(0));
        QVERIFY_THROWS_EXCEPTION(Failure, tree.item(2));
        QCOMPARE(tree.count(), 1); // the failed adds left nothing behind
    }

    void removingABlockMovesLaterNodesUp()
    {
        LayoutTree tree;
        tree.add("[A]", "A");
        tree.add("[A]", LayoutTree::Child, "[A].[1]", "1");
        tree.add("[B]", "B");
        tree.add("[B]", LayoutTree::Child, "[B].[1]", "1");
        tree.add("[B]", LayoutTree::Child, "[B].[2]", "2");
        Node *c = tree.add("[C]", "C");
        Node *c1 = tree.add("[C]", LayoutTree::Child, "[C].[1]", "1");
        tree.item(4)->setSelected(true);

        tree.remove("[B]");

        QCOMPARE(tree.count(), 4);
        QCOMPARE(c->index(), 3);
        QCOMPARE(c1->index(), 4);
        QCOMPARE(tree.item(3), c);
        QCOMPARE(tree.find("[B].[2]"), nullptr);
        QCOMPARE(tree.selectedItem(), nullptr); // the selected node went with its block
        QCOMPARE(tree.item(1)->next(), c);
        QCOMPARE(c->lastSibling(), c);
        QCOMPARE(tree.countRootNodes(), 2);
        // The freed key can be used again.
        tree.add("[B]", "B");
        QCOMPARE(tree.item(5)->key(), QStringLiteral("[B]"));
    }

    void removingALevelNodeKeepsSiblingLinks()
    {
        LayoutTree tree;
        Node *a = tree.add("[A]", "A");
        Node *one = tree.add("[A]", LayoutTree::Child, "[A].[1]", "1");
        tree.add("[A]", LayoutTree::Child, "[A].[2]", "2");
        Node *three = tree.add("[A]", LayoutTree::Child, "[A].[3]", "3");
        tree.remove("[A].[2]");
        QCOMPARE(one->next(), three);
        QCOMPARE(a->child()->lastSibling(), three);
        QCOMPARE(three->index(), 3);
    }

    void selectionIsSingle()
    {
        LayoutTree tree;
        Node *a = tree.add("[A]", "A");
        Node *b = tree.add("[B]", "B");
        a->setSelected(true);
        b->setSelected(true);
        QCOMPARE(tree.selectedItem(), b);
        QVERIFY(!a->selected());
        b->setSelected(false);
        QCOMPARE(tree.selectedItem(), nullptr);
        a->setSelected(true);
        tree.clear();
        QCOMPARE(tree.selectedItem(), nullptr);
        QCOMPARE(tree.count(), 0);
    }

    void identityNotEqualKeys()
    {
        // A node with an equal key in another tree is a different node.
        LayoutTree first;
        LayoutTree second;
        Node *dimension = first.add("[A]", "A");
        Node *other = second.add("[A]", "A");
        Node *level = second.add("[A]", LayoutTree::Child, "[A].[1]", "1");
        QCOMPARE(level->parent(), other);
        QVERIFY(level->parent() != dimension);
    }

    void measureListEntries()
    {
        MeasureList list;
        list.addItem("Units");
        list.addItem("Units"); // equal texts are two entries
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.newIndex(), 1);
        QVERIFY(!list.isTicked(1));
        list.setTicked(1, true);
        QCOMPARE(list.tickedCount(), 1);
        QVERIFY(!list.isTicked(0));
        QVERIFY_THROWS_EXCEPTION(Failure, list.text(2));
        QVERIFY_THROWS_EXCEPTION(Failure, list.setTicked(-1, true));
        list.clear();
        QCOMPARE(list.count(), 0);
        QCOMPARE(list.newIndex(), -1);
    }
};

QTEST_GUILESS_MAIN(TestLayoutTree)
#include "tst_layouttree.moc"
