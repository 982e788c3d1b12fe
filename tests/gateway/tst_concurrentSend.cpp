#include "GatewayTestSupport.h"

#include "data/Database.h"
#include "gateway/GatewayClient.h"
#include "gateway/OutboxSender.h"
#include "settings/RunningSetup.h"
#include "settings/Settings.h"
#include "settings/cRegistry.h"

#include <QJsonObject>
#include <QTest>

#include <algorithm>

namespace {

struct Received
{
    QString customer;
    qint64 at = 0;
};

// The SingleSMS requests the gateway received, in the order it received them; clears its log.
QList<Received> received(const GatewayProcess &gateway)
{
    QList<Received> list;
    for (const QJsonValue &request : adminArray(gateway, QStringLiteral("/admin/requests"))) {
        const QString target = request[QStringLiteral("target")].toString();
        if (target.contains(QStringLiteral("Type=SingleSMS&")))
            list.append({requestParameters({target}, QStringLiteral("CustomerID")).first(),
                         qint64(request[QStringLiteral("received")].toDouble())});
    }
    gateway.admin(QStringLiteral("/admin/clear-requests"));
    return list;
}

struct Pace
{
    int connections;
    int perSecond;
    Pace(int n, int rate = 0)
        : connections(RunningSetup::gatewayConnections()), perSecond(RunningSetup::gatewayMessagesPerSecond())
    {
        RunningSetup::useGatewayConnections(n);
        RunningSetup::useGatewayMessagesPerSecond(rate);
    }
    ~Pace()
    {
        RunningSetup::useGatewayConnections(connections);
        RunningSetup::useGatewayMessagesPerSecond(perSecond);
    }
};

// `count` messages to one number queued, the gateway answering after 10 ms; their keys.
QList<qint64> queueAtTenMs(GatewaySetup &s, int count)
{
    s.gateway.admin(QStringLiteral("/admin/latency?ms=10"));
    QList<qint64> keys;
    for (int i = 0; i < count; ++i)
        keys << OutboxRows::queue(QStringLiteral("0821234567"));
    return keys;
}

} // namespace

// Sending with several messages in flight: the same outcome as one at a time, exact credits, the rate
// limit.
class tst_concurrentSend : public QObject
{
    Q_OBJECT

private slots:
    void init() { GatewayClient::setDefaultTimeout(GatewayClient::DefaultTimeoutMs); }

    // The same queue, with refusals, a number that cannot be normalised, a message without text and a
    // dropped connection, reads the same after a run with one and with four messages in flight: each
    // accepted row holds the batch the gateway gave that very message, each message was posted once,
    // the dropped one stays in flight, and the run goes on after it and ends with one error box.
    void sameOutboxWithOneOrFourInFlight()
    {
        QList<QStringList> outboxes;
        for (const int connections : {1, 4}) {
            GatewaySetup s(1000, "0");
            const Pace pace(connections);
            s.gateway.admin(QStringLiteral("/admin/latency?ms=5"));
            s.gateway.admin(QStringLiteral("/admin/fault?mode=refuse&customers=3,12,13"));
            s.gateway.admin(QStringLiteral("/admin/fault?mode=drop&customers=9"));
            for (int i = 1; i <= 30; ++i)
                OutboxRows::queue(i == 6 ? QStringLiteral("7")
                                         : QStringLiteral("08200000%1").arg(i, 2, 10, QLatin1Char('0')),
                                  i == 17 ? QStringLiteral("  ") : QStringLiteral("message %1").arg(i));
            QVERIFY(!OutboxSender(s.host).SendOutbox());

            const QStringList posted = postedCustomers(s.gateway);
            QCOMPARE(posted.size(), 28); // all but the unusable number and the empty text
            QCOMPARE(QSet<QString>(posted.begin(), posted.end()).size(), 28);
            const QHash<QString, QString> taken = acceptedBatches(s.gateway);
            // Keys run from 1 in a new database.
            QStringList outbox = OutboxRows::states();
            for (qsizetype i = 0; i < outbox.size(); ++i)
                if (outbox[i] != "in flight" && outbox[i] != "queued" && outbox[i] != "0")
                    outbox[i] = taken.value(QString::number(i + 1)) == outbox[i] ? "its batch" : "batch of another";
            outboxes << outbox;
            QCOMPARE(s.host.titles, QStringList({"ERROR"}));
            QVERIFY2(s.host.texts[0].contains("1 message got no answer"), qPrintable(s.host.texts[0]));
            QCOMPARE(s.host.progress.size(), 31);
            QCOMPARE(s.host.progress[29], qMakePair(30, 30));
            QCOMPARE(s.host.statuses.count("SMS NOT sent : FALSE: Service temporarily unavailable"), 3);
        }
        QCOMPARE(outboxes[1], outboxes[0]);
        QCOMPARE(outboxes[0].count("its batch"), 24);
        QCOMPARE(outboxes[0].count("0"), 5);
        QCOMPARE(outboxes[0].count("in flight"), 1);
        QCOMPARE(outboxes[0].indexOf("in flight"), 8); // key 9
    }

