#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

struct sqlite3;

// Copies of the database file that an operator can go back to. Every copy is
// made with SQLite's online backup, which reads one consistent state of the
// file while other connections go on writing, and is opened and checked
// (PRAGMA integrity_check) before it counts: a copy that fails is deleted and
// the failure thrown as AppError. A copy is written under a temporary name and
// takes its own name only once it checked good.
namespace Backups {

// How many daily copies are kept: the newest of each of the last `daily`
// days on which one was taken, and, older than those, the newest of each of
// `weekly` weeks.
struct Kept
{
    int daily = 7;
    int weekly = 4;
};

// Tellwave/Backups under the user's data folder (~/.local/share).
QString folder();

// What PRAGMA integrity_check (with the names collation) finds wrong with a
// database file, a few lines at most; empty when it is sound.
QStringList problemsIn(const QString &path);

// Copies the file database at `source` into `target` (replaced only by a good
// copy). Throws AppError.
void copy(const QString &source, const QString &target);
// The same from a connection the caller holds open.
void copy(sqlite3 *source, const QString &target);

// "SMSData-2026-12-07-093015.db": the daily copy of `source` taken at `at`.
QString dailyName(const QString &source, const QDateTime &at);
// Whether `folder` lacks a daily copy of `source` taken on the day of `now`.
bool dailyDue(const QString &source, const QString &folder, const QDateTime &now);
// Takes the daily copy of `source` into `folder`, then deletes the daily
// copies that `kept` does not keep, oldest first. Gives the new copy's path.
QString takeDaily(const QString &source, const QString &folder, const QDateTime &now, const Kept &kept);
// The daily copies in `folder` that `kept` lets go, oldest first.
QStringList beyondKept(const QString &source, const QString &folder, const Kept &kept);

// A copy taken before something that changes or moves the database
// ("before-upgrade", "before-copy"); it is never deleted by the rotation.
// Gives its path.
QString takeBefore(const QString &source, const QString &why, const QDateTime &now);
QString takeBefore(sqlite3 *source, const QString &sourcePath, const QString &why, const QDateTime &now);

// What a copy holds, read when it was found sound and the program's own.
struct Facts
{
    QDateTime takenAt; // from its name, else when the file was last written
    qint64 contacts = 0;
    qint64 groups = 0;
    qint64 outbox = 0;
    qint64 replies = 0;
};
// Checks a copy before it is restored: it must pass the integrity check and
// hold the program's tables. Throws AppError saying what is wrong with it.
Facts inspect(const QString &copyPath);

// Puts a checked copy in the place of the database at `livePath`: the
// program's connection is closed, the current state is kept beside it as
// "<name>-before-restore-<time>.db", and the copy's pages are written into
// the live file through SQLite (so a second program that has it open sees
// the restored state, never a torn file). Nothing changes when any step
// fails. Gives the path of the kept file. The next statement opens the
// restored database.
QString restore(const QString &copyPath, const QString &livePath, const QDateTime &now);

// The pg_dump program on this computer, or empty when it is not installed.
QString pgDumpProgram();
// Dumps the server database of `connectionString` with "pg_dump -Fc" into
// `target`; the password reaches pg_dump through its environment. Gives the
// pg_restore command that restores the dump. Throws AppError.
QString dumpServer(const QString &connectionString, const QString &password, const QString &target);

} // namespace Backups
