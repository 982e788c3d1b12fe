#include "../gateway/GatewayTestSupport.h"
#include "ContactRows.h"
#include "FileBytes.h"
#include "GroupRows.h"
#include "GuiTestSupport.h"
#include "OfficeTime.h"

#include "campaigns/MessageFill.h"
#include "campaigns/OptOuts.h"
#include "campaigns/SendingWindow.h"
#include "compose/DebitOrderList.h"
#include "compose/GroupQueue.h"
#include "compose/NumberListQueue.h"
#include "compose/SingleQueue.h"
#include "data/Clock.h"
#include "data/OperatorTime.h"
#include "data/modFunctions.h"
#include "gateway/GatewayCycles.h"
#include "gateway/OutboxSender.h"
#include "gateway/RepliesRetrieval.h"
#include "sendreceive/frmSendMessages.h"
#include "settings/RunningSetup.h"
#include "settings/Settings.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

int replyCount = 0;

void addReply(const GatewayProcess &gateway, const QString &from, const QString &text)
{
    gateway.admin(u"/admin/reply?user=demo&id=R%1&from=%2&text=%3"_s.arg(++replyCount)
                      .arg(encodedForAdmin(from), encodedForAdmin(text)));
}

QStringList postedNumbers(const GatewayProcess &gateway)
{
    return requestParameters(takeRequests(gateway).filter(u"Type=SingleSMS&"_s), u"Number"_s);
}

qint64 contactWith(const QString &mobile)
{
    return ContactRows::add({{"LastName", u"Dube"_s}, {"FirstName", u"Thandi"_s}, {"Mobile", mobile}});
}

// Every way of queueing, each to the numbers given, in one action.
enum class QueuePath { Contact, Group, Numbers, Importer };
enum class SendPath { Sender, SendReceive, SendNow, FourInFlight, SendMessagesWindow };

void queueBy(QueuePath path, const QStringList &numbers, QueueCampaign *campaign)
{
    const QStringList bodies = {u"Your account is due"_s};
    switch (path) {
    case QueuePath::Contact:
        for (const QString &number : numbers)
            SingleQueue::queue(bodies, number, contactWith(number), campaign);
        break;
    case QueuePath::Group: {
        const qint64 group = GroupRows::addGroup(u"Members"_s);
        for (const QString &number : numbers)
            GroupRows::link(group, contactWith(number));
        GroupQueue::queue(group, bodies, {}, campaign);
        break;
    }
    case QueuePath::Numbers:
        queueToNumbers(numbers, bodies, {}, campaign);
        break;
    case QueuePath::Importer: {
        QList<DebitOrderList::Row> rows;
        for (const QString &number : numbers)
            rows.append({u"1"_s, number, bodies.first()});
        DebitOrderList::import(rows, {}, campaign);
        break;
    }
    }
}

void sendBy(SendPath path, ScriptedCycleHost &host)
{
    RunningSetup::useGatewayConnections(path == SendPath::FourInFlight ? 4 : 1);
    GatewayCycles cycles(host);
    switch (path) {
    case SendPath::Sender:
    case SendPath::FourInFlight:
        cycles.sender().SendOutbox();
        break;
    case SendPath::SendReceive:
        cycles.SendReceive();
        break;
    case SendPath::SendNow:
        cycles.SendNow();
        break;
    case SendPath::SendMessagesWindow: {
        // The window that sends the outbox by itself, driven through its button; what its boxes
        // showed is recorded with the host's, so that every path is checked alike.
        ScriptedMessageBoxes boxes;
        frmSendMessages window;
        window.show();
        auto *send = window.findChild<QPushButton *>(u"cmdSend"_s);
        if (!send)
            qFatal("the Send Messages window has no cmdSend");
        QTest::mouseClick(send, Qt::LeftButton);
        for (const MessageBoxes::Shown &shown : boxes.shown()) {
            host.titles << shown.title;
            host.texts << shown.text;
        }
        break;
    }
    }
    RunningSetup::useGatewayConnections(1);
}

const QString Stopper = u"+27 82 555 0001"_s;
const QString Keeper = u"0825550002"_s;

} // namespace

