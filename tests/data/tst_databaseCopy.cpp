#include "PostgresCluster.h"
#include "Raised.h"
#include "TestSupport.h"

#include "data/AppError.h"
#include "data/Database.h"
#include "data/DatabaseCopy.h"

#include <QDir>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void use(const QString &pathOrAddress)
{
    Database::close();
    Database::use(pathOrAddress);
}

// What the windows show: every table row by row in key order, and the name
// lists in the names' order. Values as text, so both engines compare alike.
QStringList lists(const QString &pathOrAddress)
{
    use(pathOrAddress);
    QStringList statements;
    for (const Database::TableShape &shape : Database::schemaShape()) {
        QStringList order;
        for (qsizetype i = 1; i <= std::min<qsizetype>(3, shape.columns.size()); ++i)
            order << QString::number(i);
        statements << u"SELECT * FROM %1 ORDER BY %2"_s.arg(shape.name, order.join(u", "_s));
    }
    statements
        << u"SELECT LastName, FirstName FROM Clients ORDER BY LastName COLLATE Names, ClientID"_s
        << u"SELECT Name, LastName FROM ClientsBelongingToGroups ORDER BY Name COLLATE Names, LastName COLLATE Names"_s;
    QStringList lines;
    for (const QString &sql : statements) {
        QSqlQuery query = Database::run(sql);
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values << (query.isNull(i) ? u"NULL"_s : query.value(i).toString());
            lines << values.join(u'|');
        }
    }
    Database::close();
    return lines;
}

} // namespace

// Moving an office: an SQLite file copied to PostgreSQL and back.
class tst_databaseCopy : public QObject
{
    Q_OBJECT

private slots:
    void copiesEveryRowWithItsKeyBothWays()
    {
        TestHome home;
        // Keys with gaps, names outside ASCII, quotes, empty and missing values.
        const struct
        {
            QString sql;
            QVariantList values;
        } rows[] = {
            {u"INSERT INTO Clients (ClientID, LastName, FirstName, Mobile, Selected) VALUES (?, ?, ?, ?, ?)"_s,
             {3, u"Émile"_s, u"Zoë"_s, u"0821"_s, 1}},
            {u"INSERT INTO Clients (ClientID, LastName, FirstName, Mobile) VALUES (?, ?, ?, ?)"_s,
             {7, u"O'Brien"_s, QVariant(), u""_s}},
            {u"INSERT INTO Clients (ClientID, LastName, FirstName) VALUES (?, ?, ?)"_s, {12, u"adams"_s, u"Ann"_s}},
            {u"INSERT INTO Groups (GroupID, Name) VALUES (?, ?)"_s, {5, u"Staff"_s}},
            {u"INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"_s, {5, 3}},
            {u"INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"_s, {5, 12}},
            {u"INSERT INTO SMSSend (SMSSendID, ClientID, Number, Message, SendDate, SendTime, EventID, Send, "
             u"Delivered, SentID) "
             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
             {40, 3, u"0821"_s, u"Hi \"you\""_s, u"2026-03-01"_s, u"09:15"_s, u"5000001"_s, 1, 1, u"77"_s}},
            {u"INSERT INTO SMSSend (SMSSendID, Number, Message) VALUES (?, ?, ?)"_s, {41, u"0822"_s, u"Queued"_s}},
            {u"INSERT INTO SMSReplies (SMSReplyID, IncomingID, PhoneNumber, ReceivedDateTime, Message, SMSSendID) "
             "VALUES (?, ?, ?, ?, ?, ?)"_s,
             {9, u"R1"_s, u"27821"_s, u"2026-03-01 10:00:00"_s, u"Yes"_s, 40}},
            {u"UPDATE Setup SET Username = ?, Password = ?, LastHighestTrn = ?"_s, {u"office"_s, u"s3cret"_s, 1234}},
        };
        for (const auto &row : rows)
            Database::run(row.sql, row.values);
        Database::close();
        const QStringList original = lists(home.databasePath());

        const QString server = PostgresCluster::newDatabase();
        DatabaseCopy::copy(home.databasePath(), server);
        QCOMPARE(lists(server), original);

        const QString back = QDir(home.path()).filePath(u"back.db"_s);
        QList<qint64> progress;
        DatabaseCopy::copy(server, back, [&](const QString &table, qint64 done, qint64) {
            if (table.compare(u"Clients"_s, Qt::CaseInsensitive) == 0)
                progress << done;
        });
        QCOMPARE(lists(back), original);
        QCOMPARE(progress, (QList<qint64>{0, 3}));

        // New rows get keys above the copied ones on both engines.
        for (const QString &where : {server, back}) {
            use(where);
            QCOMPARE(Database::insert(u"INSERT INTO Clients (LastName) VALUES (?)"_s, {u"New"_s}), 13);
            QCOMPARE(Database::insert(u"INSERT INTO SMSSend (Number) VALUES (?)"_s, {u"0823"_s}), 42);
        }
        Database::close();
    }

    void refusesATargetInUse()
    {
        TestHome home;
        const QString server = PostgresCluster::newDatabase();
        use(server);
        Database::run(u"INSERT INTO Groups (Name) VALUES (?)"_s, {u"Theirs"_s});
        Database::close();
        const struct
        {
            QString from;
            QString to;
            QString says;
        } cases[] = {
            {home.databasePath(), server, u"is not empty"_s},
            {server, home.databasePath(), u"already there"_s},
            {QDir(home.path()).filePath(u"missing.db"_s), QDir(home.path()).filePath(u"new.db"_s), u"Could not find"_s},
            {server, server, u"onto itself"_s},
        };
        for (const auto &c : cases) {
            const QString error = errorOf([&c] { DatabaseCopy::copy(c.from, c.to); });
            QVERIFY2(error.contains(c.says), qPrintable(c.to + u": "_s + error));
        }
        use(server);
        QCOMPARE(Database::value(u"SELECT count(*) FROM Groups"_s).toInt(), 1);
        Database::close();
    }
};

QTEST_GUILESS_MAIN(tst_databaseCopy)
#include "tst_databaseCopy.moc"
