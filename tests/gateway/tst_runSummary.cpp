#include "GatewayTestSupport.h"

#include "gateway/GatewayClient.h"
#include "gateway/GatewayCycles.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// What a Send/Receive says when it ends, against each way the gateway can fail it: which step
// failed and with what words, and what became of the queued messages.
class tst_runSummary : public QObject
{
    Q_OBJECT

private slots:
    void init() { GatewayClient::setDefaultTimeout(700); }
    void cleanup() { GatewayClient::setDefaultTimeout(GatewayClient::DefaultTimeoutMs); }

    void sendReceiveEndsSayingWhatHappened_data()
    {
        QTest::addColumn<QString>("fault");     // an admin fault query, or "down"
        QTest::addColumn<int>("credits");       // the account's balance
        QTest::addColumn<bool>("sendPart");     // the answer to "send only what credits allow?"
        QTest::addColumn<QStringList>("boxes"); // titles of the boxes shown
        QTest::addColumn<QString>("status");    // the status afterwards, as a pattern

        const QString gateway = u"The gateway at 127\\.0\\.0\\.1:\\d+ "_s;
        const QString ready = QRegularExpression::escape(u"Done. Ready ..."_s);
        QTest::newRow("not listening") << "down" << 1000 << false << QStringList{"ERROR"}
                                       << u"3 left queued — Delivery reports, Replies, Credits: "_s + gateway
                                              + u"could not be reached: .+"_s;
        QTest::newRow("HTTP 500 for Credits")
            << "mode=error500&types=Credits" << 1000 << false << QStringList{"ERROR"}
            << u"3 left queued — Credits: "_s + gateway + u"answered with HTTP status 500: Runtime Error"_s;
        QTest::newRow("not XML")
            << "mode=not-xml" << 1000 << false << QStringList{"ERROR"}
            << u"3 left queued — Delivery reports, Replies: The gateway's answer is not XML: Service Unavailable; "
               "Credits: The gateway's answer is not a credit balance: Service Unavailable"_s;
        QTest::newRow("one refused") << "mode=refuse&customers=2" << 1000 << false << QStringList{}
                                     << ready + u" 2 sent, 1 refused \\(Service temporarily unavailable\\)"_s;
        QTest::newRow("no credits") << "" << 0 << false << QStringList{"CREDITS"}
                                    << u"3 left queued — Credits: the balance is 0"_s;
        QTest::newRow("credits for two, sent")
            << "" << 2 << true << QStringList{"CREDITS", "SEND?"} << ready + u" 2 sent, 1 left queued"_s;
        QTest::newRow("credits for two, declined")
            << "" << 2 << false << QStringList{"CREDITS", "SEND?"} << ready + u" 3 left queued"_s;
    }
    void sendReceiveEndsSayingWhatHappened()
    {
        QFETCH(QString, fault);
        QFETCH(int, credits);
        QFETCH(bool, sendPart);
        GatewaySetup s(credits);
        for (int i = 0; i < 3; ++i)
            OutboxRows::queue(QStringLiteral("082222000%1").arg(i));
        if (fault == "down")
            s.gateway.stop();
        else if (!fault.isEmpty())
            s.gateway.admin(u"/admin/fault?"_s + fault);
        s.host.answers.enqueue(sendPart);

        GatewayCycles cycles(s.host);
        QVERIFY(cycles.SendReceive());

        QTEST(s.host.titles, "boxes");
        QFETCH(QString, status);
        QVERIFY2(QRegularExpression(u"^"_s + status + u"$"_s).match(s.host.lastStatus()).hasMatch(),
                 qPrintable(s.host.lastStatus()));
    }
};

QTEST_MAIN(tst_runSummary)
#include "tst_runSummary.moc"
