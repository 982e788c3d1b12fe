#include "WindowFixture.h"

#include "../gateway/GatewayTestSupport.h"
#include "FileBytes.h"
#include "OutboxRows.h"

#include "campaigns/CampaignReport.h"
#include "campaigns/OptOuts.h"
#include "campaigns/frmReports.h"
#include "data/Clock.h"
#include "data/Database.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/OutboxSender.h"
#include "outbox/FailReasons.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

// A week of campaign history: two sent (one delivered; 1 and 2 credits), one failed, one kept back
// because it opted out, one still queued, a reply inside and one outside the range, one new opt-out.
void history()
{
    OutboxRows::addPosted(
        {.number = u"0825550001"_s, .message = QString(150, u'a'), .sendDate = u"2026-11-20"_s, .delivered = true},
        u"2026-12-07T09:00:00.000Z"_s);
    OutboxRows::addPosted({.number = u"0825550001"_s, .message = QString(200, u'b'), .sendDate = u"2026-11-20"_s},
                          u"2026-12-08T09:00:00.000Z"_s);
    OutboxRows::add({.number = u"0825550002"_s, .sendDate = u"2026-12-09"_s, .send = true, .eventId = u"0"_s});
    OutboxRows::add({.number = u"0825550003"_s, .sendDate = u"2026-12-10"_s, .send = true, .eventId = u"OPTOUT"_s});
    OutboxRows::add({.number = u"0825550004"_s, .sendDate = u"2026-12-14"_s});
    Database::run(u"INSERT INTO SMSReplies (IncomingID, PhoneNumber, Message, ReceivedDateTime) VALUES "
                  "('R1', '0825550001', 'thanks', '2026-12-08 10:00:00'), "
                  "('R2', '0825550001', 'old', '2026-11-30 10:00:00')"_s);
    Database::run(u"INSERT INTO OptOutAudit (ChangedAt, Number, Action, Source) "
                  "VALUES ('2026-12-10T08:00:00Z', '0825550003', 'ADDED', 'REPLY')"_s);
}

const QString Unavailable = u"Service temporarily unavailable"_s;

// A send run through the real gateway on 2026-12-14 where one message is accepted, two are refused by the
// gateway (its own words kept), and three are never posted: no number, a number that cannot be used, no text.
// The keys of the two refused.
QList<qint64> failingRun(const GatewayProcess &gateway)
{
    const qint64 accepted = OutboxRows::queue(u"0825550010"_s, u"Hello"_s);
    const qint64 refused1 = OutboxRows::queue(u"0825550011"_s, u"Your account is due"_s);
    OutboxRows::queue(QString());
    OutboxRows::queue(u"7"_s);
    OutboxRows::queue(u"0825550012"_s, QString());
    const qint64 refused2 = Database::insert(u"INSERT INTO SMSSend (ClientID, Number, Message, SendDate, Marketing) "
                                             "VALUES (42, '0825550013', 'Sale on now', '2026-12-06', 1)"_s);
    gateway.admin(u"/admin/fault?mode=refuse&customers=%1,%2"_s.arg(refused1).arg(refused2));
    ScriptedCycleHost host;
    // A weekday in the permitted hours, so that the marketing message goes too.
    CampaignClock::set([] { return QDateTime(QDate(2026, 12, 14), QTime(12, 0)); });
    OutboxSender(host).SendOutbox();
    gateway.admin(u"/admin/fault?mode=none"_s);
    if (Database::value(u"SELECT EventID FROM SMSSend WHERE SMSSendID = ?"_s, {accepted}).toString() == u"0"_s)
        qWarning("the accepted message was refused: %s", qPrintable(host.texts.join(u'|')));
    return {refused1, refused2};
}

} // namespace

