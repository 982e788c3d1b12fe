// Opening the real contact list (offscreen) over 100,000 contacts, painted,
// against the sqlite3 shell running the list's statement on the same file.

#include "ContactBench.h"

#include "contacts/frmListClients.h"

#include <QLabel>

using namespace Bench;

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    const QString path = ContactBench::prepare(program.home);
    ContactBench::describe(QStringLiteral("contacts-open"));
    QuietBoxes boxes;
    QList<double> shell;
    QList<double> ours;
    QString shown;
    alternate(
        rounds(3), [&] { return sqliteShell(path, ".output /dev/null\nSELECT * FROM Clients ORDER BY AssNo;\n"); },
        [&] {
            Home::useDatabase(path);
            QElapsedTimer clock;
            clock.start();
            frmListClients window;
            window.resize(1200, 800);
            window.show();
            window.grab();
            const double seconds = double(clock.nsecsElapsed()) / 1e9;
            shown = window.findChild<QLabel *>(QStringLiteral("lblQty"))->text();
            return seconds;
        },
        shell, ours);
    if (boxes.count() > 0 || shown != QString::number(ContactBench::Contacts))
        fail(QStringLiteral("the list shows %1 contacts; boxes: %2").arg(shown, boxes.all()));
    figure(QStringLiteral("contacts-open rounds (s)"), listed(ours));
    figure(QStringLiteral("contacts-open window, painted (best)"), fastest(ours), QStringLiteral("s"), 3);
    figure(QStringLiteral("sqlite3 shell, SELECT * FROM Clients ORDER BY AssNo (best)"), fastest(shell),
           QStringLiteral("s"), 3);
    ContactBench::conclude(QStringLiteral("contacts-open"), fastest(ours), fastest(shell), 1.0);
    return 0;
}
