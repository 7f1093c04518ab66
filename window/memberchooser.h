#pragma once

#include "catalog/datasource.h"

#include <QAbstractItemModel>
#include <QDialog>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTreeView;

namespace mdx {

// Lists the members a query asks for; throws mdx::Failure as the catalog does.
using MemberLister = std::function<QList<MemberInfo>(const MemberQuery &)>;

// A hierarchy's members as a tree with check marks: the top level's members first, a member's
// children listed when it is opened. Long lists reach the view in pages as it scrolls, so that
// a level of many members opens at once; what is not shown yet is still held.
class MemberTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    static constexpr int pageSize = 1000;

    MemberTreeModel(MemberLister lister, QString topLevel, QStringList chosen,
                    QObject *parent = nullptr);
    ~MemberTreeModel() override;

    // The chosen members' unique names, in the order they were chosen.
    const QStringList &chosen() const { return mChosen; }
    // Members held, in every list asked for so far.
    int listedCount() const { return mListedCount; }
    // Chooses or drops every member the view has been given that `shown` lets through.
    void setChosen(bool chosen, const std::function<bool(const QModelIndex &)> &shown);
    void clearChosen();

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    void chosenChanged();
    // A list could not be read; the description says why.
    void listingFailed(const QString &description);

private:
    struct Item;
    Item *itemOf(const QModelIndex &index) const;
    void list(Item &item);
    void showNextPage(Item &item, const QModelIndex &index);
    void visitShown(Item &item, const QModelIndex &index,
                    const std::function<void(Item &, const QModelIndex &)> &visit);

    MemberLister mLister;
    QString mTopLevel;
    std::unique_ptr<Item> mRoot;
    QStringList mChosen;
    // The same names, for the check mark of every painted row.
    QSet<QString> mChosenSet;
    int mListedCount = 0;
};

// "Choose Members": the members of one dimension's hierarchy to narrow its set to, with a find
// field over what is listed, select all and none, and counts.
class MemberChooser : public QDialog
{
    Q_OBJECT
public:
    // topLevel: the unique name of the hierarchy's top level, whose members the tree starts
    // with.
    MemberChooser(const QString &dimensionName, const QString &topLevel, const QStringList &chosen,
                  MemberLister lister, QWidget *parent = nullptr);

    QStringList chosen() const { return mModel->chosen(); }

private:
    void createControls();
    void findFieldEdit(const QString &text);
    void selectAllButtonClick();
    void selectNoneButtonClick();
    void showCounts();
    void showFailure(const QString &description);

    MemberTreeModel *mModel = nullptr;
    QSortFilterProxyModel *mFilter = nullptr;
    QTreeView *mMemberTree = nullptr;
    QLineEdit *mFindField = nullptr;
    QLabel *mCountLabel = nullptr;
    QLabel *mStatusLabel = nullptr;
};

} // namespace mdx
