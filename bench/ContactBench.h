#pragma once

// The address book the contact benchmarks share: 100,000 contacts generated
// from a fixed seed, with cellphone numbers in every form operators type (so
// rows of every shading), a tenth of the last names holding "Last, First",
// and some names with letters outside ASCII.

#include "BenchSupport.h"

#include "data/Database.h"

#include <QElapsedTimer>
#include <QWidget>

namespace ContactBench {

inline const int Contacts = Bench::sized(100000, 60);
constexpr quint32 Seed = 20261208;

inline QString capitalised(QString word)
{
    if (!word.isEmpty())
        word[0] = word[0].toUpper();
    return word;
}

// Creates the database in the home and gives its path (closed afterwards).
inline QString prepare(Bench::Home &home)
{
    using namespace Bench;
    const QString path = home.freshDatabase();
    Data data(Seed);
    static const char *const Suffixes[] = {"son", "sen", "berg", "stein", "ington", "ley", "er", "man"};
    static const char *const Foreign[] = {"Émile", "Ödegaard", "Ñúñez", "Åström", "Çelik", "Ødegård"};
    static const char *const Salutes[] = {"Mr", "Mrs", "Ms", "Dr", "Prof", ""};
    try {
        Database::Batch batch;
        Database::Statement insert(QStringLiteral(
            "INSERT INTO Clients (AssNo, LastName, FirstName, Initials, Salute, EnrollerAssNo, Company, Address1, "
            "Address2, Address3, PostalCode, TelWork, TelHome, Fax, Mobile, EMail) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (int i = 0; i < Contacts; ++i) {
            const QString first = capitalised(data.word());
            QString last = data.between(0, 99) < 3
                               ? QString::fromUtf8(Foreign[data.between(0, 5)])
                               : capitalised(data.word()) + QString::fromLatin1(Suffixes[data.between(0, 7)]);
            if (data.between(0, 9) == 0)
                last += QStringLiteral(", ") + first;
            const int shape = data.between(0, 19);
            const QString mobile = shape == 0   ? QString()
                                   : shape == 1 ? QStringLiteral("0825551")
                                                : data.mobileNumber();
            insert.run({QString::number(data.between(100000, 999999)), last, first, first.left(1),
                        QString::fromLatin1(Salutes[data.between(0, 5)]), QString::number(data.between(100000, 999999)),
                        QString(),
                        QStringLiteral("%1 %2 Street").arg(data.between(1, 300)).arg(capitalised(data.word())),
                        capitalised(data.word()), capitalised(data.word()), QString::number(data.between(1000, 9999)),
                        QStringLiteral("(011) %1-%2").arg(data.between(100, 999)).arg(data.between(1000, 9999)),
                        data.between(0, 1) ? data.mobileNumber() : QString(), QString(), mobile,
                        first.toLower() + QLatin1Char('.') + data.word() + QStringLiteral("@example.co.za")});
        }
        batch.commit();
    } catch (const AppError &error) {
        fail(QStringLiteral("preparing the contacts: %1").arg(error.description()));
    }
    Database::close();
    return path;
}

inline void describe(const QString &name)
{
    Bench::figure(name + QStringLiteral(" data"), QStringLiteral("%1 contacts, seed %2").arg(Contacts).arg(Seed));
}

// Seconds a step takes, the window painted afterwards included.
template <typename Step>
double timed(QWidget &window, Step step)
{
    QElapsedTimer clock;
    clock.start();
    step();
    window.grab();
    return double(clock.nsecsElapsed()) / 1e9;
}

// "<name> ratio: X" and the target line, from the best rounds.
inline void conclude(const QString &name, double ours, double shell, double target)
{
    Bench::figure(name + QStringLiteral(" target"),
                  QStringLiteral("under %1 s: %2")
                      .arg(target)
                      .arg(ours < target ? QStringLiteral("met") : QStringLiteral("NOT met")));
    Bench::figure(name + QStringLiteral(" ratio"), shell / ours, {}, 2);
}

} // namespace ContactBench
