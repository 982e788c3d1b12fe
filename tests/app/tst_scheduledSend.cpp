#include "AppScenes.h"

#include "campaigns/Schedule.h"
#include "compose/ComposerBlock.h"
#include "compose/NumberListQueue.h"
#include "compose/frmImport.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "data/Clock.h"
#include "data/Database.h"
#include "gateway/GatewayCycles.h"
#include "gateway/OutboxSender.h"
#include "outbox/Batches.h"
#include "settings/RunningSetup.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QDateTime Start(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC);

// Queues one message to each number as a batch sent at `at`; gives its rows' keys.
QList<qint64> scheduled(const QStringList &numbers, const QDateTime &at, const QString &what, qint64 *batch = nullptr,
                        bool marketing = false)
{
    QueueCampaign campaign;
    campaign.marketing = marketing;
    campaign.sendAt = at;
    campaign.description = what;
    const qint64 before = OutboxRows::count();
    queueToNumbers(numbers, {u"Meeting at ten"_s}, {}, &campaign);
    if (batch)
        *batch = campaign.batchId;
    QList<qint64> keys;
    for (const QVariantMap &row : OutboxRows::all().mid(before))
        keys << row[u"SMSSendID"_s].toLongLong();
    return keys;
}

} // namespace

// Scheduled batches against the real gateway: no send path posts one early, the main window sends it
// when due and exactly once (also across restarts), start-up asks about overdue batches, quitting
// warns of batches due soon, and the queueing windows make the batch.
class tst_scheduledSend : public QObject
{
    Q_OBJECT

    QDateTime now = Start;

private slots:
    void init()
    {
        now = Start;
        CampaignClock::set([this] { return now; });
    }
    void cleanup()
    {
        CampaignClock::set({});
        RunningSetup::useGatewayConnections(1);
    }

    // Several messages in flight: a run before the batch's time posts only the ordinary rows, a run
    // after it posts the batch once; a held batch is never posted.
    void runPostsABatchOnlyWhenDue()
    {
        GatewaySetup s(1000, u"100"_s);
        RunningSetup::useGatewayConnections(4);
        const qint64 plain = OutboxRows::queue(u"0821111111"_s);
        qint64 batch = 0;
        const QList<qint64> later = scheduled({u"0822222222"_s, u"0823333333"_s, u"0824444444"_s}, Start.addSecs(3600),
                                              u"Group Friends"_s, &batch);
        qint64 heldBatch = 0;
        const QList<qint64> held = scheduled({u"0825555555"_s}, Start.addSecs(-60), u"Held"_s, &heldBatch);
        Batches::hold({heldBatch});

        OutboxSender sender(s.host);
        QCOMPARE(sender.CountQueued(), 1);
        QVERIFY(sender.SendOutbox());
        QCOMPARE(postedKeys(s.gateway), QList<qint64>{plain});
        sender.SendBatches({batch});
        QCOMPARE(postedKeys(s.gateway), QList<qint64>());

        now = Start.addSecs(3600);
        QCOMPARE(sender.CountQueued(), 3);
        QVERIFY(sender.SendBatches({batch}));
        QCOMPARE(postedKeys(s.gateway), later);
        QVERIFY(sender.SendOutbox());
        QCOMPARE(postedKeys(s.gateway), QList<qint64>());
        QCOMPARE(OutboxRows::states().last(), u"queued"_s); // the held batch's row
    }

    // The main window sends a batch when its time comes, once (across a restart too: the test after this one).
    // Quitting before it went asks; No keeps the program running.
    void batchSendsWhenDueAndOnce()
    {
        GatewaySetup s;
        ScriptedMessageBoxes boxes;
        const QList<qint64> first =
            scheduled({u"0821111111"_s, u"0822222222"_s, u"0823333333"_s}, Start.addSecs(600), u"Group Friends"_s);
        frmMain window;
        window.show();
        window.checkOverdueBatches();
        QVERIFY(!window.sendDueBatches());
        QCOMPARE(outboxCell(window, first[0]).data(Qt::ToolTipRole).toString(),
                 Schedule::scheduledToolTip(Start.addSecs(600)));
        QVERIFY(!window.close());
        QCOMPARE(boxes.titles(), QStringList{u"SCHEDULED"_s}); // its text: tst_schedule
        QVERIFY(window.isVisible());

        now = Start.addSecs(600);
        QVERIFY(window.sendDueBatches());
        QCOMPARE(postedKeys(s.gateway), first);
        QVERIFY(!window.sendDueBatches());
        QVERIFY(outboxCell(window, first[0]).data(Qt::ToolTipRole).toString().isEmpty());
        QVERIFY(window.close()); // nothing waits: no question
        QCOMPARE(boxes.count(), 1);
    }

    // A batch queued before quitting (after the warning) and due while the program was closed goes at the next
    // start within the grace period, without a question, and once.
    void batchDueWhileClosedGoesAtTheNextStart()
    {
        GatewaySetup s;
        ScriptedMessageBoxes boxes;
        const QList<qint64> keys = scheduled({u"0824444444"_s, u"0825555555"_s}, now.addSecs(7200), u"Number list"_s);
        {
            frmMain window;
            window.show();
            boxes.answer(QMessageBox::Yes);
            QVERIFY(window.close());
        }
        now = now.addSecs(7200 + 1800);
        for (const QList<qint64> &posted : {keys, QList<qint64>()}) {
            Database::close();
            frmMain window;
            window.checkOverdueBatches();
            QVERIFY(!window.sendDueBatches());
            QCOMPARE(postedKeys(s.gateway), posted);
        }
        QCOMPARE(boxes.count(), 1);
    }

