#include "ui/RecordTableModel.h"

RecordTableModel::RecordTableModel(QObject *parent) : QAbstractTableModel(parent) {}

void RecordTableModel::setCaption(const QString &column, const QString &caption)
{
    m_captions.insert(column.toLower(), caption);
}

void RecordTableModel::setTable(Database::Table table)
{
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

int RecordTableModel::columnOf(const QString &column) const
{
    return m_table.column(column);
}

int RecordTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.rows.size());
}

int RecordTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.columns.size());
}

QVariant RecordTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return m_table.rows.at(index.row()).value(index.column());
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    const QString column = m_table.columns.value(section);
    return m_captions.value(column.toLower(), column);
}