class tst_optOuts : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { CampaignClock::set({}); }

    void repliesAreCleanedAndRead_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        const int optOut = int(OptOuts::ReplyKind::OptOut), lift = int(OptOuts::ReplyKind::Lift),
                  possible = int(OptOuts::ReplyKind::Possible), none = int(OptOuts::ReplyKind::None);
        const QList<QPair<QString, int>> table = {
            {u"  stop.  "_s, optOut},      {u"unsubscribe"_s, optOut},
            {u"StopAll"_s, optOut},        {u"opt-out"_s, optOut},
            {u"Opt  Out"_s, optOut},       {u"End."_s, optOut},
            {u"S.T.O.P"_s, optOut},        {u"start"_s, lift},
            {u"UNSTOP"_s, lift},           {u"please stop sending"_s, possible},
            {u"Don't stop!"_s, possible},  {u"stopped by"_s, none},
            {u"Yes & thanks"_s, none},     {u""_s, none},
            {u"start again soon"_s, none},
        };
        for (const auto &[text, kind] : table)
            QTest::newRow(qPrintable(text.isEmpty() ? u"(empty)"_s : text)) << text << kind;
    }

    void repliesAreCleanedAndRead()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        TestHome home;
        QCOMPARE(int(OptOuts::classify(text, OptOuts::words())), kind);
    }

    // A STOP that reached the gateway after a row was queued keeps the row from being posted, whichever
    // way it was queued and whichever way the outbox is sent; queueing to that number again leaves it out.
    void stopReplyIsHonouredOnEveryPath_data()
    {
        QTest::addColumn<int>("queuePath");
        QTest::addColumn<int>("sendPath");
        const QStringList queueNames = {u"contact"_s, u"group"_s, u"numbers"_s, u"importer"_s};
        const QStringList sendNames = {u"sender"_s, u"send-receive"_s, u"send-now"_s, u"four-in-flight"_s,
                                       u"send-messages-window"_s};
        for (int q = 0; q < queueNames.size(); ++q)
            for (int p = 0; p < sendNames.size(); ++p)
                QTest::newRow(qPrintable(queueNames[q] + u'/' + sendNames[p])) << q << p;
    }

    void stopReplyIsHonouredOnEveryPath()
    {
        QFETCH(int, queuePath);
        QFETCH(int, sendPath);
        GatewaySetup s;
        QueueCampaign before;
        queueBy(QueuePath(queuePath), {Stopper, Keeper}, &before);
        QCOMPARE(before.leftOut, 0);
        QCOMPARE(OutboxRows::states(), QStringList({u"queued"_s, u"queued"_s}));

        addReply(s.gateway, u"27825550001"_s, u"Stop."_s);
        takeRequests(s.gateway);
        sendBy(SendPath(sendPath), s.host);

        QCOMPARE(postedNumbers(s.gateway), QStringList{Keeper});
        QCOMPARE(
            queryValues(
                u"SELECT Send, EventID, CASE WHEN PostedAt IS NULL THEN 1 ELSE 0 END FROM SMSSend WHERE Number = ?"_s,
                {modFunctions::TrimBlanks(Stopper)}),
            QStringList({u"1"_s, OptOutList::OptedOutEventId, u"1"_s}));
        QCOMPARE(queryValues(u"SELECT Number, Source FROM OptOuts"_s), QStringList({u"+27825550001"_s, u"REPLY"_s}));
        QCOMPARE(queryValues(u"SELECT OptOut FROM SMSReplies"_s), QStringList{u"1"_s});
        QCOMPARE(s.host.titles, QStringList{u"OPTED OUT"_s});
        QCOMPARE(s.host.texts, QStringList{u"1 message was not sent: its number is on the opt-out list."_s});

        QueueCampaign after;
        const qint64 rows = OutboxRows::count();
        queueBy(QueuePath(queuePath), {u"082 555 0001"_s, Keeper}, &after);
        QCOMPARE(after.leftOut, 1);
        QCOMPARE(OutboxRows::count(), rows + 1);
    }

    // With a confirmation text set, a number that comes on the list by a reply gets that text once, as a
    // service message outside the permitted hours and without the footer, while its other messages are kept
    // back; a second STOP, a sender name, an ordinary reply and an opt-out lifted before the run get nothing;
    // the operator's confirmation of a flagged reply gets one too. Without the setting nothing is sent (the
    // test above).
    void optOutIsConfirmedOnceToNumbersOnly()
    {
        GatewaySetup s;
        const QString confirmation = u"You are unsubscribed & will get no more messages."_s;
        Settings::store(Settings::Key::OptOutConfirmation, u"  "_s + confirmation);
        CampaignSettings::saveSenderName(u"Acme"_s);
        // Sunday: marketing messages wait, service ones go.
        CampaignClock::set([] { return sast(u"2026-12-13 10:00"_s); });
        QueueCampaign marketing{.marketing = true};
        queueToNumbers({Stopper}, {u"Sale on now"_s}, {}, &marketing);
        queueToNumbers({Stopper}, {u"Your order shipped"_s});

        const QList<QPair<QString, QString>> replies = {
            {u"27825550001"_s, u"Stop."_s},
            {u"0825550001"_s, u"STOP"_s},
            {u"MTN"_s, u"STOP"_s},
            {u"Info4U"_s, u"unsubscribe"_s},
            {u"0825550005"_s, u"thanks"_s},
            // Lifted before the run: its confirmation is not sent.
            {u"0825550007"_s, u"STOP"_s},
            {u"0825550007"_s, u"START"_s},
        };
        for (const auto &[from, text] : replies)
            addReply(s.gateway, from, text);
        takeRequests(s.gateway);
        QVERIFY(OutboxSender(s.host).SendOutbox());
        const QStringList posted = takeRequests(s.gateway).filter(u"Type=SingleSMS&"_s);
        QCOMPARE(requestParameters(posted, u"Number"_s), QStringList{u"0825550001"_s});
        QCOMPARE(requestParameters(posted, u"Message"_s), QStringList{confirmation});
        QCOMPARE(queryValues(u"SELECT Number, Marketing, ConfirmsOptOut, Send, "
                             "CASE WHEN EventID = '0' THEN 0 ELSE 1 END FROM SMSSend "
                             "WHERE ConfirmsOptOut = 1"_s),
                 QStringList({u"+27825550001"_s, u"0"_s, u"1"_s, u"1"_s, u"1"_s}));
        QCOMPARE(queryValues(u"SELECT EventID FROM SMSSend WHERE ConfirmsOptOut = 0 ORDER BY SMSSendID"_s),
                 QStringList({OptOutList::OptedOutEventId, OptOutList::OptedOutEventId}));

        // Sent once: a later run posts nothing, and the number stays off the list's way.
        addReply(s.gateway, u"+27 82 555 0001"_s, u"STOP"_s);
        queueToNumbers({u"0825550006"_s}, {u"Please stop sending"_s});
        addReply(s.gateway, u"0825550006"_s, u"please stop sending these"_s);
        QVERIFY(OutboxSender(s.host).SendOutbox());
        QCOMPARE(postedNumbers(s.gateway), QStringList{u"0825550006"_s});
        const qint64 flagged = Database::value(u"SELECT SMSReplyID FROM SMSReplies WHERE OptOut = 2"_s).toLongLong();
        QVERIFY(OptOuts::confirmPossible(flagged));
        QVERIFY(!OptOuts::queueConfirmation(u"0825550006"_s)); // one is already waiting
        QVERIFY(OutboxSender(s.host).SendOutbox());
        const QStringList last = takeRequests(s.gateway).filter(u"Type=SingleSMS&"_s);
        QCOMPARE(requestParameters(last, u"Number"_s), QStringList{u"0825550006"_s});
        QCOMPARE(requestParameters(last, u"Message"_s), QStringList{confirmation});
        QCOMPARE(Database::value(u"SELECT count(*) FROM SMSSend WHERE ConfirmsOptOut = 1"_s).toInt(), 2);
    }

    // A word among others is only flagged; the operator's one click suppresses; START lifts; a STOP from a
    // sender that is no number does nothing. Every change is in the audit.
    void flaggedConfirmedAndLifted()
    {
        GatewaySetup s;
        RepliesRetrieval replies(s.host);
        const auto step = [&](const QString &from, const QString &text) {
            addReply(s.gateway, from, text);
            QVERIFY(replies.FetchReplies());
        };
        step(u"0825550001"_s, u"Please stop sending me these"_s);
        QCOMPARE(OptOutList::count(), 0);
        const qint64 flagged = Database::value(u"SELECT SMSReplyID FROM SMSReplies WHERE OptOut = 2"_s).toLongLong();
        QVERIFY(flagged > 0);
        QVERIFY(OptOuts::confirmPossible(flagged));
        QVERIFY(OptOutList::isSuppressed(u"+27825550001"_s));
        step(u"+27 82 555 0001"_s, u"START"_s);
        QVERIFY(!OptOutList::isSuppressed(u"0825550001"_s));
        step(u"BANK"_s, u"STOP"_s);
        QCOMPARE(OptOutList::count(), 0);
        QCOMPARE(queryValues(u"SELECT OptOut FROM SMSReplies ORDER BY SMSReplyID"_s),
                 QStringList({u"4"_s, u"3"_s, u"0"_s}));
        QCOMPARE(queryValues(u"SELECT Number, Action, Source FROM OptOutAudit ORDER BY AuditID"_s),
                 QStringList({u"+27825550001"_s, u"ADDED"_s, u"INBOX"_s, u"+27825550001"_s, u"LIFTED"_s, u"REPLY"_s}));
    }

    // One person, however the number is written (every form reads as one key: tst_phoneNumbers): an entry
    // made from one form blocks another, and a second entry is refused; a sender name has no key.
    void anotherWayOfWritingANumberMeetsItsEntry()
    {
        TestHome home;
        QVERIFY(OptOutList::add(u"+27 82 123 4567"_s, OptOutList::FromOperator));
        QVERIFY(OptOutList::isSuppressed(u"0821234567 (cell)"_s));
        QVERIFY(!OptOutList::add(u"+27 (0)82 123 4567"_s, OptOutList::FromReply));
        QCOMPARE(OptOutList::keyOf(u"0027821234567"_s), u"+27821234567"_s);
        QCOMPARE(OptOutList::keyOf(u"MTN"_s), QString());
    }

    // Entries an older program kept as the digits it posts are read by their E.164 key once the
    // database is brought up to date; two entries of one person become one.
    void olderKeysAreBroughtUpToDate()
    {
        TestHome home;
        Database::run(u"INSERT INTO OptOuts (Number, OptedOutAt, Source) VALUES ('0821234567', '2026-01-01', 'REPLY'), "
                      "('0027821234567', '2026-01-02', 'IMPORT'), ('0835550000', '2026-01-03', 'MANUAL')"_s);
        Database::run(testingServer() ? u"UPDATE TellwaveSchema SET Version = 5"_s : u"PRAGMA user_version = 5"_s);
        Database::close();
        QCOMPARE(queryValues(u"SELECT Number FROM OptOuts ORDER BY Number"_s),
                 QStringList({u"+27821234567"_s, u"+27835550000"_s}));
        QVERIFY(OptOutList::isSuppressed(u"0027 82 123 4567"_s));
    }

    // A STOP that cannot be put on the list ends the run with its error and stores nothing, so the
    // next run reads it again rather than losing it.
    void stopThatCannotBeRecordedIsReadAgain()
    {
        GatewaySetup s;
        RepliesRetrieval replies(s.host);
        Database::run(u"ALTER TABLE OptOuts RENAME TO OptOutsAway"_s);
        addReply(s.gateway, u"0825550001"_s, u"STOP"_s);
        QVERIFY(!replies.FetchReplies());
        QCOMPARE(s.host.titles, QStringList{u"ERROR"_s});
        QCOMPARE(Database::value(u"SELECT count(*) FROM SMSReplies"_s).toInt(), 0);
        Database::run(u"ALTER TABLE OptOutsAway RENAME TO OptOuts"_s);
        QVERIFY(replies.FetchReplies());
        QVERIFY(OptOutList::isSuppressed(u"0825550001"_s));
    }

    // The office's table of changes, as the holiday editor writes and reads it: one-off days added, counted
    // days taken off, and lines refused whole.
    void holidayTable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored"); // the text read back, or "Line n": refused, the table unchanged
        QTest::addColumn<QStringList>("holidays");
        QTest::addColumn<QStringList>("workdays");
        QTest::newRow("one-off days") << u"2029-05-23 General election\n\n  2027-02-14  Declared holiday \n2028-01-02"_s
                                      << u"2027-02-14 Declared holiday\n2028-01-02\n2029-05-23 General election"_s
                                      << QStringList{u"2029-05-23"_s, u"2027-02-14"_s, u"2027-02-15"_s, u"2028-01-02"_s,
                                                     u"2028-01-03"_s}
                                      << QStringList{u"2029-05-24"_s, u"2027-02-16"_s};
        QTest::newRow("counted days taken off")
            << u"2026-12-16 NOT a holiday\n2027-12-26 not a holiday this year\n2028-09-25 not a holiday"_s
            << u"2026-12-16 not a holiday (Day of Reconciliation)\n2027-12-26 not a holiday (Day of Goodwill)\n"
               "2028-09-25 not a holiday (Heritage Day observed)"_s
            << QStringList{u"2026-12-25"_s, u"2028-09-24"_s}
            << QStringList{u"2026-12-16"_s, u"2027-12-26"_s, u"2027-12-27"_s, u"2028-09-25"_s};
        QTest::newRow("the later line for a day counts")
            << u"2026-12-16 not a holiday\n2026-12-16 Day of Reconciliation after all"_s
            << u"2026-12-16 Day of Reconciliation after all"_s << QStringList{u"2026-12-16"_s} << QStringList();
        QTest::newRow("taking off a Sunday one-off's Monday")
            << u"2029-09-02 Declared holiday\n2029-09-03 not a holiday"_s
            << u"2029-09-02 Declared holiday\n2029-09-03 not a holiday (Declared holiday observed)"_s
            << QStringList{u"2029-09-02"_s} << QStringList{u"2029-09-03"_s};
        QTest::newRow("no date") << u"2027-02-14 Declared holiday\nElection day"_s << u"Line 2"_s << QStringList()
                                 << QStringList{u"2027-02-14"_s};
        QTest::newRow("no such day") << u"2027-02-30 Declared holiday"_s << u"Line 1"_s << QStringList()
                                     << QStringList();
        QTest::newRow("taking off a working day") << u"2027-02-14 Declared holiday\n2026-12-17 not a holiday"_s
                                                  << u"Line 2"_s << QStringList() << QStringList{u"2027-02-14"_s};
    }
    void holidayTable()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QFETCH(QStringList, holidays);
        QFETCH(QStringList, workdays);
        TestHome home;
        const QString before = u"2026-06-01 Before"_s;
        CampaignSettings::saveHolidays(before);
        const bool refused = stored.startsWith(u"Line "_s);
        try {
            CampaignSettings::saveHolidays(text);
            QVERIFY2(!refused, "the text was taken");
        } catch (const AppError &error) {
            QVERIFY2(error.description().startsWith(stored + u' '), qPrintable(error.text()));
        }
        QCOMPARE(CampaignSettings::holidaysText(), refused ? before : stored);
        const SendingWindow window = SendingWindow::fromDatabase();
        for (const QString &day : holidays)
            QVERIFY2(window.isHoliday(QDate::fromString(day, Qt::ISODate)), qPrintable(day));
        for (const QString &day : workdays)
            QVERIFY2(!window.isHoliday(QDate::fromString(day, Qt::ISODate)), qPrintable(day));
    }

    // Started Saturday 12:58 with the clock moving 20 s per message: marketing messages go until 13:00 and
    // then wait, queued; service messages go on. On Monday at 08:00 the rest go.
    void marketingBatchWaitsAtTheEdge()
    {
        GatewaySetup s;
        QDateTime clock = sast(u"2026-12-12 12:58"_s);
        CampaignClock::set([&clock] { return clock; });
        s.host.onStatus = [&clock](const QString &text) {
            if (text.startsWith(u"Sending SMS to"_s))
                clock = clock.addSecs(20);
        };
        CampaignSettings::saveSenderName(u"Acme"_s);
        QStringList numbers;
        for (int i = 0; i < 10; ++i)
            numbers << u"08255510%1"_s.arg(i, 2, 10, QLatin1Char('0'));
        QueueCampaign marketing{.marketing = true};
        queueToNumbers(numbers, {u"Sale on now"_s}, {}, &marketing);
        queueToNumbers({u"0825559999"_s}, {u"Your order shipped"_s});
        QCOMPARE(Database::value(u"SELECT Message FROM SMSSend ORDER BY SMSSendID LIMIT 1"_s).toString(),
                 u"Sale on now\nAcme: Reply STOP to opt out"_s);
        takeRequests(s.gateway);

        QVERIFY(OutboxSender(s.host).SendOutbox());
        QCOMPARE(postedNumbers(s.gateway), numbers.mid(0, 6) + QStringList{u"0825559999"_s});
        QCOMPARE(queryValues(u"SELECT count(*) FROM SMSSend WHERE Send = 0 AND Marketing = 1"_s), QStringList{u"4"_s});
        QCOMPARE(s.host.titles, QStringList{u"WAITING"_s});
        QVERIFY2(s.host.texts.last().startsWith(
                     u"4 marketing messages wait for the permitted hours (from Mon 14 Dec 08:00)"_s),
                 qPrintable(s.host.texts.last()));
        QCOMPARE(queryValues(u"SELECT PostedAt FROM SMSSend WHERE SMSSendID = 6"_s),
                 QStringList{clock.addSecs(-40).toUTC().toString(Qt::ISODateWithMs)});

        clock = sast(u"2026-12-13 10:00"_s);
        QVERIFY(OutboxSender(s.host).SendOutbox());
        QVERIFY(postedNumbers(s.gateway).isEmpty());
        clock = sast(u"2026-12-14 08:00"_s);
        QVERIFY(OutboxSender(s.host).SendOutbox());
        QCOMPARE(postedNumbers(s.gateway), numbers.mid(6));
    }

    // Export and import give the same list back; a header, a blank line and a broken number are passed over.
    void csvRoundTrip()
    {
        TestHome home;
        QVERIFY(OptOutList::add(u"+27 82 555 0001"_s, OptOutList::FromOperator, u"asked by \"phone\", twice"_s));
        QVERIFY(OptOutList::add(u"0825550002"_s, OptOutList::FromOperator));
        QVERIFY(!OptOutList::add(u"27825550002"_s, OptOutList::FromOperator));
        QTemporaryDir dir;
        const QString path = dir.filePath(u"optouts.csv"_s);
        OptOuts::exportCsv(path);
        const QStringList exported = queryValues(u"SELECT Number, Detail FROM OptOuts ORDER BY Number"_s);
        QVERIFY(OptOutList::lift(u"0825550001"_s, OptOutList::FromOperator));
        QVERIFY(OptOutList::lift(u"0825550002"_s, OptOutList::FromOperator));
        QVERIFY(writeFile(path, fileBytes(path) + "\r\nBANK,x\r\n\"+27 82 555 0003\",\r\n"));
        const OptOuts::ImportResult result = OptOuts::importCsv(path);
        QCOMPARE(std::pair(result.added, result.unusable), std::pair(3, 1));
        QCOMPARE(queryValues(u"SELECT Number FROM OptOuts ORDER BY Number"_s),
                 QStringList({u"+27825550001"_s, u"+27825550002"_s, u"+27825550003"_s}));
        QCOMPARE(exported.at(1), u"asked by \"phone\", twice"_s);
        QCOMPARE(Database::value(u"SELECT count(*) FROM OptOutAudit"_s).toInt(), 7);
    }
};

QTEST_MAIN(tst_optOuts)
#include "tst_optOuts.moc"
