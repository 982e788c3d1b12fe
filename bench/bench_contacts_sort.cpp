// Re-sorting the real contact list (offscreen) over 100,000 contacts by a
// header click on the last name (names collation) and on the cellphone
// number, painted, against the sqlite3 shell running the same statements.

#include "ContactBench.h"

#include "contacts/ContactListing.h"
#include "contacts/frmListClients.h"

using namespace Bench;

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    const QString path = ContactBench::prepare(program.home);
    ContactBench::describe(QStringLiteral("contacts-sort"));
    QuietBoxes boxes;
    Home::useDatabase(path);
    frmListClients window;
    window.resize(1200, 800);
    window.show();
    window.grab();
    const int lastName = int(ContactListing::columns().indexOf(QStringLiteral("LastName")));
    const int mobile = int(ContactListing::columns().indexOf(QStringLiteral("Mobile")));
    const int assNo = int(ContactListing::columns().indexOf(QStringLiteral("AssNo")));

    QList<double> shellNames, oursNames, shellMobile, oursMobile;
    const int count = rounds(3);
    // The shell has no names collation; NOCASE is its nearest.
    alternate(
        count,
        [&] {
            return sqliteShell(path, ".output /dev/null\nSELECT * FROM Clients ORDER BY LastName COLLATE NOCASE;\n");
        },
        [&] {
            Home::useDatabase(path);
            window.grdList_HeadClick(assNo);
            return ContactBench::timed(window, [&] { window.grdList_HeadClick(lastName); });
        },
        shellNames, oursNames);
    alternate(
        count, [&] { return sqliteShell(path, ".output /dev/null\nSELECT * FROM Clients ORDER BY Mobile;\n"); },
        [&] {
            Home::useDatabase(path);
            window.grdList_HeadClick(assNo);
            return ContactBench::timed(window, [&] { window.grdList_HeadClick(mobile); });
        },
        shellMobile, oursMobile);
    if (boxes.count() > 0)
        fail(QStringLiteral("sorting showed: %1").arg(boxes.all()));
    figure(QStringLiteral("contacts-sort by LastName rounds (s)"), listed(oursNames));
    figure(QStringLiteral("contacts-sort by LastName COLLATE Names, painted (best)"), fastest(oursNames),
           QStringLiteral("s"), 3);
    figure(QStringLiteral("sqlite3 shell, ORDER BY LastName COLLATE NOCASE (best)"), fastest(shellNames),
           QStringLiteral("s"), 3);
    figure(QStringLiteral("contacts-sort by Mobile, painted (best)"), fastest(oursMobile), QStringLiteral("s"), 3);
    figure(QStringLiteral("sqlite3 shell, ORDER BY Mobile (best)"), fastest(shellMobile), QStringLiteral("s"), 3);
    ContactBench::conclude(QStringLiteral("contacts-sort"), fastest(oursNames), fastest(shellNames), 1.0);
    return 0;
}
