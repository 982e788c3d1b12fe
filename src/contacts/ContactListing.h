#pragma once

#include "data/KeysetList.h"

#include <QString>
#include <QStringList>

// Every contact in the contact list's order, read a page at a time.
//
// The orders by AssNo and LastName (and by ClientID) are served by an index,
// so their first page costs the same at a million contacts as at a hundred;
// any other column sorts by reading the whole table first.
class ContactListing : public KeysetList
{
public:
    // The list's columns, in their order; each is a column of Clients.
    static const QStringList &columns();
    // The order by one column, ascending; every text column in the name
    // collation, contacts with equal values in the order they were added.
    static Order orderBy(const QString &column);

    ContactListing();

    // " ORDER BY <column>" as the list is ordered now.
    QString sortClause() const;
};
