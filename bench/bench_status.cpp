// Fetching the delivery report: 10,000 report entries for 10,000 sent outbox
// rows (100 pages of 100) through the real main window (offscreen), against
// the sqlite3 shell applying the same 10,000 updates to the same data in the
// same 100 transactions.

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "data/Database.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"
#include "gateway/GatewayCycles.h"
#include "gateway/StatusRetrieval.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <algorithm>
#include <numeric>

using namespace Bench;

namespace {

const int Rows = sized(10000, 150); // tiny: two pages, the second short
constexpr quint32 Seed = 20260602;
const QString User = QStringLiteral("bench");
const QString Password = QStringLiteral("bench");

struct Entry
{
    qint64 key = 0;
    int row = 0; // index into the generated data
    qint64 trn = 0;
};

QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// A database with 10,000 sent rows, and the gateway's report holding one
// delivered entry for each of them, in a shuffled order. Gives the entries in
// report order.
QList<Entry> prepare(Home &home, Gateway &gateway, QString &templatePath)
{
    templatePath = home.freshDatabase();
    Data data(Seed);
    QList<Entry> entries;
    QList<QString> numbers;
    QList<QString> messages;
    try {
        Database::Batch batch;
        for (int i = 0; i < Rows; ++i) {
            numbers.append(data.mobileNumber());
            messages.append(data.message());
            const qint64 key = Database::insert(
                QStringLiteral("INSERT INTO SMSSend (Number, Message, SendDate, SendTime, EventID, Send) "
                               "VALUES (?, ?, '2026-06-01', '08:30', ?, 1)"),
                {numbers.last(), messages.last(), QString::number(5000001 + i)});
            entries.append({key, i, 0});
        }
        batch.commit();
    } catch (const AppError &error) {
        fail(QStringLiteral("preparing the outbox: %1").arg(error.description()));
    }
    Database::close();

    // Fisher-Yates with the seeded stream: the report is not in key order.
    for (qsizetype i = entries.size() - 1; i > 0; --i)
        std::swap(entries[i], entries[data.between(0, int(i))]);
    for (Entry &entry : entries) {
        const int row = entry.row;
        // Built by joining: percent-encoded values must not meet QString::arg.
        const QByteArray answer = gateway.admin(
            QStringLiteral("/admin/report?user=") + User + QStringLiteral("&customer=") + QString::number(entry.key)
            + QStringLiteral("&flag=TRUE&count=1&number=") + encoded(numbers.value(row)) + QStringLiteral("&message=")
            + encoded(messages.value(row)) + QStringLiteral("&batch=") + QString::number(5000001 + row));
        const QJsonArray trns = QJsonDocument::fromJson(answer).array();
        if (trns.size() != 1)
            fail(QStringLiteral("the gateway did not add a report entry: %1").arg(QString::fromUtf8(answer)));
        entry.trn = trns.first().toInteger();
    }
    return entries;
}

void checkDelivered(const QList<Entry> &entries)
{
    const int delivered = Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Delivered = 1")).toInt();
    const qint64 highest = std::accumulate(entries.begin(), entries.end(), qint64(0),
                                           [](qint64 top, const Entry &entry) { return std::max(top, entry.trn); });
    const QString resume = StatusRetrieval::ReadLastHighestTrn();
    if (delivered != entries.size() || resume != QString::number(highest))
        fail(QStringLiteral("%1 of %2 rows marked delivered, resume point %3 (expected %4)")
                 .arg(delivered)
                 .arg(entries.size())
                 .arg(resume)
                 .arg(highest));
}

double windowRun(Home &home, Gateway &gateway, const QString &templatePath, const QList<Entry> &entries)
{
    home.copyOf(templatePath);
    QuietBoxes boxes;
    frmMain window;
    window.resize(1100, 700);
    window.show();
    QCoreApplication::processEvents();
    gateway.clearRequests();

    QElapsedTimer clock;
    clock.start();
    window.cycles().status().FetchStatusReports();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (boxes.count() > 0)
        fail(QStringLiteral("the status run showed: %1").arg(boxes.all()));
    checkDelivered(entries);
    const int pages = Rows / StatusRetrieval::ReportPage + 1; // the last, short page ends the run
    if (gateway.requestCount() != pages)
        fail(QStringLiteral("the status run made %1 requests, not %2").arg(gateway.requestCount()).arg(pages));
    return seconds;
}

// The same updates, page by page, each page with its resume point in one
// transaction, as the status run writes them.
double shellRun(Home &home, const QString &templatePath, const QList<Entry> &entries)
{
    const QString path = home.copyOf(templatePath);
    QByteArray script = "PRAGMA journal_mode = WAL;\nPRAGMA synchronous = NORMAL;\n";
    qint64 highest = 0;
    for (qsizetype first = 0; first < entries.size(); first += StatusRetrieval::ReportPage) {
        script += "BEGIN;\n";
        for (qsizetype i = first; i < std::min(entries.size(), first + StatusRetrieval::ReportPage); ++i) {
            script += "UPDATE SMSSend SET Delivered = 1, SentID = " + sqlText(QString::number(entries[i].trn))
                      + " WHERE SMSSendID = " + QByteArray::number(entries[i].key) + ";\n";
            highest = std::max(highest, entries[i].trn);
        }
        script += "UPDATE Setup SET LastHighestTrn = " + QByteArray::number(highest)
                  + " WHERE rowid = (SELECT rowid FROM Setup ORDER BY rowid LIMIT 1);\nCOMMIT;\n";
    }
    const double seconds = sqliteShell(path, script);
    Home::useDatabase(path);
    checkDelivered(entries);
    return seconds;
}

// The 101 requests and the reading of their answers alone.
double fetchOnly(Gateway &gateway)
{
    gateway.clearRequests();
    QElapsedTimer clock;
    clock.start();
    GatewayClient client;
    QString resume = QStringLiteral("0");
    int entries = 0;
    for (;;) {
        const GatewayAnswers::StatusReport report = GatewayAnswers::statusReport(client.sent(resume));
        entries += int(report.entries.size());
        if (report.entries.size() < StatusRetrieval::ReportPage)
            break;
        resume = QString::number(qint64(report.highestTrn));
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (entries != Rows)
        fail(QStringLiteral("fetching the report alone read %1 entries").arg(entries));
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    Home &home = program.home;
    const int roundCount = rounds(3);

    Gateway gateway({QStringLiteral("--account"), QStringLiteral("%1:%2:1000").arg(User, Password)});
    gateway.use(User, Password);
    QString templatePath;
    QElapsedTimer setUp;
    setUp.start();
    const QList<Entry> entries = prepare(home, gateway, templatePath);
    note(QStringLiteral("data set ready in %1 s").arg(double(setUp.elapsed()) / 1000, 0, 'f', 1));
    figure(QStringLiteral("status entries"),
           QStringLiteral("%1 report entries for %1 sent outbox rows, %2 pages of %3, seed %4")
               .arg(Rows)
               .arg(Rows / StatusRetrieval::ReportPage)
               .arg(StatusRetrieval::ReportPage)
               .arg(Seed));

    QList<double> ours;
    QList<double> shell;
    alternate(
        roundCount, [&] { return shellRun(home, templatePath, entries); },
        [&] { return windowRun(home, gateway, templatePath, entries); }, shell, ours);
    const double fetch = fetchOnly(gateway);
    const double best = fastest(ours);
    const double bestShell = fastest(shell);

    figure(QStringLiteral("status comparison"),
           QStringLiteral("best of %1 rounds each, alternating (the shell first in odd rounds)").arg(roundCount));
    figure(QStringLiteral("status rounds"), listed(ours) + QStringLiteral(" s"));
    figure(QStringLiteral("status rows per second"), Rows / best, QStringLiteral("rows/s"));
    figure(QStringLiteral("status baseline"),
           QStringLiteral("the sqlite3 shell applying the same %1 updates and resume points in the same %2 "
                          "transactions (WAL, synchronous NORMAL), process start included")
               .arg(Rows)
               .arg(Rows / StatusRetrieval::ReportPage));
    figure(QStringLiteral("status baseline rounds"), listed(shell) + QStringLiteral(" s"));
    figure(QStringLiteral("status baseline seconds"), bestShell, QStringLiteral("s"), 3);
    figure(QStringLiteral("status baseline rows per second"), Rows / bestShell, QStringLiteral("rows/s"));
    figure(QStringLiteral("status fetch and read only seconds"), fetch,
           QStringLiteral("s (the %1 requests and their answers read, no database, no window)")
               .arg(Rows / StatusRetrieval::ReportPage + 1),
           3);
    figure(QStringLiteral("status seconds"), best, {}, 3);
    figure(QStringLiteral("status baseline with the fetch seconds"), bestShell + fetch,
           QStringLiteral("s (the shell's work and the fetch alone, added)"), 3);
    figure(QStringLiteral("status ratio"), (bestShell + fetch) / best, {}, 2);
    Database::close();
    return 0;
}
