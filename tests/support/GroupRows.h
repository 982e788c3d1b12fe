#pragma once

#include "data/Database.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// Groups, contacts and memberships as the tests set them up.
namespace GroupRows {

inline qint64 addGroup(const QString &name)
{
    return Database::insert(QStringLiteral("INSERT INTO Groups (Name) VALUES (?)"), {name});
}

inline qint64 addClient(const QString &lastName, const QVariant &mobile = QStringLiteral("082"),
                        const QString &firstName = QStringLiteral("X"))
{
    return Database::insert(QStringLiteral("INSERT INTO Clients (LastName, FirstName, Mobile) VALUES (?, ?, ?)"),
                            {lastName, firstName, mobile});
}

inline void link(qint64 groupId, qint64 clientId)
{
    Database::run(QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"), {groupId, clientId});
}

// A group "Members" of contacts surnamed Dube, each with its first name and mobile; gives the GroupID.
inline qint64 groupOfMembers(const QList<QPair<QString, QString>> &firstNameAndMobile)
{
    const qint64 group = addGroup(QStringLiteral("Members"));
    for (const auto &[first, mobile] : firstNameAndMobile)
        link(group, addClient(QStringLiteral("Dube"), mobile, first));
    return group;
}

} // namespace GroupRows
