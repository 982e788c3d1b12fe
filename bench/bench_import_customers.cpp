// Importing a 100,000-line Pastel customer file through the real "Select a
// Group" window (offscreen), every contact linked to a group, against the
// sqlite3 shell's .import of an equivalent CSV file (the same values, already
// cleaned) followed by the same inserts into Clients and GroupLinking.

#include "BenchSupport.h"
#include "ImportBench.h"

#include "contacts/CustomerImport.h"
#include "contacts/frmSelectGroup.h"
#include "ui/FileDialogs.h"

#include <QComboBox>
#include <QElapsedTimer>

using namespace Bench;

namespace {

const int Lines = sized(100000, 60);
constexpr int Items = 40;
constexpr quint32 Seed = 20261208;

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
        const QVariant columns[] = {c.AssNo,      c.FirstName, c.Company, c.Address1, c.Address2, c.Address3,
                                    c.PostalCode, c.TelWork,   c.Fax,     c.Mobile,   c.EMail};
        for (int i = 0; i < 11; ++i) {
            if (i > 0)
                csv += ',';
            csv += csvField(columns[i]);
        }
        csv += "\r\n";
    }
    return csv;
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
    groups->setCurrentIndex(groups->findText(ImportBench::GroupName));
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    window.cmdSelect_Click();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    FileDialogs::setResponder({});
    if (boxes.all() != QStringLiteral("INFO: Done Import Contacts From Pastel File"))
        fail(QStringLiteral("the import showed: %1").arg(boxes.all()));
    ImportBench::check(QStringLiteral("the window"), Lines);
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    Home &home = program.home;
    const int roundCount = rounds(3);

    qint64 groupId = 0;
    const QString templatePath = ImportBench::prepare(home, groupId);
    const QStringList lines = customerLines();
    const QString file = home.file(QStringLiteral("customers.txt"));
    ImportBench::writeText(file, lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
    const QString csv = home.file(QStringLiteral("customers.csv"));
    ImportBench::writeText(csv, equivalentCsv(lines));
    figure(QStringLiteral("import-customers data"),
           QStringLiteral("%1 lines of %2 items, every contact linked to one group, seed %3")
               .arg(Lines)
               .arg(Items)
               .arg(Seed));

    QList<double> window;
    QList<double> shell;
    const QByteArray columns = "AssNo, FirstName, Company, Address1, Address2, Address3, PostalCode, TelWork, Fax, "
                               "Mobile, EMail";
    alternate(
        roundCount, [&] { return ImportBench::shellRun(home, templatePath, csv, groupId, columns, {}, Lines); },
        [&] { return windowRun(home, templatePath, file); }, shell, window);
    ImportBench::conclude(QStringLiteral("import-customers"), window, shell, QStringLiteral("import-customers window"),
                          QStringLiteral("sqlite3 shell .import of the equivalent CSV and the same inserts"), Lines);
    return 0;
}
