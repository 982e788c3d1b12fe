#include "FileBytes.h"
#include "OutboxRows.h"
#include "PostgresCluster.h"
#include "Raised.h"
#include "TestSupport.h"

#include "app/modMain.h"
#include "data/Backups.h"
#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// What the sqlite3 shell prints for statements on a file (which has no name
// collation: only for statements that need none).
QString shell(const QString &path, const QString &statements)
{
    QProcess process;
    process.start(u"sqlite3"_s, {path, statements});
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
}

void queueRows(int count)
{
    Database::Transaction transaction;
    Database::RowStatement insert(u"INSERT INTO SMSSend (Number, Message) VALUES (?, ?)"_s);
    for (int i = 0; i < count; ++i)
        insert.run({u"0821234567"_s, u"message %1 with some words to fill the pages"_s.arg(i)});
    transaction.commit();
}

QStringList namesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class tst_backups : public QObject
{
    Q_OBJECT

private slots:
    // Another connection commits batches of 100 rows the whole time; every
    // copy holds a whole number of batches and passes the check.
    void copiesAreConsistentWhileAnotherConnectionWrites()
    {
        TestHome home;
        queueRows(20000);
        const qint64 before = OutboxRows::count();
        Database::close();

        std::atomic<bool> stop = false;
        std::atomic<int> batches = 0;
        std::thread writer([&] {
            sqlite3 *handle = nullptr;
            sqlite3_open(QFile::encodeName(home.databasePath()).constData(), &handle);
            sqlite3_busy_timeout(handle, 5000);
            Database::addFunctions(handle);
            while (!stop) {
                const int rc =
                    sqlite3_exec(handle,
                                 "BEGIN IMMEDIATE; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                 "WHERE i < 100) INSERT INTO SMSSend (Number, Message) SELECT 'w', 'written' FROM n; "
                                 "COMMIT;",
                                 nullptr, nullptr, nullptr);
                if (rc == SQLITE_OK)
                    ++batches;
                else
                    sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
            }
            sqlite3_close(handle);
        });
        QStringList copies;
        QString failure;
        for (int i = 0; i < 5 && failure.isEmpty(); ++i) {
            const QString copy = QDir(home.path()).filePath(u"copy-%1.db"_s.arg(i));
            try {
                Backups::copy(home.databasePath(), copy);
                copies << copy;
            } catch (const AppError &error) {
                failure = error.text();
            }
        }
        stop = true;
        writer.join();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY2(batches > 0, "the writer never committed while the copies were taken");
        const qint64 after = OutboxRows::count();
        for (const QString &copy : std::as_const(copies)) {
            // The copy is opened the way the program opens any file, names collation and all.
            qint64 rows = -1;
            {
                QSqlQuery check(Database::openNamed(u"copy"_s, copy));
                QVERIFY(check.exec(u"PRAGMA integrity_check"_s) && check.next());
                QCOMPARE(check.value(0).toString(), u"ok"_s);
                QVERIFY(check.exec(u"SELECT count(*) FROM SMSSend"_s) && check.next());
                rows = check.value(0).toLongLong();
            }
            Database::closeNamed(u"copy"_s);
            QVERIFY2(rows >= before && rows <= after && (rows - before) % 100 == 0,
                     qPrintable(u"%1 rows: not a committed state"_s.arg(rows)));
            QCOMPARE(QFileInfo(copy).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                     QFileDevice::Permissions());
            QVERIFY(!QFileInfo::exists(copy + u"-wal"_s));
        }
    }

    // One copy a day for 60 days (from Monday 5 January), rotated as it goes.
    void rotationKeepsSevenDailyAndFourWeekly()
    {
        TestHome home;
        const QString folder = Backups::folder();
        const QDateTime first(QDate(2026, 1, 5), QTime(9, 30));
        for (int day = 0; day < 60; ++day) {
            const QDateTime now = first.addDays(day);
            QVERIFY(Backups::dailyDue(home.databasePath(), folder, now));
            Backups::takeDaily(home.databasePath(), folder, now, {7, 4});
            QVERIFY(!Backups::dailyDue(home.databasePath(), folder, now.addSecs(3600)));
        }
        // A copy taken before an upgrade is never rotated away.
        Backups::takeBefore(home.databasePath(), u"before-upgrade"_s, first);
        const QString stem = QFileInfo(home.databasePath()).completeBaseName();
        QStringList expected;
        for (const char *day : {"2026-02-08", "2026-02-15", "2026-02-22", "2026-02-26", "2026-02-27", "2026-02-28",
                                "2026-03-01", "2026-03-02", "2026-03-03", "2026-03-04", "2026-03-05"})
            expected << u"%1-%2-093000.db"_s.arg(stem, QLatin1String(day));
        expected << u"%1-2026-01-05-093000-before-upgrade.db"_s.arg(stem);
        expected.sort();
        QCOMPARE(namesIn(folder), expected);
        // Fewer kept: the three newest days, and the newest older copy of the week they fall in.
        QStringList beyond;
        for (const char *day :
             {"2026-02-08", "2026-02-15", "2026-02-22", "2026-02-26", "2026-02-27", "2026-02-28", "2026-03-01"})
            beyond << QDir(folder).filePath(u"%1-%2-093000.db"_s.arg(stem, QLatin1String(day)));
        QCOMPARE(Backups::beyondKept(home.databasePath(), folder, {3, 1}), beyond);
    }

    void damagedOrForeignCopiesAreRefused_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("said");
        QTest::newRow("overwritten in the middle") << u"overwrite"_s << u"damaged"_s;
        QTest::newRow("truncated") << u"truncate"_s << u"damaged"_s;
        QTest::newRow("not a database") << u"text"_s << u"damaged or not a database"_s;
        QTest::newRow("another program's database") << u"foreign"_s << u"not a Tellwave database"_s;
        QTest::newRow("from a newer program") << u"newer"_s << u"newer version"_s;
    }

    void damagedOrForeignCopiesAreRefused()
    {
        QFETCH(QString, damage);
        QFETCH(QString, said);
        TestHome home;
        queueRows(5000);
        const QString copy = QDir(home.path()).filePath(u"copy.db"_s);
        Backups::copy(home.databasePath(), copy);
        queueRows(1);
        if (damage == u"overwrite"_s || damage == u"truncate"_s) {
            QFile file(copy);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const qint64 middle = file.size() / 2 / 4096 * 4096;
            if (damage == u"truncate"_s) {
                QVERIFY(file.resize(middle));
            } else {
                QVERIFY(file.seek(middle + 100));
                QVERIFY(file.write(QByteArray(3000, '\x55')) == 3000);
            }
        } else if (damage == u"text"_s) {
            QVERIFY(writeFile(copy, "LastName,FirstName\nSmith,Ann\n"));
        } else if (damage == u"foreign"_s) {
            QFile::remove(copy);
            QCOMPARE(shell(copy, u"CREATE TABLE Notes (Text); INSERT INTO Notes VALUES ('x');"_s), QString());
        } else {
            QCOMPARE(shell(copy, u"PRAGMA user_version = 99;"_s), QString());
        }
        Database::close();
        const QByteArray live = fileBytes(home.databasePath());
        const QString error =
            errorOf([&] { Backups::restore(copy, home.databasePath(), QDateTime(QDate(2026, 12, 7), QTime(10, 0))); });
        QVERIFY2(error.contains(said) && error.contains(u"Nothing was changed."_s), qPrintable(error));
        QCOMPARE(fileBytes(home.databasePath()), live);
        QCOMPARE(namesIn(QFileInfo(home.databasePath()).absolutePath()).filter(u"before-restore"_s), QStringList());
        QCOMPARE(OutboxRows::count(), 5001);
    }

    void restoreKeepsTheCurrentStateAndPutsTheCopyInPlace()
    {
        TestHome home;
        queueRows(3);
        const QString copy = QDir(home.path()).filePath(u"SMSData-2026-12-01.db"_s);
        Backups::copy(home.databasePath(), copy);
        queueRows(4);
        const Backups::Facts facts = Backups::inspect(copy);
        QCOMPARE(std::tuple(facts.takenAt, facts.outbox, facts.contacts),
                 std::tuple(QDateTime(QDate(2026, 12, 1), QTime(0, 0)), qint64(3), qint64(0)));
        const QString kept =
            Backups::restore(copy, home.databasePath(), QDateTime(QDate(2026, 12, 7), QTime(10, 5, 9)));
        QCOMPARE(QFileInfo(kept).fileName(),
                 QFileInfo(home.databasePath()).completeBaseName() + u"-before-restore-2026-12-07-100509.db"_s);
        QCOMPARE(QFileInfo(kept).absolutePath(), QFileInfo(home.databasePath()).absolutePath());
        QCOMPARE(OutboxRows::count(), 3);
        QCOMPARE(Backups::inspect(kept).outbox, 7);
        // The program's file stays in its own log mode after the copy's pages came in.
        QCOMPARE(Database::value(u"PRAGMA journal_mode"_s).toString(), u"wal"_s);
    }

    void aBackupIsNeverWrittenOverTheDatabase()
    {
        TestHome home;
        const QByteArray live = fileBytes(home.databasePath());
        QVERIFY_THROWS_EXCEPTION(AppError, Backups::copy(home.databasePath(), home.databasePath()));
        QVERIFY_THROWS_EXCEPTION(
            AppError, Backups::restore(home.databasePath(), home.databasePath(), QDateTime::currentDateTime()));
        QCOMPARE(fileBytes(home.databasePath()), live);
    }

    // A server database is dumped by pg_dump with the password in its
    // environment; the dump holds the outbox's rows.
    void aServerDatabaseIsDumpedWithPgDump()
    {
        if (Backups::pgDumpProgram().isEmpty())
            QSKIP("pg_dump is not installed");
        const QString reason = PostgresCluster::start();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        const QString address = PostgresCluster::newDatabase();
        Database::create(address);
        const QString connection = Database::connectionStringFor(address);
        QCOMPARE(psql(address, u"INSERT INTO SMSSend (Number, Message) VALUES ('0820000001', 'dumped');"_s), QString());
        QTemporaryDir dir;
        const QString target = dir.filePath(u"office.dump"_s);
        const QString command = Backups::dumpServer(connection, u"unused"_s, target);
        QVERIFY2(command.startsWith(u"pg_restore --clean --if-exists "_s) && command.endsWith(target),
                 qPrintable(command));
        QProcess list;
        list.start(u"pg_restore"_s, {u"--data-only"_s, u"-f"_s, u"-"_s, target});
        QVERIFY(list.waitForFinished());
        QVERIFY(QString::fromUtf8(list.readAllStandardOutput()).contains(u"0820000001"_s));
        // A database that is not there: pg_dump's own words, and no file left.
        const QString missing = dir.filePath(u"missing.dump"_s);
        const QString error = errorOf([&] {
            Backups::dumpServer(QString(connection).replace(Database::pathOf(connection), u"nosuchdb"_s), {}, missing);
        });
        QVERIFY2(error.contains(u"nosuchdb"_s), qPrintable(error));
        QVERIFY(!QFileInfo::exists(missing) && !QFileInfo::exists(missing + u".part"_s));
    }
};

QTEST_GUILESS_MAIN(tst_backups)
#include "tst_backups.moc"
