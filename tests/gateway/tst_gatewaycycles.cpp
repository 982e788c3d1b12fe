#include "GatewayTestSupport.h"

#include "data/Database.h"
#include "gateway/GatewayClient.h"
#include "gateway/GatewayCycles.h"

#include <QSignalSpy>
#include <QTest>

namespace {

void queueRow()
{
    Database::insert(QStringLiteral("INSERT INTO SMSSend (Number, Message) VALUES ('0821234567', 'hello')"));
}

} // namespace

// The three command-bar sequences and the guard against a second cycle.
class TestGatewayCycles : public QObject
{
    Q_OBJECT

private slots:
    void sequences_data()
    {
        QTest::addColumn<QString>("cycle");
        QTest::addColumn<QStringList>("types");
        QTest::newRow("Send/Receive") << "SendReceive"
                                      << QStringList{"Sent", "Credits", "SingleSMS", "replies"};
        QTest::newRow("Send Now") << "SendNow" << QStringList{"Credits", "SingleSMS", "Sent"};
        QTest::newRow("Receive Now") << "ReceiveNow" << QStringList{"Sent", "replies"};
    }
    void sequences()
    {
        QFETCH(QString, cycle);
        QFETCH(QStringList, types);
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        queueRow();
        ScriptedCycleHost host;
        GatewayCycles cycles(host);
        QSignalSpy running(&cycles, &GatewayCycles::runningChanged);
        QVERIFY(!cycles.isRunning());
        const bool ran = cycle == QStringLiteral("SendReceive") ? cycles.SendReceive()
                         : cycle == QStringLiteral("SendNow")   ? cycles.SendNow()
                                                                : cycles.ReceiveNow();
        QVERIFY(ran);
        QCOMPARE(requestTypes(takeRequests(gateway)), types);
        QCOMPARE(running.size(), 2);
        QCOMPARE(running[0][0].toBool(), true);
        QCOMPARE(running[1][0].toBool(), false);
        QVERIFY(!cycles.isRunning());
        QCOMPARE(host.lastStatus(), QStringLiteral("Done. Ready ..."));
        QCOMPARE(host.busyDepth, 0);
    }

    // A step that stops early does not stop the steps after it.
    void laterStepsRunAfterAnEarlyStop()
    {
        TestHome home;
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:0")});
        QVERIFY(gateway.isRunning());
        gateway.use();
        queueRow();
        ScriptedCycleHost host;
        GatewayCycles cycles(host);
        QVERIFY(cycles.SendNow());
        QCOMPARE(requestTypes(takeRequests(gateway)), QStringList({QStringLiteral("Credits"), QStringLiteral("Sent")}));
        QCOMPARE(host.titles(), QStringList({QStringLiteral("CREDITS")}));

        // a gateway that cannot be reached: the send shows its one error, the rest runs quietly
        gateway.stop();
        host.credits = QStringLiteral("10");
        host.boxes.clear();
        QVERIFY(cycles.SendReceive());
        QCOMPARE(host.titles(), QStringList({QStringLiteral("ERROR")}));
        QCOMPARE(host.lastStatus(), QStringLiteral("Done. Ready ..."));
        QVERIFY(!cycles.isRunning());
    }

    // While a cycle lets the window process events, no other cycle can start.
    void secondCycleRefused()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        for (int i = 0; i < 3; ++i)
            queueRow();
        ScriptedCycleHost host;
        host.credits = QStringLiteral("10");
        GatewayCycles cycles(host);
        QList<bool> started;
        QList<bool> runningInside;
        host.onYield = [&] {
            runningInside.append(cycles.isRunning());
            started.append(cycles.SendNow());
            started.append(cycles.ReceiveNow());
            started.append(cycles.SendReceive());
        };
        QVERIFY(cycles.SendReceive());
        QCOMPARE(runningInside, QList<bool>({true, true, true}));
        QCOMPARE(started, QList<bool>(9, false));
        QCOMPARE(requestTypes(takeRequests(gateway)),
                 QStringList({QStringLiteral("Sent"), QStringLiteral("SingleSMS"), QStringLiteral("SingleSMS"),
                              QStringLiteral("SingleSMS"), QStringLiteral("replies")}));
        host.onYield = nullptr;
        QVERIFY(cycles.ReceiveNow()); // free again afterwards
    }
};

QTEST_GUILESS_MAIN(TestGatewayCycles)
#include "tst_gatewaycycles.moc"
