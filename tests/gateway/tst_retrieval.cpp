#include "GatewayTestSupport.h"

#include "data/Database.h"
#include "gateway/GatewayClient.h"
#include "gateway/RepliesRetrieval.h"
#include "gateway/StatusRetrieval.h"

#include <QSqlQuery>
#include <QTest>

namespace {

qint64 queue()
{
    return Database::insert(QStringLiteral("INSERT INTO SMSSend (Number, Message, Send, EventID) "
                                           "VALUES ('0821234567', 'hello', 1, '5000001')"));
}

// "delivered/<SentID>" or "not delivered/<SentID>".
QString delivery(qint64 key)
{
    QSqlQuery row = Database::run(
        QStringLiteral("SELECT Delivered, coalesce(SentID, '') FROM SMSSend WHERE SMSSendID = ?"), {key});
    if (!row.next())
        return QStringLiteral("<no row>");
    return (row.value(0).toInt() ? QStringLiteral("delivered/") : QStringLiteral("not delivered/"))
           + row.value(1).toString();
}

QString lastHighestTrn()
{
    return Database::value(QStringLiteral("SELECT LastHighestTrn FROM Setup")).toString();
}

void addReport(const GatewayProcess &gateway, const QString &customer, const QString &flag, int count = 1)
{
    gateway.admin(QStringLiteral("/admin/report?user=demo&customer=%1&flag=%2&count=%3")
                      .arg(encodedForAdmin(customer), encodedForAdmin(flag))
                      .arg(count));
}

void addReply(const GatewayProcess &gateway, const QString &id, const QString &customer = QStringLiteral("1"),
              const QString &received = QStringLiteral("2024-03-14 14:05:07"),
              const QString &sent = QStringLiteral("14/03/2024 09:00"), int count = 1)
{
    gateway.admin(QStringLiteral("/admin/reply?user=demo&id=") + encodedForAdmin(id)
                  + QStringLiteral("&from=0821234567&text=") + encodedForAdmin(QStringLiteral("Yes & thanks"))
                  + QStringLiteral("&received=") + encodedForAdmin(received)
                  + QStringLiteral("&sentmessage=") + encodedForAdmin(QStringLiteral("Pay now"))
                  + QStringLiteral("&sentdatetime=") + encodedForAdmin(sent)
                  + QStringLiteral("&customer=") + encodedForAdmin(customer)
                  + QStringLiteral("&count=") + QString::number(count));
}

QStringList storedReplyIds()
{
    QStringList ids;
    QSqlQuery rows = Database::run(QStringLiteral("SELECT IncomingID FROM SMSReplies ORDER BY SMSReplyID"));
    while (rows.next())
        ids.append(rows.value(0).toString());
    return ids;
}

} // namespace

