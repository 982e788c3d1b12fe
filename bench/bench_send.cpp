// The send run against tellwave-gateway on loopback: 10,000 queued messages
// through the real main window (offscreen), against a minimal loop making the
// same requests with the same HTTP stack and the same durable row update. Also
// the wire limit (wrk, one connection), the per-message time, and the run's
// overhead on a gateway that answers every request after 20 ms.

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "app/modMain.h"
#include "data/Database.h"
#include "data/modFunctions.h"
#include "gateway/CycleHost.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"
#include "gateway/OutboxSender.h"
#include "outbox/Numbers.h"
#include "settings/RunningSetup.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <optional>

using namespace Bench;

namespace {

const int Messages = sized(10000, 40);
constexpr quint32 Seed = 20260601;
constexpr int LatencyMs = 20;
const int LatencyMessages = sized(200, 20);
// Seconds of each wrk run: the wire limit, and the same on the slow gateway.
const int WireSeconds = sized(5, 1);
const int SlowWireSeconds = sized(3, 1);
const QString User = QStringLiteral("bench");
const QString Password = QStringLiteral("bench");

struct Run
{
    double seconds = 0;
    double cpu = 0;             // CPU seconds of this process during the run
    QList<double> perMessageMs; // time from one message's end to the next one's
    QList<double> updateMs;     // baseline only: the durable row update alone
    QList<double> exchangeMs;   // baseline only: the request and its answer alone
    int messages = 0;
    double rate() const { return messages / seconds; }
};

void checkAllSent(int expected)
{
    const int sent =
        Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Send = 1 AND EventID <> '0'")).toInt();
    if (sent != expected)
        fail(QStringLiteral("%1 of %2 messages were sent").arg(sent).arg(expected));
}

// The same requests and row updates as the send run, without the window.
Run baselineRun(Home &home, Gateway &gateway, const QList<QueuedMessage> &messages)
{
    home.freshDatabase();
    queue(messages);
    gateway.clearRequests();

    struct Row
    {
        qint64 key;
        QString number;
        QString message;
    };
    Run run;
    run.messages = int(messages.size());
    run.perMessageMs.reserve(run.messages);
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QList<Row> rows;
    rows.reserve(run.messages);
    {
        QSqlQuery query = Database::run(
            QStringLiteral("SELECT SMSSendID, Number, Message FROM SMSSend WHERE Send = 0 ORDER BY SMSSendID"));
        while (query.next())
            rows.append({query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString()});
    }
    qint64 last = clock.nsecsElapsed();
    run.updateMs.reserve(run.messages);
    run.exchangeMs.reserve(run.messages);
    for (const Row &row : rows) {
        const qint64 start = clock.nsecsElapsed();
        const QString answer = GatewayClient().singleSms(
            NormaliseNumber(row.number).number, modFunctions::TrimBlanks(row.message), QString::number(row.key));
        const QString batch = GatewayAnswers::singleSms(answer).batch;
        const qint64 answered = clock.nsecsElapsed();
        run.exchangeMs.append(double(answered - start) / 1e6);
        Database::run(QStringLiteral("UPDATE SMSSend SET Send = 1, EventID = ? WHERE SMSSendID = ?"), {batch, row.key});
        const qint64 now = clock.nsecsElapsed();
        run.updateMs.append(double(now - answered) / 1e6);
        run.perMessageMs.append(double(now - last) / 1e6);
        last = now;
    }
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.cpu = cpuSeconds() - cpuBefore;
    checkAllSent(run.messages);
    if (gateway.requestCount() != run.messages)
        fail(QStringLiteral("the baseline made %1 requests, not %2").arg(gateway.requestCount()).arg(run.messages));
    return run;
}

// The window as the send run's host, every call passed on to it; it notes the
// time each message ends (the window itself shows progress only every few
// dozen milliseconds, so its progress bar cannot tell).
class TimedHost : public CycleHost
{
public:
    TimedHost(frmMain &window, Run &run) : m_window(window), m_run(run) {}
    void start() { m_clock.start(); }

    void setStatus(const QString &text) override { m_window.setStatus(text); }
    QString creditsText() const override { return m_window.creditsText(); }
    void setCreditsText(const QString &text) override { m_window.setCreditsText(text); }
    void setBusy(bool busy) override { m_window.setBusy(busy); }
    void inform(const QString &title, const QString &text) override { m_window.inform(title, text); }
    bool ask(const QString &title, const QString &text) override { return m_window.ask(title, text); }
    void showError(const AppError &error) override { m_window.showError(error); }
    void setProgress(int done, int total) override
    {
        m_window.setProgress(done, total);
        if (total <= 0)
            return;
        const qint64 now = m_clock.nsecsElapsed();
        if (m_last >= 0)
            m_run.perMessageMs.append(double(now - m_last) / 1e6);
        m_last = now;
    }
    void yieldToEvents() override { m_window.yieldToEvents(); }
    void outboxChanged() override { m_window.outboxChanged(); }
    void inboxChanged() override { m_window.inboxChanged(); }

private:
    frmMain &m_window;
    Run &m_run;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
};

// The real send run in the main window: the replies and the balance asked
// first (every run does), then every queued row, with status texts and
// progress; `connections` messages in flight at once.
Run windowRun(Home &home, Gateway &gateway, const QList<QueuedMessage> &messages, int connections = 1)
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

