// Queueing four bodies to a group of 10,000 members with numbers (40,000
// outbox rows) through the real "Send SMS to Group" window (offscreen), against
// the sqlite3 shell inserting the same 40,000 rows from the same data in one
// transaction.

#include "BenchSupport.h"

#include "compose/GroupQueue.h"
#include "compose/frmSendToGroup.h"
#include "data/Database.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>

using namespace Bench;

namespace {

const int Members = sized(10000, 40);
constexpr quint32 Seed = 20261206;
const QStringList Bodies = {
    QStringLiteral("Dear member, the annual general meeting takes place on Saturday 14 March at 10:00."),
    QStringLiteral("Venue: the community hall, 12 Church Street. Tea will be served afterwards."),
    QStringLiteral("Please bring your membership card and a pen; proxies must be signed beforehand."),
    QStringLiteral("Questions? Reply to this number or call the office on 021 555 0100."),
};

// A database with one group of 10,000 members, every one with a mobile number.
QString prepare(Home &home, qint64 &groupId)
{
    const QString path = home.freshDatabase();
    Data data(Seed);
    try {
        Database::Batch batch;
        groupId = Database::insert(QStringLiteral("INSERT INTO Groups (Name) VALUES ('All members')"));
        for (int i = 0; i < Members; ++i) {
            const qint64 client = Database::insert(
                QStringLiteral("INSERT INTO Clients (AssNo, LastName, FirstName, Mobile) VALUES (?, ?, ?, ?)"),
                {QString::number(100000 + i), data.word() + QStringLiteral("son"), data.word(), data.mobileNumber()});
            Database::run(QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"),
                          {groupId, client});
        }
        batch.commit();
    } catch (const AppError &error) {
        fail(QStringLiteral("preparing the group: %1").arg(error.description()));
    }
    Database::close();
    return path;
}

int queuedRows()
{
    return Database::value(QStringLiteral("SELECT count(*) FROM SMSSend")).toInt();
}

double windowRun(Home &home, const QString &templatePath, QStringList &written)
{
    home.copyOf(templatePath);
    QuietBoxes boxes;
    frmSendToGroup window;
    window.show();
    auto *groups = window.findChild<QComboBox *>(QStringLiteral("cboGroups"));
    groups->setCurrentIndex(groups->findText(QStringLiteral("All members")));
    for (int i = 0; i < Bodies.size(); ++i)
        window.findChild<QPlainTextEdit *>(QStringLiteral("txtBody%1").arg(i + 1))->setPlainText(Bodies.at(i));
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    window.cmdSend_Click();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (boxes.count() > 0)
        fail(QStringLiteral("queueing showed: %1").arg(boxes.all()));
    if (queuedRows() != Members * Bodies.size())
        fail(QStringLiteral("%1 rows queued, expected %2").arg(queuedRows()).arg(Members * Bodies.size()));
    written = outboxRows();
    Database::close();
    return seconds;
}

double coreRun(Home &home, const QString &templatePath, qint64 groupId)
{
    home.copyOf(templatePath);
    QElapsedTimer clock;
    clock.start();
    GroupQueue::queue(groupId, Bodies);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (queuedRows() != Members * Bodies.size())
        fail(QStringLiteral("%1 rows queued by the core, expected %2").arg(queuedRows()).arg(Members * Bodies.size()));
    Database::close();
    return seconds;
}

// The same 40,000 rows, written by the sqlite3 shell from the same view, with
// the same number keys (every member's number is a cellphone number, so its
// key is +27 and its last nine digits) and so the same index work.
double shellRun(Home &home, const QString &templatePath, qint64 groupId, QStringList &written)
{
    const QString path = home.copyOf(templatePath);
    Database::close();
    QByteArray script = "BEGIN;\n";
    for (const QString &body : Bodies)
        script += "INSERT INTO SMSSend (ClientID, Number, Message, SendDate, SendTime, NumberKey) "
                  "SELECT ClientID, trim(Mobile), "
                  + sqlText(body)
                  + ", date('now'), strftime('%H:%M', 'now'), '+27' || substr(replace(trim(Mobile), ' ', ''), -9) "
                    "FROM ClientsBelongingToGroups WHERE GroupID = "
                  + QByteArray::number(groupId) + " AND trim(coalesce(Mobile, '')) <> '';\n";
    script += "COMMIT;\n";
    const double seconds = sqliteShell(path, script);
    if (queuedRows() != Members * Bodies.size())
        fail(QStringLiteral("the shell queued %1 rows").arg(queuedRows()));
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

    qint64 groupId = 0;
    const QString templatePath = prepare(home, groupId);
    figure(QStringLiteral("queue-group data"), QStringLiteral("%1 members with numbers, %2 bodies, %3 rows, seed %4")
                                                   .arg(Members)
                                                   .arg(Bodies.size())
                                                   .arg(Members * Bodies.size())
                                                   .arg(Seed));

    QList<double> window;
    QList<double> core;
    QList<double> shell;
    QStringList byWindow, byShell;
    for (int round = 0; round < roundCount; ++round) {
        window.append(windowRun(home, templatePath, byWindow));
        core.append(coreRun(home, templatePath, groupId));
        shell.append(shellRun(home, templatePath, groupId, byShell));
    }
    if (byShell != byWindow)
        fail(QStringLiteral("the shell wrote other rows than the window"));
    const double best = fastest(window);
    const double bestCore = fastest(core);
    const double bestShell = fastest(shell);
    const int rows = Members * int(Bodies.size());
    figure(QStringLiteral("queue-group window (best of %1)").arg(roundCount), best, QStringLiteral("s"), 3);
    figure(QStringLiteral("queue-group window rate"), rows / best, QStringLiteral("rows/s"));
    figure(QStringLiteral("queue-group without the window (best of %1)").arg(roundCount), bestCore, QStringLiteral("s"),
           3);
    figure(QStringLiteral("sqlite3 shell, same rows in one statement per body (best of %1)").arg(roundCount), bestShell,
           QStringLiteral("s"), 3);
    figure(QStringLiteral("queue-group target"),
           QStringLiteral("under 3 s: %1").arg(best < 3.0 ? QStringLiteral("met") : QStringLiteral("NOT met")));
    figure(QStringLiteral("queue-group seconds"), best, {}, 3);
    figure(QStringLiteral("queue-group ratio"), bestShell / best, {}, 2);
    return 0;
}
