#include "GatewayTestSupport.h"

#include "app/modMain.h"
#include "data/Database.h"
#include "gateway/GatewayClient.h"
#include "gateway/OutboxSender.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {

const QString NoCredits = QStringLiteral(
    "Please check credits first, or there is not enough credits left for the amount of sms to be send. "
    "Either buy more credits or delete some of the sms.");
const QString NotEnough = QStringLiteral(
    "There is not enough credits left for the amount of sms to be send. "
    "Either buy more credits or delete some of the sms.");
const QString SendPart = QStringLiteral("Do you only want to send the amount of sms that you have credits for?");

qint64 queue(const QString &number, const QString &message, const QString &date = QStringLiteral("2024-03-14"),
             const QString &time = QStringLiteral("09:00"))
{
    return Database::insert(
        QStringLiteral("INSERT INTO SMSSend (Number, Message, SendDate, SendTime) VALUES (?, ?, ?, ?)"),
        {number, message, date.isEmpty() ? QVariant() : QVariant(date), time.isEmpty() ? QVariant() : QVariant(time)});
}

// "queued", or the EventID of an attempted row.
QString rowState(qint64 key)
{
    QSqlQuery row = Database::run(QStringLiteral("SELECT Send, EventID FROM SMSSend WHERE SMSSendID = ?"), {key});
    if (!row.next())
        return QStringLiteral("<no row>");
    return row.value(0).toInt() == 0 ? QStringLiteral("queued") : row.value(1).toString();
}

QStringList customerIds(const QStringList &requests)
{
    QStringList ids;
    for (const QString &request : requests)
        ids.append(requestParameter(request, QStringLiteral("CustomerID")));
    return ids;
}

QStringList keysText(const QList<qint64> &keys)
{
    QStringList text;
    for (qint64 key : keys)
        text.append(QString::number(key));
    return text;
}

} // namespace

