#pragma once

#include "data/Database.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

// Contact groups and their members: the rules behind the group list, the new
// group window, the group editor and its contact picker. Values are always
// bound; errors are thrown as AppError.
namespace GroupBook {

// Every group, ordered by name as people read names (of two groups of one
// name, the older first): the statement for a list model, and its rows.
QString listStatement();
struct Group
{
    qint64 groupId = 0;
    QString name;
};
QList<Group> list();

// The members of a group as ClientsBelongingToGroups lists them, ordered by
// last name, then first name, as people read names. Group 0 gives the
// columns and no rows.
Database::Table members(qint64 groupId);

// The picker's contacts: those with a name and a mobile number, by last name,
// then first name, as people read names. The first column is the picker's
// check column (always 0: the marks are the picker's own, never stored) and
// the last ClientID.
QString pickerStatement();
qint64 pickerCount();

// A group identifier as a list cell or label holds it: its leading number,
// 0 when it has none.
qint64 idOf(const QVariant &cell);

// Whether a group's name, blanks around it removed and in upper case, is
// already taken (letters outside ASCII compare without regard to case too).
bool nameTaken(const QString &name);
// Creates a group under the name exactly as typed, unless the name is taken;
// gives the new group's identifier, or nothing when the name is taken.
std::optional<qint64> create(const QString &name);

// The group's name, or nothing when there is no such group.
std::optional<QString> nameOf(qint64 groupId);
// Gives the group this identifier names the new name exactly as typed; false
// when there is no such group.
bool rename(qint64 groupId, const QString &name);

// Deletes a group. With its contacts, every member is deleted too, together
// with all of its memberships (in any group); otherwise only the group's
// memberships go and the contacts stay. All or nothing.
void remove(qint64 groupId, bool withContacts);

// Links each of these contacts to the group unless it is a member already,
// all in one step; contacts gone meanwhile are passed over. Gives how many
// became members. Nothing is linked to a group that does not exist.
qint64 addMembers(qint64 groupId, QList<qint64> clientIds);
// Links one contact to the group unless it is a member already (or either is
// missing); true when it became a member.
bool addMember(qint64 groupId, qint64 clientId);
void removeMember(qint64 groupId, qint64 clientId);

// Every contact with a mobile number, named or not: what the picker's All
// marks.
QList<qint64> withMobile();

} // namespace GroupBook
