#include "AppSendRuns.h"
#include "FileBytes.h"
#include "GatewayTestSupport.h"
#include "GroupRows.h"
#include "Raised.h"

#include "compose/GroupQueue.h"
#include "gateway/OutboxSender.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The outbox as the file holds it, read by a connection of its own.
QStringList storedRows(const QString &path)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("SELECT SMSSendID, Number, Message, ClientID, Send, coalesce(EventID, ''), "
                                      "InFlight FROM SMSSend ORDER BY SMSSendID"));
            while (query.next()) {
                QStringList row;
                for (int i = 0; i < 7; ++i)
                    row << query.value(i).toString();
                rows << row.join('|');
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    return rows;
}

} // namespace

// The database failing under the program: read-only, locked by another connection, deleted, not a database,
// a full disk. Each action says why it failed and no stored row is lost or left half-written.
class tst_databaseFaults : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        Database::setBusyTimeout(5000);
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &unlimited);
    }

    void actionUnderFault_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("reason"); // what the error says
        const QList<QPair<QString, QString>> faults = {{"read-only", "readonly"},
                                                       {"locked", "locked"},
                                                       {"deleted", "Could not find the database file"},
                                                       {"not a database", "not a database"},
                                                       {"full disk", "disk"}};
        for (const auto &[fault, reason] : faults)
            for (const char *action : {"queue group", "send run"})
                QTest::addRow("%s/%s", qPrintable(fault), action) << fault << action << reason;
    }
    void actionUnderFault()
    {
        QFETCH(QString, fault);
        QFETCH(QString, action);
        QFETCH(QString, reason);
        if (fault == "read-only" && geteuid() == 0)
            QSKIP("the superuser writes to a read-only file");
        GatewaySetup s(1000, QStringLiteral("0"));
        const QString path = s.home.databasePath();
        const qint64 group = GroupRows::addGroup(QStringLiteral("Everyone"));
        {
            Database::Batch batch;
            for (int i = 0; i < 300; ++i)
                GroupRows::link(group, GroupRows::addClient(QStringLiteral("Member %1").arg(i),
                                                            QStringLiteral("0821%1").arg(i, 6, 10, QLatin1Char('0'))));
            batch.commit();
        }
        queueNumbered(QStringLiteral("08200000"), 5);
        Database::run(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        const QStringList before = storedRows(path);
        QCOMPARE(before.size(), 5);
        QSqlDatabase locker = makeFault(fault, path);
        const QByteArray bytesBefore = fileBytes(path);

        QString shown;
        if (action == "queue group") {
            shown = errorOf([group] { GroupQueue::queue(group, {QString(600, 'x'), QStringLiteral("second body")}); });
        } else {
            OutboxSender(s.host).SendOutbox();
            shown = s.host.texts.join('\n');
            QCOMPARE(s.host.titles.filter("ERROR").size(), 1);
            QCOMPARE(s.host.lastStatus(), "ERROR");
            QCOMPARE(s.host.busyDepth, 0);
        }
        QVERIFY2(shown.contains(reason, Qt::CaseInsensitive), qPrintable(shown));

        // The fault taken away: what was stored is there, whole; a deleted file is not replaced by an empty one,
        // nor is a file that is no database written to.
        Database::close();
        takeFaultAway(fault, path, locker);
        qsizetype lost = fault == "deleted" ? QFile::exists(path) : fileBytes(path) != bytesBefore, half = 0;
        const QStringList after = fault == "deleted" || fault == "not a database" ? QStringList() : storedRows(path);
        if (!after.isEmpty())
            lost =
                std::count_if(before.begin(), before.end(), [&](const QString &row) { return !after.contains(row); });
        // Rows the group queueing kept are whole; a send run posts nothing it did not mark first.
        for (const QString &row : after.mid(5))
            half += row.section('|', 1, 1).isEmpty() || row.section('|', 2, 2).isEmpty()
                    || row.section('|', 3, 3).toLongLong() <= 0;
        for (const QString &key : acceptedCustomers(s.gateway)) {
            const QString row = after.filter(QRegularExpression('^' + key + "\\|")).value(0);
            half += row.section('|', 4, 4) != "1" && row.section('|', 6, 6) == "0";
        }
        qInfo("RELIABILITY|database: %s|%s|5|%lld|0|%lld", qPrintable(fault), qPrintable(action), qint64(lost),
              qint64(half));
        QCOMPARE(lost, 0);
        QCOMPARE(half, 0);
        if (action == "send run" && fault != "deleted" && fault != "not a database")
            QCOMPARE(after.size(), 5);
    }

private:
    static QSqlDatabase makeFault(const QString &fault, const QString &path)
    {
        QSqlDatabase locker;
        if (fault == "read-only") {
            Database::close();
            QFile::setPermissions(path, QFileDevice::ReadOwner);
        } else if (fault == "locked") {
            Database::setBusyTimeout(300);
            locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
            locker.setDatabaseName(path);
            QSqlQuery hold(locker.open() ? locker : QSqlDatabase());
            if (!hold.exec(QStringLiteral("BEGIN IMMEDIATE"))
                || !hold.exec(QStringLiteral("UPDATE Setup SET LastHighestTrn = LastHighestTrn")))
                qFatal("cannot lock the database: %s", qPrintable(hold.lastError().text()));
        } else if (fault == "deleted") {
            for (const char *suffix : {"", "-wal", "-shm"})
                QFile::remove(path + QLatin1String(suffix));
        } else if (fault == "not a database") {
            Database::close();
            if (!writeFile(path, QByteArray("This is no database, just text.\n").repeated(200)))
                qFatal("cannot write %s", qPrintable(path));
            for (const char *suffix : {"-wal", "-shm"})
                QFile::remove(path + QLatin1String(suffix));
        } else if (fault == "full disk") {
            std::signal(SIGXFSZ, SIG_IGN);
            // Room for the log's header and a page: the next few writes fail.
            const rlimit small{8192, RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &small);
        }
        return locker;
    }

    static void takeFaultAway(const QString &fault, const QString &path, QSqlDatabase &locker)
    {
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &unlimited);
        if (fault == "read-only")
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (fault == "locked") {
            locker.rollback();
            locker.close();
            locker = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        }
    }
};

QTEST_GUILESS_MAIN(tst_databaseFaults)
#include "tst_databaseFaults.moc"
