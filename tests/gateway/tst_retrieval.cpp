#include "FailingWrites.h"
#include "GatewayTestSupport.h"

#include "campaigns/OptOuts.h"
#include "gateway/OutboxSender.h"
#include "gateway/RepliesRetrieval.h"
#include "gateway/StatusRetrieval.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString lastHighestTrn()
{
    return Database::value(QStringLiteral("SELECT LastHighestTrn FROM Setup")).toString();
}

void addReport(const GatewayProcess &gateway, qint64 customer, const QString &flag, int count)
{
    gateway.admin(
        QStringLiteral("/admin/report?user=demo&customer=%1&flag=%2&count=%3").arg(customer).arg(flag).arg(count));
}

void addReply(const GatewayProcess &gateway, const QString &id, const QString &customer = QStringLiteral("1"),
              const QString &received = QStringLiteral("2024-03-14 14:05:07"),
              const QString &sent = QStringLiteral("14/03/2024 09:00"))
{
    QString query =
        QStringLiteral("/admin/reply?user=demo&from=0821234567&sentmessage=Pay%20now&text=Yes%20%26%20thanks");
    for (const auto &[name, value] : QList<QPair<QString, QString>>{
             {"id", id}, {"customer", customer}, {"received", received}, {"sentdatetime", sent}})
        query += '&' + name + '=' + encodedForAdmin(value);
    gateway.admin(query);
}

const QString Ids = QStringLiteral("SELECT IncomingID FROM SMSReplies ORDER BY SMSReplyID");

} // namespace

class tst_retrieval : public QObject
{
    Q_OBJECT

private slots:
    // 250 entries in pages of 100: three requests, each from the point saved after the page before,
    // the row counter running on; the next run asks only for what is new.
    void pagedReportsAndResumePoint()
    {
        GatewaySetup s;
        const QList<qint64> rows = {sentRow(), sentRow(), sentRow()};
        addReport(s.gateway, rows[0], "TRUE", 100);
        addReport(s.gateway, rows[1], "true", 60);
        addReport(s.gateway, 999, "TRUE", 40); // no such row
        addReport(s.gateway, rows[2], "FALSE", 50);
        QStringList savedBeforeRequest;
        s.host.onStatus = [&](const QString &text) {
            if (text == "Sending request for status reports ...")
                savedBeforeRequest.append(lastHighestTrn());
        };
        StatusRetrieval status(s.host);
        status.FetchStatusReports();
        QCOMPARE(requestParameters(takeRequests(s.gateway), "ID"), QStringList({"0", "100", "200"}));
        QCOMPARE(savedBeforeRequest, QStringList({"0", "100", "200"}));
        QCOMPARE(lastHighestTrn(), "250");
        QCOMPARE(deliveries(), QStringList({"delivered/100", "delivered/160", "not delivered/"}));
        const QStringList counters = s.host.statuses.filter("Parsing report rows ");
        QCOMPARE(counters.size(), 250);
        QCOMPARE(counters.last(), "Parsing report rows 250 ...");

        // children by position, whatever their names, whitespace and comments between them; an entry
        // lacking a child is passed over but its number counts
        scriptAnswer(s.gateway, "Sent",
                     QStringLiteral("<sent>\n <msg> <t>251</t><a/><b/> <!-- no child --> <c/><d/><f>T<i>RUE</i></f>"
                                    "<c>%1</c> </msg>\n <msg><t>252</t><a/><b/><c/><d/><f>TRUE</f></msg>\n"
                                    " <other><t>300</t></other></sent>")
                         .arg(rows[2]));
        status.FetchStatusReports();
        QCOMPARE(requestParameters(takeRequests(s.gateway), "ID"), QStringList({"250"}));
        QCOMPARE(deliveries(), QStringList({"delivered/100", "delivered/160", "delivered/251"}));
        QCOMPARE(lastHighestTrn(), "252");

        scriptAnswer(s.gateway, "Sent", "<html><body>Service Unavailable", 500);
        status.FetchStatusReports();
        QCOMPARE(lastHighestTrn(), "252");
        QCOMPARE(s.host.lastStatus(), "Done. Ready ...");
        QVERIFY(s.host.titles.isEmpty());
    }

