#include "TestSupport.h"

#include "app/modMain.h"
#include "data/Database.h"

#include <QCollator>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlRecord>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QStringList columnsOf(const QString &tableOrView)
{
    QSqlQuery query = Database::run(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(tableOrView));
    QStringList names;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    return names;
}

qint64 addContact(const QString &last, const QString &first, const QString &mobile = {})
{
    return Database::insert(QStringLiteral("INSERT INTO Clients (LastName, FirstName, Mobile) VALUES (?, ?, ?)"),
                            {last, first, mobile});
}

qint64 addGroup(const QString &name)
{
    return Database::insert(QStringLiteral("INSERT INTO Groups (Name) VALUES (?)"), {name});
}

void link(qint64 group, qint64 client)
{
    Database::run(QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"), {group, client});
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_database : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tablesAndViewsHaveTheirColumnsInOrder_data();
    void tablesAndViewsHaveTheirColumnsInOrder();
    void newRowsAreQueuedAndNotDelivered();
    void groupMembershipViewListsOnlyMembers();
    void outboxAndRepliesViewsNameTheContact();
    void keysGrowInInsertOrderAndAreNeverReused();
    void quotesAndNonAsciiLettersAreStoredAndFound();
    void newDatabaseHasOneSetupRowAndPostalCodes();
    void creatingNeverOverwritesAFile();
    void unusableFilesAreReportedWithAReason();
    void lockedDatabaseFailsWithAnErrorInsteadOfHanging();
    void olderFileWithoutVersionIsBroughtUpToDate();
    void batchStoresOnlyWhatItCommits();
    void namesSortAsPeopleReadThem();
    void transactionRollsBackUnlessCommitted();
    void missingFileIsAnErrorAndIsNotCreated();
};

void tst_database::tablesAndViewsHaveTheirColumnsInOrder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("columns");
    QTest::newRow("Clients") << "Clients"
        << QStringList({"ClientID", "AssNo", "LastName", "FirstName", "Initials", "Salute", "EnrollerAssNo", "Company",
                        "Address1", "Address2", "Address3", "PostalCode", "TelWork", "TelHome", "Fax", "Mobile", "EMail",
                        "Selected"});
    QTest::newRow("Groups") << "Groups" << QStringList({"GroupID", "Name"});
    QTest::newRow("GroupLinking") << "GroupLinking" << QStringList({"GroupID", "ClientID"});
    QTest::newRow("SMSSend") << "SMSSend"
        << QStringList({"SMSSendID", "ClientID", "Number", "Message", "SendDate", "SendTime", "EventID", "Send",
                        "Delivered", "SentID", "InFlight"});
    QTest::newRow("SMSReplies") << "SMSReplies"
        << QStringList({"SMSReplyID", "IncomingID", "PhoneNumber", "ReceivedDateTime", "Message", "SentMessage",
                        "SentDateTime", "SMSSendID"});
    QTest::newRow("Setup") << "Setup" << QStringList({"Username", "Password", "LastHighestTrn"});
    QTest::newRow("PostalCodes") << "PostalCodes" << QStringList({"ID", "Area", "Town", "BoxCode", "StreetCode", "AreaGroup"});
    QTest::newRow("ClientsBelongingToGroups") << "ClientsBelongingToGroups"
        << QStringList({"GroupID", "Name", "ClientID", "AssNo", "LastName", "FirstName", "Initials", "Salute",
                        "EnrollerAssNo", "Address1", "Address2", "Address3", "PostalCode", "TelWork", "TelHome", "Fax",
                        "Mobile", "EMail", "Selected", "Company"});
    QTest::newRow("ListSMSandClients") << "ListSMSandClients"
        << QStringList({"SMSSendID", "ClientID", "Number", "ClientName", "Message", "SendDate", "SendTime", "EventID",
                        "Send", "Delivered", "SentID"});
    QTest::newRow("RepliesWithClients") << "RepliesWithClients"
        << QStringList({"SMSReplyID", "IncomingID", "PhoneNumber", "ReceivedDateTime", "FN", "Message", "SentMessage",
                        "SentDateTime", "SMSSendID", "FirstName", "LastName"});
}

void tst_database::tablesAndViewsHaveTheirColumnsInOrder()
{
    QFETCH(QString, name);
    QFETCH(QStringList, columns);
    TestHome home;
    QCOMPARE(columnsOf(name), columns);
}