// Delivery status and replies retrieval against the real gateway.
class TestRetrieval : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        GatewayClient::setDefaultTimeout(GatewayClient::DefaultTimeoutMs);
    }

    // 250 entries come in pages of 100: three requests, each after the point
    // saved for the page before; the counter runs on over the pages.
    void pagedReport()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        const qint64 first = queue();
        const qint64 second = queue();
        const qint64 third = queue();
        addReport(gateway, QString::number(first), QStringLiteral("TRUE"), 100);
        addReport(gateway, QString::number(second), QStringLiteral("true"), 60);
        addReport(gateway, QStringLiteral("999"), QStringLiteral("TRUE"), 40); // no such row
        addReport(gateway, QString::number(third), QStringLiteral("no"), 50);

        ScriptedCycleHost host;
        QStringList savedBeforeRequest;
        host.onStatus = [&](const QString &text) {
            if (text == QStringLiteral("Sending request for status reports ..."))
                savedBeforeRequest.append(lastHighestTrn());
        };
        StatusRetrieval status(host);
        status.FetchStatusReports();

        const QStringList requests = takeRequests(gateway);
        QCOMPARE(requests.size(), 3);
        QStringList ids;
        for (const QString &request : requests)
            ids.append(requestParameter(request, QStringLiteral("ID")));
        QCOMPARE(ids, QStringList({QStringLiteral("0"), QStringLiteral("100"), QStringLiteral("200")}));
        QCOMPARE(requestParameter(requests[0], QStringLiteral("EventID")), QStringLiteral("0"));
        QCOMPARE(savedBeforeRequest, ids);
        QCOMPARE(lastHighestTrn(), QStringLiteral("250"));
        QCOMPARE(StatusRetrieval::ReadLastHighestTrn(), QStringLiteral("250"));

        QCOMPARE(delivery(first), QStringLiteral("delivered/100"));
        QCOMPARE(delivery(second), QStringLiteral("delivered/160"));
        QCOMPARE(delivery(third), QStringLiteral("not delivered/"));

        QStringList counters;
        for (const QString &text : std::as_const(host.statuses)) {
            if (text.startsWith(QStringLiteral("Parsing report rows ")))
                counters.append(text);
        }
        QCOMPARE(counters.size(), 250);
        QCOMPARE(counters.first(), QStringLiteral("Parsing report rows 1 ..."));
        QCOMPARE(counters[100], QStringLiteral("Parsing report rows 101 ..."));
        QCOMPARE(counters.last(), QStringLiteral("Parsing report rows 250 ..."));
        QCOMPARE(host.statuses.mid(0, 4),
                 QStringList({QStringLiteral("Getting new status of smse sent ..."),
                              QStringLiteral("Sending request for status reports ..."),
                              QStringLiteral("Got the status reports ..."), QStringLiteral("Parsing reports ...")}));
        QCOMPARE(host.lastStatus(), QStringLiteral("Done. Ready ..."));
        QCOMPARE(host.outboxRefreshes, 1);
        QCOMPARE(host.yields, 250);
        QCOMPARE(host.busyDepth, 0);

        // the next run asks only for what is new; nothing new changes nothing
        host.statuses.clear();
        status.FetchStatusReports();
        const QStringList again = takeRequests(gateway);
        QCOMPARE(again.size(), 1);
        QCOMPARE(requestParameter(again[0], QStringLiteral("ID")), QStringLiteral("250"));
        QCOMPARE(lastHighestTrn(), QStringLiteral("250"));
    }

    // Only a TRUE flag (any case) marks a row; nothing sets it back.
    void deliveryFlags()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        const qint64 row = queue();
        const qint64 failed = queue();
        addReport(gateway, QString::number(row), QStringLiteral("True"));  // trn 1
        addReport(gateway, QString::number(row), QStringLiteral("FALSE")); // trn 2
        addReport(gateway, QString::number(failed), QStringLiteral("TRUE ")); // trn 3: not exactly TRUE
        addReport(gateway, QString::number(failed), QStringLiteral("yes"));  // trn 4
        ScriptedCycleHost host;
        StatusRetrieval(host).FetchStatusReports();
        QCOMPARE(delivery(row), QStringLiteral("delivered/1"));
        QCOMPARE(delivery(failed), QStringLiteral("not delivered/"));
        QCOMPARE(lastHighestTrn(), QStringLiteral("4"));
    }

    // Entries lacking a child the run reads are passed over (never applied
    // with another entry's values); an answer that is not a report ends the run.
    void oddReports()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        const qint64 row = queue();
        const qint64 other = queue();
        scriptAnswer(gateway, QStringLiteral("Sent"),
                     QStringLiteral("<sent><msg><t>7</t><a/><b/><c/><d/><f>TRUE</f><c>%1</c></msg>"
                                    "<msg><t>8</t><a/><b/><c/><d/><f>TRUE</f></msg>"
                                    "<msg><t>9</t><a/><b/><c/><d/></msg></sent>")
                         .arg(row));
        ScriptedCycleHost host;
        StatusRetrieval status(host);
        status.FetchStatusReports();
        QCOMPARE(delivery(row), QStringLiteral("delivered/7"));
        QCOMPARE(delivery(other), QStringLiteral("not delivered/"));
        QCOMPARE(lastHighestTrn(), QStringLiteral("9"));
        QVERIFY(host.statuses.contains(QStringLiteral("Parsing report rows 3 ...")));

        // not XML, an error page, another document: one request each, nothing changes
        const QList<QPair<QString, int>> answers = {{QStringLiteral("<html><body>Service Unavailable"), 200},
                                                    {QStringLiteral("<html><body>Error</body></html>"), 500},
                                                    {QStringLiteral("<replies/>"), 200},
                                                    {QString(), 200}};
        for (const auto &[body, code] : answers) {
            takeRequests(gateway);
            host.statuses.clear();
            scriptAnswer(gateway, QStringLiteral("Sent"), body, code);
            status.FetchStatusReports();
            QCOMPARE(takeRequests(gateway).size(), 1);
            QCOMPARE(host.lastStatus(), QStringLiteral("Done. Ready ..."));
            QVERIFY(host.boxes.isEmpty());
            QCOMPARE(lastHighestTrn(), QStringLiteral("9"));
        }
        gateway.admin(QStringLiteral("/admin/fault?mode=not-xml&types=Sent"));
        status.FetchStatusReports();
        QCOMPARE(takeRequests(gateway).size(), 1);
    }

    // A full page that does not move past the point asked from is not asked
    // for again and again.
    void gatewayIgnoringResumePoint()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        QString page = QStringLiteral("<sent>");
        for (int trn = 1; trn <= 100; ++trn)
            page += QStringLiteral("<msg><t>%1</t><a/><b/><c/><d/><f>FALSE</f><c>1</c></msg>").arg(trn);
        page += QStringLiteral("</sent>");
        scriptAnswer(gateway, QStringLiteral("Sent"), page, 200, 5);
        ScriptedCycleHost host;
        StatusRetrieval(host).FetchStatusReports();
        // the first page moves the point to 100; the second brings nothing past it
        QCOMPARE(takeRequests(gateway).size(), 2);
        QCOMPARE(lastHighestTrn(), QStringLiteral("100"));
    }

    // A request that fails counts as an empty answer: the run ends quietly,
    // keeping what the pages before saved.
    void failedRequests()
    {
        TestHome home;
        {
            GatewayProcess gateway;
            QVERIFY(gateway.isRunning());
            gateway.use();
            const qint64 row = queue();
            addReport(gateway, QString::number(row), QStringLiteral("TRUE"), 150);
            ScriptedCycleHost host;
            int requests = 0;
            host.onStatus = [&](const QString &text) {
                if (text == QStringLiteral("Sending request for status reports ...") && ++requests == 2)
                    gateway.stop();
            };
            StatusRetrieval(host).FetchStatusReports();
            QCOMPARE(requests, 2);
            QCOMPARE(lastHighestTrn(), QStringLiteral("100"));
            QCOMPARE(delivery(row), QStringLiteral("delivered/100"));
            QCOMPARE(host.lastStatus(), QStringLiteral("Done. Ready ..."));
            QVERIFY(host.boxes.isEmpty());
        }
        {
            GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:1"),
                                    QStringLiteral("--fault"), QStringLiteral("hang")});
            QVERIFY(gateway.isRunning());
            gateway.use();
            GatewayClient::setDefaultTimeout(300);
            ScriptedCycleHost host;
            StatusRetrieval(host).FetchStatusReports();
            QCOMPARE(host.lastStatus(), QStringLiteral("Done. Ready ..."));
            QCOMPARE(lastHighestTrn(), QStringLiteral("100"));
        }
    }

    void resumePointStore()
    {
        TestHome home;
        QCOMPARE(StatusRetrieval::ReadLastHighestTrn(), QStringLiteral("0"));
        QVERIFY(StatusRetrieval::SaveLastHighestTrn(QStringLiteral("1234\r\n")));
        QCOMPARE(StatusRetrieval::ReadLastHighestTrn(), QStringLiteral("1234"));
        Database::run(QStringLiteral("DELETE FROM Setup"));
        QCOMPARE(StatusRetrieval::ReadLastHighestTrn(), QStringLiteral("0"));
        QVERIFY(!StatusRetrieval::SaveLastHighestTrn(QStringLiteral("5")));
    }

    void storesNewReplies()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        addReply(gateway, QStringLiteral("R1"), QStringLiteral("42"));
        addReply(gateway, QStringLiteral("R2"), QStringLiteral("not a number"), QStringLiteral("sometime"),
                 QStringLiteral("3/14/2024 2:05:07 PM"));
        ScriptedCycleHost host;
        RepliesRetrieval replies(host);
        replies.FetchReplies();

        const QStringList requests = takeRequests(gateway);
        QCOMPARE(requestTypes(requests), QStringList({QStringLiteral("replies")}));
        QCOMPARE(requestParameter(requests[0], QStringLiteral("ID")), QStringLiteral("0"));
        QSqlQuery rows = Database::run(QStringLiteral(
            "SELECT IncomingID, PhoneNumber, Message, ReceivedDateTime, SentMessage, SentDateTime, SMSSendID "
            "FROM SMSReplies ORDER BY SMSReplyID"));
        QVERIFY(rows.next());
        QCOMPARE(rows.value(0).toString(), QStringLiteral("R1"));
        QCOMPARE(rows.value(1).toString(), QStringLiteral("0821234567"));
        QCOMPARE(rows.value(2).toString(), QStringLiteral("Yes & thanks"));
        QCOMPARE(rows.value(3).toString(), QStringLiteral("2024-03-14 14:05:07"));
        QCOMPARE(rows.value(4).toString(), QStringLiteral("Pay now"));
        QCOMPARE(rows.value(5).toString(), QStringLiteral("2024-03-14 09:00:00"));
        QCOMPARE(rows.value(6).toLongLong(), 42);
        QVERIFY(rows.next());
        QCOMPARE(rows.value(0).toString(), QStringLiteral("R2"));
        QVERIFY(rows.value(3).isNull());
        QCOMPARE(rows.value(5).toString(), QStringLiteral("2024-03-14 14:05:07"));
        QCOMPARE(rows.value(6).toLongLong(), 0);
        QVERIFY(!rows.next());
        QCOMPARE(host.statuses, QStringList({QStringLiteral("Getting new status of smse sent ..."),
                                             QStringLiteral("Parsing results ..."),
                                             QStringLiteral("Done. Ready ...")}));
        QVERIFY(host.inboxRefreshes >= 1);
        QCOMPARE(host.yields, 2);
        QCOMPARE(host.busyDepth, 0);
    }

    // A reply is stored once, known by its identifier without surrounding
    // blanks, whichever side has them; a quote is an ordinary character.
    void replyIdentity()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        Database::insert(QStringLiteral("INSERT INTO SMSReplies (IncomingID, Message) VALUES (' R2 ', 'earlier')"));
        addReply(gateway, QStringLiteral("R1"));
        addReply(gateway, QStringLiteral("R2"));
        addReply(gateway, QStringLiteral("  R3 "));
        addReply(gateway, QStringLiteral("R3"));
        addReply(gateway, QStringLiteral("O'Brien"));
        addReply(gateway, QStringLiteral("   "));
        addReply(gateway, QString());
        addReply(gateway, QStringLiteral("\tR4"));
        ScriptedCycleHost host;
        RepliesRetrieval replies(host);
        replies.FetchReplies();
        replies.FetchReplies();
        QCOMPARE(storedReplyIds(), QStringList({QStringLiteral(" R2 "), QStringLiteral("R1"), QStringLiteral("  R3 "),
                                                QStringLiteral("O'Brien"), QStringLiteral("\tR4")}));
        QCOMPARE(takeRequests(gateway).size(), 2);
    }

    // Replies lacking a child are passed over; answers that are not a list,
    // and a gateway that cannot be reached, store nothing and end quietly.
    void oddReplyAnswers()
    {
        TestHome home;
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        ScriptedCycleHost host;
        RepliesRetrieval replies(host);
        scriptAnswer(gateway, QStringLiteral("replies"),
                     QStringLiteral("<replies><reply><i>A</i><s/><f>1</f><t>x</t><r/><m/><d/><c>5</c></reply>"
                                    "<reply><i>B</i><s/><f>2</f><t>y</t><r/><m/><d/></reply></replies>"));
        replies.FetchReplies();
        QCOMPARE(storedReplyIds(), QStringList({QStringLiteral("A")}));

        for (const QString &body : {QStringLiteral("<html><body>Service Unavailable"), QString(),
                                    QStringLiteral("<sent><reply/></sent>")}) {
            host.statuses.clear();
            scriptAnswer(gateway, QStringLiteral("replies"), body, 500);
            replies.FetchReplies();
            QCOMPARE(host.lastStatus(), QStringLiteral("Done. Ready ..."));
        }
        gateway.admin(QStringLiteral("/admin/fault?mode=truncate&types=replies"));
        replies.FetchReplies();
        gateway.stop();
        replies.FetchReplies();
        QCOMPARE(host.lastStatus(), QStringLiteral("Done. Ready ..."));
        QVERIFY(host.boxes.isEmpty());
        QCOMPARE(storedReplyIds(), QStringList({QStringLiteral("A")}));
    }

    // The lookup that runs once per reply is answered from the index.
    void replyLookupUsesIndex()
    {
        TestHome home;
        QSqlQuery plan = Database::run(QStringLiteral("EXPLAIN QUERY PLAN ") + RepliesRetrieval::KnownReplySql,
                                       {QStringLiteral("R1")});
        QStringList details;
        while (plan.next())
            details.append(plan.value(3).toString());
        QVERIFY2(details.join(QLatin1Char('\n')).contains(QStringLiteral("INDEX SMSReplies_Incoming")),
                 qPrintable(details.join(QLatin1Char('\n'))));
        QVERIFY(!details.join(QLatin1Char('\n')).contains(QStringLiteral("SCAN")));
    }
};

QTEST_GUILESS_MAIN(TestRetrieval)
#include "tst_retrieval.moc"
