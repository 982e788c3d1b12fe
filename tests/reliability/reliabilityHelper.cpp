// Sets up and runs the database side of the crash test, so a script can kill it part way:
//   reliability_helper outbox <database> <count>       a new database with <count> queued messages
//   reliability_helper group <database> <members>      a new database with one group of <members> contacts
//   reliability_helper queue-group <database>          queues two bodies to every member of that group

#include "compose/GroupQueue.h"
#include "data/AppError.h"
#include "data/Database.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3)
        return 2;
    const QString command = arguments[1];
    const QString path = arguments[2];
    Database::use(path);
    try {
        if (command == QStringLiteral("outbox") || command == QStringLiteral("group")) {
            QFile::remove(path);
            Database::create(path);
            const int count = arguments.value(3).toInt();
            Database::Batch batch;
            Database::Statement queue(
                command == QStringLiteral("outbox")
                    ? QStringLiteral("INSERT INTO SMSSend (Number, Message, SendDate, SendTime) VALUES (?, ?, "
                                     "'2026-12-07', '04:00')")
                    : QStringLiteral("INSERT INTO Clients (Mobile, LastName, FirstName) VALUES (?, ?, 'Crash')"));
            const qint64 group = command == QStringLiteral("group")
                                     ? Database::insert(QStringLiteral("INSERT INTO Groups (Name) VALUES ('Crash')"))
                                     : 0;
            for (int i = 0; i < count; ++i) {
                queue.run({QStringLiteral("0821%1").arg(i, 6, 10, QLatin1Char('0')),
                           QStringLiteral("Crash test message %1").arg(i)});
            }
            if (group)
                Database::run(
                    QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) SELECT ?, ClientID FROM Clients"),
                    {group});
            batch.commit();
        } else if (command == QStringLiteral("queue-group")) {
            const qint64 queued = GroupQueue::queue(
                Database::value(QStringLiteral("SELECT GroupID FROM Groups WHERE Name = 'Crash'")).toLongLong(),
                {QStringLiteral("First body of the crash test"), QStringLiteral("Second body")});
            std::printf("queued %lld\n", static_cast<long long>(queued));
        } else {
            return 2;
        }
    } catch (const AppError &error) {
        std::fprintf(stderr, "%s\n", error.text().toUtf8().constData());
        return 1;
    }
    return 0;
}
