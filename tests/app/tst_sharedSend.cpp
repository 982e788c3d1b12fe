#include "../gateway/GatewayTestSupport.h"
#include "AppSendRuns.h"
#include "PostgresCluster.h"
#include "QueryRows.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Two operators press "Send/Receive" on one shared outbox at the same moment:
// two programs against one PostgreSQL database and one gateway.
class tst_sharedSend : public QObject
{
    Q_OBJECT

private slots:

    void twoProgramsSendEveryRowExactlyOnce()
    {
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

QTEST_GUILESS_MAIN(tst_sharedSend)
#include "tst_sharedSend.moc"
