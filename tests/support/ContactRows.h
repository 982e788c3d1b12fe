#pragma once

#include "contacts/ContactStore.h"

// Contacts set up as the contact editor saves them.
namespace ContactRows {

// A new contact with these columns as given and the editor's other columns empty; gives its ClientID.
inline qint64 add(const ContactStore::Contact &columns)
{
    return ContactStore::save(0, columns);
}

} // namespace ContactRows
