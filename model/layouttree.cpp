#include "layouttree.h"

#include "common/failure.h"

#include <algorithm>

namespace mdx {

namespace {
const QString source = FailureSource::LayoutTree;
}

Node::Node(LayoutTree *tree, Node *parent, QString key, QString text)
    : mTree(tree)
    , mParent(parent)
    , mKey(std::move(key))
    , mText(std::move(text))
{
}

void Node::setChecked(bool checked)
{
    if (mChecked == checked)
        return;
    mChecked = checked;
    mTree->changed(*this);
}

void Node::setExpanded(bool expanded)
{
    if (mExpanded == expanded)
        return;
    mExpanded = expanded;
    mTree->changed(*this);
}

void Node::setMembers(const QStringList &members)
{
    if (mMembers == members)
        return;
    mMembers = members;
    mTree->changed(*this);
}

bool Node::selected() const
{
    return mTree->mSelected == this;
}

void Node::setSelected(bool selected)
{
    Node *previous = mTree->mSelected;
    if (selected == (previous == this))
        return;
    mTree->mSelected = selected ? this : nullptr;
    if (previous && previous != this)
        mTree->changed(*previous);
    mTree->changed(*this);
}

const std::vector<Node *> &Node::siblings() const
{
    return mParent ? mParent->mChildren : mTree->mRoots;
}

Node *Node::child() const
{
    return mChildren.empty() ? nullptr : mChildren.front();
}

Node *Node::next() const
{
    const auto &list = siblings();
    const size_t nextPosition = size_t(mSiblingPosition) + 1;
    return nextPosition < list.size() ? list[nextPosition] : nullptr;
}

Node *Node::lastSibling() const
{
    return siblings().back();
}

LayoutTree::LayoutTree(QString name)
    : mName(std::move(name))
{
}

LayoutTree::~LayoutTree() = default;

Node *LayoutTree::item(int position) const
{
    if (position < 1 || position > count())
        fail(ModelFailure::PositionOutOfRange,
             QStringLiteral("The tree %1 has no node at position %2 (it holds %3).")
                 .arg(mName)
                 .arg(position)
                 .arg(count()));
    return mSequence[size_t(position) - 1].get();
}

Node *LayoutTree::find(const QString &key) const
{
    return mByKey.value(key, nullptr);
}

Node *LayoutTree::add(const QString &key, const QString &text)
{
    return append(nullptr, key, text);
}

Node *LayoutTree::add(const QString &relativeKey, Relationship relationship, const QString &key,
                      const QString &text)
{
    Q_UNUSED(relationship); // only "child" exists
    return append(parentFor(relativeKey, key), key, text);
}

Node *LayoutTree::parentFor(const QString &relativeKey, const QString &key) const
{
    Node *parent = find(relativeKey);
    if (!parent)
        fail(ModelFailure::KeyNotFound,
             QStringLiteral("The tree %1 holds no node with the key \"%2\" to add \"%3\" under.")
                 .arg(mName, relativeKey, key));
    return parent;
}

void LayoutTree::checkNewKey(const QString &key) const
{
    if (mByKey.contains(key))
        fail(ModelFailure::KeyExists,
             QStringLiteral("The tree %1 already holds a node with the key \"%2\".")
                 .arg(mName, key));
}

Node *LayoutTree::append(Node *parent, const QString &key, const QString &text)
{
    return insertNode(count() + 1, parent, key, text);
}

Node *LayoutTree::insert(int position, const QString &parentKey, const QString &key,
                         const QString &text)
{
    if (position < 1 || position > count() + 1)
        fail(ModelFailure::PositionOutOfRange,
             QStringLiteral("The tree %1 cannot take a node at position %2 (it holds %3).")
                 .arg(mName)
                 .arg(position)
                 .arg(count()));
    return insertNode(position, parentKey.isEmpty() ? nullptr : parentFor(parentKey, key), key,
                      text);
}

Node *LayoutTree::insertNode(int position, Node *parent, const QString &key, const QString &text)
{
    checkNewKey(key);
    auto node = std::unique_ptr<Node>(new Node(this, parent, key, text));
    Node *raw = node.get();
    // Siblings stand in the order of the sequence, as every change keeps them.
    auto &siblings = parent ? parent->mChildren : mRoots;
    auto at = siblings.end();
    if (position <= count()) {
        at = std::find_if(siblings.begin(), siblings.end(),
                          [position](const Node *n) { return n->mIndex >= position; });
    }
    for (auto it = siblings.insert(at, raw); it != siblings.end(); ++it)
        (*it)->mSiblingPosition = int(it - siblings.begin());
    mSequence.insert(mSequence.begin() + (position - 1), std::move(node));
    for (size_t i = size_t(position) - 1; i < mSequence.size(); ++i)
        mSequence[i]->mIndex = int(i) + 1;
    mByKey.insert(key, raw);
    if (mObserver)
        mObserver->nodeAdded(*raw);
    return raw;
}

void LayoutTree::remove(const QString &key)
{
    Node *node = find(key);
    if (!node)
        fail(ModelFailure::KeyNotFound,
             QStringLiteral("The tree %1 holds no node with the key \"%2\" to remove.")
                 .arg(mName, key));
    if (mObserver)
        mObserver->nodeAboutToBeRemoved(*node);

    // Mark the node and its descendants; they need not stand together in the sequence.
    std::vector<Node *> doomed { node };
    for (size_t i = 0; i < doomed.size(); ++i)
        doomed.insert(doomed.end(), doomed[i]->mChildren.begin(), doomed[i]->mChildren.end());
    for (Node *n : doomed) {
        mByKey.remove(n->mKey);
        n->mIndex = 0;
        if (mSelected == n)
            mSelected = nullptr;
    }

    auto &siblings = node->mParent ? node->mParent->mChildren : mRoots;
    siblings.erase(siblings.begin() + node->mSiblingPosition);
    for (size_t i = size_t(node->mSiblingPosition); i < siblings.size(); ++i)
        siblings[i]->mSiblingPosition = int(i);

    std::erase_if(mSequence, [](const std::unique_ptr<Node> &n) { return n->mIndex == 0; });
    for (size_t i = 0; i < mSequence.size(); ++i)
        mSequence[i]->mIndex = int(i) + 1;
}

void LayoutTree::clear()
{
    mSelected = nullptr;
    mByKey.clear();
    mRoots.clear();
    mSequence.clear();
    if (mObserver)
        mObserver->treeCleared();
}

void LayoutTree::changed(const Node &node)
{
    if (mObserver)
        mObserver->nodeChanged(node);
}

void LayoutTree::fail(qint32 code, const QString &description) const
{
    throw Failure(code, description, source);
}

} // namespace mdx
