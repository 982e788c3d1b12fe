#include "ui/KeysetTableModel.h"

#include "data/AppError.h"

KeysetTableModel::KeysetTableModel(std::unique_ptr<KeysetList> list, QObject *parent)
    : QAbstractTableModel(parent), m_list(std::move(list))
{}

KeysetTableModel::~KeysetTableModel() = default;

void KeysetTableModel::reload()
{
    const int wanted = std::max(m_shown, FetchRows);
    beginResetModel();
    m_list->clear();
    try {
        m_list->readMore(wanted);
    } catch (...) {
        m_list->clear();
        m_shown = 0;
        endResetModel();
        throw;
    }
    m_shown = m_list->count();
    endResetModel();
}

int KeysetTableModel::reveal(qint64 key, int most)
{
    const int row = m_list->readUntil(key, most);
    showRead();
    return row;
}

int KeysetTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int KeysetTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_list->columns().size());
}

QVariant KeysetTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return m_list->value(index.row(), index.column());
}

QVariant KeysetTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_list->columns().size())
        return m_list->columns().at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags KeysetTableModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool KeysetTableModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && (!m_list->complete() || m_list->count() > m_shown);
}

void KeysetTableModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid())
        return;
    // The view asks while it paints, where an error cannot be shown: a failed
    // read leaves the list as it is, and the next scroll asks again.
    try {
        m_list->readMore(FetchRows);
    } catch (const AppError &) {
        return;
    }
    showRead();
}

void KeysetTableModel::showRead()
{
    if (m_list->count() <= m_shown)
        return;
    beginInsertRows({}, m_shown, m_list->count() - 1);
    m_shown = m_list->count();
    endInsertRows();
}
