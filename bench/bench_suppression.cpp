// The opt-out list's cost: queueing one body to a group of 10,000 members
// and a send run of the 10,000 rows, each with an opt-out list of 100,000
// numbers (none of them a member's, so both sides do the same work otherwise)
// against the same with an empty list. The target: within 1.1 x.

#include "BenchSupport.h"

#include "campaigns/OptOuts.h"
#include "compose/GroupQueue.h"
#include "data/Database.h"
#include "gateway/CycleHost.h"
#include "gateway/OutboxSender.h"
#include "settings/RunningSetup.h"

#include <QElapsedTimer>
#include <QLocale>

using namespace Bench;

namespace {

const int Members = sized(10000, 40);
const int Suppressed = sized(100000, 60);
constexpr quint32 Seed = 20261207;
const QString User = QStringLiteral("bench");
const QString Password = QStringLiteral("bench");
const QStringList Bodies = {QStringLiteral("Dear member, your statement is ready. Reply with questions.")};

class QuietHost : public CycleHost
{
public:
    void setStatus(const QString &) override {}
    QString creditsText() const override { return m_credits; }
    void setCreditsText(const QString &text) override { m_credits = text; }
    void setBusy(bool) override {}
    void inform(const QString &title, const QString &text) override { fail(title + QStringLiteral(": ") + text); }
    bool ask(const QString &, const QString &) override { return true; }
    void showError(const AppError &error) override { fail(error.text()); }
    void setProgress(int, int) override {}
    void yieldToEvents() override {}
    void outboxChanged() override {}
    void inboxChanged() override {}

private:
    QString m_credits = QStringLiteral("0");
};

// A group of 10,000 members; with `suppressed`, 100,000 numbers on the
// opt-out list that no member has.
QString prepare(Home &home, bool suppressed, qint64 &groupId)
{
    const QString path = home.freshDatabase();
    Data data(Seed);
    try {
        Database::Batch batch;
        groupId = Database::insert(QStringLiteral("INSERT INTO Groups (Name) VALUES ('All members')"));
        for (int i = 0; i < Members; ++i) {
            const qint64 client =
                Database::insert(QStringLiteral("INSERT INTO Clients (LastName, FirstName, Mobile) VALUES (?, ?, ?)"),
                                 {data.word(), data.word(), data.mobileNumber()});
            Database::run(QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"),
                          {groupId, client});
        }
        if (suppressed) {
            Database::Statement add(QStringLiteral(
                "INSERT INTO OptOuts (Number, OptedOutAt, Source) VALUES (?, '2026-01-01T00:00:00Z', 'IMPORT')"));
            for (int i = 0; i < Suppressed; ++i)
                add.run({QStringLiteral("+2765%1").arg(1000000 + i * 37)}); // 65: no member's prefix
        }
        batch.commit();
    } catch (const AppError &error) {
        fail(QStringLiteral("preparing: %1").arg(error.description()));
    }
    Database::close();
    return path;
}

int count(const QString &sql)
{
    return Database::value(sql).toInt();
}

double queueRun(Home &home, const QString &templatePath, qint64 groupId)
{
    home.copyOf(templatePath);
    QElapsedTimer clock;
    clock.start();
    QueueCampaign campaign;
    GroupQueue::queue(groupId, Bodies, {}, &campaign);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (count(QStringLiteral("SELECT count(*) FROM SMSSend")) != Members || campaign.leftOut != 0)
        fail(QStringLiteral("queueing gave %1 rows").arg(count(QStringLiteral("SELECT count(*) FROM SMSSend"))));
    Database::close();
    return seconds;
}

double sendRun(Home &home, const QString &queuedPath)
{
    home.copyOf(queuedPath);
    QuietHost host;
    QElapsedTimer clock;
    clock.start();
    if (!OutboxSender(host).SendOutbox())
        fail(QStringLiteral("the send run stopped early"));
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (count(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Send = 1 AND EventID <> '0'")) != Members)
        fail(QStringLiteral("the send run did not post every row"));
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
    const QString plain = prepare(home, false, groupId);
    const QString listed = prepare(home, true, groupId);
    figure(
        QStringLiteral("suppression data"),
        QStringLiteral("%1 members, %2 numbers on the opt-out list, seed %3").arg(Members).arg(Suppressed).arg(Seed));

    QList<double> queuePlain, queueListed;
    alternate(
        roundCount, [&] { return queueRun(home, plain, groupId); }, [&] { return queueRun(home, listed, groupId); },
        queuePlain, queueListed);

    // The queued outboxes the send runs start from.
    const auto queued = [&](const QString &templatePath) {
        const QString path = home.copyOf(templatePath);
        QueueCampaign campaign;
        GroupQueue::queue(groupId, Bodies, {}, &campaign);
        Database::close();
        return path;
    };
    const QString plainQueued = queued(plain);
    const QString listedQueued = queued(listed);

    Gateway gateway({QStringLiteral("--account"), QStringLiteral("%1:%2:100000000").arg(User, Password)});
    gateway.use(User, Password);
    RunningSetup::useGatewayConnections(4);
    QList<double> sendPlain, sendListed;
    alternate(
        roundCount, [&] { return sendRun(home, plainQueued); }, [&] { return sendRun(home, listedQueued); }, sendPlain,
        sendListed);

    const double qPlain = fastest(queuePlain), qListed = fastest(queueListed);
    const double sPlain = fastest(sendPlain), sListed = fastest(sendListed);
    const QLocale english(QLocale::English);
    const QString members = english.toString(Members), suppressed = english.toString(Suppressed);
    figure(QStringLiteral("queue-group %1, empty list (best of %2)").arg(members).arg(roundCount), qPlain,
           QStringLiteral("s"), 3);
    figure(QStringLiteral("queue-group %1, %2 on the list (best of %3)").arg(members, suppressed).arg(roundCount),
           qListed, QStringLiteral("s"), 3);
    figure(QStringLiteral("queue-group factor"), qListed / qPlain, QStringLiteral("x"), 3);
    figure(QStringLiteral("send run %1 (4 in flight), empty list (best of %2)").arg(members).arg(roundCount), sPlain,
           QStringLiteral("s"), 3);
    figure(QStringLiteral("send run %1 (4 in flight), %2 on the list (best of %3)")
               .arg(members, suppressed)
               .arg(roundCount),
           sListed, QStringLiteral("s"), 3);
    figure(QStringLiteral("send run factor"), sListed / sPlain, QStringLiteral("x"), 3);
    const double worst = std::max(qListed / qPlain, sListed / sPlain);
    figure(QStringLiteral("suppression target"),
           QStringLiteral("within 1.1 x: %1").arg(worst <= 1.1 ? QStringLiteral("met") : QStringLiteral("NOT met")));
    figure(QStringLiteral("suppression ratio"), 1.0 / worst, {}, 3);
    return 0;
}
