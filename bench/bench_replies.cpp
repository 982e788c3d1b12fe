// Fetching replies: 10,000 new replies served by the gateway into an inbox
// that already holds 100,000, through the real main window (offscreen),
// against the sqlite3 shell storing the same 10,000 replies with the same
// "not stored yet" check in one transaction.

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "data/Database.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"
#include "gateway/GatewayCycles.h"
#include "gateway/RepliesRetrieval.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QUrl>

#include <algorithm>

using namespace Bench;

namespace {

const int Stored = sized(100000, 60);
const int NewReplies = sized(10000, 40);
const int PerCall = sized(100, 10); // new replies added per control request, sharing sender and text
const int SentRows = sized(10000, 40);
constexpr quint32 Seed = 20260603;
const QString User = QStringLiteral("bench");
const QString Password = QStringLiteral("bench");

struct NewReply
{
    QString id;
    QString from;
    QString text;
    QString received;
    QString sentMessage;
    QString sentDateTime;
    qint64 smsSendId = 0;
};

QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QString dateTime(Data &data, int year)
{
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(year)
        .arg(data.between(1, 12), 2, 10, QLatin1Char('0'))
        .arg(data.between(1, 28), 2, 10, QLatin1Char('0'))
        .arg(data.between(7, 20), 2, 10, QLatin1Char('0'))
        .arg(data.between(0, 59), 2, 10, QLatin1Char('0'))
        .arg(data.between(0, 59), 2, 10, QLatin1Char('0'));
}

// A database with 10,000 sent rows and 100,000 stored replies to them, and
// the gateway holding 10,000 replies that are not stored yet.
QList<NewReply> prepare(Home &home, Gateway &gateway, QString &templatePath)
{
    templatePath = home.freshDatabase();
    Data data(Seed);
    try {
        Database::Batch batch;
        for (int i = 0; i < SentRows; ++i)
            Database::insert(
                QStringLiteral("INSERT INTO SMSSend (Number, Message, SendDate, SendTime, EventID, Send, "
                               "Delivered, SentID) VALUES (?, ?, '2025-06-01', '08:30', ?, 1, 1, ?)"),
                {data.mobileNumber(), data.message(), QString::number(5000001 + i), QString::number(i + 1)});
        for (int i = 0; i < Stored; ++i)
            Database::insert(QStringLiteral("INSERT INTO SMSReplies (IncomingID, PhoneNumber, Message, "
                                            "ReceivedDateTime, SentMessage, SentDateTime, SMSSendID) "
                                            "VALUES (?, ?, ?, ?, ?, ?, ?)"),
                             {QStringLiteral("R%1").arg(i + 1, 7, 10, QLatin1Char('0')), data.mobileNumber(),
                              data.message(), dateTime(data, 2025), data.message(), dateTime(data, 2025),
                              data.between(1, SentRows)});
        batch.commit();
    } catch (const AppError &error) {
        fail(QStringLiteral("preparing the inbox: %1").arg(error.description()));
    }
    Database::close();

    QList<NewReply> replies;
    replies.reserve(NewReplies);
    for (int call = 1; call <= NewReplies / PerCall; ++call) {
        NewReply reply;
        const QString id = QStringLiteral("N%1").arg(call, 4, 10, QLatin1Char('0'));
        reply.from = data.mobileNumber();
        reply.text = data.message();
        reply.received = dateTime(data, 2026);
        reply.sentMessage = data.message();
        reply.sentDateTime = dateTime(data, 2026);
        reply.smsSendId = data.between(1, SentRows);
        // Built by joining: percent-encoded values must not meet QString::arg.
        gateway.admin(QStringLiteral("/admin/reply?user=") + User + QStringLiteral("&id=") + id
                      + QStringLiteral("&from=") + encoded(reply.from) + QStringLiteral("&text=") + encoded(reply.text)
                      + QStringLiteral("&received=") + encoded(reply.received) + QStringLiteral("&sentmessage=")
                      + encoded(reply.sentMessage) + QStringLiteral("&sentdatetime=") + encoded(reply.sentDateTime)
                      + QStringLiteral("&customer=") + QString::number(reply.smsSendId) + QStringLiteral("&count=")
                      + QString::number(PerCall));
        for (int i = 1; i <= PerCall; ++i) {
            reply.id = id + QLatin1Char('-') + QString::number(i);
            replies.append(reply);
        }
    }
    return replies;
}

void checkStored()
{
    const int stored = Database::value(QStringLiteral("SELECT count(*) FROM SMSReplies")).toInt();
    const int fresh =
        Database::value(QStringLiteral("SELECT count(*) FROM SMSReplies WHERE IncomingID LIKE 'N%'")).toInt();
    if (stored != Stored + NewReplies || fresh != NewReplies)
        fail(QStringLiteral("%1 replies stored (%2 new), expected %3 (%4 new)")
                 .arg(stored)
                 .arg(fresh)
                 .arg(Stored + NewReplies)
                 .arg(NewReplies));
}

double windowRun(Home &home, Gateway &gateway, const QString &templatePath)
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
    window.cycles().replies().FetchReplies();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (boxes.count() > 0)
        fail(QStringLiteral("the replies run showed: %1").arg(boxes.all()));
    checkStored();
    if (gateway.requestCount() != 1)
        fail(QStringLiteral("the replies run made %1 requests, not 1").arg(gateway.requestCount()));
    return seconds;
}

