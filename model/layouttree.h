#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace mdx {

class LayoutTree;

// One node of a layout tree: a dimension node (a root) or a level node (its child).
// Nodes belong to their tree and are compared by identity.
class Node
{
public:
    const QString &key() const { return mKey; }
    const QString &text() const { return mText; }
    Node *parent() const { return mParent; }

    bool checked() const { return mChecked; }
    void setChecked(bool checked);
    bool expanded() const { return mExpanded; }
    void setExpanded(bool expanded);
    // The members a dimension node is narrowed to, as the server names them; empty for all.
    const QStringList &members() const { return mMembers; }
    void setMembers(const QStringList &members);
    bool selected() const;
    // Selecting a node makes it the tree's selected node and clears the previous one.
    void setSelected(bool selected);

    // 1-based position in the tree's node sequence.
    int index() const { return mIndex; }
    Node *child() const;
    Node *next() const;
    Node *lastSibling() const;

    LayoutTree &tree() const { return *mTree; }

private:
    friend class LayoutTree;
    Node(LayoutTree *tree, Node *parent, QString key, QString text);
    const std::vector<Node *> &siblings() const;

    LayoutTree *mTree;
    Node *mParent;
    QString mKey;
    QString mText;
    bool mChecked = false;
    bool mExpanded = false;
    QStringList mMembers;
    int mIndex = 0;
    int mSiblingPosition = 0;
    std::vector<Node *> mChildren;
};

// Told about every change of a tree, so that a view can follow the model.
class LayoutTreeObserver
{
public:
    virtual ~LayoutTreeObserver() = default;
    virtual void nodeAdded(const Node &node) = 0;
    // Called for the node named in remove(), before it and its descendants go.
    virtual void nodeAboutToBeRemoved(const Node &node) = 0;
    virtual void treeCleared() = 0;
    // Checked, expanded, selected or the chosen members changed.
    virtual void nodeChanged(const Node &node) = 0;
};

// The nodes of one tree in the order they were added (positions 1..count()), with at most
// one selected node. Keys are unique within the tree.
class LayoutTree
{
public:
    // Relationship values as the tree views of old knew them; only "child" is used.
    enum Relationship { Child = 4 };

    explicit LayoutTree(QString name = QString());
    ~LayoutTree();
    LayoutTree(const LayoutTree &) = delete;
    LayoutTree &operator=(const LayoutTree &) = delete;

    const QString &name() const { return mName; }

    int count() const { return int(mSequence.size()); }
    // Throws Failure for a position outside 1..count().
    Node *item(int position) const;
    // The node with this key, or nullptr.
    Node *find(const QString &key) const;

    // A new root at the end of the sequence. Throws Failure if the key is taken.
    Node *add(const QString &key, const QString &text);
    // A new last child of the node with relativeKey, at the end of the sequence.
    // Throws Failure if the key is taken or relativeKey is unknown.
    Node *add(const QString &relativeKey, Relationship relationship, const QString &key,
              const QString &text);
    // A new node at `position` of the sequence (1..count() + 1), under the node with parentKey
    // (a root when it is empty), before the siblings that stand later in the sequence. Throws
    // Failure as add() does, and for a position out of range.
    Node *insert(int position, const QString &parentKey, const QString &key, const QString &text);
    // Removes the node and all its descendants; later positions move up.
    void remove(const QString &key);
    void clear();

    Node *selectedItem() const { return mSelected; }
    // The number of dimension nodes (roots).
    int countRootNodes() const { return int(mRoots.size()); }

    auto begin() const { return NodeIterator { mSequence.cbegin() }; }
    auto end() const { return NodeIterator { mSequence.cend() }; }

    void setObserver(LayoutTreeObserver *observer) { mObserver = observer; }

private:
    friend class Node;

    struct NodeIterator
    {
        std::vector<std::unique_ptr<Node>>::const_iterator it;
        Node *operator*() const { return it->get(); }
        NodeIterator &operator++()
        {
            ++it;
            return *this;
        }
        bool operator!=(const NodeIterator &other) const { return it != other.it; }
    };

    Node *append(Node *parent, const QString &key, const QString &text);
    Node *insertNode(int position, Node *parent, const QString &key, const QString &text);
    Node *parentFor(const QString &relativeKey, const QString &key) const;
    void checkNewKey(const QString &key) const;
    void changed(const Node &node);
    [[noreturn]] void fail(qint32 code, const QString &description) const;

    QString mName;
    std::vector<std::unique_ptr<Node>> mSequence;
    std::vector<Node *> mRoots;
    QHash<QString, Node *> mByKey;
    Node *mSelected = nullptr;
    LayoutTreeObserver *mObserver = nullptr;
};

} // namespace mdx