class tst_reports : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        start();
        CampaignClock::set([] { return QDateTime(QDate(2026, 12, 14), QTime(12, 0)); });
        history();
    }
    void cleanup()
    {
        CampaignClock::set({});
        finish();
    }

    void countsByPeriod_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<QStringList>("starts");
        QTest::newRow("day") << int(CampaignReport::Period::Day) << QStringList();
        QTest::newRow("week") << int(CampaignReport::Period::Week)
                              << QStringList({u"2026-11-30"_s, u"2026-12-07"_s, u"2026-12-14"_s});
        QTest::newRow("month") << int(CampaignReport::Period::Month) << QStringList{u"2026-12-01"_s};
    }

    void countsByPeriod()
    {
        QFETCH(int, period);
        QFETCH(QStringList, starts);
        const CampaignReport::Report report =
            CampaignReport::build(QDate(2026, 12, 1), QDate(2026, 12, 14), CampaignReport::Period(period));
        QStringList seen;
        for (const CampaignReport::Bucket &bucket : report.buckets)
            seen << bucket.start.toString(Qt::ISODate);
        QCOMPARE(seen.size(), starts.isEmpty() ? 14 : starts.size());
        if (!starts.isEmpty())
            QCOMPARE(seen, starts);
        const CampaignReport::Bucket &t = report.total;
        QCOMPARE(QList<int>({t.sent, t.delivered, t.failed, t.optedOut, t.pending, t.replies, t.optOuts, t.credits}),
                 QList<int>({2, 1, 1, 1, 1, 1, 1, 3}));
        QCOMPARE(report.deliveryRate(), 0.5);
        QCOMPARE(report.failures.size(), 1);
        QCOMPARE(report.failures.first().reason, FailReasons::NotKept);
    }

    void refusalReasons_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("reason");
        QTest::newRow("colon") << u"FALSE: Not enough credits"_s << false << u"Not enough credits"_s;
        QTest::newRow("lower case, dash, line break")
            << u"false - Invalid number\r\n"_s << false << u"Invalid number"_s;
        QTest::newRow("word alone") << u"FALSE"_s << false << QString();
        QTest::newRow("tab inside") << u"FALSE:\tBlocked\tnumber"_s << false << u"Blockednumber"_s;
        QTest::newRow("batch number") << u"5000123"_s << true << QString();
        QTest::newRow("line break first") << u"\nFALSE: x"_s << true << QString();
    }

    void refusalReasons()
    {
        QFETCH(QString, answer);
        QFETCH(bool, accepted);
        QFETCH(QString, reason);
        const GatewayAnswers::SingleSmsAnswer read = GatewayAnswers::singleSms(answer);
        QCOMPARE(read.accepted, accepted);
        QCOMPARE(read.reason, reason);
    }

    // Each failure keeps why it failed; the report groups them over the range and the export lists them.
    void failuresAreKeptByReason()
    {
        GatewayProcess gateway;
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        gateway.use();
        failingRun(gateway);
        QCOMPARE(queryValues(u"SELECT coalesce(Number, ''), CASE EventID WHEN '0' THEN '0' ELSE 'batch' END, "
                             "coalesce(FailReason, '<null>') FROM SMSSend "
                             "WHERE SMSSendID > 5 ORDER BY SMSSendID"_s),
                 QStringList({u"0825550010"_s, u"batch"_s, u"<null>"_s, u"0825550011"_s, u"0"_s, Unavailable, u""_s,
                              u"0"_s, FailReasons::NoNumber, u"7"_s, u"0"_s, FailReasons::InvalidNumber,
                              u"0825550012"_s, u"0"_s, FailReasons::NoText, u"0825550013"_s, u"0"_s, Unavailable}));

        const CampaignReport::Report report =
            CampaignReport::build(QDate(2026, 12, 1), QDate(2026, 12, 14), CampaignReport::Period::Week);
        QStringList byReason;
        for (const CampaignReport::Failures &failed : report.failures)
            byReason << u"%1=%2"_s.arg(failed.reason).arg(failed.count);
        QCOMPARE(byReason,
                 QStringList({Unavailable + u"=2"_s, FailReasons::NoText + u"=1"_s, FailReasons::NoNumber + u"=1"_s,
                              FailReasons::InvalidNumber + u"=1"_s, FailReasons::NotKept + u"=1"_s}));
        QCOMPARE(report.total.failed, 6);
        QCOMPARE(report.total.pending, 0); // the week's queued message went with the run

        QTemporaryDir dir;
        CampaignReport::exportCsv(report, dir.filePath(u"r.csv"_s));
        const QString text = QString::fromUtf8(fileBytes(dir.filePath(u"r.csv"_s)));
        QVERIFY2(text.contains(u"\"Total\",4,1,6,0,1,1,1,5\r\n\r\nFailure reason,Failed\r\n"
                               "\"Service temporarily unavailable\",2\r\n\"No message text\",1\r\n"_s),
                 qPrintable(text));
        QVERIFY(text.endsWith(u"\"Refused, reason not kept\",1\r\n"_s));
    }

    // An answer that is no refusal and no batch number is a failure of its own, and never queued again: the
    // message may have been taken.
    void answerWithoutBatchNumberIsNotQueuedAgain()
    {
        GatewayProcess gateway;
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        gateway.use();
        Database::run(u"DELETE FROM SMSSend WHERE Send = 0"_s); // the history's queued one would go first
        OutboxRows::queue(u"0825550020"_s);
        OutboxRows::queue(u"0825550021"_s);
        scriptAnswer(gateway, u"SingleSMS"_s, u"<html><body>Server Error</body></html>"_s, 500);
        scriptAnswer(gateway, u"SingleSMS"_s, u"FALSE"_s);
        ScriptedCycleHost host;
        OutboxSender(host).SendOutbox();
        QCOMPARE(queryValues(u"SELECT EventID, FailReason FROM SMSSend WHERE SMSSendID > 5 ORDER BY SMSSendID"_s),
                 QStringList({u"0"_s, FailReasons::NoBatchNumber, u"0"_s, FailReasons::RefusedWithoutReason}));
        QStringList offered;
        for (const CampaignReport::Failed &failed :
             CampaignReport::failedToQueueAgain(QDate(2026, 12, 1), QDate(2026, 12, 14)))
            offered << failed.number;
        QCOMPARE(offered, QStringList({u"0825550002"_s, u"0825550021"_s}));
    }

    // The window queues the failed messages of the reason chosen again as new rows, asking first, leaving
    // out a number that opted out meanwhile, and never queues the same failure twice.
    void queueAgainToTheFailed()
    {
        GatewayProcess gateway;
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        gateway.use();
        const QList<qint64> refused = failingRun(gateway);
        open(new frmReports);
        child<QDateEdit>("dteFrom")->setDate(QDate(2026, 12, 1));
        click("cmdShow");
        auto *reasons = child<QTableWidget>("grdReasons");
        QCOMPARE(reasons->rowCount(), 5);
        QCOMPARE(reasons->item(0, 0)->text() + u'=' + reasons->item(0, 1)->text(), Unavailable + u"=2"_s);
        saveScreenshot(window.get(), u"frmReports-light"_s);
        window->setPalette(darkPalette());
        click("cmdShow");
        saveScreenshot(window.get(), u"frmReports-dark"_s);

        reasons->selectRow(0);
        const qint64 rows = OutboxRows::count();
        click("cmdQueueAgain"); // declined: nothing queued
        QCOMPARE(OutboxRows::count(), rows);
        // The marketing one's number opted out meanwhile.
        QVERIFY(OptOutList::add(u"+27825550013"_s, OptOutList::FromOperator));
        boxes->clear();
        boxes->answer(QMessageBox::Yes);
        click("cmdQueueAgain");
        QCOMPARE(boxes->titles(), QStringList({u"QUEUE AGAIN"_s, u"OPTED OUT"_s, u"QUEUE AGAIN"_s}));
        QCOMPARE(boxes->shown().first().text,
                 u"Queue again the 2 messages that failed (\"Service temporarily unavailable\") "
                 "from 2026-12-01 to 2026-12-14?"_s);
        QCOMPARE(boxes->shown().at(1).text, u"1 number is on the opt-out list and was left out."_s);
        QCOMPARE(boxes->last().text, u"1 message was queued again."_s);
        QCOMPARE(queryValues(u"SELECT coalesce(ClientID, 0), Number, Message, Marketing, Send, QueuedAgain "
                             "FROM SMSSend "
                             "WHERE SMSSendID > ?"_s,
                             {rows}),
                 QStringList({u"0"_s, u"0825550011"_s, u"Your account is due"_s, u"0"_s, u"0"_s, u"0"_s}));
        QCOMPARE(queryValues(u"SELECT QueuedAgain FROM SMSSend WHERE SMSSendID IN (?, ?) ORDER BY SMSSendID"_s,
                             {refused.at(0), refused.at(1)}),
                 QStringList({u"1"_s, u"0"_s}));

        // All reasons: the one queued is not queued twice, the one whose opt-out was lifted goes, and failures
        // that would fail the same way are not offered.
        OptOutList::lift(u"0825550013"_s, OptOutList::FromOperator);
        reasons->clearSelection();
        boxes->clear();
        boxes->answer(QMessageBox::Yes);
        click("cmdQueueAgain");
        QCOMPARE(boxes->shown().first().text,
                 u"Queue again the 2 messages that failed from 2026-12-01 to 2026-12-14?"_s);
        QCOMPARE(boxes->last().text, u"2 messages were queued again."_s);
        QCOMPARE(queryValues(u"SELECT ClientID, Number, Message, Marketing FROM SMSSend WHERE SMSSendID > ? "
                             "ORDER BY SMSSendID"_s,
                             {rows + 1}),
                 QStringList({u"<null>"_s, u"0825550002"_s, u"Hello"_s, u"0"_s, u"42"_s, u"0825550013"_s,
                              u"Sale on now"_s, u"1"_s}));
        boxes->clear();
        click("cmdQueueAgain");
        QCOMPARE(boxes->last().text, u"No failed message from 2026-12-01 to 2026-12-14 can be queued again."_s);
    }

    // The window charts the range, exports it, and is shown light and dark.
    void windowChartsAndExports()
    {
        open(new frmReports);
        window->resize(900, 560);
        child<QDateEdit>("dteFrom")->setDate(QDate(2026, 12, 1));
        child<QComboBox>("cboPeriod")->setCurrentIndex(0);
        click("cmdShow");
        QVERIFY(child<QLabel>("lblSummary")->text().contains(u"delivery rate 50.0%"_s));

        QTemporaryDir dir;
        dialogs->choose(dir.filePath(u"report.csv"_s));
        click("cmdExport");
        QVERIFY(fileBytes(dir.filePath(u"report.csv"_s)).contains("\n\"Total\",2,1,1,1,1,1,1,3\r\n"));

        window->setPalette(darkPalette());
        child<QComboBox>("cboPeriod")->setCurrentIndex(1);
        click("cmdShow");
        QCOMPARE(static_cast<frmReports *>(window.get())->report().buckets.size(), 3);
    }
};

QTEST_MAIN(tst_reports)
#include "tst_reports.moc"