// The same inserts, each after the same check on the identifier, in one
// transaction as the replies run writes them.
double shellRun(Home &home, const QString &templatePath, const QList<NewReply> &replies)
{
    const QString path = home.copyOf(templatePath);
    QByteArray script = "PRAGMA journal_mode = WAL;\nPRAGMA synchronous = NORMAL;\nBEGIN;\n";
    for (const NewReply &reply : replies) {
        const QByteArray id = sqlText(reply.id);
        script += "INSERT INTO SMSReplies (IncomingID, PhoneNumber, Message, ReceivedDateTime, SentMessage, "
                  "SentDateTime, SMSSendID) SELECT "
                  + id + ", " + sqlText(reply.from) + ", " + sqlText(reply.text) + ", " + sqlText(reply.received) + ", "
                  + sqlText(reply.sentMessage) + ", " + sqlText(reply.sentDateTime) + ", "
                  + QByteArray::number(reply.smsSendId)
                  + " WHERE NOT EXISTS (SELECT 1 FROM SMSReplies WHERE trim(coalesce(IncomingID, '')) = " + id + ");\n";
    }
    script += "COMMIT;\n";
    const double seconds = sqliteShell(path, script);
    Home::useDatabase(path);
    checkStored();
    return seconds;
}

// The one request and the reading of its answer alone.
double fetchOnly(Gateway &gateway)
{
    gateway.clearRequests();
    QElapsedTimer clock;
    clock.start();
    const GatewayAnswers::RepliesList list = GatewayAnswers::replies(GatewayClient().replies());
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (list.replies.size() != NewReplies)
        fail(QStringLiteral("fetching the replies alone read %1").arg(list.replies.size()));
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
    const QList<NewReply> replies = prepare(home, gateway, templatePath);
    note(QStringLiteral("data set ready in %1 s").arg(double(setUp.elapsed()) / 1000, 0, 'f', 1));
    figure(QStringLiteral("replies data"),
           QStringLiteral("%1 new replies served, %2 already stored, seed %3").arg(NewReplies).arg(Stored).arg(Seed));

    QList<double> ours;
    QList<double> shell;
    alternate(
        roundCount, [&] { return shellRun(home, templatePath, replies); },
        [&] { return windowRun(home, gateway, templatePath); }, shell, ours);
    const double fetch = fetchOnly(gateway);
    const double best = fastest(ours);
    const double bestShell = fastest(shell);

    figure(QStringLiteral("replies comparison"),
           QStringLiteral("best of %1 rounds each, alternating (the shell first in odd rounds)").arg(roundCount));
    figure(QStringLiteral("replies rounds"), listed(ours) + QStringLiteral(" s"));
    figure(QStringLiteral("replies rows per second"), NewReplies / best, QStringLiteral("rows/s"));
    figure(QStringLiteral("replies baseline"),
           QStringLiteral("the sqlite3 shell storing the same %1 replies, each after the same identifier check, "
                          "in one transaction (WAL, synchronous NORMAL), process start included")
               .arg(NewReplies));
    figure(QStringLiteral("replies baseline rounds"), listed(shell) + QStringLiteral(" s"));
    figure(QStringLiteral("replies baseline seconds"), bestShell, QStringLiteral("s"), 3);
    figure(QStringLiteral("replies baseline rows per second"), NewReplies / bestShell, QStringLiteral("rows/s"));
    figure(QStringLiteral("replies fetch and read only seconds"), fetch,
           QStringLiteral("s (the one request and its answer read, no database, no window)"), 3);
    figure(QStringLiteral("replies seconds"), best, {}, 3);
    figure(QStringLiteral("replies baseline with the fetch seconds"), bestShell + fetch,
           QStringLiteral("s (the shell's work and the fetch alone, added)"), 3);
    figure(QStringLiteral("replies ratio"), (bestShell + fetch) / best, {}, 2);
    Database::close();
    return 0;
}
