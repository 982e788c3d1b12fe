#pragma once

// What the contact import benchmarks share: a database with the one group
// every imported contact joins, the check of what a run stored, the sqlite3
// shell's import of a CSV file with the same inserts, and the closing figures.

#include "BenchSupport.h"

#include "data/Database.h"

#include <QFile>

namespace ImportBench {

inline const QString GroupName = QStringLiteral("Customers");

inline void writeText(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        Bench::fail(QStringLiteral("cannot write %1").arg(path));
}

// A new database holding the group; gives its path (closed) and the group.
inline QString prepare(Bench::Home &home, qint64 &groupId)
{
    const QString path = home.freshDatabase();
    groupId = Database::insert(QStringLiteral("INSERT INTO Groups (Name) VALUES (?)"), {GroupName});
    Database::close();
    return path;
}

// Fails the benchmark unless the run stored `lines` contacts, each linked.
inline void check(const QString &who, int lines)
{
    const qint64 clients = Database::value(QStringLiteral("SELECT count(*) FROM Clients")).toLongLong();
    const qint64 links = Database::value(QStringLiteral("SELECT count(*) FROM GroupLinking")).toLongLong();
    if (clients != lines || links != lines)
        Bench::fail(QStringLiteral("%1 stored %2 contacts and %3 links, expected %4")
                        .arg(who)
                        .arg(clients)
                        .arg(links)
                        .arg(lines));
    Database::close();
}

// The shell on a copy of the template: `.import` of the CSV file into a
// temporary table of these columns (`options` such as "--skip 1"), then
// the same rows into Clients and every contact into the group.
inline double shellRun(Bench::Home &home, const QString &templatePath, const QString &csv, qint64 groupId,
                       const QByteArray &columns, const QByteArray &options, int lines)
{
    const QString path = home.copyOf(templatePath);
    const QByteArray script = "CREATE TEMP TABLE Incoming (" + columns
                              + ");\n"
                                ".import --csv "
                              + options + " --schema temp " + csv.toUtf8()
                              + " Incoming\n"
                                "BEGIN;\n"
                                "INSERT INTO Clients ("
                              + columns + ") SELECT " + columns
                              + " FROM temp.Incoming;\n"
                                "INSERT INTO GroupLinking (GroupID, ClientID) SELECT "
                              + QByteArray::number(groupId)
                              + ", ClientID FROM Clients;\n"
                                "COMMIT;\n";
    const double seconds = Bench::sqliteShell(path, script);
    check(QStringLiteral("the shell"), lines);
    return seconds;
}

// The closing figures: the window's rounds and best, its rate, the shell's
// best, the 5 s target and the ratio (the shell's time over ours).
inline void conclude(const QString &name, const QList<double> &window, const QList<double> &shell,
                     const QString &windowWhat, const QString &shellWhat, int lines)
{
    const double best = Bench::fastest(window);
    const double bestShell = Bench::fastest(shell);
    Bench::figure(name + QStringLiteral(" window rounds"), Bench::listed(window));
    Bench::figure(QStringLiteral("%1 (best of %2)").arg(windowWhat).arg(window.size()), best, QStringLiteral("s"), 3);
    Bench::figure(name + QStringLiteral(" rate"), lines / best, QStringLiteral("contacts/s"));
    Bench::figure(QStringLiteral("%1 (best of %2)").arg(shellWhat).arg(shell.size()), bestShell, QStringLiteral("s"),
                  3);
    Bench::figure(name + QStringLiteral(" target"),
                  QStringLiteral("under 5 s: %1").arg(best < 5.0 ? QStringLiteral("met") : QStringLiteral("NOT met")));
    Bench::figure(name + QStringLiteral(" ratio"), bestShell / best, {}, 3);
}

} // namespace ImportBench