    // Rows the operator deletes while a run sends them, claimed or not yet, are not posted, and
    // nothing is left half-marked: the one message on its way is the only one the gateway gets.
    void rowsDeletedDuringTheRunAreNotPosted()
    {
        GatewaySetup s(1000, "0");
        const Pace pace(1);
        s.gateway.admin(QStringLiteral("/admin/latency?ms=30"));
        for (int i = 1; i <= 20; ++i)
            OutboxRows::queue(QStringLiteral("08200000%1").arg(i, 2, 10, QLatin1Char('0')));
        QString first;
        s.host.onStatus = [&](const QString &text) {
            if (first.isEmpty() && text.startsWith(QStringLiteral("Sending SMS to "))) {
                first = text.section(QLatin1Char(' '), 3, 3);
                Database::run(QStringLiteral("DELETE FROM SMSSend WHERE Number <> ?"), {first});
            }
        };
        OutboxSender(s.host).SendOutbox();
        QVERIFY(!first.isEmpty());
        const QStringList posted = postedCustomers(s.gateway);
        QCOMPARE(posted.size(), 1);
        const QList<QVariantMap> rows = OutboxRows::all();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][QStringLiteral("SMSSendID")].toString(), posted[0]);
        QCOMPARE(rows[0][QStringLiteral("InFlight")].toLongLong(), 0);
        QCOMPARE(rows[0][QStringLiteral("EventID")].toString(), acceptedBatches(s.gateway).value(posted[0]));
    }

    // With several in flight, credits that run out during the run: the first refusal for lack of credits stops
    // new messages (only those already in flight follow it), every message in flight is marked from its answer,
    // the rest stays queued. (A balance below the queue at the start: tst_outboxSender.)
    void creditsRunningOutStopTheRun()
    {
        GatewaySetup s(100, "0");
        const Pace pace(4);
        const QList<qint64> keys = queueAtTenMs(s, 40);
        s.host.onYield = [&] {
            if (s.host.yields == 1)
                s.gateway.admin(QStringLiteral("/admin/account?user=demo&password=demo&credits=0"));
        };
        QVERIFY(!OutboxSender(s.host).SendOutbox());

        const QStringList posted = postedCustomers(s.gateway);
        QCOMPARE(QSet<QString>(posted.begin(), posted.end()).size(), posted.size());
        const QStringList states = OutboxRows::states();
        QCOMPARE(states.count("in flight"), 0);
        QCOMPARE(states.count("queued"), 40 - posted.size());
        const QHash<QString, QString> taken = acceptedBatches(s.gateway);
        for (const QString &customer : posted)
            QCOMPARE(states[keys.indexOf(customer.toLongLong())], taken.value(customer, QStringLiteral("0")));
        const auto firstRefused = std::find_if(posted.begin(), posted.end(), [&](const QString &customer) {
            return states[keys.indexOf(customer.toLongLong())] == QStringLiteral("0");
        });
        QVERIFY(firstRefused != posted.end());
        QVERIFY2(posted.end() - firstRefused <= 4, qPrintable(posted.join(' ')));
        QCOMPARE(s.host.titles.last(), "CREDITS");
    }

    // A balance below the queue at the start, with four in flight: Yes sends exactly as many of the newest
    // rows as there are credits, never a message more while others are on their way; the rest stays queued.
    void creditsShortAtTheStartWithFourInFlight()
    {
        GatewaySetup s(5, "0");
        const Pace pace(4);
        const QList<qint64> keys = queueAtTenMs(s, 12);
        s.host.answers.enqueue(true);
        QVERIFY(OutboxSender(s.host).SendOutbox());
        QStringList posted = postedCustomers(s.gateway);
        posted.sort();
        QStringList newest;
        for (const qint64 key : keys.mid(7))
            newest << QString::number(key);
        newest.sort();
        QCOMPARE(posted, newest);
        QCOMPARE(OutboxRows::states().count("queued"), 7);
        QCOMPARE(s.host.titles, QStringList({"CREDITS", "SEND?"}));
    }

    // The two settings of a send run: the default when not stored, the stored whole number (text or
    // a number), and an error, never the default, for a value out of range or not a number.
    void sendSettingsReadOrRefused_data()
    {
        QTest::addColumn<QVariant>("stored"); // invalid: not stored; int: a number; text
        QTest::addColumn<int>("connections"); // -1: an error
        QTest::addColumn<int>("perSecond");
        QTest::newRow("not stored") << QVariant() << 4 << 0;
        QTest::newRow("text") << QVariant(QStringLiteral(" 16 ")) << 16 << 16;
        QTest::newRow("number") << QVariant(20) << 20 << 20;
        QTest::newRow("zero") << QVariant(QStringLiteral("0")) << -1 << 0;
        QTest::newRow("too many") << QVariant(65) << -1 << 65;
        QTest::newRow("negative") << QVariant(-1) << -1 << -1;
        QTest::newRow("not a number") << QVariant(QStringLiteral("four")) << -1 << -1;
    }
    void sendSettingsReadOrRefused()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, connections);
        QFETCH(int, perSecond);
        TestHome home;
        for (const QString &name : {Settings::name(Settings::Key::GatewayConnections),
                                    Settings::name(Settings::Key::GatewayMessagesPerSecond)}) {
            cRegistry registry; // a number is stored as one, text as text
            registry.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
            registry.setSectionKey(Settings::SettingsKey);
            registry.setValueKey(name);
            registry.setValueType(stored.typeId() == QMetaType::Int ? cRegistry::REG_DWORD : cRegistry::REG_SZ);
            if (stored.isValid())
                registry.setValue(stored);
        }
        for (const auto &[read, wanted] :
             QList<std::pair<int (*)(), int>>{{&Settings::value<Settings::Key::GatewayConnections>, connections},
                                              {&Settings::value<Settings::Key::GatewayMessagesPerSecond>, perSecond}}) {
            try {
                QCOMPARE(read(), wanted);
            } catch (const AppError &error) {
                QVERIFY2(wanted < 0 && error.description().contains("is not a whole number"), qPrintable(error.text()));
            }
        }
    }

    // With a limit of R messages a second, no second of the gateway's log holds more than R of
    // them, whatever the number in flight.
    void rateLimitHeldInEveryWindow_data()
    {
        QTest::addColumn<int>("connections");
        QTest::addColumn<int>("perSecond");
        QTest::addColumn<int>("messages");
        QTest::newRow("4 in flight, 20/s") << 4 << 20 << 50;
        QTest::newRow("16 in flight, 7/s") << 16 << 7 << 18;
        QTest::newRow("1 in flight, 20/s") << 1 << 20 << 30;
    }
    void rateLimitHeldInEveryWindow()
    {
        QFETCH(int, connections);
        QFETCH(int, perSecond);
        QFETCH(int, messages);
        GatewaySetup s(1000, "0");
        const Pace pace(connections, perSecond);
        for (int i = 0; i < messages; ++i)
            OutboxRows::queue(QStringLiteral("0821234567"));
        QVERIFY(OutboxSender(s.host).SendOutbox());
        QList<Received> requests = received(s.gateway);
        QCOMPARE(requests.size(), messages);
        std::sort(requests.begin(), requests.end(), [](const Received &a, const Received &b) { return a.at < b.at; });
        for (qsizetype i = 0; i + perSecond < requests.size(); ++i)
            QVERIFY2(requests[i + perSecond].at - requests[i].at >= 1000,
                     qPrintable(QStringLiteral("%1 messages within %2 ms")
                                    .arg(perSecond + 1)
                                    .arg(requests[i + perSecond].at - requests[i].at)));
    }
};

QTEST_GUILESS_MAIN(tst_concurrentSend)
#include "tst_concurrentSend.moc"