void tst_database::newRowsAreQueuedAndNotDelivered()
{
    TestHome home;
    // A composition window sets only the columns it names.
    const qint64 row = Database::insert(QStringLiteral("INSERT INTO SMSSend (Number, Message) VALUES ('0821234567', 'Hi')"));
    QSqlQuery flags = Database::run(QStringLiteral("SELECT Send, Delivered, EventID FROM SMSSend WHERE SMSSendID = ?"), {row});
    QVERIFY(flags.next());
    QCOMPARE(flags.value(0).toInt(), 0);
    QCOMPARE(flags.value(1).toInt(), 0);
    QVERIFY(flags.value(2).isNull());
    const qint64 contact = addContact(QStringLiteral("Dlamini"), QStringLiteral("Thandi"));
    QCOMPARE(Database::value(QStringLiteral("SELECT Selected FROM Clients WHERE ClientID = ?"), {contact}).toInt(), 0);
}

void tst_database::groupMembershipViewListsOnlyMembers()
{
    TestHome home;
    const qint64 staff = addGroup(QStringLiteral("Staff"));
    const qint64 choir = addGroup(QStringLiteral("Choir"));
    const qint64 both = addContact(QStringLiteral("Naidoo"), QStringLiteral("Priya"), QStringLiteral("0821111111"));
    const qint64 one = addContact(QStringLiteral("Botha"), QStringLiteral("Jan"), QStringLiteral("0822222222"));
    addContact(QStringLiteral("Loner"), QStringLiteral("Nobody"), QStringLiteral("0823333333"));
    link(staff, both);
    link(choir, both);
    link(staff, one);

    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM ClientsBelongingToGroups")).toInt(), 3);
    QVERIFY(!Database::value(QStringLiteral("SELECT 1 FROM ClientsBelongingToGroups WHERE LastName = 'Loner'")).isValid());
    QSqlQuery staffList = Database::run(
        QStringLiteral("SELECT Name, LastName FROM ClientsBelongingToGroups WHERE GroupID = ? ORDER BY LastName"), {staff});
    QStringList names;
    while (staffList.next()) {
        QCOMPARE(staffList.value(0).toString(), QStringLiteral("Staff"));
        names << staffList.value(1).toString();
    }
    QCOMPARE(names, QStringList({"Botha", "Naidoo"}));
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM ClientsBelongingToGroups WHERE GroupID = 0")).toInt(), 0);
}

void tst_database::outboxAndRepliesViewsNameTheContact()
{
    TestHome home;
    const qint64 contact = addContact(QStringLiteral("van der Merwe"), QStringLiteral("Anna"));
    const qint64 addressed = Database::insert(
        QStringLiteral("INSERT INTO SMSSend (ClientID, Number, Message) VALUES (?, ?, ?)"),
        {contact, QStringLiteral("0820000001"), QStringLiteral("Hello")});
    const qint64 typed = Database::insert(QStringLiteral("INSERT INTO SMSSend (Number, Message) VALUES (?, ?)"),
                                          {QStringLiteral("0820000002"), QStringLiteral("Hi")});
    QCOMPARE(Database::value(QStringLiteral("SELECT ClientName FROM ListSMSandClients WHERE SMSSendID = ?"), {addressed}).toString(),
             QStringLiteral("Anna van der Merwe"));
    QCOMPARE(Database::value(QStringLiteral("SELECT ClientName FROM ListSMSandClients WHERE SMSSendID = ?"), {typed}).toString(),
             QString());

    Database::run(QStringLiteral("INSERT INTO SMSReplies (IncomingID, PhoneNumber, Message, SMSSendID) VALUES "
                                 "('A', '0820000001', 'Thanks', ?), ('B', '0820000002', 'Who?', ?)"),
                  {addressed, typed});
    QSqlQuery replies = Database::run(QStringLiteral("SELECT IncomingID, FN, FirstName FROM RepliesWithClients ORDER BY IncomingID"));
    QVERIFY(replies.next());
    QCOMPARE(replies.value(1).toString(), QStringLiteral("Anna van der Merwe"));
    QCOMPARE(replies.value(2).toString(), QStringLiteral("Anna"));
    QVERIFY(replies.next());
    QCOMPARE(replies.value(1).toString(), QStringLiteral("0820000002")); // an unknown sender shows the number
    QVERIFY(!replies.next());
}

