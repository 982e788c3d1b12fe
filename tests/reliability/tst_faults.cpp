#include "AppSendRuns.h"
#include "GatewayTestSupport.h"

#include "gateway/GatewayClient.h"
#include "gateway/OutboxSender.h"
#include "gateway/RepliesRetrieval.h"
#include "gateway/StatusRetrieval.h"

#include <QSet>
#include <QTest>

namespace {

// What the outbox holds before every run: two sent rows the gateway's report calls delivered, three queued.
struct Outbox
{
    QList<qint64> sent;
};

Outbox fillOutbox(const GatewayProcess &gateway)
{
    Outbox rows;
    for (int i = 0; i < 2; ++i) {
        rows.sent << OutboxRows::add({.number = QStringLiteral("0821110000"),
                                      .message = QStringLiteral("old"),
                                      .send = true,
                                      .eventId = QStringLiteral("77")});
        gateway.admin(QStringLiteral("/admin/report?user=demo&flag=TRUE&customer=%1").arg(rows.sent.last()));
    }
    queueNumbered(QStringLiteral("08222200"), 3);
    gateway.admin(
        QStringLiteral("/admin/reply?user=demo&id=R1&from=0821110000&text=Yes&customer=%1").arg(rows.sent[0]));
    return rows;
}

// A million entries the readers must pass over (they lack the children a run reads), then one whole one.
void scriptMillion(const GatewayProcess &gateway, const QString &type, const QString &root, const QString &entry,
                   const QString &last)
{
    gateway.admin(QStringLiteral("/admin/script?type=%1&count=1&repeat=1000000&prefix=%2&body=%3&suffix=%4")
                      .arg(type, encodedForAdmin(QStringLiteral("<%1>").arg(root)), encodedForAdmin(entry),
                           encodedForAdmin(last + QStringLiteral("</%1>").arg(root))));
}

} // namespace

// Every gateway cycle against every way the gateway can fail it: what the outbox and the inbox hold
// afterwards, row by row, and what the operator was shown.
class tst_faults : public QObject
{
    Q_OBJECT

private slots:
    void init() { GatewayClient::setDefaultTimeout(700); }
    void cleanup() { GatewayClient::setDefaultTimeout(GatewayClient::DefaultTimeoutMs); }

    void cycleUnderFault_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("states");     // outbox rows in key order (OutboxRows::states)
        QTest::addColumn<QStringList>("deliveries"); // of the two sent rows
        QTest::addColumn<QStringList>("replies");    // IncomingIDs stored
        QTest::addColumn<QString>("shown");          // the error box's text holds this; empty: no box

        const QStringList untouched = {"77", "77", "queued", "queued", "queued"};
        const QStringList notDelivered = {"not delivered/", "not delivered/"};
        const QStringList delivered = {"delivered/1", "delivered/2"};
        // The send run: the fault hits the messages after the first. The replies the run fetches
        // before its first message are stored.
        const QStringList fetchedFirst = {"R1"};
        const QStringList firstSent = {"77", "77", "5000001", "queued", "queued"};
        const QStringList firstInDoubt = {"77", "77", "5000001", "in flight", "in flight"};
        const QStringList firstThenRefused = {"77", "77", "5000001", "0", "0"};
        QTest::newRow("send/not listening")
            << "down" << firstSent << notDelivered << fetchedFirst << "could not be reached";
        QTest::newRow("send/reset") << "drop" << firstInDoubt << notDelivered << fetchedFirst << "broke off";
        QTest::newRow("send/stall") << "hang" << firstInDoubt << notDelivered << fetchedFirst << "did not answer";
        // An error page is an answer: the message was refused and shows as FAILED.
        QTest::newRow("send/500") << "error500" << firstThenRefused << notDelivered << fetchedFirst << "";
        QTest::newRow("send/not xml") << "not-xml" << firstThenRefused << notDelivered << fetchedFirst << "";
        QTest::newRow("send/truncated") << "truncate" << firstInDoubt << notDelivered << fetchedFirst << "broke off";
        // A million-entry document is no batch number: that message is refused, the next goes out.
        QTest::newRow("send/million") << "million" << QStringList{"77", "77", "5000001", "0", "5000002"} << notDelivered
                                      << fetchedFirst << "";
        QTest::newRow("send/refused") << "refuse" << firstThenRefused << notDelivered << fetchedFirst << "";
        // The run stops at the first message refused for want of credits.
        QTest::newRow("send/credits out")
            << "credits" << QStringList{"77", "77", "5000001", "0", "queued"} << notDelivered << fetchedFirst << "";

