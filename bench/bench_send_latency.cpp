// The send run against a gateway that answers every request after 50 ms, as a
// real one across the internet does: 2,000 queued messages with 1, 4, 16 and
// 64 messages in flight, against the ideal of N messages every 50 ms; and 64
// in flight against a gateway on another continent, answering after 200 ms.
// Also what the durable in-flight mark costs (a synced commit marking a few
// rows ahead), and that a long run's memory stays flat: 100,000 messages with
// 16 in flight, the resident size at the 1,000th message and at the last.

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "data/Database.h"
#include "gateway/CycleHost.h"
#include "gateway/OutboxSender.h"
#include "settings/RunningSetup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>

#include <algorithm>

using namespace Bench;

namespace {

const int Messages = sized(2000, 24);
constexpr quint32 Seed = 20260610;
constexpr int LatencyMs = 50;
constexpr int FarLatencyMs = 200;
const QString User = QStringLiteral("bench");
const QString Password = QStringLiteral("bench");

// One send run in the main window with `connections` in flight; its seconds.
double sendRun(Home &home, Gateway &gateway, const QList<QueuedMessage> &messages, int connections)
{
    RunningSetup::useGatewayConnections(connections);
    home.freshDatabase();
    queue(messages);
    QuietBoxes boxes;
    frmMain window;
    window.resize(1100, 700);
    window.show();
    QCoreApplication::processEvents();
    gateway.clearRequests();
    QElapsedTimer clock;
    clock.start();
    const bool completed = OutboxSender(window).SendOutbox();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!completed || boxes.count() > 0)
        fail(QStringLiteral("the send run stopped: %1").arg(boxes.all()));
    const int sent =
        Database::value(
            QStringLiteral("SELECT count(*) FROM SMSSend WHERE Send = 1 AND InFlight = 0 AND EventID <> '0'"))
            .toInt();
    if (sent != messages.size())
        fail(QStringLiteral("%1 of %2 messages were sent").arg(sent).arg(messages.size()));
    checkSendRunRequests(gateway, int(messages.size()));
    return seconds;
}

// Milliseconds per commit that marks `rows` queued rows in flight and clears
// them again, with the given synchronous setting.
double markCommitMs(Home &home, int rows, const QString &synchronous)
{
    home.freshDatabase();
    QList<QueuedMessage> few;
    for (int i = 0; i < rows; ++i)
        few.append({QStringLiteral("0821234567"), QStringLiteral("m")});
    queue(few);
    const int commits = sized(400, 20);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < commits; ++i) {
        Database::run(QStringLiteral("PRAGMA synchronous = ") + synchronous);
        Database::Transaction transaction;
        Database::run(QStringLiteral("UPDATE SMSSend SET Send = 1, InFlight = ? WHERE Send = 0"), {i + 1});
        transaction.commit();
        Database::run(QStringLiteral("PRAGMA synchronous = NORMAL"));
        Database::run(QStringLiteral("UPDATE SMSSend SET Send = 0, InFlight = 0"));
    }
    return double(clock.nsecsElapsed()) / 1e6 / commits;
}

// A host without a window that notes the resident size at one message and
// at the run's last.
class MemoryHost : public CycleHost
{
public:
    explicit MemoryHost(int sampleAt) : m_sampleAt(sampleAt) {}
    double atSample = 0, atEnd = 0;

