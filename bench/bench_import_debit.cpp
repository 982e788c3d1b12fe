// Loading a 100,000-line debit-order file into the real "Importer" window
// (offscreen) and importing it into the outbox; the grid's paint after
// scrolling to the end shows it stays responsive. The baseline is the sqlite3
// shell writing the same rows.

#include "BenchSupport.h"

#include "compose/DebitOrderList.h"
#include "compose/frmImport.h"
#include "data/Database.h"
#include "data/PhoneNumbers.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableView>

using namespace Bench;

namespace {

const int Lines = sized(100000, 60);
constexpr quint32 Seed = 20261207;
const QString Message = QStringLiteral("Your debit order was returned unpaid: ");

// "ID, Number, Code" lines with a header, some blank lines, codes in both
// spellings and words, some numbers missing or too short.
QString writeFile(Home &home)
{
    const QString path = home.file(QStringLiteral("returns.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot write %1").arg(path));
    Data data(Seed);
    static const char *const codes[] = {"2", "02", "4", "12", "22", "30", "99", "Card expired"};
    QByteArray text = "ID, Number, Reason\r\n";
    for (int i = 1; i < Lines; ++i) {
        if (i % 1000 == 0) {
            text += "\r\n";
            continue;
        }
        const int kind = data.between(0, 99);
        const QByteArray number = kind == 0   ? QByteArray()
                                  : kind == 1 ? QByteArray("082555")
                                              : data.mobileNumber().toUtf8();
        text += QByteArray::number(700000 + i) + ", " + number + ", " + codes[data.between(0, 7)] + "\r\n";
    }
    file.write(text);
    return path;
}

struct Run
{
    double load = 0;
    double import = 0;
    double paint = 0;
};

Run windowRun(Home &home, const QString &templatePath, const QString &file, int expectedRows, QStringList &written)
{
    home.copyOf(templatePath);
    QuietBoxes boxes;
    frmImport window;
    window.resize(1000, 700);
    window.show();
    window.findChild<QPlainTextEdit *>(QStringLiteral("txtMessage"))->setPlainText(Message);
    window.findChild<QCheckBox *>(QStringLiteral("chkLastField"))->setChecked(true);
    QCoreApplication::processEvents();

    Run run;
    QElapsedTimer clock;
    clock.start();
    window.LoadFile(file);
    run.load = double(clock.nsecsElapsed()) / 1e9;
    auto *grid = window.findChild<QTableView *>(QStringLiteral("grdList"));

    clock.restart();
    grid->scrollToBottom();
    window.grab();
    run.paint = double(clock.nsecsElapsed()) / 1e6;

    clock.restart();
    window.cmdImport_Click();
    run.import = double(clock.nsecsElapsed()) / 1e9;
    const int queued = Database::value(QStringLiteral("SELECT count(*) FROM SMSSend")).toInt();
    if (queued != expectedRows)
        fail(QStringLiteral("%1 rows queued, expected %2").arg(queued).arg(expectedRows));
    if (window.findChild<QLabel *>(QStringLiteral("lblRecords"))->text() != QString::number(Lines))
        fail(QStringLiteral("the line counter shows %1")
                 .arg(window.findChild<QLabel *>(QStringLiteral("lblRecords"))->text()));
    written = outboxRows();
    Database::close();
    return run;
}

// The sqlite3 shell writing the same rows into the outbox in one
// transaction: the database's share of the work, without reading the file.
double shellRun(Home &home, const QString &templatePath, const QList<DebitOrderList::Row> &rows, QStringList &written)
{
    const QString path = home.copyOf(templatePath);
    Database::close();
    QByteArray script = "BEGIN;\n";
    for (qsizetype at = 0; at < rows.size(); at += 500) {
        script += "INSERT INTO SMSSend (Number, Message, NumberKey) VALUES ";
        for (qsizetype i = at; i < std::min(at + 500, rows.size()); ++i) {
            if (i > at)
                script += ", ";
            script += '(' + sqlText(rows.at(i).cellphone) + ", " + sqlText(rows.at(i).message) + ", "
                      + sqlText(PhoneNumbers::storedKey(rows.at(i).cellphone)) + ')';
        }
        script += ";\n";
    }
    script += "COMMIT;\n";
    const double seconds = sqliteShell(path, script);
    written = outboxRows();
    Database::close();
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    Home &home = program.home;
    const int roundCount = rounds(3);

    const QString templatePath = home.freshDatabase();
    Database::close();
    const QString file = writeFile(home);
    figure(QStringLiteral("import-debit data"),
           QStringLiteral("%1 lines (header, a blank line in every 1,000, reason codes and words), seed %2")
               .arg(Lines)
               .arg(Seed));

    // The rows the import writes: neither marked out nor left out by the screen (the window's question is
    // answered Skip).
    const QList<DebitOrderList::Row> grid = DebitOrderList::load(file, Message, true).rows;
    const QList<DebitOrderList::Row> expected = DebitOrderList::screen(grid).rows;
    QList<Run> runs;
    QList<double> shell;
    QStringList byWindow, byShell;
    for (int round = 0; round < roundCount; ++round) {
        runs.append(windowRun(home, templatePath, file, int(expected.size()), byWindow));
        shell.append(shellRun(home, templatePath, expected, byShell));
    }
    if (byShell != byWindow)
        fail(QStringLiteral("the shell wrote other rows than the window"));
    const auto best = [&runs](double Run::*part) {
        double value = runs.first().*part;
        for (const Run &run : runs)
            value = std::min(value, run.*part);
        return value;
    };
    const double load = best(&Run::load);
    const double import = best(&Run::import);
    figure(QStringLiteral("import-debit rows in the grid"), double(grid.size()), QStringLiteral("rows"));
    figure(QStringLiteral("import-debit rows imported"), double(expected.size()), QStringLiteral("rows"));
    figure(QStringLiteral("import-debit load (best of %1)").arg(roundCount), load, QStringLiteral("s"), 3);
    figure(QStringLiteral("import-debit import (best of %1)").arg(roundCount), import, QStringLiteral("s"), 3);
    figure(QStringLiteral("import-debit grid paint after scrolling to the end"), best(&Run::paint),
           QStringLiteral("ms"), 1);
    figure(QStringLiteral("sqlite3 shell writing the same rows in one transaction (best of %1)").arg(roundCount),
           fastest(shell), QStringLiteral("s"), 3);
    figure(QStringLiteral("import-debit targets"),
           QStringLiteral("load under 2 s: %1; import under 3 s: %2")
               .arg(load < 2.0 ? QStringLiteral("met") : QStringLiteral("NOT met"),
                    import < 3.0 ? QStringLiteral("met") : QStringLiteral("NOT met")));
    figure(QStringLiteral("import-debit seconds"), load + import, {}, 3);
    figure(QStringLiteral("import-debit ratio"), fastest(shell) / import, {}, 2);
    return 0;
}
