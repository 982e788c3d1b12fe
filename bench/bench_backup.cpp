// The daily backup of a database of 1,000,000 outbox rows: the online copy
// and its integrity check (the names collation registered), against the
// sqlite3 shell's ".backup" of the same file (a copy without a check); and
// the check alone, which is most of it.

#include "BenchSupport.h"

#include "data/Backups.h"
#include "data/Database.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

using namespace Bench;

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    Home &home = program.home;
    const int rows = sized(1000000, 60);
    const QString path = home.freshDatabase();
    try {
        Database::Transaction transaction;
        Database::run(
            QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                "INSERT INTO SMSSend (Number, Message, SendDate, SendTime, Send, EventID) "
                "SELECT '08' || (20000000 + (i * 7919) % 79999999), "
                "'Dear client ' || i || ', your debit order of R' || (i % 900 + 100) || ' was returned unpaid. "
                "Please call us on 0860 123 456.', date('2026-01-01', '+' || (i % 365) || ' days'), "
                "time(i % 86400, 'unixepoch'), i % 3 = 0, CASE WHEN i % 3 = 0 THEN i ELSE NULL END FROM n"),
            {rows});
        transaction.commit();
    } catch (const AppError &error) {
        fail(error.text());
    }
    Database::close();
    figure(QStringLiteral("outbox rows"), rows);
    figure(QStringLiteral("database size"), QFileInfo(path).size() / 1048576.0, QStringLiteral("MB"), 1);

    const QString folder = home.file(QStringLiteral("Backups"));
    QList<double> shellSeconds;
    QList<double> ourSeconds;
    int round = 0;
    alternate(
        rounds(3),
        [&] {
            const QString target = home.file(QStringLiteral("shell-copy.db"));
            QFile::remove(target);
            return sqliteShell(path, ".backup " + sqlText(target) + "\n");
        },
        [&] {
            QDir(folder).removeRecursively();
            const QDateTime at(QDate(2026, 12, 7), QTime(9, 0, ++round));
            QElapsedTimer timer;
            timer.start();
            try {
                Backups::takeDaily(path, folder, at, {});
            } catch (const AppError &error) {
                fail(error.text());
            }
            return timer.nsecsElapsed() / 1e9;
        },
        shellSeconds, ourSeconds);
    const QStringList copies = QDir(folder).entryList(QDir::Files);
    if (copies.size() != 1)
        fail(QStringLiteral("the backup folder does not hold the one copy"));
    figure(QStringLiteral("sqlite3 shell .backup, no check (s)"), listed(shellSeconds));
    figure(QStringLiteral("backup with integrity check (s)"), listed(ourSeconds));
    // The check alone, on the copy just taken: the rest of a round is the copy.
    QElapsedTimer timer;
    timer.start();
    if (!Backups::problemsIn(QDir(folder).filePath(copies.first())).isEmpty())
        fail(QStringLiteral("the copy failed its check"));
    figure(QStringLiteral("integrity check of the copy alone (s)"), timer.nsecsElapsed() / 1e9, {}, 3);
    figure(QStringLiteral("backup seconds"), fastest(ourSeconds), {}, 3);
    return 0;
}