    Run run;
    run.messages = int(messages.size());
    run.perMessageMs.reserve(run.messages);
    TimedHost host(window, run);
    OutboxSender sender(host);
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    host.start();
    const bool completed = sender.SendOutbox();
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.cpu = cpuSeconds() - cpuBefore;
    if (!completed || boxes.count() > 0)
        fail(QStringLiteral("the send run stopped: %1").arg(boxes.all()));
    checkAllSent(int(messages.size()));
    checkSendRunRequests(gateway, int(messages.size()));
    return run;
}

// wrk -t1 -c1 against the gateway, posting the SingleSMS request of the
// first queued message again and again (bench/wrk/singlesms.lua). Requests
// per second; nothing when wrk is not installed.
std::optional<double> wrkRun(Gateway &gateway, const QueuedMessage &message, int seconds)
{
    const QString wrk = QStandardPaths::findExecutable(QStringLiteral("wrk"));
    if (wrk.isEmpty())
        return std::nullopt;
    QString script = qEnvironmentVariable("TELLWAVE_BENCH_DIR");
    script = QDir(script.isEmpty() ? QStringLiteral(TELLWAVE_BENCH_SOURCE_DIR) : script)
                 .filePath(QStringLiteral("wrk/singlesms.lua"));
    if (!QFileInfo::exists(script))
        fail(QStringLiteral("%1 is missing").arg(script));
    const QUrl url = GatewayClient::requestUrl(QStringLiteral("SingleSMS"),
                                               {{QStringLiteral("Number"), NormaliseNumber(message.number).number},
                                                {QStringLiteral("Message"), modFunctions::TrimBlanks(message.message)},
                                                {QStringLiteral("CustomerID"), QStringLiteral("1")}});
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TELLWAVE_WRK_PATH"),
                       QString::fromLatin1(url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority)));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(wrk, {QStringLiteral("-t1"), QStringLiteral("-c1"), QStringLiteral("-d%1s").arg(seconds),
                        QStringLiteral("-s"), script, QStringLiteral("http://%1/").arg(gateway.host())});
    if (!process.waitForFinished(60000))
        fail(QStringLiteral("wrk did not finish"));
    const QString output = QString::fromUtf8(process.readAll());
    gateway.clearRequests();
    static const QRegularExpression rate(QStringLiteral("Requests/sec:\\s+([0-9.]+)"));
    const auto rateMatch = rate.match(output);
    if (process.exitCode() != 0 || !rateMatch.hasMatch() || output.contains(QStringLiteral("Non-2xx")))
        fail(QStringLiteral("wrk failed:\n%1").arg(output));
    return rateMatch.captured(1).toDouble();
}

QString roundsText(const QList<Run> &runs)
{
    QStringList rates;
    for (const Run &run : runs)
        rates << QString::number(run.rate(), 'f', 0);
    return rates.join(QStringLiteral(", "));
}

