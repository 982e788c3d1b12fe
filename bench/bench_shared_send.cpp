// Two operators sending one shared outbox: 2,000 queued rows in a PostgreSQL
// database (a throw-away cluster), tellwave-gateway answering every request
// after 20 ms, one connection per program. One program alone, then two
// programs at once; every row must reach the gateway exactly once.

#include "BenchSupport.h"
#include "PostgresCluster.h"

#include "data/AppError.h"
#include "data/Database.h"
#include "gateway/CycleHost.h"
#include "gateway/OutboxSender.h"
#include "settings/RunningSetup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QProcess>

#include <cstring>

using namespace Bench;

namespace {

const int Rows = sized(2000, 40);
constexpr int LatencyMs = 20;

class QuietHost : public CycleHost
{
public:
    void setStatus(const QString &) override {}
    QString creditsText() const override { return QStringLiteral("0"); }
    void setCreditsText(const QString &) override {}
    void setBusy(bool) override {}
    void inform(const QString &, const QString &) override {}
    bool ask(const QString &, const QString &) override { return false; }
    void showError(const AppError &error) override { std::fprintf(stderr, "%s\n", qPrintable(error.text())); }
    void setProgress(int, int) override {}
    void yieldToEvents() override {}
    void outboxChanged() override {}
    void inboxChanged() override {}
};

// The second program: one send run (this program started again with --run).
int sendRun(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4)
        return 2;
    Database::use(arguments.at(2));
    RunningSetup::useGatewayHost(arguments.at(3));
    RunningSetup::useGatewayAccount(QStringLiteral("demo"), QStringLiteral("demo"));
    RunningSetup::useGatewayConnections(1);
    QuietHost host;
    return OutboxSender(host).SendOutbox() ? 0 : 1;
}

QString filledDatabase()
{
    const QString address = PostgresCluster::newDatabase();
    Database::close();
    Database::use(address);
    Database::run(QStringLiteral("INSERT INTO SMSSend (Number, Message, SendDate, SendTime) "
                                 "SELECT '082' || (1000000 + i), 'Message ' || i, '2026-01-01', '10:00' "
                                 "FROM generate_series(1, %1) AS i")
                      .arg(Rows));
    Database::close();
    return address;
}

// Runs `programs` send runs at once; gives the seconds until the last ends.
double sendTogether(int programs, const QString &address, const QString &host)
{
    std::vector<std::unique_ptr<QProcess>> runs;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < programs; ++i) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--run"), address, host});
    }
    for (auto &run : runs) {
        if (!run->waitForFinished(600000) || run->exitCode() != 0)
            fail(QStringLiteral("a send run failed: %1").arg(QString::fromUtf8(run->readAllStandardError())));
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

// Rows the gateway received more than once, and how many it received.
std::pair<int, int> twiceAndTotal(Gateway &gateway)
{
    QHash<qint64, int> times;
    const QJsonArray messages = QJsonDocument::fromJson(gateway.admin(QStringLiteral("/admin/messages"))).array();
    for (const QJsonValue &message : messages)
        ++times[message[QStringLiteral("customerId")].toVariant().toLongLong()];
    int twice = 0;
    for (int count : std::as_const(times))
        twice += count > 1 ? count - 1 : 0;
    return {twice, int(times.size())};
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 2 && std::strcmp(argv[1], "--run") == 0)
        return sendRun(argc, argv);
    Program program(argc, argv);
    const QString problem = PostgresCluster::start();
    if (!problem.isEmpty())
        fail(problem);
    note(QStringLiteral("%1 queued rows in PostgreSQL, gateway answering after %2 ms, one connection per program")
             .arg(Rows)
             .arg(LatencyMs));

    double alone = 0;
    {
        Gateway gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:100000"),
                         QStringLiteral("--latency-ms"), QString::number(LatencyMs)});
        alone = sendTogether(1, filledDatabase(), gateway.host());
        const auto [twice, total] = twiceAndTotal(gateway);
        if (twice != 0 || total != Rows)
            fail(QStringLiteral("one program alone sent %1 rows, %2 twice").arg(total).arg(twice));
    }
    Gateway gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:100000"), QStringLiteral("--latency-ms"),
                     QString::number(LatencyMs)});
    const double both = sendTogether(2, filledDatabase(), gateway.host());
    const auto [twice, total] = twiceAndTotal(gateway);
    if (total != Rows)
        fail(QStringLiteral("two programs sent %1 of %2 rows").arg(total).arg(Rows));

    figure(QStringLiteral("one program alone"), alone, QStringLiteral("s"), 2);
    figure(QStringLiteral("two programs at once"), both, QStringLiteral("s"), 2);
    figure(QStringLiteral("rows sent twice"), twice);
    std::printf("shared-send ratio: %.2f\n", alone / both);
    return 0;
}
