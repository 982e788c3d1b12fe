#include "groups/GroupBook.h"

#include "data/Database.h"
#include "data/modFunctions.h"

#include <QSqlQuery>

#include <algorithm>

namespace GroupBook {

QString listStatement()
{
    return QStringLiteral("SELECT GroupID, Name FROM Groups ORDER BY Name COLLATE Names, GroupID");
}

QString pickerStatement()
{
    return QStringLiteral(
        "SELECT 0 AS Selected, Mobile, LastName, FirstName, Initials, Salute, EnrollerAssNo, TelWork, "
        "EMail, ClientID FROM Clients "
        "WHERE (LastName <> '' OR FirstName <> '') AND length(Mobile) > 0 "
        "ORDER BY LastName COLLATE Names, FirstName COLLATE Names, ClientID");
}

QList<Group> list()
{
    QList<Group> groups;
    QSqlQuery query = Database::run(listStatement());
    while (query.next())
        groups.append(Group{query.value(0).toLongLong(), query.value(1).toString()});
    return groups;
}

Database::Table members(qint64 groupId)
{
    return Database::table(QStringLiteral("SELECT * FROM ClientsBelongingToGroups WHERE GroupID = ? "
                                          "ORDER BY LastName COLLATE Names, FirstName COLLATE Names, ClientID"),
                           {groupId});
}

qint64 pickerCount()
{
    return Database::value(QStringLiteral("SELECT count(*) FROM Clients "
                                          "WHERE (LastName <> '' OR FirstName <> '') AND length(Mobile) > 0"))
        .toLongLong();
}

qint64 idOf(const QVariant &cell)
{
    return qint64(modFunctions::LeadingNumber(cell.toString()));
}

// SQLite's trim() without a second argument removes spaces only, the blanks
// the comparison ignores; upper() is the connection's own, which knows every
// alphabet.
bool nameTaken(const QString &name)
{
    return Database::value(
               QStringLiteral("SELECT EXISTS (SELECT 1 FROM Groups WHERE upper(trim(Name)) = upper(trim(?)))"), {name})
               .toInt()
           != 0;
}

std::optional<qint64> create(const QString &name)
{
    Database::Transaction transaction;
    if (nameTaken(name))
        return std::nullopt;
    const qint64 id = Database::insert(QStringLiteral("INSERT INTO Groups (Name) VALUES (?)"), {name});
    transaction.commit();
    return id;
}

std::optional<QString> nameOf(qint64 groupId)
{
    QSqlQuery query = Database::run(QStringLiteral("SELECT Name FROM Groups WHERE GroupID = ?"), {groupId});
    if (!query.next())
        return std::nullopt;
    return query.value(0).toString();
}

bool rename(qint64 groupId, const QString &name)
{
    return Database::run(QStringLiteral("UPDATE Groups SET Name = ? WHERE GroupID = ?"), {name, groupId})
               .numRowsAffected()
           > 0;
}

void remove(qint64 groupId, bool withContacts)
{
    Database::Transaction transaction;
    if (withContacts) {
        const QString members = QStringLiteral("(SELECT ClientID FROM GroupLinking WHERE GroupID = ?)");
        Database::run(QStringLiteral("DELETE FROM Clients WHERE ClientID IN ") + members, {groupId});
        Database::run(QStringLiteral("DELETE FROM GroupLinking WHERE ClientID IN ") + members, {groupId});
    }
    Database::run(QStringLiteral("DELETE FROM GroupLinking WHERE GroupID = ?"), {groupId});
    Database::run(QStringLiteral("DELETE FROM Groups WHERE GroupID = ?"), {groupId});
    transaction.commit();
}

qint64 addMembers(qint64 groupId, QList<qint64> clientIds)
{
    std::sort(clientIds.begin(), clientIds.end());
    clientIds.erase(std::unique(clientIds.begin(), clientIds.end()), clientIds.end());
    // Bound values stay well below what either engine takes in one statement.
    constexpr qsizetype PerStatement = 500;
    Database::Transaction transaction;
    qint64 added = 0;
    for (qsizetype from = 0; from < clientIds.size(); from += PerStatement) {
        const QList<qint64> part = clientIds.mid(from, PerStatement);
        QVariantList values{groupId};
        for (const qint64 id : part)
            values.append(id);
        values << groupId << groupId;
        const int rows =
            Database::run(QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) "
                                         "SELECT ?, ClientID FROM Clients WHERE ClientID IN (%1) "
                                         "AND EXISTS (SELECT 1 FROM Groups WHERE GroupID = ?) "
                                         "AND ClientID NOT IN (SELECT ClientID FROM GroupLinking WHERE GroupID = ?) "
                                         "ORDER BY ClientID")
                              .arg(Database::placeholders(part.size())),
                          values)
                .numRowsAffected();
        if (rows < 0)
            throw AppError(3000, QStringLiteral("The database did not say how many contacts joined the group."),
                           QStringLiteral("GroupBook"));
        added += rows;
    }
    transaction.commit();
    return added;
}

bool addMember(qint64 groupId, qint64 clientId)
{
    return Database::run(
               QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) SELECT ?, ? "
                              "WHERE EXISTS (SELECT 1 FROM Groups WHERE GroupID = ?) "
                              "AND EXISTS (SELECT 1 FROM Clients WHERE ClientID = ?) "
                              "AND NOT EXISTS (SELECT 1 FROM GroupLinking WHERE GroupID = ? AND ClientID = ?)"),
               {groupId, clientId, groupId, clientId, groupId, clientId})
               .numRowsAffected()
           > 0;
}

void removeMember(qint64 groupId, qint64 clientId)
{
    Database::run(QStringLiteral("DELETE FROM GroupLinking WHERE GroupID = ? AND ClientID = ?"), {groupId, clientId});
}

QList<qint64> withMobile()
{
    QSqlQuery query =
        Database::run(QStringLiteral("SELECT ClientID FROM Clients WHERE length(Mobile) > 0 ORDER BY ClientID"));
    QList<qint64> ids;
    while (query.next())
        ids.append(query.value(0).toLongLong());
    return ids;
}

} // namespace GroupBook
