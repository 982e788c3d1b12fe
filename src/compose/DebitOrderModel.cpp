#include "compose/DebitOrderModel.h"

#include "ui/Shades.h"

#include <QBrush>
#include <QColor>

DebitOrderModel::DebitOrderModel(QObject *parent) : QAbstractTableModel(parent) {}

void DebitOrderModel::setRows(QList<DebitOrderList::Row> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int DebitOrderModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DebitOrderModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QColor DebitOrderModel::colourOf(DebitOrderList::Style style)
{
    switch (style) {
    case DebitOrderList::Style::LineInvalid:
        return QColor(0xFF, 0x80, 0x80);
    case DebitOrderList::Style::MessageTooLong:
        return QColor(0xFF, 0xFF, 0x00);
    case DebitOrderList::Style::CellTooShort:
        return QColor(0xFF, 0x80, 0xC0);
    case DebitOrderList::Style::None:
        break;
    }
    return {};
}

QVariant DebitOrderModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const DebitOrderList::Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        // One line per row: a line break in the message shows as a mark.
        if (index.column() == 2 && row.message.contains(QLatin1Char('\n')))
            return QString(row.message).replace(QStringLiteral("\r\n"), QStringLiteral(" \u21B5 "));
        Q_FALLTHROUGH();
    case Qt::EditRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case 0:
            return row.id;
        case 1:
            return row.cellphone;
        case 2:
            return row.message;
        }
        return {};
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        const QColor colour = Shades::forPalette(colourOf(DebitOrderList::styleOf(row)));
        if (!colour.isValid())
            return {};
        return QBrush(role == Qt::BackgroundRole ? colour : Shades::textOn(colour));
    }
    default:
        return {};
    }
}

QVariant DebitOrderModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    switch (section) {
    case 0:
        return QStringLiteral("ID");
    case 1:
        return QStringLiteral("Cellphone");
    case 2:
        return QStringLiteral("Message");
    }
    return {};
}
