#include "contacts/ContactListModel.h"

#include "ui/Shades.h"

ContactListModel::ContactListModel(QObject *parent)
    : KeysetTableModel(std::make_unique<ContactListing>(), parent),
      m_mobileColumn(int(ContactListing::columns().indexOf(QStringLiteral("Mobile"))))
{}

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

QVariant ContactListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        const QColor shade = Shades::forPalette(
            colourOf(CellphoneClass::classify(listing().value(index.row(), m_mobileColumn).toString())));
        if (!shade.isValid())
            return {};
        return role == Qt::BackgroundRole ? shade : Shades::textOn(shade);
    }
    default:
        return KeysetTableModel::data(index, role);
    }
}