void tst_database::keysGrowInInsertOrderAndAreNeverReused()
{
    TestHome home;
    const QString insert = QStringLiteral("INSERT INTO SMSSend (Number) VALUES ('1')");
    const qint64 first = Database::insert(insert);
    const qint64 second = Database::insert(insert);
    const qint64 third = Database::insert(insert);
    QVERIFY(first < second && second < third);
    Database::run(QStringLiteral("DELETE FROM SMSSend WHERE SMSSendID = ?"), {third});
    QVERIFY(Database::insert(insert) > third);
    Database::run(QStringLiteral("DELETE FROM SMSSend"));
    QVERIFY(Database::insert(insert) > third + 1);
}

void tst_database::quotesAndNonAsciiLettersAreStoredAndFound()
{
    TestHome home;
    addGroup(QStringLiteral("O'Brien's \"Friends\""));
    addGroup(QStringLiteral("Église Ümlaut"));
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM Groups WHERE upper(trim(Name)) = upper(?)"),
                             {QStringLiteral("o'brien's \"friends\"")}).toInt(), 1);
    // Names compare without regard to case in every alphabet.
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM Groups WHERE upper(trim(Name)) = upper(?)"),
                             {QStringLiteral("église ümlaut")}).toInt(), 1);
    QCOMPARE(Database::value(QStringLiteral("SELECT lower(?)"), {QStringLiteral("ÄÖÜ ÇA")}).toString(),
             QStringLiteral("äöü ça"));
}

void tst_database::newDatabaseHasOneSetupRowAndPostalCodes()
{
    TestHome home;
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM Setup")).toInt(), 1);
    QCOMPARE(Database::value(QStringLiteral("SELECT LastHighestTrn FROM Setup")).toInt(), 0);

    // A database made for a first run can carry the account it is meant for.
    qputenv("TELLWAVE_NEW_DATABASE_ACCOUNT", "demo:se:cret");
    home.freshDatabase();
    qunsetenv("TELLWAVE_NEW_DATABASE_ACCOUNT");
    QVERIFY(modMain::LoadSetup());
    QCOMPARE(modMain::GatewayUsername, QStringLiteral("demo"));
    QCOMPARE(modMain::GatewayPassword, QStringLiteral("se:cret"));
}

void tst_database::creatingNeverOverwritesAFile()
{
    TestHome home;
    Database::run(QStringLiteral("INSERT INTO SMSSend (Number) VALUES ('keep me')"));
    Database::close();
    const QByteArray before = fileBytes(home.databasePath());
    QVERIFY_THROWS_EXCEPTION(AppError, Database::create(home.databasePath()));
    QCOMPARE(fileBytes(home.databasePath()), before);
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Number = 'keep me'")).toInt(), 1);
}

void tst_database::unusableFilesAreReportedWithAReason()
{
    TestHome home;
    const QString garbage = home.path() + QStringLiteral("/garbage.db");
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    Database::FileCheck found = Database::check(garbage);
    QCOMPARE(found.state, Database::FileState::Unusable);
    QVERIFY2(found.reason.contains(QStringLiteral("not a database")), qPrintable(found.reason));
    QCOMPARE(fileBytes(garbage), QByteArray(4096, 'x'));

    const QString foreign = home.path() + QStringLiteral("/foreign.db");
    QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"), {foreign, QStringLiteral("CREATE TABLE Accounts (x);")}), 0);
    found = Database::check(foreign);
    QCOMPARE(found.state, Database::FileState::Unusable);
    QVERIFY2(found.reason.contains(QStringLiteral("not a Tellwave database")), qPrintable(found.reason));

    const QString newer = home.path() + QStringLiteral("/newer.db");
    QVERIFY(QFile::copy(home.databasePath(), newer));
    QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"), {newer, QStringLiteral("PRAGMA user_version = 99;")}), 0);
    found = Database::check(newer);
    QCOMPARE(found.state, Database::FileState::Unusable);
    QVERIFY2(found.reason.contains(QStringLiteral("newer version")), qPrintable(found.reason));

    QCOMPARE(Database::check(home.path()).state, Database::FileState::Unusable); // a folder
    QCOMPARE(Database::check(home.path() + QStringLiteral("/none.db")).state, Database::FileState::Missing);
    QCOMPARE(Database::check(home.databasePath()).state, Database::FileState::Usable);
}

