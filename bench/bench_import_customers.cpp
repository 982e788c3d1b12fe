// Importing a 100,000-line Pastel customer file through the real "Select a
// Group" window (offscreen), every contact linked to a group, against the
// sqlite3 shell's .import of an equivalent CSV file (the same values, already
// cleaned) followed by the same inserts into Clients and GroupLinking.

#include "BenchSupport.h"

#include "contacts/CustomerImport.h"
#include "contacts/frmSelectGroup.h"
#include "data/Database.h"
#include "ui/FileDialogs.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>

using namespace Bench;

namespace {

const int Lines = sized(100000, 60);
constexpr int Items = 40;
constexpr quint32 Seed = 20261208;
const QString GroupName = QStringLiteral("Customers");

// Customer lines as Pastel writes them: forty items, some quoted, numbers
// with dashes, a long postal code now and then, a blank item 9 in a third.
QStringList customerLines()
{
    Data data(Seed);
    QStringList lines;
    lines.reserve(Lines);
    for (int i = 0; i < Lines; ++i) {
        QStringList items(Items, QStringLiteral("0.00"));
        const QString name = data.word();
        items[0] = QStringLiteral("C%1").arg(100000 + i);
        items[1] = data.word() + QStringLiteral(" Trading");
        items[2] = QStringLiteral("\"%1 %2 Road\"").arg(data.between(1, 200)).arg(data.word());
        items[3] = data.word() + QStringLiteral(" Park");
        items[4] = data.word();
        items[5] = QStringLiteral("Z");
        items[6] = data.between(0, 19) == 0 ? QStringLiteral("ABC 12345678")
                                             : QStringLiteral("%1").arg(data.between(1, 9999), 4, 10, QLatin1Char('0'));
        items[7] = QStringLiteral("011-%1-%2").arg(data.between(100, 999)).arg(data.between(1000, 9999));
        items[8] = data.between(0, 1) == 0 ? QString() : QStringLiteral("021 555-%1").arg(data.between(1000, 9999));
        items[9] = data.between(0, 2) == 0 ? QStringLiteral("  ") : name.left(1).toUpper() + name.mid(1);
        items[35] = data.mobileNumber().replace(QLatin1Char(' '), QLatin1Char('-'));
        items[36] = name + QStringLiteral("@example.test");
        lines.append(items.join(QLatin1Char(',')));
    }
    return lines;
}

void writeText(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

QByteArray csvField(const QVariant &value)
{
    return '"' + value.toString().toUtf8().replace('"', "\"\"") + '"';
}

// The same customers after the import's rules, one CSV row each.
QByteArray equivalentCsv(const QStringList &lines)
{
    QByteArray csv;
    for (const QString &line : lines) {
        const CustomerImport::Customer c = CustomerImport::parseLine(line);
        const QVariant columns[] = {c.AssNo, c.FirstName, c.Company, c.Address1, c.Address2, c.Address3,
                                    c.PostalCode, c.TelWork, c.Fax, c.Mobile, c.EMail};
        for (int i = 0; i < 11; ++i) {
            if (i > 0)
                csv += ',';
            csv += csvField(columns[i]);
        }
        csv += "\r\n";
    }
    return csv;
}

QString prepare(Home &home, qint64 &groupId)
{
    const QString path = home.freshDatabase();
    groupId = Database::insert(QStringLiteral("INSERT INTO Groups (Name) VALUES (?)"), {GroupName});
    Database::close();
    return path;
}

void check(const QString &who)
{
    const qint64 clients = Database::value(QStringLiteral("SELECT count(*) FROM Clients")).toLongLong();
    const qint64 links = Database::value(QStringLiteral("SELECT count(*) FROM GroupLinking")).toLongLong();
    if (clients != Lines || links != Lines)
        fail(QStringLiteral("%1 stored %2 contacts and %3 links, expected %4").arg(who).arg(clients).arg(links).arg(Lines));
    Database::close();
}

double windowRun(Home &home, const QString &templatePath, const QString &file)
{
    home.copyOf(templatePath);
    QuietBoxes boxes;
    FileDialogs::setResponder([&file](const FileDialogs::Asked &) { return file; });
    frmSelectGroup window;
    window.ActionType = QStringLiteral("IMPORT");
    window.FileFormat = QStringLiteral("PASTEL");
    window.show();
    auto *groups = window.findChild<QComboBox *>(QStringLiteral("cboGroups"));
    groups->setCurrentIndex(groups->findText(GroupName));
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    window.cmdSelect_Click();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    FileDialogs::setResponder({});
    if (boxes.all() != QStringLiteral("INFO: Done Import Contacts From Pastel File"))
        fail(QStringLiteral("the import showed: %1").arg(boxes.all()));
    check(QStringLiteral("the window"));
    return seconds;
}

double shellRun(Home &home, const QString &templatePath, const QString &csv, qint64 groupId)
{
    const QString path = home.copyOf(templatePath);
    const QByteArray columns = "AssNo, FirstName, Company, Address1, Address2, Address3, PostalCode, TelWork, Fax, "
                               "Mobile, EMail";
    const QByteArray script = "CREATE TEMP TABLE Incoming (" + columns + ");\n"
                              ".import --csv --schema temp " + csv.toUtf8() + " Incoming\n"
                              "BEGIN;\n"
                              "INSERT INTO Clients (" + columns + ") SELECT " + columns + " FROM temp.Incoming;\n"
                              "INSERT INTO GroupLinking (GroupID, ClientID) SELECT " + QByteArray::number(groupId)
                              + ", ClientID FROM Clients;\n"
                                "COMMIT;\n";
    const double seconds = sqliteShell(path, script);
    check(QStringLiteral("the shell"));
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    Home &home = program.home;
    const int roundCount = rounds(3);

    qint64 groupId = 0;
    const QString templatePath = prepare(home, groupId);
    const QStringList lines = customerLines();
    const QString file = home.file(QStringLiteral("customers.txt"));
    writeText(file, lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
    const QString csv = home.file(QStringLiteral("customers.csv"));
    writeText(csv, equivalentCsv(lines));
    figure(QStringLiteral("import-customers data"),
           QStringLiteral("%1 lines of %2 items, every contact linked to one group, seed %3").arg(Lines).arg(Items).arg(Seed));

    QList<double> window;
    QList<double> shell;
    alternate(
        roundCount, [&] { return shellRun(home, templatePath, csv, groupId); },
        [&] { return windowRun(home, templatePath, file); }, shell, window);
    const double best = fastest(window);
    const double bestShell = fastest(shell);
    figure(QStringLiteral("import-customers window rounds"), listed(window));
    figure(QStringLiteral("import-customers window (best of %1)").arg(roundCount), best, QStringLiteral("s"), 3);
    figure(QStringLiteral("import-customers rate"), Lines / best, QStringLiteral("contacts/s"));
    figure(QStringLiteral("sqlite3 shell .import of the equivalent CSV and the same inserts (best of %1)").arg(roundCount),
           bestShell, QStringLiteral("s"), 3);
    figure(QStringLiteral("import-customers target"),
           QStringLiteral("under 5 s: %1").arg(best < 5.0 ? QStringLiteral("met") : QStringLiteral("NOT met")));
    figure(QStringLiteral("import-customers ratio"), bestShell / best, {}, 3);
    return 0;
}
