#include "FailingWrites.h"
#include "FileBytes.h"
#include "GroupRows.h"
#include "OutboxColumn.h"
#include "OutboxRows.h"
#include "PostgresCluster.h"
#include "QueryRows.h"
#include "Raised.h"
#include "TestSupport.h"

#include "app/modMain.h"
#include "data/Backups.h"
#include "data/Database.h"
#include "settings/RunningSetup.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

int sqliteShell(const QString &path, const QString &statements)
{
    return QProcess::execute(u"sqlite3"_s, {path, statements});
}

int schemaVersion()
{
    return Database::value(testingServer() ? u"SELECT Version FROM TellwaveSchema"_s : u"PRAGMA user_version"_s)
        .toInt();
}

bool hasIndex(const QString &name)
{
    return Database::value(testingServer() ? u"SELECT 1 FROM pg_indexes WHERE indexname = lower(?)"_s
                                           : u"SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?"_s,
                           {name})
        .isValid();
}

// Changes the database as an older program left it, marked with that program's schema version
// (0: none), and closes it: the next statement opens it again.
bool leaveAsOlderProgram(const QString &path, const QString &statements, int version)
{
    // The contact list's indexes came with version 7; the shell could not
    // change the tables while they are there (it lacks the name collation).
    // The reports' day index came later still, and holds columns older files lack.
    const QString withoutListIndexes = u"DROP INDEX IF EXISTS Clients_AssNo; DROP INDEX IF EXISTS Clients_LastName; "
                                       "DROP INDEX IF EXISTS SMSSend_Day;"_s
                                       + statements;
    if (!testingServer()) {
        Database::close();
        return sqliteShell(path, withoutListIndexes + u"PRAGMA user_version = %1;"_s.arg(version)) == 0;
    }
    for (const QString &statement : withoutListIndexes.split(u';', Qt::SkipEmptyParts))
        Database::run(statement);
    // A server database older than the version mark has no table for it.
    if (version == 0)
        Database::run(u"DROP TABLE TellwaveSchema"_s);
    else
        Database::run(u"UPDATE TellwaveSchema SET Version = ?"_s, {version});
    Database::close();
    return true;
}

} // namespace