        // The status run and the replies run: the fault hits their requests from the start. A failed
        // request counts as an empty answer: nothing changes, no box. Refusals and credits concern
        // messages only: those runs read the report and the replies as usual.
        for (const char *fault : {"down", "drop", "hang", "error500", "not-xml", "truncate", "refuse", "credits"}) {
            QTest::addRow("status/%s", fault)
                << fault << untouched
                << (QByteArray(fault) == "refuse" || QByteArray(fault) == "credits" ? delivered : notDelivered)
                << QStringList{} << "";
            QTest::addRow("replies/%s", fault)
                << fault << untouched << notDelivered
                << (QByteArray(fault) == "refuse" || QByteArray(fault) == "credits" ? QStringList{"R1"} : QStringList{})
                << "";
        }
        QTest::newRow("status/million") << "million" << untouched << QStringList{"delivered/1000001", "not delivered/"}
                                        << QStringList{} << "";
        QTest::newRow("replies/million") << "million" << untouched << notDelivered << QStringList{"LAST"} << "";
    }
    void cycleUnderFault()
    {
        const QString cycle = QString::fromLatin1(QTest::currentDataTag()).section(u'/', 0, 0);
        QFETCH(QString, fault);
        QFETCH(QString, shown);
        GatewaySetup s(1000, QStringLiteral("0"));
        const Outbox rows = fillOutbox(s.gateway);
        const QList<QVariantMap> before = OutboxRows::all();

        const QString type = cycle == "send" ? "SingleSMS" : cycle == "status" ? "Sent" : "replies";
        auto applyFault = [&] {
            if (fault == "down")
                s.gateway.stop();
            else if (fault == "credits")
                s.gateway.admin(QStringLiteral("/admin/account?user=demo&credits=0"));
            else if (fault == "million" && cycle == "send")
                scriptMillion(s.gateway, type, "sent", "<msg/>", "");
            else if (fault == "million" && cycle == "status")
                scriptMillion(
                    s.gateway, type, "sent", "<msg><t>1</t></msg>",
                    QStringLiteral("<msg><t>1000001</t><a/><b/><c/><d/><f>TRUE</f><c>%1</c></msg>").arg(rows.sent[0]));
            else if (fault == "million")
                scriptMillion(s.gateway, type, "replies", "<reply><id>X</id></reply>",
                              "<reply><i>LAST</i><s/><f>1</f><t>x</t><r/><m/><d/><c>5</c></reply>");
            else
                s.gateway.admin(QStringLiteral("/admin/fault?mode=%1&types=%2").arg(fault, type));
        };

        if (cycle == "send") {
            // The fault comes once the first message was answered (replies fetched before the
            // run yield too).
            bool applied = false;
            s.host.onYield = [&] {
                if (!applied && s.host.statuses.join(u'|').contains(QStringLiteral("5000001"))) {
                    applied = true;
                    applyFault();
                }
            };
            OutboxSender(s.host).SendOutbox();
        } else {
            applyFault();
            if (cycle == "status")
                StatusRetrieval(s.host).FetchStatusReports();
            else
                RepliesRetrieval(s.host).FetchReplies();
        }

        // Every row still there with its number and text, and a row marked with a batch number accepted by the
        // gateway, once. The counts scripts/reliability tabulates are worked out before anything is asserted.
        const QList<QVariantMap> after = OutboxRows::all();
        const QStringList accepted = fault == "down" ? QStringList() : acceptedCustomers(s.gateway);
        QFETCH(QStringList, states);
        const QStringList found = OutboxRows::states();
        qsizetype lost = before.size() - after.size(), wrong = 0;
        for (qsizetype i = 0; i < std::max(found.size(), states.size()); ++i)
            wrong += found.value(i) != states.value(i);
        for (qsizetype i = 0; i < std::min(after.size(), before.size()); ++i) {
            const bool marked = !QStringList{"in flight", "queued", "0", "77", ""}.contains(found[i]);
            lost += after[i]["Number"] != before[i]["Number"] || after[i]["Message"] != before[i]["Message"]
                    || (marked && fault != "down" && !accepted.contains(after[i]["SMSSendID"].toString()));
        }
        const qsizetype twice = accepted.size() - QSet<QString>(accepted.begin(), accepted.end()).size();
        qInfo("RELIABILITY|fault: %s run|%s|3|%lld|%lld|%lld", qPrintable(cycle), qPrintable(fault), qint64(lost),
              qint64(twice), qint64(wrong));
        QCOMPARE(found, states);
        QTEST(deliveries().mid(0, 2), "deliveries");
        QTEST(queryValues(QStringLiteral("SELECT IncomingID FROM SMSReplies ORDER BY SMSReplyID")), "replies");
        QCOMPARE(lost, 0);
        QCOMPARE(twice, 0);
        // The operator: one error box saying why, or none; the status line says how it ended.
        if (shown.isEmpty()) {
            QVERIFY2(s.host.titles.filter("ERROR").isEmpty(), qPrintable(s.host.texts.join('|')));
        } else {
            QCOMPARE(s.host.titles.filter("ERROR").size(), 1);
            QVERIFY2(s.host.texts.join('|').contains(shown), qPrintable(s.host.texts.join('|')));
            QCOMPARE(s.host.lastStatus(), "ERROR");
        }
        QCOMPARE(s.host.busyDepth, 0);
    }
};

QTEST_GUILESS_MAIN(tst_faults)
#include "tst_faults.moc"
