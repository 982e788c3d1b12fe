#pragma once

#include "contacts/CellphoneClass.h"
#include "contacts/ContactListing.h"
#include "ui/KeysetTableModel.h"

#include <QColor>

// The contact list's grid: the contacts read a page at a time as the list
// scrolls, and each row shaded by its cellphone number.
class ContactListModel : public KeysetTableModel
{
    Q_OBJECT

public:
    explicit ContactListModel(QObject *parent = nullptr);

    // The shading's background colour; invalid for none.
    static QColor colourOf(CellphoneClass::Shading shading);

    ContactListing &listing() { return static_cast<ContactListing &>(list()); }
    const ContactListing &listing() const { return static_cast<const ContactListing &>(list()); }

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    int m_mobileColumn;
};