void tst_database::lockedDatabaseFailsWithAnErrorInsteadOfHanging()
{
    TestHome home;
    Database::setBusyTimeout(200);
    Database::close();
    // Another program holds a write lock on the file for the whole test.
    QProcess holder;
    holder.start(QStringLiteral("sqlite3"), {home.databasePath()});
    QVERIFY(holder.waitForStarted());
    holder.write("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; INSERT INTO SMSSend (Number) VALUES ('x'); SELECT 'locked';\n");
    QByteArray said;
    while (!said.contains("locked") && holder.waitForReadyRead(5000))
        said += holder.readAllStandardOutput();
    QVERIFY2(said.contains("locked"), said.constData());

    bool failed = false;
    try {
        Database::run(QStringLiteral("INSERT INTO SMSSend (Number) VALUES ('y')"));
    } catch (const AppError &error) {
        failed = true;
        QVERIFY2(error.description().contains(QStringLiteral("locked")), qPrintable(error.text()));
    }
    QVERIFY(failed);
    QCOMPARE(Database::check(home.databasePath()).state, Database::FileState::Unusable);

    holder.write("ROLLBACK;\n.quit\n");
    QVERIFY(holder.waitForFinished(5000));
    Database::setBusyTimeout(5000);
    Database::close();
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM SMSSend")).toInt(), 0);
}

