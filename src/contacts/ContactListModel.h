#pragma once

#include "contacts/CellphoneClass.h"
#include "contacts/ContactListing.h"

#include <QAbstractTableModel>
#include <QColor>

// The contact list's grid: every contact, a row's values read only when the
// row is shown, and each row shaded by its cellphone number.
class ContactListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ContactListModel(QObject *parent = nullptr);

    // The shading's background colour; invalid for none.
    static QColor colourOf(CellphoneClass::Shading shading);

    ContactListing &listing() { return m_listing; }
    const ContactListing &listing() const { return m_listing; }
    // Reads the list again in its sort order; throws AppError.
    void reload();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    ContactListing m_listing;
    int m_mobileColumn;
};
