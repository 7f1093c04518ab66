#include "memberchooser.h"

#include "common/failure.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace mdx {

struct MemberTreeModel::Item
{
    MemberInfo info;
    Item *parent = nullptr;
    int row = 0;
    bool listed = false; // its children have been asked for
    int shown = 0; // children the view has been given, from the first
    std::vector<std::unique_ptr<Item>> children;
};

MemberTreeModel::MemberTreeModel(MemberLister lister, QString topLevel, QStringList chosen,
                                 QObject *parent)
    : QAbstractItemModel(parent)
    , mLister(std::move(lister))
    , mTopLevel(std::move(topLevel))
    , mRoot(std::make_unique<Item>())
    , mChosen(std::move(chosen))
    , mChosenSet(mChosen.cbegin(), mChosen.cend())
{
}

MemberTreeModel::~MemberTreeModel() = default;

MemberTreeModel::Item *MemberTreeModel::itemOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Item *>(index.internalPointer()) : mRoot.get();
}

QModelIndex MemberTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    const Item *item = itemOf(parent);
    if (column != 0 || row < 0 || row >= item->shown)
        return {};
    return createIndex(row, 0, item->children[size_t(row)].get());
}

QModelIndex MemberTreeModel::parent(const QModelIndex &child) const
{
    const Item *item = itemOf(child);
    if (!child.isValid() || item->parent == mRoot.get())
        return {};
    return createIndex(item->parent->row, 0, item->parent);
}

int MemberTreeModel::rowCount(const QModelIndex &parent) const
{
    return itemOf(parent)->shown;
}

int MemberTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool MemberTreeModel::hasChildren(const QModelIndex &parent) const
{
    const Item *item = itemOf(parent);
    return !parent.isValid() || item->shown > 0 || (!item->listed && item->info.childCount > 0);
}

bool MemberTreeModel::canFetchMore(const QModelIndex &parent) const
{
    const Item *item = itemOf(parent);
    if (!item->listed)
        return !parent.isValid() || item->info.childCount > 0;
    return item->shown < int(item->children.size());
}

void MemberTreeModel::fetchMore(const QModelIndex &parent)
{
    Item &item = *itemOf(parent);
    if (!item.listed)
        list(item);
    showNextPage(item, parent);
}

// Asks for an item's children once; a failure is told and leaves the item without children.
void MemberTreeModel::list(Item &item)
{
    item.listed = true;
    QList<MemberInfo> members;
    try {
        members = mLister(item.parent ? MemberQuery { {}, item.info.uniqueName }
                                      : MemberQuery { mTopLevel, {} });
    } catch (const Failure &failure) {
        emit listingFailed(failure.description());
        return;
    }
    item.children.reserve(size_t(members.size()));
    for (MemberInfo &member : members) {
        auto child = std::make_unique<Item>();
        child->info = std::move(member);
        child->parent = &item;
        child->row = int(item.children.size());
        item.children.push_back(std::move(child));
    }
    mListedCount += int(members.size());
}

void MemberTreeModel::showNextPage(Item &item, const QModelIndex &index)
{
    const int count = std::min(pageSize, int(item.children.size()) - item.shown);
    if (count <= 0)
        return;
    beginInsertRows(index, item.shown, item.shown + count - 1);
    item.shown += count;
    endInsertRows();
}

QVariant MemberTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const MemberInfo &member = itemOf(index)->info;
    switch (role) {
    case Qt::DisplayRole:
        return member.name;
    case Qt::ToolTipRole:
        return member.uniqueName;
    case Qt::CheckStateRole:
        return mChosenSet.contains(member.uniqueName) ? Qt::Checked : Qt::Unchecked;
    default:
        return {};
    }
}

bool MemberTreeModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole)
        return false;
    const QString &name = itemOf(index)->info.uniqueName;
    const bool chosen = value.toInt() == Qt::Checked;
    if (chosen == mChosenSet.contains(name))
        return false;
    if (chosen) {
        mChosen.append(name);
        mChosenSet.insert(name);
    } else {
        mChosen.removeAll(name);
        mChosenSet.remove(name);
    }
    emit dataChanged(index, index, { Qt::CheckStateRole });
    emit chosenChanged();
    return true;
}

Qt::ItemFlags MemberTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

void MemberTreeModel::visitShown(Item &item, const QModelIndex &index,
                                 const std::function<void(Item &, const QModelIndex &)> &visit)
{
    for (int row = 0; row < item.shown; ++row) {
        const QModelIndex child = this->index(row, 0, index);
        visit(*item.children[size_t(row)], child);
        visitShown(*item.children[size_t(row)], child, visit);
    }
    if (item.shown > 0)
        emit dataChanged(this->index(0, 0, index), this->index(item.shown - 1, 0, index),
                         { Qt::CheckStateRole });
}

