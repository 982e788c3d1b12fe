// The contact list's two clean-up commands over 100,000 contacts, run from
// the real window's menu (offscreen) with the list read again afterwards,
// against the sqlite3 shell making the same changes in one transaction.

#include "ContactBench.h"

#include "contacts/frmListClients.h"

#include <QAction>

using namespace Bench;

namespace {

const QByteArray PhonesScript =
    "BEGIN;\n"
    "UPDATE Clients SET "
    "Mobile = replace(replace(replace(replace(coalesce(Mobile, ''), ' ', ''), '-', ''), '(', ''), ')', ''), "
    "TelWork = replace(replace(replace(replace(coalesce(TelWork, ''), ' ', ''), '-', ''), '(', ''), ')', ''), "
    "TelHome = replace(replace(replace(replace(coalesce(TelHome, ''), ' ', ''), '-', ''), '(', ''), ')', ''), "
    "Fax = replace(replace(replace(replace(coalesce(Fax, ''), ' ', ''), '-', ''), '(', ''), ')', '');\n"
    "COMMIT;\n";
const QByteArray NamesScript = "BEGIN;\n"
                               "UPDATE Clients SET "
                               "FirstName = trim(substr(LastName, instr(LastName, ',') + 1), ' '), "
                               "LastName = trim(substr(LastName, 1, instr(LastName, ',') - 1), ' ') "
                               "WHERE instr(LastName, ',') > 0;\n"
                               "COMMIT;\n";

double command(Home &home, const QString &templatePath, const char *action)
{
    home.copyOf(templatePath);
    frmListClients window;
    window.resize(1200, 800);
    window.show();
    window.grab();
    auto *item = window.findChild<QAction *>(QString::fromLatin1(action));
    return ContactBench::timed(window, [&] { item->trigger(); });
}

qint64 dirtyPhones()
{
    return Database::value(QStringLiteral("SELECT count(*) FROM Clients WHERE Mobile GLOB '*[ ()-]*' "
                                          "OR TelWork GLOB '*[ ()-]*' OR Mobile IS NULL"))
        .toLongLong();
}

} // namespace

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    Home &home = program.home;
    const QString templatePath = ContactBench::prepare(home);
    ContactBench::describe(QStringLiteral("cleanup"));
    QuietBoxes boxes;
    QList<double> shellPhones, oursPhones, shellNames, oursNames;
    const int count = rounds(3);
    alternate(
        count, [&] { return sqliteShell(home.copyOf(templatePath), PhonesScript); },
        [&] {
            const double seconds = command(home, templatePath, "mnuUpdateSpaces");
            if (dirtyPhones() != 0)
                fail(QStringLiteral("%1 contacts still have blanks in their numbers").arg(dirtyPhones()));
            return seconds;
        },
        shellPhones, oursPhones);
    alternate(
        count, [&] { return sqliteShell(home.copyOf(templatePath), NamesScript); },
        [&] {
            const double seconds = command(home, templatePath, "mnuUpdateNames");
            const qint64 left =
                Database::value(QStringLiteral("SELECT count(*) FROM Clients WHERE instr(LastName, ',') > 0"))
                    .toLongLong();
            if (left != 0)
                fail(QStringLiteral("%1 last names still hold a comma").arg(left));
            return seconds;
        },
        shellNames, oursNames);
    Database::close();
    if (boxes.count() > 0)
        fail(QStringLiteral("the clean-up showed: %1").arg(boxes.all()));
    figure(QStringLiteral("cleanup remove spaces rounds (s)"), listed(oursPhones));
    figure(QStringLiteral("cleanup remove spaces from phones, window (best)"), fastest(oursPhones), QStringLiteral("s"),
           3);
    figure(QStringLiteral("sqlite3 shell, one UPDATE of the four columns (best)"), fastest(shellPhones),
           QStringLiteral("s"), 3);
    figure(QStringLiteral("cleanup split names rounds (s)"), listed(oursNames));
    figure(QStringLiteral("cleanup split names, window (best)"), fastest(oursNames), QStringLiteral("s"), 3);
    figure(QStringLiteral("sqlite3 shell, one UPDATE of the names (best)"), fastest(shellNames), QStringLiteral("s"),
           3);
    const double slowest = std::max(fastest(oursPhones), fastest(oursNames));
    ContactBench::conclude(QStringLiteral("cleanup"), slowest,
                           fastest(oursPhones) >= fastest(oursNames) ? fastest(shellPhones) : fastest(shellNames), 5.0);
    return 0;
}