class TestOutboxSender : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        GatewayClient::setDefaultTimeout(GatewayClient::DefaultTimeoutMs);
    }

    void checkCredits()
    {
        TestHome home;
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:1000")});
        QVERIFY(gateway.isRunning());
        ScriptedCycleHost host;
        OutboxSender sender(host);

        // no account: a notice and no request
        gateway.use(QStringLiteral("demo"), QString());
        sender.CheckCredits();
        gateway.use(QStringLiteral("   "), QStringLiteral("demo"));
        sender.CheckCredits();
        QCOMPARE(host.boxes.size(), 2);
        for (const auto &box : std::as_const(host.boxes)) {
            QCOMPARE(box.kind, QStringLiteral("inform"));
            QCOMPARE(box.title, QStringLiteral("USERNAME/PASSWORD"));
            QCOMPARE(box.text, QStringLiteral("No username and/or password was specified."));
        }
        QVERIFY(takeRequests(gateway).isEmpty());
        QCOMPARE(host.credits, QStringLiteral("0"));

        gateway.use();
        sender.CheckCredits();
        QCOMPARE(host.credits, QStringLiteral("1000"));
        scriptAnswer(gateway, QStringLiteral("Credits"), QStringLiteral("150.0\r\n"));
        sender.CheckCredits();
        QCOMPARE(host.credits, QStringLiteral("150"));
        scriptAnswer(gateway, QStringLiteral("Credits"), QStringLiteral("FALSE: Invalid username or password"));
        sender.CheckCredits();
        QCOMPARE(host.credits, QStringLiteral("0"));
        QCOMPARE(host.boxes.size(), 2);

        // the gateway cannot be reached: one error box, the balance kept
        host.credits = QStringLiteral("150");
        modMain::GatewayHost = QStringLiteral("127.0.0.1:%1").arg(unusedPort());
        sender.CheckCredits();
        QCOMPARE(host.boxes.size(), 3);
        QCOMPARE(host.boxes.last().kind, QStringLiteral("error"));
        QVERIFY(host.boxes.last().text.contains(QStringLiteral("could not be reached")));
        QCOMPARE(host.credits, QStringLiteral("150"));
        QCOMPARE(host.busyDepth, 0);
        QVERIFY(host.statuses.isEmpty());
    }

    void refreshCredits()
    {
        TestHome home;
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:7")});
        QVERIFY(gateway.isRunning());
        gateway.use();
        ScriptedCycleHost host;
        OutboxSender sender(host);
        sender.RefreshCredits();
        QCOMPARE(host.credits, QStringLiteral("7"));
        QCOMPARE(host.statuses, QStringList({QStringLiteral("Checking Credits ..."), QStringLiteral("Done. Ready ...")}));

        gateway.stop();
        sender.RefreshCredits();
        QCOMPARE(host.credits, QStringLiteral("7"));
        QCOMPARE(host.lastStatus(), QStringLiteral("ERROR"));
        QVERIFY(host.boxes.isEmpty());
        QCOMPARE(host.busyDepth, 0);
    }

    // Balance 0 at start: the balance is asked for first; the whole outbox
    // goes out oldest first when it is large enough, with the numbers
    // normalised and the texts trimmed.
    void wholeOutbox()
    {
        TestHome home;
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:5")});
        QVERIFY(gateway.isRunning());
        gateway.use();
        const QList<qint64> keys = {queue(QStringLiteral("+27 82 123 4567"), QStringLiteral("  one  ")),
                                    queue(QStringLiteral("27821234567"), QStringLiteral("two")),
                                    queue(QStringLiteral(" 082 123 4567 "), QStringLiteral("three")),
                                    queue(QStringLiteral("+27821234567"), QStringLiteral("four")),
                                    queue(QStringLiteral("821234567"), QStringLiteral("five"))};
        ScriptedCycleHost host;
        OutboxSender sender(host);
        QCOMPARE(sender.CountQueued(), 5);
        QVERIFY(sender.SendOutbox());

        const QStringList requests = takeRequests(gateway);
        QCOMPARE(requestTypes(requests), QStringList({QStringLiteral("Credits"), QStringLiteral("SingleSMS"),
                                                      QStringLiteral("SingleSMS"), QStringLiteral("SingleSMS"),
                                                      QStringLiteral("SingleSMS"), QStringLiteral("SingleSMS")}));
        QCOMPARE(customerIds(requests.mid(1)), keysText(keys));
        QStringList numbers;
        for (const QString &request : requests.mid(1))
            numbers.append(requestParameter(request, QStringLiteral("Number")));
        QCOMPARE(numbers, QStringList({QStringLiteral("0821234567"), QStringLiteral("0821234567"),
                                       QStringLiteral("0821234567"), QStringLiteral("0821234567"),
                                       QStringLiteral("01234567")}));
        QCOMPARE(requestParameter(requests[1], QStringLiteral("Message")), QStringLiteral("one"));

        for (int i = 0; i < keys.size(); ++i)
            QCOMPARE(rowState(keys[i]), QString::number(5000001 + i));
        QVERIFY(host.boxes.isEmpty());
        QCOMPARE(host.credits, QStringLiteral("5"));
        QCOMPARE(sender.CountQueued(), 0);
        QCOMPARE(host.statuses.mid(0, 4),
                 QStringList({QStringLiteral("Checking Credits ..."), QStringLiteral("Done. Ready ..."),
                              QStringLiteral("Sending SMS to 0821234567"),
                              QStringLiteral("SMS Sent - BatchID: 5000001")}));
        QCOMPARE(host.statuses.at(host.statuses.size() - 3), QStringLiteral("Sending SMS to 01234567"));
        QCOMPARE(host.lastStatus(), QStringLiteral("Done. Ready ..."));
        QCOMPARE(host.progress, (QList<QPair<int, int>>{{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {0, 0}}));
        QCOMPARE(host.yields, 5);
        QCOMPARE(host.outboxRefreshes, 1);
        QCOMPARE(host.busyDepth, 0);
    }

    void noCredits()
    {
        TestHome home;
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:0")});
        QVERIFY(gateway.isRunning());
        gateway.use();
        const qint64 key = queue(QStringLiteral("0821234567"), QStringLiteral("hello"));
        ScriptedCycleHost host;
        OutboxSender sender(host);
        QVERIFY(!sender.SendOutbox());
        QCOMPARE(requestTypes(takeRequests(gateway)), QStringList({QStringLiteral("Credits")}));
        QCOMPARE(host.boxes.size(), 1);
        QCOMPARE(host.boxes[0].title, QStringLiteral("CREDITS"));
        QCOMPARE(host.boxes[0].text, NoCredits);
        QCOMPARE(rowState(key), QStringLiteral("queued"));
        QCOMPARE(host.busyDepth, 0);
    }

    // More queued than credits: exactly as many of the newest rows as there
    // are credits on Yes (ties at the cut-off broken by the newer key),
    // nothing on No.
    void partialSend()
    {
        TestHome home;
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:1000")});
        QVERIFY(gateway.isRunning());
        gateway.use();
        const qint64 a = queue(QStringLiteral("0820000001"), QStringLiteral("a"), QStringLiteral("2024-03-15"),
                               QStringLiteral("10:00"));
        const qint64 b = queue(QStringLiteral("0820000002"), QStringLiteral("b"), QStringLiteral("2024-03-14"),
                               QStringLiteral("17:30"));
        const qint64 c = queue(QStringLiteral("0820000003"), QStringLiteral("c"), QStringLiteral("2024-03-14"),
                               QStringLiteral("09:05"));
        const qint64 d = queue(QStringLiteral("0820000004"), QStringLiteral("d"), QStringLiteral("2024-03-14"),
                               QStringLiteral("09:05"));
        const qint64 e = queue(QStringLiteral("0820000005"), QStringLiteral("e"), QStringLiteral("2024-03-14"),
                               QStringLiteral("09:05"));
        const qint64 f = queue(QStringLiteral("0820000006"), QStringLiteral("f"), QStringLiteral("2024-03-14"),
                               QStringLiteral("09:05"));
        const qint64 g = queue(QStringLiteral("0820000007"), QStringLiteral("g"), QStringLiteral("2024-01-01"),
                               QStringLiteral("23:59"));
        const qint64 h = queue(QStringLiteral("0820000008"), QStringLiteral("h"), QString(), QString());

        ScriptedCycleHost host;
        host.credits = QStringLiteral("5");
        OutboxSender sender(host);
        host.answers.enqueue(false);
        QVERIFY(!sender.SendOutbox());
        QVERIFY(takeRequests(gateway).isEmpty());
        QCOMPARE(host.boxes.size(), 2);
        QCOMPARE(host.boxes[0].kind, QStringLiteral("inform"));
        QCOMPARE(host.boxes[0].title, QStringLiteral("CREDITS"));
        QCOMPARE(host.boxes[0].text, NotEnough);
        QCOMPARE(host.boxes[1].kind, QStringLiteral("ask"));
        QCOMPARE(host.boxes[1].title, QStringLiteral("SEND"));
        QCOMPARE(host.boxes[1].text, SendPart);
        QCOMPARE(sender.CountQueued(), 8);

        host.boxes.clear();
        host.answers.enqueue(true);
        QVERIFY(sender.SendOutbox());
        QCOMPARE(host.titles(), QStringList({QStringLiteral("CREDITS"), QStringLiteral("SEND")}));
        QCOMPARE(customerIds(takeRequests(gateway)), keysText({a, b, f, e, d}));
        QCOMPARE(rowState(c), QStringLiteral("queued"));
        QCOMPARE(rowState(g), QStringLiteral("queued"));
        QCOMPARE(rowState(h), QStringLiteral("queued"));
        QCOMPARE(sender.CountQueued(), 3);
        QCOMPARE(host.progress.last(), qMakePair(0, 0));
        QCOMPARE(host.progress.at(host.progress.size() - 2), qMakePair(5, 5));
        QCOMPARE(host.busyDepth, 0);
    }

    void emptyOutbox()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        ScriptedCycleHost host;
        host.credits = QStringLiteral("10");
        OutboxSender sender(host);
        QVERIFY(sender.SendOutbox());
        QVERIFY(takeRequests(gateway).isEmpty());
        QCOMPARE(host.statuses, QStringList({QStringLiteral("Done. Ready ...")}));
        QVERIFY(host.boxes.isEmpty());
    }

    // Rows without text, without a number or with a number that cannot be
    // normalised are not posted: they are marked attempted with EventID "0"
    // and the run goes on.
    void rowsThatCannotBePosted()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        const qint64 noText = queue(QStringLiteral("0821234567"), QStringLiteral("   "));
        const qint64 noNumber = queue(QString(), QStringLiteral("hello"));
        const qint64 plus = queue(QStringLiteral("+"), QStringLiteral("hello"));
        const qint64 digit = queue(QStringLiteral("7"), QStringLiteral("hello"));
        const qint64 good = queue(QStringLiteral("0821234567"), QStringLiteral("hello"));
        Database::run(QStringLiteral("UPDATE SMSSend SET Number = NULL, Message = NULL WHERE SMSSendID = ?"), {noText});
        ScriptedCycleHost host;
        host.credits = QStringLiteral("10");
        OutboxSender sender(host);
        QVERIFY(sender.SendOutbox());
        QCOMPARE(customerIds(takeRequests(gateway)), keysText({good}));
        for (qint64 key : {noText, noNumber, plus, digit})
            QCOMPARE(rowState(key), QStringLiteral("0"));
        QCOMPARE(rowState(good), QStringLiteral("5000001"));
        QVERIFY(host.boxes.isEmpty());
        QCOMPARE(host.progress.size(), 6);
    }

    // How each kind of SingleSMS answer marks the row and what the status line says.
    void answerRules_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("eventId");
        QTest::addColumn<QString>("statusText");
        QTest::newRow("refusal") << "FALSE: Not enough credits\r\n" << 200 << "0"
                                 << "SMS NOT sent : FALSE: Not enough credits";
        QTest::newRow("lower-case refusal") << "false: no \tway " << 200 << "0" << "SMS NOT sent : false: no way";
        QTest::newRow("line break before FALSE") << "\r\nFALSE: busy" << 200 << "0" << "SMS Sent - BatchID: 0";
        QTest::newRow("number and line break") << "5000123\r\n" << 200 << "5000123" << "SMS Sent - BatchID: 5000123";
        QTest::newRow("error page") << "<html><body>Internal error</body></html>" << 500 << "0"
                                    << "SMS Sent - BatchID: 0";
        QTest::newRow("not found page") << "Not Found" << 404 << "0" << "SMS Sent - BatchID: 0";
    }
    void answerRules()
    {
        QFETCH(QString, body);
        QFETCH(int, status);
        QFETCH(QString, eventId);
        QFETCH(QString, statusText);
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        const qint64 first = queue(QStringLiteral("0821234567"), QStringLiteral("first"));
        const qint64 second = queue(QStringLiteral("0821234567"), QStringLiteral("second"));
        scriptAnswer(gateway, QStringLiteral("SingleSMS"), body, status);
        ScriptedCycleHost host;
        host.credits = QStringLiteral("10");
        OutboxSender sender(host);
        QVERIFY(sender.SendOutbox());
        QCOMPARE(rowState(first), eventId);
        QCOMPARE(rowState(second), QStringLiteral("5000001")); // the run went on
        QVERIFY(host.statuses.contains(statusText));
        QVERIFY(host.boxes.isEmpty());
    }

    // Each row is marked, committed, before the next message is posted; rows
    // queued while the run goes on wait for the next run; a row deleted while
    // the run waits is not posted.
    void rowsMarkedOneByOne()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        QList<qint64> keys;
        for (int i = 0; i < 4; ++i)
            keys.append(queue(QStringLiteral("0821234567"), QStringLiteral("m%1").arg(i)));
        const qint64 deleted = queue(QStringLiteral("0821234567"), QStringLiteral("deleted"));

        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("observer"));
        other.setDatabaseName(home.databasePath());
        QVERIFY(other.open());
        QList<int> attemptedBeforePost;
        ScriptedCycleHost host;
        host.credits = QStringLiteral("100");
        host.onStatus = [&](const QString &text) {
            if (!text.startsWith(QStringLiteral("Sending SMS to ")))
                return;
            QSqlQuery count(other);
            QVERIFY(count.exec(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Send = 1")) && count.next());
            attemptedBeforePost.append(count.value(0).toInt());
        };
        qint64 added = 0;
        host.onYield = [&] {
            if (added == 0) {
                added = queue(QStringLiteral("0821234567"), QStringLiteral("late"));
                Database::run(QStringLiteral("DELETE FROM SMSSend WHERE SMSSendID = ?"), {deleted});
            }
        };
        OutboxSender sender(host);
        QVERIFY(sender.SendOutbox());
        QCOMPARE(attemptedBeforePost, QList<int>({0, 1, 2, 3}));
        QCOMPARE(customerIds(takeRequests(gateway)), keysText(keys));
        QCOMPARE(rowState(added), QStringLiteral("queued"));
        QCOMPARE(host.progress.at(host.progress.size() - 2), qMakePair(5, 5));
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("observer"));
    }

    // A large outbox is read in pages and sent whole, in key order.
    void largeOutbox()
    {
        TestHome home;
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:5000")});
        QVERIFY(gateway.isRunning());
        gateway.use();
        {
            Database::Batch batch;
            for (int i = 0; i < 1203; ++i)
                queue(QStringLiteral("0821234567"), QStringLiteral("bulk %1").arg(i));
        }
        ScriptedCycleHost host;
        host.credits = QStringLiteral("5000");
        OutboxSender sender(host);
        QVERIFY(sender.SendOutbox());
        const QStringList ids = customerIds(takeRequests(gateway));
        QCOMPARE(ids.size(), 1203);
        QCOMPARE(ids.first(), QStringLiteral("1"));
        QCOMPARE(ids.last(), QStringLiteral("1203"));
        QCOMPARE(sender.CountQueued(), 0);
        QCOMPARE(host.progress.at(host.progress.size() - 2), qMakePair(1203, 1203));
    }

    // The first transport failure ends the run with one error box. The row in
    // flight stays queued when the request certainly did not arrive, and is
    // marked attempted when it may have.
    void transportFailures_data()
    {
        QTest::addColumn<QString>("fault");    // empty: nothing listens
        QTest::addColumn<QString>("inFlight"); // state of the second row
        QTest::newRow("gateway down") << "" << "queued";
        QTest::newRow("hang") << "hang" << "0";
        QTest::newRow("drop") << "drop" << "0";
        QTest::newRow("truncate") << "truncate" << "0";
    }
    void transportFailures()
    {
        QFETCH(QString, fault);
        QFETCH(QString, inFlight);
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        GatewayClient::setDefaultTimeout(500);
        const QList<qint64> keys = {queue(QStringLiteral("0821234567"), QStringLiteral("one")),
                                    queue(QStringLiteral("0821234567"), QStringLiteral("two")),
                                    queue(QStringLiteral("0821234567"), QStringLiteral("three"))};
        ScriptedCycleHost host;
        host.credits = QStringLiteral("10");
        host.onYield = [&] {
            if (host.yields != 1)
                return;
            if (fault.isEmpty())
                gateway.stop();
            else
                gateway.admin(QStringLiteral("/admin/fault?mode=%1&types=SingleSMS").arg(fault));
        };
        OutboxSender sender(host);
        QVERIFY(!sender.SendOutbox());
        QCOMPARE(rowState(keys[0]), QStringLiteral("5000001"));
        QCOMPARE(rowState(keys[1]), inFlight);
        QCOMPARE(rowState(keys[2]), QStringLiteral("queued"));
        QCOMPARE(host.boxes.size(), 1);
        QCOMPARE(host.boxes[0].kind, QStringLiteral("error"));
        QCOMPARE(host.lastStatus(), QStringLiteral("ERROR"));
        QCOMPARE(host.progress.last(), qMakePair(0, 0));
        QCOMPARE(host.busyDepth, 0);
        if (!fault.isEmpty()) {
            // and nothing was posted twice
            const QJsonArray messages = adminArray(gateway, QStringLiteral("/admin/messages"));
            QCOMPARE(messages.size(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestOutboxSender)
#include "tst_outboxsender.moc"
