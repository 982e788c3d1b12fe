#pragma once

#include "OutboxRows.h"

#include "data/Database.h"

#include <QList>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariantMap>

// Database set-up and read-back shared by the composition tests.
namespace ComposeTest {

inline qint64 addGroup(const QString &name)
{
    return Database::insert(QStringLiteral("INSERT INTO Groups (Name) VALUES (?)"), {name});
}

inline qint64 addClient(const QString &lastName, const QString &firstName, const QVariant &mobile)
{
    return Database::insert(QStringLiteral("INSERT INTO Clients (LastName, FirstName, Mobile) VALUES (?, ?, ?)"),
                            {lastName, firstName, mobile});
}

inline void link(qint64 groupId, qint64 clientId)
{
    Database::run(QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"), {groupId, clientId});
}

// Makes the database refuse every outbox row for this number, as a full disk would refuse a write.
inline void refuseNumber(const QString &number)
{
    Database::run(QStringLiteral("CREATE TRIGGER RefuseNumber BEFORE INSERT ON SMSSend "
                                 "WHEN NEW.Number = '%1' BEGIN SELECT RAISE(ABORT, 'refused by test'); END")
                      .arg(number));
}

// Makes every commit that holds an outbox row for this number fail, as a full disk fails a commit: the
// row adds a child whose deferred foreign key is checked only when the transaction commits.
inline void failCommitsFor(const QString &number)
{
    Database::run(QStringLiteral("PRAGMA foreign_keys = ON"));
    Database::run(QStringLiteral("CREATE TABLE GuardParent (ID INTEGER PRIMARY KEY)"));
    Database::run(QStringLiteral("CREATE TABLE GuardChild (Ref INTEGER REFERENCES GuardParent(ID) "
                                 "DEFERRABLE INITIALLY DEFERRED)"));
    Database::run(QStringLiteral("CREATE TRIGGER FailCommit AFTER INSERT ON SMSSend WHEN NEW.Number = '%1' "
                                 "BEGIN INSERT INTO GuardChild VALUES (1); END")
                      .arg(number));
}

} // namespace ComposeTest
