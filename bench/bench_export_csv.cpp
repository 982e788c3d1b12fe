// Exporting 100,000 contacts to a CSV file through the real "Select a Group"
// window (offscreen, "All Contacts"), against the sqlite3 shell writing the
// same lines (sixteen quoted, trimmed fields, quotes doubled, CR LF) from the
// same database in last-name order.

#include "BenchSupport.h"

#include "contacts/ContactExport.h"
#include "contacts/frmSelectGroup.h"
#include "data/Database.h"
#include "ui/FileDialogs.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

using namespace Bench;

namespace {

const int Contacts = sized(100000, 60);
constexpr quint32 Seed = 20261209;

QString prepare(Home &home)
{
    const QString path = home.freshDatabase();
    Data data(Seed);
    try {
        Database::Batch batch;
        Database::Statement add(QStringLiteral(
            "INSERT INTO Clients (AssNo, LastName, FirstName, Initials, Salute, EnrollerAssNo, Company, Address1, "
            "Address2, Address3, PostalCode, TelWork, TelHome, Fax, Mobile, EMail) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (int i = 0; i < Contacts; ++i) {
            const QString last = data.word();
            const QString first = data.word();
            add.run({QStringLiteral("A%1").arg(100000 + i),
                     last.left(1).toUpper() + last.mid(1) + QStringLiteral("son"), first, first.left(1).toUpper(),
                     QStringLiteral("Mr"), QString::number(data.between(100000, 199999)),
                     data.between(0, 9) == 0 ? data.word() + QStringLiteral(" \"Best\" Ltd") : QString(),
                     QStringLiteral("%1 Main Road").arg(data.between(1, 300)), data.word() + QStringLiteral(" Park"),
                     data.word(), QStringLiteral("%1").arg(data.between(1, 9999), 4, 10, QLatin1Char('0')),
                     QStringLiteral("011 555 %1").arg(data.between(1000, 9999)), QString(), QString(),
                     data.mobileNumber(), first + QStringLiteral("@example.test")});
        }
        batch.commit();
    } catch (const AppError &error) {
        fail(QStringLiteral("preparing the contacts: %1").arg(error.description()));
    }
    Database::close();
    return path;
}

double windowRun(const QString &databasePath, const QString &file)
{
    Home::useDatabase(databasePath);
    QFile::remove(file);
    QuietBoxes boxes;
    FileDialogs::setResponder([&file](const FileDialogs::Asked &) { return file; });
    frmSelectGroup window;
    window.ActionType = QStringLiteral("EXPORT");
    window.FileFormat = QStringLiteral("CSV");
    window.show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    window.Command1_Click();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    FileDialogs::setResponder({});
    if (boxes.all() != QStringLiteral("INFO: Done exporting %1 contacts.").arg(Contacts))
        fail(QStringLiteral("the export showed: %1").arg(boxes.all()));
    Database::close();
    return seconds;
}

// Every field as the export writes it: trimmed of blanks, quotes doubled, quoted.
double shellRun(const QString &databasePath, const QString &file)
{
    QFile::remove(file);
    QByteArray fields;
    for (const QString &column : ContactExport::columns()) {
        if (!fields.isEmpty())
            fields += " || ',' || ";
        fields += "'\"' || replace(trim(coalesce(" + column.toUtf8() + ", '')), '\"', '\"\"') || '\"'";
    }
    const QByteArray script = ".mode list\n"
                              ".headers off\n"
                              ".separator \"\" \"\\r\\n\"\n"
                              ".output "
                              + file.toUtf8()
                              + "\n"
                                "SELECT "
                              + fields
                              + " FROM Clients ORDER BY LastName COLLATE NOCASE, "
                                "FirstName COLLATE NOCASE;\n"
                                ".output stdout\n";
    return sqliteShell(databasePath, script);
}

} // namespace

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    Home &home = program.home;
    const int roundCount = rounds(3);

    const QString databasePath = prepare(home);
    const QString ours = home.file(QStringLiteral("contacts.csv"));
    const QString theirs = home.file(QStringLiteral("contacts-shell.csv"));
    figure(QStringLiteral("export-csv data"),
           QStringLiteral("%1 contacts, every column but two filled, seed %2").arg(Contacts).arg(Seed));

    QList<double> window;
    QList<double> shell;
    alternate(
        roundCount, [&] { return shellRun(databasePath, theirs); }, [&] { return windowRun(databasePath, ours); },
        shell, window);
    // Same lines, though ties in the name order may come out differently.
    if (QFileInfo(ours).size() != QFileInfo(theirs).size())
        fail(QStringLiteral("the files differ in size: %1 and %2 bytes")
                 .arg(QFileInfo(ours).size())
                 .arg(QFileInfo(theirs).size()));
    const double best = fastest(window);
    const double bestShell = fastest(shell);
    figure(QStringLiteral("export-csv file"), double(QFileInfo(ours).size()) / 1e6, QStringLiteral("MB"), 1);
    figure(QStringLiteral("export-csv window rounds"), listed(window));
    figure(QStringLiteral("export-csv window (best of %1)").arg(roundCount), best, QStringLiteral("s"), 3);
    figure(QStringLiteral("sqlite3 shell writing the same lines (best of %1)").arg(roundCount), bestShell,
           QStringLiteral("s"), 3);
    figure(QStringLiteral("export-csv target"),
           QStringLiteral("under 2 s: %1").arg(best < 2.0 ? QStringLiteral("met") : QStringLiteral("NOT met")));
    figure(QStringLiteral("export-csv ratio"), bestShell / best, {}, 3);
    return 0;
}
