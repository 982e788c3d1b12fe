// Importing a 100,000-line CSV file (UTF-8, comma, a heading row, quoted
// cells with commas in them) through the real "Import Contacts from CSV"
// window (offscreen), from choosing the file to the last commit, every
// contact linked to a group, against the sqlite3 shell's .import of the same
// file followed by the same inserts into Clients and GroupLinking.

#include "BenchSupport.h"
#include "ImportBench.h"

#include "contacts/frmImportCsv.h"
#include "ui/FileDialogs.h"

#include <QComboBox>
#include <QElapsedTimer>

using namespace Bench;

namespace {

const int Lines = sized(100000, 60);
constexpr quint32 Seed = 20261207;

QByteArray quoted(const QString &text)
{
    return '"' + text.toUtf8().replace('"', "\"\"") + '"';
}

// Every number a different one, written in the forms people type.
QString mobileOf(int i)
{
    const QString digits = QStringLiteral("%1").arg(1000000 + i);
    switch (i % 3) {
    case 0:
        return QStringLiteral("083") + digits;
    case 1:
        return QStringLiteral("083 %1 %2").arg(digits.left(3), digits.mid(3));
    default:
        return QStringLiteral("+27 83 %1 %2").arg(digits.left(3), digits.mid(3));
    }
}

QByteArray csvFile()
{
    Data data(Seed);
    QByteArray csv = "First Name,Last Name,Company,Cellphone,E-mail,Address\r\n";
    csv.reserve(Lines * 100);
    for (int i = 0; i < Lines; ++i) {
        const QString first = data.word();
        csv += first.toUtf8() + ',' + data.word().toUtf8() + ',' + quoted(data.word() + QStringLiteral(" Trading, Ltd"))
               + ',' + mobileOf(i).toUtf8() + ',' + first.toUtf8() + '.' + QByteArray::number(i) + "@example.test,"
               + quoted(QStringLiteral("%1 %2 Road, %3").arg(data.between(1, 200)).arg(data.word(), data.word()))
               + "\r\n";
    }
    return csv;
}

double windowRun(Home &home, const QString &templatePath, const QString &file)
{
    home.copyOf(templatePath);
    QuietBoxes boxes;
    FileDialogs::setResponder([&file](const FileDialogs::Asked &) { return file; });
    frmImportCsv window;
    window.show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    if (!window.cmdBrowse_Click())
        fail(QStringLiteral("the window did not read the file: %1").arg(boxes.all()));
    auto *groups = window.findChild<QComboBox *>(QStringLiteral("cboGroups"));
    groups->setCurrentIndex(groups->findText(ImportBench::GroupName));
    window.cmdImport_Click();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    FileDialogs::setResponder({});
    const QString expected = QStringLiteral("IMPORT: %1 contacts added, 0 updated.").arg(Lines);
    if (boxes.all() != expected)
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
    const QString file = home.file(QStringLiteral("contacts.csv"));
    ImportBench::writeText(file, csvFile());
    figure(QStringLiteral("import-csv data"),
           QStringLiteral("%1 lines of 6 columns (UTF-8, comma, quoted cells), every contact linked to one group, "
                          "seed %2")
               .arg(Lines)
               .arg(Seed));

    QList<double> window;
    QList<double> shell;
    const QByteArray columns = "FirstName, LastName, Company, Mobile, EMail, Address1";
    alternate(
        roundCount,
        [&] { return ImportBench::shellRun(home, templatePath, file, groupId, columns, "--skip 1", Lines); },
        [&] { return windowRun(home, templatePath, file); }, shell, window);
    ImportBench::conclude(QStringLiteral("import-csv"), window, shell,
                          QStringLiteral("import-csv window, file chosen to last commit"),
                          QStringLiteral("sqlite3 shell .import of the same file and the same inserts"), Lines);
    return 0;
}
