#pragma once

#include "data/Database.h"

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

} // namespace GroupRows
