#pragma once

#include "data/Database.h"

#include <QString>

// Writes the database refuses, as a full disk or an I/O error would refuse them.
namespace FailingWrites {

// Every outbox row for this number is refused when it is written.
inline void refuseNumber(const QString &number)
{
    Database::run(QStringLiteral("CREATE TRIGGER RefuseNumber BEFORE INSERT ON SMSSend WHEN NEW.Number = '%1' "
                                 "BEGIN SELECT RAISE(ABORT, 'refused by test'); END")
                      .arg(number));
}

// Every commit holding an `event` (INSERT or UPDATE) on `table` that meets `when` fails: the row adds a child whose
// deferred foreign key is checked only when the transaction commits, so each write succeeds and the commit does not.
inline void failCommitsAfter(const QString &event, const QString &table, const QString &when = QStringLiteral("1"))
{
    Database::run(QStringLiteral("PRAGMA foreign_keys = ON"));
    Database::run(QStringLiteral("CREATE TABLE GuardParent (ID INTEGER PRIMARY KEY)"));
    Database::run(QStringLiteral("CREATE TABLE GuardChild (Ref INTEGER REFERENCES GuardParent(ID) "
                                 "DEFERRABLE INITIALLY DEFERRED)"));
    Database::run(QStringLiteral("CREATE TRIGGER FailCommit AFTER %1 ON %2 WHEN %3 "
                                 "BEGIN INSERT INTO GuardChild VALUES (1); END")
                      .arg(event, table, when));
}

} // namespace FailingWrites
