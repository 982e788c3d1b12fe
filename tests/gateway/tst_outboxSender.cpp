#include "GatewayTestSupport.h"

#include "compose/NumberListQueue.h"
#include "data/Clock.h"
#include "gateway/GatewayCycles.h"
#include "gateway/OutboxSender.h"
#include "outbox/FailReasons.h"
#include "outbox/RunLock.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTest>

namespace {

const QString NoCredits =
    QStringLiteral("Please check credits first, or there is not enough credits left for the amount of sms to be send. "
                   "Either buy more credits or delete some of the sms.");
const QString NotEnough = QStringLiteral("There is not enough credits left for the amount of sms to be send. "
                                         "Either buy more credits or delete some of the sms.");
const QString Ready = QStringLiteral("Done. Ready ...");

QStringList ids(const QList<qint64> &keys)
{
    QStringList text;
    for (qint64 key : keys)
        text.append(QString::number(key));
    return text;
}

// The types asked since the last look. The replies and the balance that a run asks together may
// arrive either way round; they are listed replies first.
QStringList typesOf(const QStringList &requests)
{
    QStringList asked = requestParameters(requests, "Type");
    for (qsizetype i = 0; i + 1 < asked.size(); ++i)
        if (asked[i] == "Credits" && asked[i + 1] == "replies")
            asked.swapItemsAt(i, i + 1);
    return asked;
}

QStringList types(const GatewayProcess &gateway)
{
    return typesOf(takeRequests(gateway));
}

} // namespace

// Sending the outbox, and the command-bar cycles built on it.
class tst_outboxSender : public QObject
{
    Q_OBJECT

private slots:
    void checkCredits()
    {
        GatewaySetup s(1000, "0");
        OutboxSender sender(s.host);
        s.gateway.use(QStringLiteral("demo"), QString());
        sender.CheckCredits();
        s.gateway.use(QStringLiteral("   "), QStringLiteral("demo"));
        sender.CheckCredits();
        QCOMPARE(s.host.titles, QStringList({"USERNAME/PASSWORD", "USERNAME/PASSWORD"}));
        QCOMPARE(s.host.texts[1], "No username and/or password was specified.");
        QVERIFY(takeRequests(s.gateway).isEmpty());

        s.gateway.use();
        scriptAnswer(s.gateway, QStringLiteral("Credits"), QStringLiteral("150.0\r\n"));
        sender.CheckCredits();
        QCOMPARE(s.host.credits, "150");
    }

