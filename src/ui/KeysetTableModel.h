#pragma once

#include "data/KeysetList.h"

#include <QAbstractTableModel>

#include <memory>

// A table view's rows over a KeysetList: the first pages when it loads, the
// next as the view scrolls towards the end.
class KeysetTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int FetchRows = 256;

    explicit KeysetTableModel(std::unique_ptr<KeysetList> list, QObject *parent = nullptr);
    ~KeysetTableModel() override;

    KeysetList &list() { return *m_list; }
    const KeysetList &list() const { return *m_list; }

    // Reads the list again from its first row, as many rows as were shown
    // (at least one fetch); throws AppError and then shows no rows.
    void reload();
    // Reads on until the row with `key` is shown; its row, or -1.
    int reveal(qint64 key, int most);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    // Tells the views of the rows read since they last heard.
    void showRead();

    std::unique_ptr<KeysetList> m_list;
    int m_shown = 0;
};