void MemberTreeModel::setChosen(bool chosen, const std::function<bool(const QModelIndex &)> &shown)
{
    QSet<QString> dropped;
    visitShown(*mRoot, {}, [&](Item &item, const QModelIndex &index) {
        const QString &name = item.info.uniqueName;
        if (!shown(index) || mChosenSet.contains(name) == chosen)
            return;
        if (chosen) {
            mChosen.append(name);
            mChosenSet.insert(name);
        } else {
            dropped.insert(name);
            mChosenSet.remove(name);
        }
    });
    if (!dropped.isEmpty())
        mChosen.removeIf([&](const QString &name) { return dropped.contains(name); });
    emit chosenChanged();
}

void MemberTreeModel::clearChosen()
{
    mChosen.clear();
    mChosenSet.clear();
    visitShown(*mRoot, {}, [](Item &, const QModelIndex &) {});
    emit chosenChanged();
}

MemberChooser::MemberChooser(const QString &dimensionName, const QString &topLevel,
                             const QStringList &chosen, MemberLister lister, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("MemberChooser"));
    setWindowTitle(QStringLiteral("Choose Members - %1").arg(dimensionName));
    resize(420, 480);

    mModel = new MemberTreeModel(std::move(lister), topLevel, chosen, this);
    connect(mModel, &MemberTreeModel::listingFailed, this, &MemberChooser::showFailure);
    connect(mModel, &MemberTreeModel::chosenChanged, this, &MemberChooser::showCounts);
    connect(mModel, &QAbstractItemModel::rowsInserted, this, &MemberChooser::showCounts);
    mFilter = new QSortFilterProxyModel(this);
    mFilter->setSourceModel(mModel);
    mFilter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    // A match deep in the tree keeps the members above it, so that it can be seen.
    mFilter->setRecursiveFilteringEnabled(true);
    createControls();

    // The top level is asked for now, while the caller's wait shows, not at the first paint.
    if (mFilter->canFetchMore({}))
        mFilter->fetchMore({});
    showCounts();
    mMemberTree->setFocus();
}

void MemberChooser::createControls()
{
    mFindField = new QLineEdit(this);
    mFindField->setObjectName(QStringLiteral("MemberFindField"));
    mFindField->setPlaceholderText(QStringLiteral("Find in the listed members"));
    mFindField->setClearButtonEnabled(true);
    mFindField->setAccessibleName(mFindField->placeholderText());
    mMemberTree = new QTreeView(this);
    mMemberTree->setObjectName(QStringLiteral("MemberTree"));
    mMemberTree->setAccessibleName(QStringLiteral("Members"));
    mMemberTree->setHeaderHidden(true);
    mMemberTree->setUniformRowHeights(true);
    mMemberTree->setModel(mFilter);
    auto *selectAll = new QPushButton(QStringLiteral("Select &All"), this);
    selectAll->setObjectName(QStringLiteral("SelectAllButton"));
    auto *selectNone = new QPushButton(QStringLiteral("Select &None"), this);
    selectNone->setObjectName(QStringLiteral("SelectNoneButton"));
    mCountLabel = new QLabel(this);
    mCountLabel->setObjectName(QStringLiteral("MemberCountLabel"));
    mStatusLabel = new QLabel(this);
    mStatusLabel->setObjectName(QStringLiteral("MemberStatusLabel"));
    mStatusLabel->setWordWrap(true);
    mStatusLabel->hide();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto *choices = new QHBoxLayout;
    for (QWidget *widget : std::initializer_list<QWidget *> { selectAll, selectNone })
        choices->addWidget(widget);
    choices->addStretch();
    choices->addWidget(mCountLabel);
    auto *layout = new QVBoxLayout(this);
    for (QWidget *widget :
         std::initializer_list<QWidget *> { mFindField, mMemberTree, mStatusLabel })
        layout->addWidget(widget);
    layout->addLayout(choices);
    layout->addWidget(buttons);

    connect(mFindField, &QLineEdit::textChanged, this, &MemberChooser::findFieldEdit);
    connect(selectAll, &QPushButton::clicked, this, &MemberChooser::selectAllButtonClick);
    connect(selectNone, &QPushButton::clicked, this, &MemberChooser::selectNoneButtonClick);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void MemberChooser::findFieldEdit(const QString &text)
{
    mFilter->setFilterFixedString(text);
}

void MemberChooser::selectAllButtonClick()
{
    mModel->setChosen(
        true, [this](const QModelIndex &index) { return mFilter->mapFromSource(index).isValid(); });
}

void MemberChooser::selectNoneButtonClick()
{
    mModel->clearChosen();
}

void MemberChooser::showCounts()
{
    const QLocale locale;
    mCountLabel->setText(
        QStringLiteral("%1 chosen of %2 listed")
            .arg(locale.toString(mModel->chosen().size()), locale.toString(mModel->listedCount())));
}

void MemberChooser::showFailure(const QString &description)
{
    mStatusLabel->setText(description);
    mStatusLabel->show();
}

} // namespace mdx