void tst_database::olderFileWithoutVersionIsBroughtUpToDate()
{
    TestHome home;
    Database::run(QStringLiteral("UPDATE Setup SET Username = 'olduser'"));
    Database::run(QStringLiteral("INSERT INTO SMSSend (Number, Message) VALUES ('0821234567', 'queued before')"));
    Database::close();
    // The tables as an older program left them: no views, no indexes, no postal codes, no version.
    const QString old = home.databasePath();
    QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"),
                               {old, QStringLiteral("DROP VIEW ClientsBelongingToGroups; DROP VIEW ListSMSandClients;"
                                                    "DROP VIEW RepliesWithClients; DROP INDEX SMSReplies_Incoming;"
                                                    "DELETE FROM PostalCodes; PRAGMA user_version = 0;")}),
             0);
    QCOMPARE(Database::check(old).state, Database::FileState::Usable);
    QCOMPARE(Database::value(QStringLiteral("PRAGMA user_version")).toInt(), Database::SchemaVersion);
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM ListSMSandClients")).toInt(), 1);
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM Setup")).toInt(), 1);
    QCOMPARE(Database::value(QStringLiteral("SELECT Username FROM Setup")).toString(), QStringLiteral("olduser"));
    QVERIFY(Database::value(QStringLiteral("SELECT count(*) FROM PostalCodes")).toInt() >= 100);
    QVERIFY(Database::value(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'SMSReplies_Incoming'")).isValid());
}

void tst_database::batchStoresOnlyWhatItCommits()
{
    TestHome home;
    const auto count = [](const char *number) {
        return Database::value(u"SELECT count(*) FROM SMSSend WHERE Number = ?"_s, {QString::fromLatin1(number)}).toInt();
    };
    try {
        Database::Batch batch;
        Database::run(u"INSERT INTO SMSSend (Number) VALUES ('kept')"_s);
        try {
            Database::run(u"INSERT INTO NoSuchTable VALUES (1)"_s);
        } catch (const AppError &error) {
            throw batch.keepBefore(error, u"1 message was queued before the error."_s);
        }
        QFAIL("the bad statement did not fail");
    } catch (const AppError &error) {
        QVERIFY(error.description().contains(u"NoSuchTable"_s));
        QVERIFY(error.description().endsWith(u"\n1 message was queued before the error."_s));
    }
    {
        Database::Batch batch;
        Database::run(u"INSERT INTO SMSSend (Number) VALUES ('uncommitted')"_s);
    }

    // A commit the database refuses (here a deferred foreign key, as a full disk would) is an
    // error, and the batch is gone whole.
    Database::run(u"PRAGMA foreign_keys = ON"_s);
    Database::run(u"CREATE TABLE Parent (ID INTEGER PRIMARY KEY)"_s);
    Database::run(u"CREATE TABLE Child (Ref INTEGER REFERENCES Parent(ID) DEFERRABLE INITIALLY DEFERRED)"_s);
    try {
        Database::Batch batch;
        Database::run(u"INSERT INTO SMSSend (Number) VALUES ('lost')"_s);
        Database::run(u"INSERT INTO Child VALUES (7)"_s);
        batch.commit();
        QFAIL("the commit did not fail");
    } catch (const AppError &error) {
        QVERIFY2(error.description().contains(u"FOREIGN KEY"_s), qPrintable(error.text()));
    }
    try {
        Database::Batch batch;
        Database::run(u"INSERT INTO SMSSend (Number) VALUES ('lost')"_s);
        Database::run(u"INSERT INTO Child VALUES (7)"_s);
        throw batch.keepBefore(AppError(1, u"stopped"_s), u"1 message was queued before the error."_s);
    } catch (const AppError &error) {
        QVERIFY2(error.description().endsWith(u"\nNothing was stored."_s), qPrintable(error.text()));
    }
    Database::run(u"INSERT INTO SMSSend (Number) VALUES ('after')"_s); // no transaction is left open
    Database::close(); // what was committed is on disk, not only in this connection
    QCOMPARE(count("kept"), 1);
    QCOMPARE(count("uncommitted"), 0);
    QCOMPARE(count("lost"), 0);
    QCOMPARE(count("after"), 1);
}

void tst_database::namesSortAsPeopleReadThem()
{
    TestHome home;
    const QStringList expected{u"1st Avenue"_s, u"anna"_s, u"Anna"_s, u"Bob"_s, u"de Klerk"_s, u"Du Plessis"_s,
                               u"Émile"_s, u"Nel"_s, u"Nél"_s, u"O'Brien"_s, u"Oosthuizen"_s, u"Zulu"_s};
    for (const QString &name : expected)
        Database::run(u"INSERT INTO Groups (Name) VALUES (?)"_s, {name});
    QStringList sorted;
    QSqlQuery query = Database::run(u"SELECT Name FROM Groups ORDER BY Name COLLATE Names, GroupID"_s);
    while (query.next())
        sorted << query.value(0).toString();
    QCOMPARE(sorted, expected);
    QCOMPARE(Database::value(u"SELECT count(*) FROM Groups WHERE Name = 'ANNA' COLLATE Names"_s).toInt(), 2);
    QCOMPARE(Database::value(u"SELECT count(*) FROM Groups WHERE Name = 'emile' COLLATE Names"_s).toInt(), 0);

    // The quick comparison of ASCII names must agree with the collator everywhere.
    QCollator collator(QLocale(QLocale::English, QLocale::SouthAfrica));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const QString alphabet = u"aAbZz09 -'.,&"_s;
    quint32 seed = 7;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int i = 0; i < 20000; ++i) {
        QString a, b;
        for (quint32 n = next() % 5; n > 0; --n)
            a += alphabet.at(next() % alphabet.size());
        b = a.left(int(next() % (a.size() + 1)));
        for (quint32 n = next() % 3; n > 0; --n)
            b += alphabet.at(next() % alphabet.size());
        const auto sign = [](int v) { return (v > 0) - (v < 0); };
        QVERIFY2(sign(Database::compareNames(a, b)) == sign(collator.compare(a, b)),
                 qPrintable(u"'%1' against '%2'"_s.arg(a, b)));
    }
}

void tst_database::transactionRollsBackUnlessCommitted()
{
    TestHome home;
    {
        Database::Transaction transaction;
        Database::run(QStringLiteral("INSERT INTO SMSSend (Number) VALUES ('dropped')"));
    }
    {
        Database::Transaction transaction;
        Database::run(QStringLiteral("INSERT INTO SMSSend (Number) VALUES ('committed')"));
        transaction.commit();
    }
    QSqlQuery rows = Database::run(QStringLiteral("SELECT Number FROM SMSSend"));
    QVERIFY(rows.next());
    QCOMPARE(rows.value(0).toString(), QStringLiteral("committed"));
    QVERIFY(!rows.next());
}

void tst_database::missingFileIsAnErrorAndIsNotCreated()
{
    TestHome home;
    const QString missing = home.path() + QStringLiteral("/gone/SMSData.db");
    modMain::ConnectionString = Database::connectionStringFor(missing);
    QVERIFY_THROWS_EXCEPTION(AppError, Database::run(QStringLiteral("SELECT * FROM Setup")));
    QVERIFY(!QFile::exists(missing));
}

QTEST_GUILESS_MAIN(tst_database)
#include "tst_database.moc"
