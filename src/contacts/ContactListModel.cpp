#include "contacts/ContactListModel.h"

ContactListModel::ContactListModel(QObject *parent)
    : QAbstractTableModel(parent), m_mobileColumn(int(ContactListing::columns().indexOf(QStringLiteral("Mobile"))))
{
}

QColor ContactListModel::colourOf(CellphoneClass::Shading shading)
{
    switch (shading) {
    case CellphoneClass::Shading::TooLong:
        return QColor(0xFF, 0xFF, 0x00);
    case CellphoneClass::Shading::TooShort:
        return QColor(0xFF, 0x80, 0xC0);
    case CellphoneClass::Shading::Invalid:
        return QColor(0xFF, 0x80, 0x80);
    case CellphoneClass::Shading::None:
        break;
    }
    return {};
}

void ContactListModel::reload()
{
    beginResetModel();
    try {
        m_listing.load();
    } catch (...) {
        endResetModel();
        throw;
    }
    endResetModel();
}

int ContactListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_listing.count();
}

int ContactListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ContactListing::columns().size());
}

QVariant ContactListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_listing.value(index.row(), index.column());
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        const QColor shade =
            colourOf(CellphoneClass::classify(m_listing.value(index.row(), m_mobileColumn).toString()));
        if (!shade.isValid())
            return {};
        // The shadings are light, so their text stays dark in a dark theme too.
        return role == Qt::BackgroundRole ? shade : QColor(Qt::black);
    }
    default:
        return {};
    }
}

QVariant ContactListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < ContactListing::columns().size())
        return ContactListing::columns().at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ContactListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