class tst_database : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newRowsAreQueuedAndNotSelected()
    {
        TestHome home;
        // A composition window sets only the columns it names.
        Database::run(u"INSERT INTO SMSSend (Number, Message) VALUES ('0821234567', 'Hi')"_s);
        GroupRows::addClient(u"Dlamini"_s);
        QCOMPARE(queryValues(u"SELECT Send, Delivered, EventID, (SELECT Selected FROM Clients) FROM SMSSend"_s),
                 QStringList({u"0"_s, u"0"_s, u"<null>"_s, u"0"_s}));
    }

    void viewsListOnlyMembersAndNameTheContact()
    {
        TestHome home;
        const qint64 member = GroupRows::addClient(u"van der Merwe"_s, {}, u"Anna"_s);
        GroupRows::addClient(u"Loner"_s);
        GroupRows::link(GroupRows::addGroup(u"Staff"_s), member);
        QCOMPARE(queryValues(u"SELECT Name, LastName FROM ClientsBelongingToGroups"_s),
                 QStringList({u"Staff"_s, u"van der Merwe"_s}));

        // The outbox names the contact a row was addressed to; a reply from an unknown sender shows the number.
        const qint64 addressed = OutboxRows::add({.number = u"0820000001"_s, .clientId = member});
        const qint64 typed = OutboxRows::queue(u"0820000002"_s);
        Database::run(u"INSERT INTO SMSReplies (IncomingID, PhoneNumber, SMSSendID) VALUES "
                      "('A', '0820000001', ?), ('B', '0820000002', ?)"_s,
                      {addressed, typed});
        QCOMPARE(queryRows(u"SELECT ClientName FROM ListSMSandClients ORDER BY SMSSendID"_s),
                 QStringList({u"Anna van der Merwe"_s, u""_s}));
        QCOMPARE(queryValues(u"SELECT FN, FirstName FROM RepliesWithClients ORDER BY IncomingID"_s),
                 QStringList({u"Anna van der Merwe"_s, u"Anna"_s, u"0820000002"_s, u"<null>"_s}));
    }

    void newDatabaseHasOneSetupRowAndThePostalCodes()
    {
        TestHome home;
        QCOMPARE(Database::value(u"SELECT count(*) || '/' || max(LastHighestTrn) FROM Setup"_s).toString(), u"1/0"_s);

        // Real places of all nine provinces, with their four-digit box and street codes.
        static const QRegularExpression place(u"^[^|]*[^|\\s][^|]*\\|[^|]*[^|\\s][^|]*\\|\\d{4}\\|\\d{4}$"_s);
        const QStringList places = queryRows(u"SELECT Area, Town, BoxCode, StreetCode FROM PostalCodes"_s);
        for (const QString &row : places)
            QVERIFY2(place.match(row).hasMatch(), qPrintable(row));
        QVERIFY(places.size() >= 120);
        const QStringList provinces = queryRows(u"SELECT DISTINCT AreaGroup FROM PostalCodes"_s);
        QCOMPARE(QSet<QString>(provinces.begin(), provinces.end()),
                 QSet<QString>({"Eastern Cape", "Free State", "Gauteng", "KwaZulu-Natal", "Limpopo", "Mpumalanga",
                                "North West", "Northern Cape", "Western Cape"}));
    }

    void newDatabaseFileCarriesTheAccountItIsMadeFor()
    {
        SQLITE_FILE_ONLY("the account is written into the new file the first run makes");
        TestHome home;
        qputenv("TELLWAVE_NEW_DATABASE_ACCOUNT", "demo:se:cret");
        home.freshDatabase();
        qunsetenv("TELLWAVE_NEW_DATABASE_ACCOUNT");
        QVERIFY(modMain::LoadSetup());
        QCOMPARE(RunningSetup::gatewayUsername() + u'|' + RunningSetup::gatewayPassword(), u"demo|se:cret"_s);
    }

    void filesThatCannotBeUsedAreReportedAndLeftAlone()
    {
        SQLITE_FILE_ONLY("garbage, foreign and newer files, a folder and a missing file");
        TestHome home;
        const QString garbage = home.path() + u"/garbage.db"_s, foreign = home.path() + u"/foreign.db"_s,
                      newer = home.path() + u"/newer.db"_s, missing = home.path() + u"/gone/SMSData.db"_s;
        QVERIFY(writeFile(garbage, QByteArray(4096, 'x')));
        QCOMPARE(sqliteShell(foreign, u"CREATE TABLE Accounts (x);"_s), 0);
        QVERIFY(QFile::copy(home.databasePath(), newer));
        QCOMPARE(sqliteShell(newer, u"PRAGMA user_version = 99;"_s), 0);
        const QList<std::tuple<QString, Database::FileState, QString>> cases = {
            {garbage, Database::FileState::Unusable, u"not a database"_s},
            {foreign, Database::FileState::Unusable, u"not a Tellwave database"_s},
            {newer, Database::FileState::Unusable, u"newer version"_s},
            {home.path(), Database::FileState::Unusable, QString()}, // a folder
            {missing, Database::FileState::Missing, QString()},
            {home.databasePath(), Database::FileState::Usable, QString()},
        };
        for (const auto &[path, state, reason] : cases) {
            const Database::FileCheck found = Database::check(path);
            QVERIFY2(found.state == state && found.reason.contains(reason), qPrintable(path + u": "_s + found.reason));
        }
        QCOMPARE(fileBytes(garbage), QByteArray(4096, 'x'));

        // Creating never overwrites a file, and a missing file is an error, not a new database.
        OutboxRows::queue(u"keep me"_s);
        Database::close();
        const QByteArray before = fileBytes(home.databasePath());
        QVERIFY_THROWS_EXCEPTION(AppError, Database::create(home.databasePath()));
        QCOMPARE(fileBytes(home.databasePath()), before);
        QCOMPARE(outboxColumn(u"Number"_s), QStringList{u"keep me"_s});
        Database::use(missing);
        QVERIFY_THROWS_EXCEPTION(AppError, Database::run(u"SELECT * FROM Setup"_s));
        QVERIFY(!QFile::exists(missing));
    }

    void serverDatabasesThatCannotBeUsedAreReportedAndLeftAlone()
    {
        if (!testingServer())
            QSKIP("server databases only; the file's kinds are checked above");
        TestHome home;
        const QString foreign = PostgresCluster::newDatabase(), newer = PostgresCluster::newDatabase(),
                      empty = PostgresCluster::newDatabase();
        const QString missing = home.databasePath().section(u'/', 0, -2) + u"/no_such_database"_s;
        QCOMPARE(psql(foreign, u"CREATE TABLE Accounts (x integer)"_s), QString());
        Database::create(newer);
        QCOMPARE(psql(newer, u"UPDATE TellwaveSchema SET Version = 99"_s), QString());
        const QList<std::tuple<QString, Database::FileState, QString>> cases = {
            {foreign, Database::FileState::Unusable, u"not a Tellwave database"_s},
            {newer, Database::FileState::Unusable, u"newer version"_s},
            {missing, Database::FileState::Unusable, u"no_such_database"_s},
            {empty, Database::FileState::Usable, QString()}, // given the schema when it is opened
            {home.databasePath(), Database::FileState::Usable, QString()},
        };
        for (const auto &[address, state, reason] : cases) {
            const Database::FileCheck found = Database::check(address);
            QVERIFY2(found.state == state && found.reason.contains(reason),
                     qPrintable(address + u": "_s + found.reason));
        }
        const QString tablesOf = u"SELECT string_agg(table_name, ',') FROM information_schema.tables "
                                 "WHERE table_schema = current_schema()"_s;
        QCOMPARE(psql(foreign, tablesOf), u"accounts"_s);
        QCOMPARE(psql(empty, tablesOf), QString());

        // Creating keeps what a database holds, and a missing database is an error, not a new one.
        OutboxRows::queue(u"keep me"_s);
        Database::close();
        Database::create(home.databasePath());
        QCOMPARE(outboxColumn(u"Number"_s), QStringList{u"keep me"_s});
        QVERIFY_THROWS_EXCEPTION(AppError, Database::create(foreign));
        QCOMPARE(psql(foreign, tablesOf), u"accounts"_s);
        Database::use(missing);
        QVERIFY_THROWS_EXCEPTION(AppError, Database::run(u"SELECT * FROM Setup"_s));
    }

    void lockedDatabaseFailsWithAnErrorInsteadOfHanging()
    {
        TestHome home;
        Database::setBusyTimeout(200);
        Database::close();
        // Another program holds a write lock on the file (on the server: on the outbox) for the whole test.
        QProcess holder;
        const QString serverHolder = u"holder"_s;
        if (testingServer()) {
            QSqlQuery lock(Database::openNamed(serverHolder, home.databasePath()));
            QVERIFY(lock.exec(u"BEGIN"_s) && lock.exec(u"LOCK TABLE SMSSend IN ACCESS EXCLUSIVE MODE"_s));
        } else {
            holder.start(u"sqlite3"_s, {home.databasePath()});
            QVERIFY(holder.waitForStarted());
            holder.write("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; INSERT INTO SMSSend (Number) VALUES ('x');"
                         "SELECT 'locked';\n");
            QByteArray said;
            while (!said.contains("locked") && holder.waitForReadyRead(5000))
                said += holder.readAllStandardOutput();
            QVERIFY2(said.contains("locked"), said.constData());
        }

        const QString locked = errorOf([] { OutboxRows::queue(u"y"_s); });
        QVERIFY2(locked.contains(u"lock"_s), qPrintable(locked));
        if (testingServer()) {
            // A server whose table another program holds is still a usable database.
            Database::closeNamed(serverHolder);
        } else {
            QCOMPARE(Database::check(home.databasePath()).state, Database::FileState::Unusable);
            holder.write("ROLLBACK;\n.quit\n");
            QVERIFY(holder.waitForFinished(5000));
        }
        Database::setBusyTimeout(5000);
        Database::close();
        QCOMPARE(OutboxRows::count(), 0);
    }

    void olderFilesAreBroughtUpToDate_data()
    {
        QTest::addColumn<QString>("statements"); // the database as an older program left it
        QTest::addColumn<int>("version");
        QTest::addColumn<QStringList>("checks"); // each true once it is brought up to date
        QTest::newRow("no version: no views, indexes or postal codes")
            << u"DROP VIEW ClientsBelongingToGroups; DROP VIEW ListSMSandClients; DROP VIEW RepliesWithClients;"
               "DROP INDEX SMSReplies_Incoming; DELETE FROM PostalCodes;"_s
            << 0
            << QStringList{u"SELECT count(*) = 1 FROM ListSMSandClients"_s,
                           u"SELECT count(*) >= 100 FROM PostalCodes"_s};
        // An older row belongs to no scheduled batch: it goes at the next run. A word the operator took off the
        // list stays off.
        QTest::newRow("version 2: no opt-out tables")
            << u"DROP TABLE OptOuts; DROP TABLE OptOutAudit; DROP TABLE PublicHolidays;"
               "ALTER TABLE SMSSend DROP COLUMN Marketing; ALTER TABLE SMSSend DROP COLUMN PostedAt;"
               "ALTER TABLE SMSReplies DROP COLUMN OptOut; ALTER TABLE Setup DROP COLUMN SenderName;"
               "DROP INDEX SMSSend_Batch; ALTER TABLE SMSSend DROP COLUMN BatchID; DROP TABLE SendBatches;"_s
            << 2
            << QStringList{u"SELECT count(*) = 1 FROM SMSSend WHERE Marketing = 0 AND BatchID IS NULL"_s,
                           u"SELECT count(*) = 0 FROM SendBatches"_s,
                           u"SELECT count(*) = 0 FROM OptOuts"_s,
                           u"SELECT count(*) = 0 FROM PublicHolidays"_s,
                           u"SELECT count(*) = 0 FROM OptOutWords WHERE Word = 'QUIT'"_s,
                           u"SELECT count(*) = 1 FROM OptOutWords WHERE Word = 'STOP'"_s};
        QTest::newRow("version 3: no failure columns")
            << u"ALTER TABLE SMSSend DROP COLUMN FailReason; ALTER TABLE SMSSend DROP COLUMN QueuedAgain;"
               "ALTER TABLE SMSSend DROP COLUMN ConfirmsOptOut; DROP INDEX SMSSend_Batch;"
               "ALTER TABLE SMSSend DROP COLUMN BatchID; DROP TABLE SendBatches;"_s
            << 3
            << QStringList{u"SELECT count(*) = 1 FROM SMSSend WHERE FailReason IS NULL AND QueuedAgain = 0 "
                           "AND ConfirmsOptOut = 0 AND EventID = '0' AND BatchID IS NULL"_s};
        // The holidays a version 4 program listed: the Act's days it had filled in count anyway and go, one the
        // office had deleted stays no holiday, a day it had added stays added.
        QTest::newRow("version 4: holidays listed")
            << u"DROP TABLE PublicHolidays; CREATE TABLE PublicHolidays (HolidayDate TEXT PRIMARY KEY, Name TEXT);"
               "INSERT INTO PublicHolidays VALUES ('2026-12-25', 'Christmas Day'), ('2027-12-26', 'Day of Goodwill'),"
               "('2026-05-27', 'Election day');"_s
            << 4
            << QStringList{
                   u"SELECT count(*) = 0 FROM PublicHolidays WHERE HolidayDate IN ('2026-12-25', '2027-12-26')"_s,
                   u"SELECT IsHoliday = 0 AND Name = 'Day of Reconciliation' FROM PublicHolidays "
                   "WHERE HolidayDate = '2026-12-16'"_s,
                   u"SELECT IsHoliday = 1 AND Name = 'Election day' FROM PublicHolidays "
                   "WHERE HolidayDate = '2026-05-27'"_s,
                   u"SELECT count(*) = 22 FROM PublicHolidays WHERE IsHoliday = 0"_s};
        // A number that is no telephone number keys as written.
        QTest::newRow("version 7: no templates, no number keys")
            << u"DROP TABLE Templates; DROP INDEX SMSSend_NumberKey; DROP INDEX SMSReplies_NumberKey;"
               "ALTER TABLE SMSSend DROP COLUMN NumberKey; ALTER TABLE SMSReplies DROP COLUMN NumberKey;"_s
            << 7
            << QStringList{u"SELECT count(*) = 0 FROM Templates"_s,
                           u"SELECT count(*) = 1 FROM SMSSend WHERE EventID = '0' AND NumberKey = 'refused before'"_s};
    }

    void olderFilesAreBroughtUpToDate()
    {
        QFETCH(QString, statements);
        QFETCH(int, version);
        QFETCH(QStringList, checks);
        TestHome home;
        Database::run(u"UPDATE Setup SET Username = 'olduser'"_s);
        OutboxRows::queue(u"refused before"_s);
        Database::run(u"UPDATE SMSSend SET Send = 1, EventID = '0'"_s);
        Database::run(u"DELETE FROM OptOutWords WHERE Word = 'QUIT'"_s);
        QVERIFY(leaveAsOlderProgram(home.databasePath(), statements, version));
        QCOMPARE(Database::check(home.databasePath()).state, Database::FileState::Usable);
        QCOMPARE(schemaVersion(), Database::SchemaVersion);
        if (!testingServer()) {
            // The file as the older program left it was copied aside first.
            const QDir backups(Backups::folder());
            const QStringList copies = backups.entryList({u"*-before-upgrade.db"_s}, QDir::Files);
            QCOMPARE(copies.size(), 1);
            QProcess shell;
            shell.start(u"sqlite3"_s, {backups.filePath(copies.first()), u"PRAGMA user_version"_s});
            QVERIFY(shell.waitForFinished());
            QCOMPARE(shell.readAllStandardOutput().trimmed().toInt(), version);
        }
        QCOMPARE(queryValues(u"SELECT Username FROM Setup"_s), QStringList{u"olduser"_s});
        for (const QString &index :
             {u"SMSReplies_Incoming"_s, u"Clients_AssNo"_s, u"Clients_LastName"_s, u"SMSSend_Day"_s})
            QVERIFY2(hasIndex(index), qPrintable(index));
        for (const QString &check : checks)
            QVERIFY2(Database::value(check).toBool(), qPrintable(check));
    }

    void transactionsStoreOnlyWhatTheyCommit()
    {
        TestHome home;
        {
            Database::Transaction transaction;
            OutboxRows::queue(u"dropped"_s);
        }
        {
            Database::Transaction transaction;
            OutboxRows::queue(u"committed"_s);
            transaction.commit();
        }
        const QString kept = errorOf([] {
            Database::Batch batch;
            OutboxRows::queue(u"kept"_s);
            try {
                Database::run(u"INSERT INTO NoSuchTable VALUES (1)"_s);
            } catch (const AppError &error) {
                throw batch.keepBefore(error, u"1 message was queued before the error."_s);
            }
        });
        QVERIFY2(kept.contains(u"NoSuchTable"_s, Qt::CaseInsensitive)
                     && kept.endsWith(u"\n1 message was queued before the error."_s),
                 qPrintable(kept));
        {
            Database::Batch batch;
            OutboxRows::queue(u"uncommitted"_s);
        }

        // A commit the database refuses (as a full disk would) is an error, and the batch is gone whole.
        FailingWrites::failCommitsAfter(u"INSERT"_s, u"SMSSend"_s, u"NEW.Number = 'lost'"_s);
        const QString refused = errorOf([] {
            Database::Batch batch;
            OutboxRows::queue(u"stored with"_s);
            OutboxRows::queue(u"lost"_s);
            batch.commit();
        });
        QVERIFY2(refused.endsWith(u"\nNothing was stored."_s), qPrintable(refused));
        const QString stopped = errorOf([] {
            Database::Batch batch;
            OutboxRows::queue(u"lost"_s);
            throw batch.keepBefore(AppError(1, u"stopped"_s), u"1 message was queued before the error."_s);
        });
        QVERIFY2(stopped.endsWith(u"\nNothing was stored."_s), qPrintable(stopped));
        OutboxRows::queue(u"after"_s); // no transaction is left open
        Database::close();             // what was committed is on disk, not only in this connection
        QCOMPARE(outboxColumn(u"Number"_s), QStringList({u"committed"_s, u"kept"_s, u"after"_s}));
    }

    // The statement for long lists stores every kind of value as a bound
    // QVariant would, tells keys, changes and finds, refuses rows as the
    // engine does, and outlives the connection it was prepared on.
    void rowStatementsStoreWhatTheyAreGiven()
    {
        TestHome home;
        Database::RowStatement add(u"INSERT INTO SMSSend (ClientID, Number, Message, Marketing) VALUES (?, ?, ?, ?)"_s);
        const QString text = u"Tea at 10, Ödegård's"_s;
        const qint64 first = add.insert({Database::Value(), QString(), text, 1});
        const qint64 second = add.insert({qint64(42), u""_s, QVariant(u"from a variant"_s), QVariant(true)});
        const qint64 third =
            add.insert({QVariant(QMetaType::fromType<qlonglong>()), QVariant(QString()), u"third"_s, QVariant(7)});
        const qint64 fourth = add.insert({qint64(43), QVariant(u""_s), u"fourth"_s, 0});
        QVERIFY(0 < first && first < second && second < third && third < fourth);
        // A null text is NULL, an empty one is not, given as a text or as a variant.
        QCOMPARE(queryValues(u"SELECT ClientID, Number, Message, Marketing FROM SMSSend ORDER BY SMSSendID"_s),
                 QStringList({u"<null>"_s, u"<null>"_s, text, u"1"_s, u"42"_s, u""_s, u"from a variant"_s, u"1"_s,
                              u"<null>"_s, u"<null>"_s, u"third"_s, u"7"_s, u"43"_s, u""_s, u"fourth"_s, u"0"_s}));

        Database::RowStatement mark(u"UPDATE SMSSend SET Marketing = ? WHERE Marketing = ?"_s);
        QCOMPARE(mark.run({5, 1}), 2);
        QCOMPARE(mark.run({5, 1}), 0);
        Database::RowStatement find(u"SELECT 1 FROM SMSSend WHERE Message = ?"_s);
        QVERIFY(find.finds({text}));
        QVERIFY(!find.finds({u"nothing like it"_s}));

        // A row the database refuses is the engine's error, told as refusing the row.
        FailingWrites::refuseWhere(u"Refuse"_s, u"INSERT"_s, u"SMSSend"_s, u"NEW.Number = 'refused'"_s);
        const std::optional<AppError> refused = raisedBy([&] {
            add.insert({Database::Value(), u"refused"_s, text, 0});
        });
        QVERIFY2(refused && Database::refusesTheRow(*refused) && refused->description().contains(u"refused by test"_s),
                 refused ? qPrintable(refused->text()) : "the refused row was stored");
        QVERIFY(!find.finds({u"refused"_s}));

        // The connection closed and opened again: the statements are prepared anew.
        Database::close();
        QVERIFY(find.finds({text}));
        QVERIFY(add.insert({Database::Value(), u"after"_s, u"reopened"_s, 0}) > fourth);
        QCOMPARE(OutboxRows::count(), 5);
    }

    void namesSortAsPeopleReadThem()
    {
        TestHome home;
        const QStringList expected{u"1st Avenue"_s, u"anna"_s,       u"Anna"_s,       u"Bob"_s,
                                   u"de Klerk"_s,   u"Du Plessis"_s, u"Émile"_s,      u"Nel"_s,
                                   u"Nél"_s,        u"O'Brien"_s,    u"Oosthuizen"_s, u"Zulu"_s};
        for (const QString &name : expected)
            GroupRows::addGroup(name);
        QCOMPARE(queryValues(u"SELECT Name FROM Groups ORDER BY Name COLLATE Names, GroupID"_s), expected);
        QCOMPARE(Database::value(u"SELECT count(*) FROM Groups WHERE Name = 'ANNA' COLLATE Names"_s).toInt(), 2);
        QCOMPARE(Database::value(u"SELECT count(*) FROM Groups WHERE Name = 'emile' COLLATE Names"_s).toInt(), 0);

        // The quick comparison of ASCII names must agree with the collator everywhere.
        QCollator collator(QLocale(QLocale::English, QLocale::SouthAfrica));
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        const QString alphabet = u"aAbZz09 -'.,&"_s;
        quint32 seed = 7;
        const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
        const auto sign = [](int v) { return (v > 0) - (v < 0); };
        for (int i = 0; i < 20000; ++i) {
            QString a;
            for (quint32 n = next() % 5; n > 0; --n)
                a += alphabet.at(next() % alphabet.size());
            QString b = a.left(int(next() % (a.size() + 1)));
            for (quint32 n = next() % 3; n > 0; --n)
                b += alphabet.at(next() % alphabet.size());
            QVERIFY2(sign(Database::compareNames(a, b)) == sign(collator.compare(a, b)),
                     qPrintable(u"'%1' against '%2'"_s.arg(a, b)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_database)
#include "tst_database.moc"