    // Overdue past the grace period: start-up asks. No holds the batch (its own look, no run sends it)
    // until it is released; Yes sends at once.
    void startUpAsksAboutOverdueBatches()
    {
        GatewaySetup s;
        ScriptedMessageBoxes boxes;
        const QDateTime due = Start.addSecs(-3 * 3600);
        const QList<qint64> keys = scheduled({u"0821111111"_s, u"0822222222"_s}, due, u"Group Friends"_s);
        {
            frmMain window;
            window.show();
            boxes.answer(QMessageBox::No);
            window.checkOverdueBatches();
            QCOMPARE(boxes.titles(), QStringList{u"SCHEDULED"_s});
            QCOMPARE(boxes.last().buttons, QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(postedKeys(s.gateway), QList<qint64>());
            QCOMPARE(outboxCell(window, keys[1]).data(Qt::ToolTipRole).toString(), Schedule::heldToolTip(due));
            window.resize(1000, 640);
            saveScreenshot(&window, u"frmMain-held"_s);
            QVERIFY(window.cycles().SendReceive());
            QVERIFY(!window.sendDueBatches());
            QCOMPARE(postedKeys(s.gateway), QList<qint64>());

            auto *grid = window.findChild<QTableView *>(u"grdOutbox"_s);
            grid->selectRow(outboxCell(window, keys[0]).row());
            window.grdOutbox_ReleaseBatch();
            QVERIFY(window.sendDueBatches());
            QCOMPARE(postedKeys(s.gateway), keys);
        }
        const QList<qint64> more = scheduled({u"0823333333"_s}, due, u"Number list"_s);
        boxes.clear();
        {
            frmMain window;
            boxes.answer(QMessageBox::Yes);
            window.checkOverdueBatches();
            QCOMPARE(boxes.titles(), QStringList{u"SCHEDULED"_s});
            QCOMPARE(postedKeys(s.gateway), more);
        }
    }

    // Marketing messages of a due batch wait for the sending window before a run starts; a run that
    // could not send (no credits) is not started again at every check.
    void automaticRunWaitsForTheWindowAndIsNotRepeated()
    {
        GatewaySetup s(0);
        ScriptedMessageBoxes boxes;
        now = QDateTime(QDate(2026, 12, 6), QTime(10, 0), Qt::UTC); // a Sunday
        scheduled({u"0821111111"_s}, now.addSecs(-60), u"Offer"_s, nullptr, true);
        frmMain window;
        QVERIFY(!window.sendDueBatches());
        QCOMPARE(takeRequests(s.gateway), QStringList());
        now = Start; // Monday noon
        QVERIFY(window.sendDueBatches());
        QCOMPARE(boxes.titles(), QStringList{u"CREDITS"_s});
        QVERIFY(!window.sendDueBatches());
        QCOMPARE(boxes.count(), 1);
    }

    // "Send at" in a queueing window: off by default; checked, the rows belong to a batch at that time
    // (entered in the office's time, stored in UTC).
    void queueingWindowMakesTheBatch()
    {
        TestHome home;
        ScriptedMessageBoxes boxes;
        frmSendToGroupNo window;
        window.resize(760, 560);
        window.show();
        auto *check = window.findChild<QCheckBox *>(u"chkSendAt"_s);
        auto *edit = window.findChild<QDateTimeEdit *>(u"dtpSendAt"_s);
        QVERIFY(check && edit);
        QVERIFY(!check->isChecked());
        QVERIFY(!edit->isEnabled());
        typeNumbers(&window, {u"0821111111"_s, u"0822222222"_s});
        window.findChild<ComposerBlock *>()->setBody(1, u"Hello"_s);
        QTest::mouseClick(window.findChild<QPushButton *>(u"cmdSend"_s), Qt::LeftButton);
        QCOMPARE(OutboxRows::count(), 2);
        QVERIFY(Batches::waiting().isEmpty());

        check->setChecked(true);
        QVERIFY(edit->isEnabled());
        QVERIFY(edit->dateTime() > now);
        edit->setDate(QDate(2026, 12, 8));
        edit->setTime(QTime(9, 30));
        saveScreenshot(&window, u"frmSendToGroupNo-sendAt"_s);
        QTest::mouseClick(window.findChild<QPushButton *>(u"cmdSend"_s), Qt::LeftButton);
        const QList<Batches::Batch> waiting = Batches::waiting();
        QCOMPARE(waiting.size(), 1);
        QCOMPARE((QStringList{Batches::stamp(waiting[0].sendAt), waiting[0].description,
                              QString::number(waiting[0].unsent)}),
                 (QStringList{"2026-12-08T07:30:00Z", "Number list", "2"}));

        frmSendToSingle single;
        single.show();
        saveScreenshot(&single, u"frmSendToSingle-sendAt"_s);
        frmImport import;
        import.show();
        QVERIFY(import.findChild<QCheckBox *>(u"chkSendAt"_s));
        saveScreenshot(&import, u"frmImport-sendAt"_s);
    }
};

QTEST_MAIN(tst_scheduledSend)
#include "tst_scheduledSend.moc"