    // A row left in doubt by a stopped run is in doubt no more once the report names it, whatever
    // its flag, and shows as sent under the entry's number. One the report does not name, and the
    // gateway does not list among the messages it received, never reached it: it is queued again.
    // A row queued again that the report names was received: it leaves the queue, never to be
    // posted a second time.
    void reportedRowsAreNoLongerInDoubt()
    {
        GatewaySetup s;
        const QList<qint64> rows = {sentRow(), sentRow(), sentRow(), OutboxRows::queue("083")};
        Database::run(QStringLiteral("UPDATE SMSSend SET InFlight = 7"));
        addReport(s.gateway, rows[0], "FALSE", 1);
        addReport(s.gateway, rows[1], "TRUE", 1);
        addReport(s.gateway, rows[3], "FALSE", 1);
        StatusRetrieval(s.host).FetchStatusReports();
        QCOMPARE(queryValues("SELECT InFlight || '/' || Send || '/' || Delivered || '/' || coalesce(EventID, '') "
                             "FROM SMSSend ORDER BY SMSSendID"),
                 QStringList({"0/1/0/1", "0/1/1/2", "0/0/0/", "0/1/0/3"}));
        QVERIFY(OutboxSender(s.host).SendOutbox());
        QCOMPARE(postedCustomers(s.gateway), QStringList({QString::number(rows[2])}));
    }

    // A full page that does not move past the point asked from is not asked for again and again.
    void gatewayIgnoringResumePoint()
    {
        GatewaySetup s;
        QString page = QStringLiteral("<sent>");
        for (int trn = 1; trn <= 100; ++trn)
            page += QStringLiteral("<msg><t>%1</t><a/><b/><c/><d/><f>FALSE</f><c>1</c></msg>").arg(trn);
        scriptAnswer(s.gateway, "Sent", page + "</sent>", 200, 5);
        StatusRetrieval(s.host).FetchStatusReports();
        QCOMPARE(takeRequests(s.gateway).size(), 2);
    }

    // A request failing mid-run ends the run quietly, keeping what the pages before saved.
    void failedRequestEndsRun()
    {
        GatewaySetup s;
        const qint64 row = sentRow();
        addReport(s.gateway, row, "TRUE", 150);
        int requests = 0;
        s.host.onStatus = [&](const QString &text) {
            if (text == "Sending request for status reports ..." && ++requests == 2)
                s.gateway.stop();
        };
        StatusRetrieval(s.host).FetchStatusReports();
        QCOMPARE(requests, 2);
        QCOMPARE(lastHighestTrn(), "100");
        QCOMPARE(deliveries(), QStringList({"delivered/100"}));
        QCOMPARE(s.host.lastStatus(), "Done. Ready ...");
        QVERIFY(s.host.titles.isEmpty());
    }

    // An entry whose row cannot be written ends the run with its error and leaves the resume point
    // where it was: the next run reads the same page again and stores it whole.
    void entryThatCannotBeStoredIsReadAgain()
    {
        GatewaySetup s;
        const QList<qint64> rows = {sentRow(), sentRow()};
        addReport(s.gateway, rows[0], "TRUE", 1);
        addReport(s.gateway, rows[1], "TRUE", 1);
        FailingWrites::breakWhere(u"NoDelivery"_s, u"UPDATE"_s, u"SMSSend"_s, u"NEW.SMSSendID = %1"_s.arg(rows[1]));
        StatusRetrieval(s.host).FetchStatusReports();
        QCOMPARE(s.host.titles, QStringList({"ERROR"}));
        QCOMPARE(s.host.lastStatus(), "ERROR");
        QCOMPARE(lastHighestTrn(), "0");
        QCOMPARE(deliveries(), QStringList({"not delivered/", "not delivered/"}));

        FailingWrites::allow(u"NoDelivery"_s, u"SMSSend"_s);
        StatusRetrieval(s.host).FetchStatusReports();
        QCOMPARE(lastHighestTrn(), "2");
        QCOMPARE(deliveries(), QStringList({"delivered/1", "delivered/2"}));
    }

