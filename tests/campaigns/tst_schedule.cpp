#include "TestSupport.h"

#include "campaigns/Schedule.h"
#include "compose/NumberListQueue.h"
#include "data/Clock.h"
#include "data/Database.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Schedule::Batch;
using Action = Schedule::StartUp::Action;

namespace {

const QDateTime Now(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC);

Batch batch(qint64 id, qint64 minutesFromNow, int unsent = 3, int marketing = 0, bool held = false)
{
    return Batch{id, Now.addSecs(minutesFromNow * 60), u"Group %1"_s.arg(id), held, unsent, marketing};
}

// Queued rows a run may post at the clock's time.
int ready()
{
    return Database::value(u"SELECT count(*) FROM SMSSend WHERE Send = 0 AND "_s + Batches::readyCondition(),
                           Batches::readyValues())
        .toInt();
}

} // namespace

// When a scheduled batch goes: while the program runs, at start-up, and what quitting warns of.
class tst_schedule : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { CampaignClock::set({}); }

    // Stamps are UTC text (their round trip through the office's clock: tst_operatorTime); text order is time
    // order, which the statements rely on; a text of another form is no time.
    void stampsSortAsTimesAndOthersAreNoTime()
    {
        QVERIFY(Batches::stamp(Now.addSecs(-1)) < Batches::stamp(Now));
        QVERIFY(!Batches::parse(u"7 Dec 2026"_s).isValid());
    }

    // One batch at a time: whether a running program sends it now, and what start-up does with it.
    void oneBatchRules()
    {
        const struct
        {
            const char *name;
            Batch batch;
            bool windowOpen;
            bool sendNow;
            Action startUp;
        } cases[] = {
            {"not yet due", batch(1, 10), true, false, Action::Nothing},
            {"due now", batch(1, 0), true, true, Action::Send},
            {"overdue within grace", batch(1, -59), true, true, Action::Send},
            {"overdue beyond grace", batch(1, -61), true, true, Action::Ask},
            {"held", batch(1, -5, 3, 0, true), true, false, Action::Nothing},
            {"all rows attempted", batch(1, -5, 0), true, false, Action::Nothing},
            {"marketing, window closed", batch(1, -5, 3, 3), false, false, Action::Ask},
            {"marketing, window open", batch(1, -5, 3, 3), true, true, Action::Send},
            {"some marketing, window closed", batch(1, -5, 3, 1), false, true, Action::Ask},
        };
        for (const auto &c : cases) {
            QCOMPARE(Schedule::toSendNow({c.batch}, Now, c.windowOpen, {}).size() == 1, c.sendNow);
            QVERIFY2(Schedule::toSendNow({c.batch}, Now, c.windowOpen, {1}).isEmpty(), c.name); // tried already
            const Schedule::StartUp startUp = Schedule::atStartUp({c.batch}, Now, c.windowOpen);
            QVERIFY2(startUp.action == c.startUp, c.name);
            QCOMPARE(startUp.overdue.size(), c.startUp == Action::Nothing ? 0 : 1);
        }
    }

    void startUpAsksWhenAnyOverdueBatchIsPastGrace()
    {
        const QList<Batch> batches{batch(1, -30), batch(2, -90), batch(3, 30), batch(4, -10, 2, 0, true)};
        const Schedule::StartUp startUp = Schedule::atStartUp(batches, Now, true);
        QVERIFY(startUp.action == Action::Ask);
        QCOMPARE(startUp.overdue.size(), 2);
        QCOMPARE(Schedule::overdueQuestion(startUp.overdue),
                 u"These scheduled messages became due while the program was not running:\n\n"
                 "Group 1, 3 messages \u2014 Mon 7 Dec 2026 11:30\nGroup 2, 3 messages \u2014 Mon 7 Dec 2026 10:30\n\n"
                 "Send them now? (No holds them: they stay in the outbox until you release them.)"_s);
        // A longer grace sends them.
        QVERIFY(Schedule::atStartUp(batches, Now, true, 2 * 3600).action == Action::Send);
        QCOMPARE(Schedule::toSendNow(batches, Now, true, {2}), (QList<qint64>{1}));
    }

    void quitWarnsOfBatchesDueWithinTwelveHours()
    {
        const struct
        {
            const char *name;
            Batch batch;
            bool warns;
        } cases[] = {
            {"in 11 h 59", batch(1, 12 * 60 - 1), true},    {"in 12 h 01", batch(1, 12 * 60 + 1), false},
            {"due, not sent", batch(1, -60), true},         {"held", batch(1, 60, 3, 0, true), false},
            {"all rows attempted", batch(1, 60, 0), false},
        };
        for (const auto &c : cases) {
            const QString warning = Schedule::quitWarning({c.batch}, Now);
            QVERIFY2(warning.isEmpty() != c.warns, c.name);
            if (c.warns)
                QVERIFY2(warning.contains(u"Group 1, 3 messages \u2014 "_s + Schedule::localText(c.batch.sendAt)),
                         qPrintable(warning));
        }
        QVERIFY(Schedule::quitWarning({}, Now).isEmpty());
    }

    // A queueing with a send-at time makes one batch for all its rows; its rows wait until it is due and not held.
    void scheduledQueueingWaitsForItsBatch()
    {
        TestHome home;
        CampaignClock::set([] { return Now; });
        queueToNumbers({u"0821111111"_s}, {u"now"_s});
        QueueCampaign campaign;
        campaign.sendAt = Now.addSecs(3600);
        campaign.description = u"Number list"_s;
        QCOMPARE(queueToNumbers({u"0822222222"_s, u"0823333333"_s}, {u"later"_s, u"and more"_s}, {}, &campaign), 2);
        QVERIFY(campaign.batchId != 0);
        QCOMPARE(Database::value(u"SELECT count(*) FROM SendBatches"_s).toInt(), 1);
        QCOMPARE(Database::value(u"SELECT count(*) FROM SMSSend WHERE BatchID = ?"_s, {campaign.batchId}).toInt(), 4);
        QVERIFY(Database::value(u"SELECT BatchID FROM SMSSend WHERE Message = 'now'"_s).isNull());

        const QList<Batch> waiting = Batches::waiting();
        QCOMPARE(waiting.size(), 1);
        QCOMPARE(waiting[0].sendAt, Now.addSecs(3600));
        QCOMPARE(Schedule::describe(waiting[0]), u"Number list, 4 messages"_s);
        QCOMPARE(Database::value(u"SELECT SendAt FROM SendBatches"_s).toString(), u"2026-12-07T11:00:00Z"_s);

        QCOMPARE(ready(), 1);
        CampaignClock::set([] { return Now.addSecs(3599); });
        QCOMPARE(ready(), 1);
        CampaignClock::set([] { return Now.addSecs(3600); });
        QCOMPARE(ready(), 5);
        Batches::hold({campaign.batchId});
        QCOMPARE(ready(), 1);
        QVERIFY(Batches::waiting()[0].held);
        Batches::release(campaign.batchId);
        QCOMPARE(ready(), 5);
        // Rows attempted leave the list of waiting batches.
        Database::run(u"UPDATE SMSSend SET Send = 1"_s);
        QVERIFY(Batches::waiting().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_schedule)
#include "tst_schedule.moc"