const Run &best(const QList<Run> &runs)
{
    return *std::min_element(runs.begin(), runs.end(),
                             [](const Run &a, const Run &b) { return a.seconds < b.seconds; });
}

} // namespace

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    Home &home = program.home;

    // Parts to run, for profiling one of them: window, baseline, window4 (four
    // in flight), wrk, latency.
    const QStringList allParts{QStringLiteral("window"), QStringLiteral("baseline"), QStringLiteral("window4"),
                               QStringLiteral("wrk"), QStringLiteral("latency")};
    QStringList parts = QCoreApplication::arguments().mid(1);
    for (const QString &part : parts)
        if (!allParts.contains(part))
            fail(QStringLiteral("unknown part %1; the parts are %2").arg(part, allParts.join(QStringLiteral(", "))));
    if (parts.isEmpty())
        parts = allParts;

    const QList<QueuedMessage> messages = queuedMessages(messageCount(Messages), Seed);
    const int roundCount = rounds(3);

    Gateway gateway({QStringLiteral("--account"), QStringLiteral("%1:%2:100000000").arg(User, Password)});
    gateway.use(User, Password);
    figure(QStringLiteral("send messages"), double(messages.size()), QStringLiteral("queued, seed %1").arg(Seed));

    // Rounds alternate which of the two goes first; each side's best round counts.
    QList<Run> ours;
    QList<Run> baseline;
    for (int round = 0; round < roundCount; ++round) {
        const bool baselineFirst = round % 2 == 0;
        for (int side = 0; side < 2; ++side) {
            if ((side == 0) == baselineFirst) {
                if (!parts.contains(QStringLiteral("baseline")))
                    continue;
                baseline.append(baselineRun(home, gateway, messages));
                note(QStringLiteral("round %1 baseline: %2 messages/s")
                         .arg(round + 1)
                         .arg(baseline.last().rate(), 0, 'f', 0));
            } else {
                if (!parts.contains(QStringLiteral("window")))
                    continue;
                ours.append(windowRun(home, gateway, messages));
                note(QStringLiteral("round %1 send run: %2 messages/s")
                         .arg(round + 1)
                         .arg(ours.last().rate(), 0, 'f', 0));
            }
        }
    }
    if (!ours.isEmpty() && !baseline.isEmpty())
        figure(QStringLiteral("send comparison"),
               QStringLiteral("best of %1 rounds each, alternating (baseline first in odd rounds)").arg(roundCount));
    if (!ours.isEmpty()) {
        const Run &bestOurs = best(ours);
        figure(QStringLiteral("send rate rounds"), roundsText(ours) + QStringLiteral(" messages/s"));
        figure(QStringLiteral("send rate"), bestOurs.rate(), QStringLiteral("messages/s"));
        figure(QStringLiteral("send seconds"), bestOurs.seconds, QStringLiteral("s"), 2);
        QList<double> allOurs;
        for (const Run &run : ours)
            allOurs += run.perMessageMs;
        figure(QStringLiteral("send per-message p50"), percentile(bestOurs.perMessageMs, 50), QStringLiteral("ms"), 3);
        figure(QStringLiteral("send per-message p99"), percentile(bestOurs.perMessageMs, 99),
               QStringLiteral("ms (limit 5 ms)"), 3);
        figure(QStringLiteral("send per-message p99 all rounds"), percentile(allOurs, 99), QStringLiteral("ms"), 3);
        figure(QStringLiteral("send per-message max all rounds"), percentile(allOurs, 100), QStringLiteral("ms"), 3);
        figure(QStringLiteral("send cpu per message"), bestOurs.cpu / bestOurs.messages * 1000, QStringLiteral("ms"),
               3);
        figure(QStringLiteral("send messages over 40 ms all rounds"),
               double(std::count_if(allOurs.begin(), allOurs.end(), [](double ms) { return ms > 40; })),
               QStringLiteral("of %1").arg(allOurs.size()));
    }
    if (!baseline.isEmpty()) {
        const Run &bestBaseline = best(baseline);
        figure(QStringLiteral("send baseline rounds"), roundsText(baseline) + QStringLiteral(" messages/s"));
        figure(QStringLiteral("send baseline rate"), bestBaseline.rate(),
               QStringLiteral("messages/s (GatewayClient::singleSms + durable row update per message)"));
        figure(QStringLiteral("send baseline seconds"), bestBaseline.seconds, QStringLiteral("s"), 2);
        figure(QStringLiteral("send baseline per-message p50"), percentile(bestBaseline.perMessageMs, 50),
               QStringLiteral("ms"), 3);
        figure(QStringLiteral("send baseline per-message p99"), percentile(bestBaseline.perMessageMs, 99),
               QStringLiteral("ms"), 3);
        figure(QStringLiteral("send baseline cpu per message"), bestBaseline.cpu / bestBaseline.messages * 1000,
               QStringLiteral("ms"), 3);
        QList<double> updates;
        for (const Run &run : baseline)
            updates += run.updateMs;
        QList<double> exchanges;
        for (const Run &run : baseline)
            exchanges += run.exchangeMs;
        figure(QStringLiteral("send exchange p50 all baseline rounds"), percentile(exchanges, 50),
               QStringLiteral("ms (GatewayClient::singleSms alone)"), 3);
        figure(QStringLiteral("send row update p50 all baseline rounds"), percentile(updates, 50),
               QStringLiteral("ms (the durable UPDATE alone: WAL, synchronous NORMAL)"), 3);
        figure(QStringLiteral("send row update p99 all baseline rounds"), percentile(updates, 99), QStringLiteral("ms"),
               3);
    }

    QList<Run> four;
    if (parts.contains(QStringLiteral("window4"))) {
        for (int round = 0; round < roundCount; ++round) {
            four.append(windowRun(home, gateway, messages, 4));
            note(QStringLiteral("round %1 send run, 4 in flight: %2 messages/s")
                     .arg(round + 1)
                     .arg(four.last().rate(), 0, 'f', 0));
        }
        figure(QStringLiteral("send rate rounds, 4 in flight"), roundsText(four) + QStringLiteral(" messages/s"));
        figure(QStringLiteral("send rate, 4 in flight"), best(four).rate(), QStringLiteral("messages/s"));
        figure(QStringLiteral("send cpu per message, 4 in flight"), best(four).cpu / best(four).messages * 1000,
               QStringLiteral("ms"), 3);
        if (!baseline.isEmpty())
            figure(QStringLiteral("send ratio, 4 in flight"), best(four).rate() / best(baseline).rate(),
                   QStringLiteral("(against the one-at-a-time baseline)"), 3);
    }

    if (parts.contains(QStringLiteral("wrk"))) {
        if (const auto wire = wrkRun(gateway, messages.first(), WireSeconds)) {
            figure(QStringLiteral("send wire limit"), *wire,
                   QStringLiteral("requests/s (wrk -t1 -c1 -d%1s, POST SingleSMS, %2 us a request)")
                       .arg(WireSeconds)
                       .arg(1e6 / *wire, 0, 'f', 0));
            if (!ours.isEmpty())
                figure(QStringLiteral("send share of wire limit"), best(ours).rate() / *wire, {}, 3);
            if (!baseline.isEmpty())
                figure(QStringLiteral("send baseline share of wire limit"), best(baseline).rate() / *wire, {}, 3);
        } else {
            figure(QStringLiteral("send wire limit"), QStringLiteral("not measured (wrk is not installed)"));
        }
    }

    if (parts.contains(QStringLiteral("latency"))) {
        // The run asks for the replies and the balance and then makes one
        // request per message: the gateway's own delay is 20 ms for each.
        // The baseline loop on the same gateway shows what the exchange and
        // the row update cost without the window.
        Gateway slow({QStringLiteral("--account"), QStringLiteral("%1:%2:100000").arg(User, Password),
                      QStringLiteral("--latency-ms"), QString::number(LatencyMs)});
        slow.use(User, Password);
        const QList<QueuedMessage> few = messages.mid(0, LatencyMessages);
        QList<double> seconds;
        QList<double> baselineSeconds;
        QList<double> updates;
        QList<double> exchanges;
        for (int round = 0; round < roundCount; ++round) {
            seconds.append(windowRun(home, slow, few).seconds);
            const Run loop = baselineRun(home, slow, few);
            baselineSeconds.append(loop.seconds);
            updates += loop.updateMs;
            exchanges += loop.exchangeMs;
        }
        const double bestSeconds = fastest(seconds);
        const int requests = sendRunRequestCount(int(few.size()));
        const double floor = requests * LatencyMs / 1000.0;
        figure(QStringLiteral("send latency case"),
               QStringLiteral("%1 messages (%2 requests), gateway answering after %3 ms, best of %4 alternating with "
                              "the baseline")
                   .arg(few.size())
                   .arg(requests)
                   .arg(LatencyMs)
                   .arg(roundCount));
        figure(QStringLiteral("send latency seconds"), bestSeconds, QStringLiteral("s"), 3);
        figure(QStringLiteral("send latency worst seconds"), *std::max_element(seconds.begin(), seconds.end()),
               QStringLiteral("s"), 3);
        figure(QStringLiteral("send latency baseline seconds"), fastest(baselineSeconds), QStringLiteral("s"), 3);
        figure(QStringLiteral("send latency exchange p50"), percentile(exchanges, 50),
               QStringLiteral("ms (baseline loop: request to whole answer)"), 3);
        figure(QStringLiteral("send latency row update p50"), percentile(updates, 50),
               QStringLiteral("ms (baseline loop)"), 3);
        figure(QStringLiteral("send latency limit"), floor * 1.05, QStringLiteral("s"), 2);
        figure(QStringLiteral("send latency overhead"), (bestSeconds / floor - 1) * 100,
               QStringLiteral("% over %1 x %2 ms").arg(requests).arg(LatencyMs), 2);
        if (const auto wire = wrkRun(slow, messages.first(), SlowWireSeconds)) {
            const double gatewayAlone = requests / *wire;
            figure(QStringLiteral("send latency gateway alone"), gatewayAlone,
                   QStringLiteral("s (%1 requests at the rate of wrk -t1 -c1 -d%2s on this gateway)")
                       .arg(requests)
                       .arg(SlowWireSeconds),
                   3);
            figure(QStringLiteral("send latency overhead over the gateway alone"),
                   (bestSeconds / gatewayAlone - 1) * 100, QStringLiteral("%"), 2);
        }
        gateway.use(User, Password);
    }

    if (!ours.isEmpty() && !baseline.isEmpty())
        figure(QStringLiteral("send ratio"), best(ours).rate() / best(baseline).rate(), {}, 3);
    Database::close();
    return 0;
}