    // A refusal, an error page, an answer without a balance and a gateway that is not there are each told
    // as what they are, with the gateway's words or status: never shown as a balance of 0, and a send run
    // never takes them for a lack of credits (the CREDITS box) nor ends saying it is done.
    void creditsThatCannotBeReadAreToldAsTheyAre_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("told");
        QTest::newRow("refused") << "FALSE: Invalid username or password" << 200
                                 << "The gateway's answer is not a credit balance: FALSE: Invalid username or password";
        QTest::newRow("error page") << "<html><body>Server Error</body></html>" << 500
                                    << "answered with HTTP status 500";
        QTest::newRow("no number") << "<Credits/>" << 200 << "The gateway's answer is not a credit balance";
        QTest::newRow("empty") << "" << 200 << "The gateway's answer is not a credit balance.";
        QTest::newRow("not listening") << "" << 0 << "could not be reached";
    }

    void creditsThatCannotBeReadAreToldAsTheyAre()
    {
        QFETCH(QString, body);
        QFETCH(int, status);
        QFETCH(QString, told);
        GatewaySetup s(1000, "150");
        OutboxSender sender(s.host);
        OutboxRows::queue("0821234567", "one");
        const auto fault = [&] {
            if (status == 0)
                s.gateway.stop();
            else
                scriptAnswer(s.gateway, QStringLiteral("Credits"), body, status);
        };
        fault();
        sender.CheckCredits();
        QCOMPARE(s.host.credits, "150");
        QCOMPARE(s.host.titles, QStringList({"ERROR"}));
        QVERIFY2(s.host.texts.last().contains(told), qPrintable(s.host.texts.last()));
        QVERIFY2(s.host.lastStatus().startsWith("Check Credits failed: "), qPrintable(s.host.lastStatus()));

        if (status != 0)
            fault();
        QVERIFY(!sender.SendOutbox());
        QCOMPARE(s.host.titles, QStringList({"ERROR", "ERROR"}));
        QVERIFY2(s.host.texts.last().contains(told), qPrintable(s.host.texts.last()));
        QCOMPARE(s.host.lastStatus(), "ERROR");
        QCOMPARE(OutboxRows::states(), QStringList({"queued"}));
    }

    // Balance 0: the balance is asked for first. As many credits as rows sends all, oldest first, numbers in
    // their national form and texts trimmed.
    void wholeOutboxOldestFirst()
    {
        GatewaySetup s(3, "0");
        const QList<qint64> keys = {OutboxRows::queue("+27 82 123 4567", "  one  "),
                                    OutboxRows::queue(" 082 123 4567 ", "two"),
                                    OutboxRows::queue("821234567", "three")};
        QVERIFY(OutboxSender(s.host).SendOutbox());
        const QStringList requests = takeRequests(s.gateway);
        QCOMPARE(typesOf(requests), QStringList({"replies", "Credits", "SingleSMS", "SingleSMS", "SingleSMS"}));
        QCOMPARE(requestParameters(requests.mid(2), "CustomerID"), ids(keys));
        QCOMPARE(requestParameters(requests.mid(2), "Number"), QStringList(3, "0821234567"));
        QCOMPARE(requestParameters(requests.mid(2, 1), "Message"), QStringList({"one"}));
        QCOMPARE(OutboxRows::states(), QStringList({"5000001", "5000002", "5000003"}));
        QCOMPARE(s.host.lastStatus(), Ready);
        QCOMPARE(s.host.progress, (QList<QPair<int, int>>{{1, 3}, {2, 3}, {3, 3}, {0, 0}}));
        QVERIFY(s.host.titles.isEmpty());
    }

    // Every run takes its credit check from the balance the gateway holds then, not the one shown, so
    // a second run never spends what the first one used. More queued than credits: the second CREDITS
    // message and the SEND question; No sends nothing, Yes exactly as many of the newest rows as there
    // are credits, ties at the cut-off broken by the newer key; the rest stays queued. No credits: the
    // first CREDITS message and nothing sent.
    void creditCheckAtEveryRun()
    {
        GatewaySetup s(8, "0");
        OutboxSender sender(s.host);
        for (int i = 0; i < 3; ++i)
            OutboxRows::queue("0821234567", "first run");
        QVERIFY(sender.SendOutbox());
        QCOMPARE(s.host.credits, "8");
        takeRequests(s.gateway);
        QList<qint64> k;
        for (const auto &[date, time] : QList<QPair<QString, QString>>{{"2024-03-15", "10:00"},
                                                                       {"2024-03-14", "17:30"},
                                                                       {"2024-03-14", "09:05"},
                                                                       {"2024-03-14", "09:05"},
                                                                       {"2024-03-14", "09:05"},
                                                                       {"2024-03-14", "09:05"},
                                                                       {"2024-01-01", "23:59"},
                                                                       {"", ""}})
            k.append(OutboxRows::add({.number = "0821234567", .message = "m", .sendDate = date, .sendTime = time}));
        QVERIFY(!sender.SendOutbox());
        QCOMPARE(types(s.gateway), QStringList({"replies", "Credits"}));
        QCOMPARE(s.host.credits, "5");
        QCOMPARE(s.host.titles, QStringList({"CREDITS", "SEND?"}));
        QCOMPARE(s.host.texts,
                 QStringList({NotEnough, "Do you only want to send the amount of sms that you have credits for?"}));
        QCOMPARE(sender.CountQueued(), 8);
        s.host.answers.enqueue(true);
        QVERIFY(sender.SendOutbox());
        QCOMPARE(postedCustomers(s.gateway), ids({k[0], k[1], k[5], k[4], k[3]}));
        QCOMPARE(OutboxRows::states().mid(3).count("queued"), 3);
        QVERIFY(s.host.statuses.filter("SMS NOT sent").isEmpty());

        QVERIFY(!sender.SendOutbox());
        QCOMPARE(types(s.gateway), QStringList({"replies", "Credits"}));
        QCOMPARE(s.host.titles.mid(4), QStringList({"CREDITS"}));
        QCOMPARE(s.host.texts.last(), NoCredits);
        QCOMPARE(sender.CountQueued(), 3);
    }

    // A run asks for the replies and the balance at once, on two connections: both are at the gateway
    // before it answers either.
    void repliesAndBalanceAskedTogether()
    {
        GatewaySetup s;
        s.gateway.admin("/admin/latency?ms=400");
        OutboxRows::queue("0821234567", "hello");
        QVERIFY(OutboxSender(s.host).SendOutbox());
        QMap<QString, QJsonObject> asked;
        for (const QJsonValue &request : adminArray(s.gateway, "/admin/requests"))
            asked.insert(requestParameters({request["target"].toString()}, "Type").constFirst(), request.toObject());
        QVERIFY(asked.contains("replies") && asked.contains("Credits"));
        QVERIFY(asked["replies"]["connection"] != asked["Credits"]["connection"]);
        QVERIFY(qAbs(asked["replies"]["received"].toInteger() - asked["Credits"]["received"].toInteger()) < 400);
        QVERIFY(asked["SingleSMS"]["received"].toInteger() - asked["Credits"]["received"].toInteger() >= 400);
    }

    // Every answer rule marks its row. Rows without text, or whose number is no South African cellphone's, are
    // never posted (not even rewritten into one): each fails with its reason, may not be queued again, and the
    // run goes on to the last row.
    void rowsMarkedByAnswerAndRunGoesOn()
    {
        GatewaySetup s(1000, "100");
        for (const auto &[body, status] : QList<QPair<QString, int>>{{"FALSE: Invalid number\r\n", 200},
                                                                     {"fAlSe:\r\n no way ", 200},
                                                                     {"\r\nFALSE: busy", 200},
                                                                     {"5000123\r\n", 200},
                                                                     {"<html><body>Internal error</body></html>", 500},
                                                                     {"", 200}})
            scriptAnswer(s.gateway, QStringLiteral("SingleSMS"), body, status);
        QList<qint64> keys;
        for (int i = 0; i < 6; ++i)
            keys.append(OutboxRows::queue("0821234567", "hello"));
        const QList<QPair<QString, QString>> unsendable = {{"", FailReasons::NoNumber},
                                                           {"7", FailReasons::InvalidNumber},
                                                           {"0800 123 456", FailReasons::NotCellphone},
                                                           {"+44 7911 123456", FailReasons::ForeignNumber},
                                                           {"0821234567", FailReasons::NoText}};
        for (const auto &[number, reason] : unsendable)
            keys.append(OutboxRows::queue(number, reason == FailReasons::NoText ? "   " : "hello"));
        keys.append(OutboxRows::queue("+27 83 123 4567", "last"));
        QVERIFY2(OutboxSender(s.host).SendOutbox(), qPrintable(s.host.texts.join('|')));
        QCOMPARE(postedCustomers(s.gateway), ids(keys.mid(0, 6) << keys[11]));
        QCOMPARE(OutboxRows::states(),
                 QStringList({"0", "0", "0", "5000123", "0", "0", "0", "0", "0", "0", "0", "5000001"}));
        for (qsizetype i = 0; i < unsendable.size(); ++i) {
            QCOMPARE(queryValues("SELECT FailReason FROM SMSSend WHERE SMSSendID = ?", {keys[6 + i]}),
                     QStringList{unsendable[i].second});
            QVERIFY(!FailReasons::mayQueueAgain(unsendable[i].second));
        }
        QVERIFY(s.host.statuses.contains("SMS NOT sent : FALSE: Invalid number"));
        QVERIFY(s.host.statuses.contains("SMS NOT sent : fAlSe: no way"));
        QCOMPARE(s.host.statuses.count("SMS Sent - BatchID: 0"), 3);
        QVERIFY(s.host.titles.isEmpty());
    }

    // A large outbox is read in pages and sent whole.
    void largeOutboxSentWhole()
    {
        GatewaySetup s(5000, "5000");
        {
            Database::Batch batch;
            for (int i = 0; i < 1203; ++i)
                OutboxRows::queue("0821234567", "bulk");
            batch.commit();
        }
        OutboxSender sender(s.host);
        QVERIFY(sender.SendOutbox());
        QCOMPARE(postedCustomers(s.gateway).size(), 1203);
        QCOMPARE(sender.CountQueued(), 0);
    }

    // Each row is committed before the next post; rows queued during the run wait for the next run.
    void rowsCommittedOneByOne()
    {
        SQLITE_FILE_ONLY("reads the file through a second connection");
        GatewaySetup s(1000, "100");
        QList<qint64> keys;
        for (int i = 0; i < 5; ++i)
            keys.append(OutboxRows::queue("0821234567", "m"));
        QList<int> attemptedBeforePost;
        bool late = false;
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("observer"));
            other.setDatabaseName(s.home.databasePath());
            QVERIFY(other.open());
            s.host.onStatus = [&](const QString &text) {
                QSqlQuery count(other);
                if (text.startsWith("Sending SMS to ")
                    && count.exec("SELECT count(*) FROM SMSSend WHERE Send = 1 AND InFlight = 0") && count.next())
                    attemptedBeforePost.append(count.value(0).toInt());
            };
            s.host.onYield = [&] {
                if (!late)
                    late = OutboxRows::queue("0821234567", "late") > 0;
            };
            QVERIFY(OutboxSender(s.host).SendOutbox());
            s.host.onStatus = [](const QString &) {};
        }
        QSqlDatabase::removeDatabase(QStringLiteral("observer"));
        QCOMPARE(attemptedBeforePost, QList<int>({0, 1, 2, 3, 4}));
        QCOMPARE(postedCustomers(s.gateway), ids(keys));
        QCOMPARE(OutboxRows::states(), QStringList({"5000001", "5000002", "5000003", "5000004", "5000005", "queued"}));
    }

    void cycleSequences_data()
    {
        QTest::addColumn<QString>("cycle");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<QString>("status");
        QTest::newRow("Send/Receive") << "SendReceive"
                                      << QStringList{"Sent", "replies", "Credits", "SingleSMS", "replies"}
                                      << "Done. Ready ... 1 sent";
        QTest::newRow("Send Now") << "SendNow" << QStringList{"replies", "Credits", "SingleSMS", "Sent"}
                                  << "Done. Ready ... 1 sent, 1 delivery report";
        QTest::newRow("Receive Now") << "ReceiveNow" << QStringList{"Sent", "replies"} << "Done. Ready ...";
    }
    void cycleSequences()
    {
        QFETCH(QString, cycle);
        GatewaySetup s(1000, "0");
        OutboxRows::queue("0821234567", "hello");
        GatewayCycles cycles(s.host);
        QVERIFY(cycle == "SendReceive" ? cycles.SendReceive()
                : cycle == "SendNow"   ? cycles.SendNow()
                                       : cycles.ReceiveNow());
        QTEST(types(s.gateway), "types");
        QTEST(s.host.lastStatus(), "status");
    }

    // A run that could not fetch the replies first (a STOP may wait there) posts the service messages
    // and keeps the marketing ones for the next run, and says why in its status line and notice.
    void marketingWaitsWhenRepliesCannotBeFetched()
    {
        GatewaySetup s;
        CampaignClock::set([] { return QDateTime(QDate(2026, 12, 7), QTime(10, 0)); }); // a Monday morning
        QueueCampaign marketing;
        marketing.marketing = true;
        queueToNumbers({"0821111111"}, {"Sale on now"}, {}, &marketing);
        const qint64 service = OutboxRows::queue("0822222222", "Your order shipped");
        s.gateway.admin("/admin/fault?mode=error500&types=replies");
        QVERIFY(OutboxSender(s.host).SendOutbox());
        CampaignClock::set({});
        QCOMPARE(postedCustomers(s.gateway), QStringList({QString::number(service)}));
        QCOMPARE(OutboxRows::states(), QStringList({"queued", "5000001"}));
        QVERIFY2(s.host.lastStatus().startsWith("Done. Marketing messages waited: the replies could not be fetched"),
                 qPrintable(s.host.lastStatus()));
        QCOMPARE(s.host.titles, QStringList({"WAITING"}));
        QVERIFY2(s.host.texts[0].contains("1 marketing message was not sent"), qPrintable(s.host.texts[0]));
    }

    // While a cycle lets the window process events, no other cycle can start.
    void secondCycleRefused()
    {
        GatewaySetup s;
        for (int i = 0; i < 3; ++i)
            OutboxRows::queue("0821234567", "hello");
        GatewayCycles cycles(s.host);
        QSignalSpy running(&RunLock::instance(), &RunLock::heldChanged);
        QList<bool> started;
        s.host.onYield = [&] {
            started << !cycles.isRunning() << cycles.SendNow() << cycles.ReceiveNow() << cycles.SendReceive();
        };
        QVERIFY(cycles.SendReceive());
        QCOMPARE(started, QList<bool>(12, false));
        QCOMPARE(QList<QVariantList>(running), (QList<QVariantList>{{true}, {false}}));
        QCOMPARE(types(s.gateway),
                 QStringList({"Sent", "replies", "Credits", "SingleSMS", "SingleSMS", "SingleSMS", "replies"}));
        s.host.onYield = [] {};
        QVERIFY(cycles.ReceiveNow());
    }
};

QTEST_GUILESS_MAIN(tst_outboxSender)
#include "tst_outboxSender.moc"
