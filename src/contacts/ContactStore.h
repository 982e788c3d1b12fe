#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Reading, writing and deleting one contact (a row of Clients), and the rules
// of the contact editor that need no window.
namespace ContactStore {

// The columns the editor writes, in the order it writes them.
const QStringList &editedColumns();

// Column name to text.
using Contact = QHash<QString, QString>;

// The contact's edited columns, each without blanks at its ends (an absent
// value is the empty text); nothing when there is no such contact.
std::optional<Contact> load(qint64 clientId);

// Updates the contact when it exists, otherwise adds a new one; gives its
// ClientID. Columns not in the map are stored empty; Selected is untouched.
// Throws AppError.
qint64 save(qint64 clientId, const Contact &contact);

// Deletes the contact and its group memberships, all or nothing. Throws AppError.
void remove(qint64 clientId);

struct Holder
{
    QString lastName;
    QString firstName;
};
// The first contact (lowest ClientID) other than `except` whose cellphone
// number, without blanks at its ends, is the number given; nothing for an
// empty number, which no contact can hold in common with another. Throws
// AppError.
std::optional<Holder> mobileHolder(const QString &number, qint64 except = 0);

// What the operator chose when a town has both codes, or neither.
enum class CodeChoice { BoxCode, StreetCode, Nothing };

// The postal code after a town was chosen. A code already there stays. A
// blank box takes the street code when the town has no box code and the box
// code when it has no street code; when it is still blank the operator is
// asked. Codes are copied as stored. "Blank" is empty once leading blanks are
// gone.
QString postalCodeForTown(const QString &current, const QString &boxCode, const QString &streetCode,
                          const std::function<CodeChoice()> &ask);

} // namespace ContactStore