    void setStatus(const QString &) override {}
    QString creditsText() const override { return QStringLiteral("0"); }
    void setCreditsText(const QString &) override {}
    void setBusy(bool) override {}
    void inform(const QString &title, const QString &text) override { fail(title + QStringLiteral(": ") + text); }
    bool ask(const QString &, const QString &) override { return false; }
    void showError(const AppError &error) override { fail(error.text()); }
    void setProgress(int done, int total) override
    {
        if (done == m_sampleAt)
            atSample = residentMb();
        if (total > 0 && done == total)
            atEnd = residentMb();
    }
    void yieldToEvents() override { QCoreApplication::processEvents(); }
    void outboxChanged() override {}
    void inboxChanged() override {}

private:
    int m_sampleAt;
};

} // namespace

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    Home &home = program.home;
    const QList<QueuedMessage> messages = queuedMessages(messageCount(Messages), Seed);

    Gateway gateway({QStringLiteral("--account"), QStringLiteral("%1:%2:100000000").arg(User, Password),
                     QStringLiteral("--latency-ms"), QString::number(LatencyMs)});
    gateway.use(User, Password);
    figure(QStringLiteral("send-latency case"),
           QStringLiteral("%1 messages, gateway answering every request after %2 ms, the replies and the balance "
                          "asked first")
               .arg(messages.size())
               .arg(LatencyMs));

    double defaultRatio = 0;
    struct Case
    {
        int latencyMs;
        int connections;
    };
    // Arguments "N@MS" (say 64@50) run only those cases and skip the long run
    // and the commit timing: for profiling one case.
    QList<Case> cases{Case{LatencyMs, 1}, Case{LatencyMs, 4}, Case{LatencyMs, 16}, Case{LatencyMs, 64},
                      Case{FarLatencyMs, 64}};
    const QStringList only = QCoreApplication::arguments().mid(1);
    if (!only.isEmpty()) {
        cases.removeIf([&](const Case &run) {
            return !only.contains(QStringLiteral("%1@%2").arg(run.connections).arg(run.latencyMs));
        });
    }
    for (const Case &run : cases) {
        gateway.admin(QStringLiteral("/admin/latency?ms=%1").arg(run.latencyMs));
        const double seconds = sendRun(home, gateway, messages, run.connections);
        const double ideal = double(messages.size()) * run.latencyMs / 1000.0 / run.connections;
        const double rate = messages.size() / seconds;
        const QString n = run.latencyMs == LatencyMs
                              ? QStringLiteral("N = %1").arg(run.connections)
                              : QStringLiteral("N = %1, %2 ms").arg(run.connections).arg(run.latencyMs);
        figure(QStringLiteral("send-latency seconds, %1").arg(n), seconds,
               QStringLiteral("s (limit 1.1 x %1 x %2 ms / %3 = %4 s)")
                   .arg(messages.size())
                   .arg(run.latencyMs)
                   .arg(run.connections)
                   .arg(1.1 * ideal, 0, 'f', 2),
               2);
        figure(QStringLiteral("send-latency rate, %1").arg(n), rate, QStringLiteral("messages/s"), 1);
        figure(QStringLiteral("send-latency ratio to ideal, %1").arg(n),
               rate / (run.connections * 1000.0 / run.latencyMs),
               QStringLiteral("(ideal %1 messages/s)").arg(run.connections * 1000 / run.latencyMs), 3);
        if (run.connections == 4)
            defaultRatio = rate / (run.connections * 1000.0 / run.latencyMs);
    }

    if (!only.isEmpty()) {
        Database::close();
        return 0;
    }
    {
        const int count = sized(100000, 40);
        const int sampleAt = std::min(1000, count / 2);
        gateway.admin(QStringLiteral("/admin/latency?ms=0"));
        RunningSetup::useGatewayConnections(16);
        home.freshDatabase();
        queue(queuedMessages(count, Seed));
        MemoryHost host(sampleAt);
        if (!OutboxSender(host).SendOutbox())
            fail(QStringLiteral("the long send run stopped"));
        figure(
            QStringLiteral("send-latency resident memory at message %1 of %2, 16 in flight").arg(sampleAt).arg(count),
            host.atSample, QStringLiteral("MB"), 1);
        figure(QStringLiteral("send-latency resident memory at the last message"), host.atEnd, QStringLiteral("MB"), 1);
        figure(QStringLiteral("send-latency resident memory growth"), host.atEnd - host.atSample,
               QStringLiteral("MB (target under 20 MB)"), 1);
    }

    const int ahead = OutboxSender::markAhead(4);
    const double synced = markCommitMs(home, ahead, QStringLiteral("FULL"));
    const double plain = markCommitMs(home, ahead, QStringLiteral("NORMAL"));
    figure(QStringLiteral("send-latency in-flight mark, synced commit"), synced,
           QStringLiteral("ms per commit of %1 rows (PRAGMA synchronous = FULL)").arg(ahead), 3);
    figure(QStringLiteral("send-latency in-flight mark, unsynced commit"), plain,
           QStringLiteral("ms per commit of %1 rows (synchronous = NORMAL, for comparison)").arg(ahead), 3);
    figure(QStringLiteral("send-latency in-flight mark per message"), synced / ahead, QStringLiteral("ms"), 4);
    // The default of four in flight against its ideal.
    figure(QStringLiteral("send-latency ratio"), defaultRatio, {}, 3);
    Database::close();
    return 0;
}
