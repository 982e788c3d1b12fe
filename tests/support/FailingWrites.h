#pragma once

#include "data/Database.h"

#include <QString>

// Writes the database refuses, as a full disk or an I/O error would refuse them.
namespace FailingWrites {

inline bool onServer()
{
    return Database::engine() == Database::Engine::PostgreSQL;
}

// The trigger function `name` that PostgreSQL's triggers below run: it raises `raise`.
inline void serverFunction(const QString &name, const QString &raise)
{
    Database::run(QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                                 "$$ BEGIN RAISE EXCEPTION %2; END $$")
                      .arg(name, raise));
}

// Every `event` (INSERT, UPDATE, DELETE) on `table` of a row that meets `when`
// (a condition on NEW or OLD) is refused for its values, as a constraint
// refuses it, while the trigger `name` stands (drop it with allow()).
inline void refuseWhere(const QString &name, const QString &event, const QString &table, const QString &when)
{
    if (onServer()) {
        serverFunction(QStringLiteral("RefusedByTest"), QStringLiteral("'refused by test'"));
        Database::run(
            QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW WHEN (%4) EXECUTE FUNCTION RefusedByTest()")
                .arg(name, event, table, when));
        return;
    }
    Database::run(
        QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 WHEN %4 BEGIN SELECT RAISE(ABORT, 'refused by test'); END")
            .arg(name, event, table, when));
}

inline void refuse(const QString &name, const QString &event, const QString &table)
{
    refuseWhere(name, event, table, QStringLiteral("true"));
}

// Like refuseWhere(), but the error is not about the row's values: the write
// fails as it would on a full disk.
inline void breakWhere(const QString &name, const QString &event, const QString &table, const QString &when)
{
    if (onServer()) {
        serverFunction(QStringLiteral("BrokenByTest"),
                       QStringLiteral("'no space left (test)' USING ERRCODE = 'disk_full'"));
        Database::run(
            QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW WHEN (%4) EXECUTE FUNCTION BrokenByTest()")
                .arg(name, event, table, when));
        return;
    }
    Database::run(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 WHEN %4 BEGIN SELECT json('{'); END")
                      .arg(name, event, table, when));
}

inline void allow(const QString &name, const QString &table)
{
    Database::run(onServer() ? QStringLiteral("DROP TRIGGER %1 ON %2").arg(name, table)
                             : QStringLiteral("DROP TRIGGER %1").arg(name));
}

// Every outbox row for this number is refused when it is written.
inline void refuseNumber(const QString &number)
{
    refuseWhere(QStringLiteral("RefuseNumber"), QStringLiteral("INSERT"), QStringLiteral("SMSSend"),
                QStringLiteral("NEW.Number = '%1'").arg(number));
}

// Every commit holding an `event` (INSERT or UPDATE) on `table` that meets `when` fails: the row adds a child whose
// deferred foreign key is checked only when the transaction commits, so each write succeeds and the commit does not.
inline void failCommitsAfter(const QString &event, const QString &table, const QString &when = QStringLiteral("1"))
{
    if (onServer()) {
        // A deferred constraint trigger runs, and refuses, at the commit.
        serverFunction(QStringLiteral("RefusedByTest"), QStringLiteral("'refused by test'"));
        Database::run(
            QStringLiteral("CREATE CONSTRAINT TRIGGER FailCommit AFTER %1 ON %2 DEFERRABLE INITIALLY DEFERRED "
                           "FOR EACH ROW WHEN (%3) EXECUTE FUNCTION RefusedByTest()")
                .arg(event, table, when == QStringLiteral("1") ? QStringLiteral("true") : when));
        return;
    }
    Database::run(QStringLiteral("PRAGMA foreign_keys = ON"));
    Database::run(QStringLiteral("CREATE TABLE GuardParent (ID INTEGER PRIMARY KEY)"));
    Database::run(QStringLiteral("CREATE TABLE GuardChild (Ref INTEGER REFERENCES GuardParent(ID) "
                                 "DEFERRABLE INITIALLY DEFERRED)"));
    Database::run(QStringLiteral("CREATE TRIGGER FailCommit AFTER %1 ON %2 WHEN %3 "
                                 "BEGIN INSERT INTO GuardChild VALUES (1); END")
                      .arg(event, table, when));
}

} // namespace FailingWrites