    // A commit the database refuses (a deferred foreign key) ends the run with
    // "ERROR" and its box, and nothing of the page or answer is stored.
    void failedCommitEndsWithError_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("status") << "SMSSend";
        QTest::newRow("replies") << "SMSReplies";
    }
    void failedCommitEndsWithError()
    {
        SQLITE_FILE_ONLY("the failing commit is made with SQLite's deferred foreign keys");
        QFETCH(QString, table);
        GatewaySetup s;
        addReport(s.gateway, sentRow(), "TRUE", 1);
        addReply(s.gateway, "A");
        FailingWrites::failCommitsAfter(table == "SMSSend" ? "UPDATE" : "INSERT", table);
        if (table == "SMSSend")
            StatusRetrieval(s.host).FetchStatusReports();
        else
            RepliesRetrieval(s.host).FetchReplies();
        QCOMPARE(s.host.titles, QStringList({"ERROR"}));
        QVERIFY2(s.host.texts[0].contains("FOREIGN KEY"), qPrintable(s.host.texts[0]));
        QCOMPARE(s.host.lastStatus(), "ERROR");
        QCOMPARE(s.host.busyDepth, 0);
        QCOMPARE(deliveries(), QStringList({"not delivered/"}));
        QCOMPARE(lastHighestTrn(), "0");
        QCOMPARE(queryValues(Ids), QStringList());
    }

    // Each reply is stored once, known by its identifier without blanks on either side; a quote is
    // an ordinary character; blank identifiers, replies lacking a child and non-lists are passed over.
    void storesNewRepliesOnce()
    {
        GatewaySetup s;
        Database::insert(QStringLiteral("INSERT INTO SMSReplies (IncomingID, Message) VALUES (' K ', 'earlier')"));
        addReply(s.gateway, "A", "42");
        addReply(s.gateway, "B", "not a number", "sometime", "3/14/2024 2:05:07 PM");
        for (const char *id : {"K", "  C ", "C", "O'Brien", "   ", "\tD"})
            addReply(s.gateway, id);
        RepliesRetrieval replies(s.host);
        replies.FetchReplies();
        replies.FetchReplies();
        QCOMPARE(requestParameters(takeRequests(s.gateway), "Type"), QStringList({"replies", "replies"}));
        QCOMPARE(queryValues(Ids), QStringList({" K ", "A", "B", "  C ", "O'Brien", "\tD"}));
        QCOMPARE(queryValues("SELECT PhoneNumber, Message, ReceivedDateTime, SentMessage, SentDateTime, SMSSendID "
                             "FROM SMSReplies ORDER BY SMSReplyID LIMIT 2 OFFSET 1"),
                 QStringList({"0821234567", "Yes & thanks", "2024-03-14 14:05:07", "Pay now", "2024-03-14 09:00:00",
                              "42", "0821234567", "Yes & thanks", "<null>", "Pay now", "2024-03-14 14:05:07", "0"}));

        scriptAnswer(s.gateway, "replies",
                     "<replies>\n <reply><i>E</i><s/><f>1</f><t>x</t><r/><m/><d/><c>5</c></reply>\n"
                     " <reply><i>F</i><s/><f>2</f><t>y</t><r/><m/><d/></reply></replies>");
        replies.FetchReplies();
        scriptAnswer(s.gateway, "replies", "<html><body>Service Unavailable", 500);
        replies.FetchReplies();
        QCOMPARE(queryValues(Ids).mid(6), QStringList({"E"}));
        QCOMPARE(s.host.lastStatus(), "Done. Ready ...");
        QVERIFY(s.host.titles.isEmpty());
    }

    // A reply whose customer identifier names no outbox row is stored unlinked, and a STOP among them
    // puts its sender on the opt-out list. (Which identifiers name a row: tst_gatewayClient.)
    void replyWithAnUnusableCustomerIdIsKeptUnlinked_data()
    {
        QTest::addColumn<QString>("customer");
        QTest::newRow("negative") << "-5";
        QTest::newRow("past 64 bits") << "99999999999999999999";
    }
    void replyWithAnUnusableCustomerIdIsKeptUnlinked()
    {
        QFETCH(QString, customer);
        GatewaySetup s;
        s.gateway.admin("/admin/reply?user=demo&id=R1&from=082%20123%204567&text=Stop&sentmessage=Pay%20now"
                        "&received=2024-03-14%2014:05:07&customer="
                        + encodedForAdmin(customer));
        QVERIFY(!OptOutList::isSuppressed("0821234567"));
        QVERIFY(RepliesRetrieval(s.host).FetchReplies());
        QCOMPARE(queryValues("SELECT IncomingID, Message, SMSSendID FROM SMSReplies"),
                 QStringList({"R1", "Stop", "0"}));
        QVERIFY(OptOutList::isSuppressed("+27 82 123 4567"));
        QCOMPARE(queryValues("SELECT OptOut FROM SMSReplies"), QStringList({"1"}));
    }

    // The lookup made once per reply is answered from the index.
    void replyLookupUsesIndex()
    {
        SQLITE_FILE_ONLY("the plan is SQLite's");
        TestHome home;
        const QString details = queryValues("EXPLAIN QUERY PLAN " + RepliesRetrieval::KnownReplySql, {"R1"}).join(' ');
        QVERIFY2(details.contains("INDEX SMSReplies_Incoming") && !details.contains("SCAN"), qPrintable(details));
    }
};

QTEST_GUILESS_MAIN(tst_retrieval)
#include "tst_retrieval.moc"
