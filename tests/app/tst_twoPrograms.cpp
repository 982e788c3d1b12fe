#include "../gateway/GatewayTestSupport.h"
#include "AppSendRuns.h"
#include "PostgresCluster.h"
#include "QueryRows.h"

#include "gateway/OutboxSender.h"
#include "outbox/Outbox.h"
#include "outbox/SendRuns.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Two programs on one outbox (one SQLite file, or one PostgreSQL database): while one posts, the
// other's Queue Again and Delete leave the rows being sent alone, and no message goes out twice.
class tst_twoPrograms : public QObject
{
    Q_OBJECT

private slots:
    // Program A posts and waits on a slow gateway; program B sees A's rows as being sent by A's
    // machine, not in doubt: Queue Again offers none of them and queues none. Every message reaches
    // the gateway once, and B's own send run afterwards posts nothing.
    void queueAgainLeavesALiveRunsRows()
    {
        GatewaySetup s;
        const QList<qint64> rows = {OutboxRows::queue(u"0821000001"_s), OutboxRows::queue(u"0821000002"_s)};
        s.gateway.admin(u"/admin/latency?ms=1500"_s);
        Database::close(); // the other program gets the SQLite file's lock in turn, as a program would
        SendRun a(s.home.databasePath(), s.gateway.host(), 1);
        QVERIFY2(a.waitUntilPosting(), a.output().constData());

        QCOMPARE(SendRuns::live().values(), QStringList({SendRuns::thisMachine()}));
        QCOMPARE(Outbox::countInDoubt(rows), 0);
        QCOMPARE(Outbox::requeue(rows), 0);
        QVERIFY2(a.finish(), a.output().constData());

        s.gateway.admin(u"/admin/latency?ms=0"_s);
        QVERIFY(OutboxSender(s.host).SendOutbox());
        QCOMPARE(postedKeys(s.gateway), rows);
        QCOMPARE(OutboxRows::states(), QStringList({"5000001", "5000002"}));
        QVERIFY(SendRuns::live().isEmpty());
    }

    // B deletes every row while A posts: the rows A has claimed stay and end up sent, the rest go,
    // and B is told how many stayed.
    void deleteLeavesRowsBeingSent()
    {
        GatewaySetup s;
        const QList<qint64> rows = queueNumbered(u"08220000"_s, 12);
        s.gateway.admin(u"/admin/latency?ms=300"_s);
        Database::close();
        SendRun a(s.home.databasePath(), s.gateway.host(), 1);
        QVERIFY2(a.waitUntilPosting(), a.output().constData());

        QVERIFY(Outbox::anySent(rows));
        const Outbox::Removed removed = Outbox::remove(rows);
        const int claimed = OutboxSender::markAhead(1);
        QCOMPARE(removed.left, claimed);
        QCOMPARE(removed.removed, int(rows.size()) - claimed);
        QVERIFY2(a.finish(), a.output().constData());

        QCOMPARE(OutboxRows::count(), claimed);
        QCOMPARE(postedCustomers(s.gateway).size(), claimed);
        for (const QString &state : OutboxRows::states())
            QVERIFY2(state.startsWith(u"500000"_s), qPrintable(state));
    }

    // Two operators press "Send/Receive" on one shared outbox at the same moment: two programs against one
    // PostgreSQL database and one gateway.
    void twoProgramsSendEveryRowExactlyOnce()
    {
        if (testingServer())
            QSKIP("makes a server database of its own: the run on the file does it");
        constexpr int Rows = 2000;
        TestHome home;
        const QString address = PostgresCluster::newDatabase();
        Database::close();
        Database::use(address);
        {
            Database::Batch batch;
            Database::Statement add(
                u"INSERT INTO SMSSend (Number, Message, SendDate, SendTime) VALUES (?, ?, '2026-01-01', '10:00')"_s);
            for (int i = 0; i < Rows; ++i)
                add.run({u"0821234567"_s, u"Message %1"_s.arg(i)});
            batch.commit();
        }
        Database::close();

        GatewayProcess gateway({u"--account"_s, u"demo:demo:10000"_s});
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        gateway.admin(u"/admin/latency?ms=3"_s); // long enough for the two runs to overlap throughout

        SendRun runs[2] = {{address, gateway.host(), 2}, {address, gateway.host(), 2}};
        QList<int> sentBy;
        for (SendRun &run : runs) {
            QVERIFY2(run.finish(180000), run.output().right(2000).constData());
            sentBy << int(run.output().count("SMS Sent - BatchID"));
        }
        // Both took part: the outbox was split between them, not sent by one while the other waited.
        QVERIFY2(sentBy[0] > 0 && sentBy[1] > 0, qPrintable(u"%1 and %2"_s.arg(sentBy[0]).arg(sentBy[1])));
        QCOMPARE(sentBy[0] + sentBy[1], Rows);

        // Each row once: as many accepted as rows, and as many different ones.
        const QStringList accepted = acceptedCustomers(gateway);
        QCOMPARE(accepted.size(), Rows);
        QCOMPARE(QSet<QString>(accepted.begin(), accepted.end()).size(), Rows);

        Database::use(address);
        QCOMPARE(queryCount(u"SELECT count(*) FROM SMSSend WHERE Send <> 0 AND InFlight = 0 AND EventID <> '0'"_s),
                 Rows);
        Database::close();
    }
};

QTEST_GUILESS_MAIN(tst_twoPrograms)
#include "tst_twoPrograms.moc"
