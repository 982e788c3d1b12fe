// Ordering 100,000 contact names as people read them (the Names collation:
// case ignored, letters outside ASCII in their alphabetical place), against
// the same query ordered binary and the sqlite3 shell's NOCASE ordering on the
// same file.

#include "BenchSupport.h"

#include "data/Database.h"

#include <QElapsedTimer>
#include <QSqlQuery>

using namespace Bench;

namespace {

const int Contacts = sized(100000, 60);
constexpr quint32 Seed = 20261207;

QString prepare(Home &home)
{
    const QString path = home.freshDatabase();
    Data data(Seed);
    const QStringList prefixes = {QString(),
                                  QString(),
                                  QString(),
                                  QStringLiteral("van "),
                                  QStringLiteral("de "),
                                  QStringLiteral("Du "),
                                  QStringLiteral("É"),
                                  QStringLiteral("Ö"),
                                  QStringLiteral("O'")};
    try {
        Database::Batch batch;
        Database::Statement insert(QStringLiteral("INSERT INTO Clients (LastName, FirstName) VALUES (?, ?)"));
        for (int i = 0; i < Contacts; ++i) {
            QString last = data.word();
            if (data.between(0, 1) == 1)
                last[0] = last.at(0).toUpper();
            insert.run({prefixes.at(data.between(0, int(prefixes.size()) - 1)) + last, data.word()});
        }
        batch.commit();
    } catch (const AppError &error) {
        fail(QStringLiteral("preparing the contacts: %1").arg(error.description()));
    }
    Database::close();
    return path;
}

double ordered(const QString &collation)
{
    QElapsedTimer clock;
    clock.start();
    QSqlQuery query = Database::run(QStringLiteral("SELECT LastName FROM Clients ORDER BY LastName") + collation);
    int rows = 0;
    while (query.next())
        ++rows;
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (rows != Contacts)
        fail(QStringLiteral("%1 names read, expected %2").arg(rows).arg(Contacts));
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    const int roundCount = rounds(3);
    const QString path = prepare(program.home);
    Home::useDatabase(path);
    figure(QStringLiteral("names data"), QStringLiteral("%1 last names, seed %2").arg(Contacts).arg(Seed));

    QList<double> binary, names, shell;
    for (int round = 0; round < roundCount; ++round) {
        binary.append(ordered(QString()));
        names.append(ordered(QStringLiteral(" COLLATE Names")));
        Database::close();
        shell.append(sqliteShell(path, "SELECT count(*) FROM (SELECT LastName FROM Clients "
                                       "ORDER BY LastName COLLATE NOCASE);\n"));
    }
    const double best = fastest(names);
    figure(QStringLiteral("names ordered as people read them (best of %1)").arg(roundCount), best, QStringLiteral("s"),
           3);
    figure(QStringLiteral("names ordered binary, same query"), fastest(binary), QStringLiteral("s"), 3);
    figure(QStringLiteral("sqlite3 shell, ORDER BY NOCASE"), fastest(shell), QStringLiteral("s"), 3);
    figure(QStringLiteral("names target"),
           QStringLiteral("under 0.5 s: %1").arg(best < 0.5 ? QStringLiteral("met") : QStringLiteral("NOT met")));
    figure(QStringLiteral("names seconds"), best, {}, 3);
    return 0;
}
