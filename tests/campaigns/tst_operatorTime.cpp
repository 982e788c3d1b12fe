#include "GuiTestSupport.h"
#include "OfficeTime.h"
#include "OutboxRows.h"

#include "campaigns/CampaignReport.h"
#include "campaigns/Holidays.h"
#include "campaigns/Schedule.h"
#include "campaigns/SendingWindow.h"
#include "compose/SendAtChoice.h"
#include "data/AppError.h"
#include "data/Clock.h"
#include "data/Database.h"
#include "data/OperatorTime.h"
#include "settings/Settings.h"
#include "settings/SetupStore.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QTimeZone Sast(OperatorTime::DefaultZoneId);

} // namespace

// The office's hours and days whatever the machine's zone: ctest runs this under TZ=Africa/Johannesburg,
// UTC, America/New_York and Asia/Tokyo (tests/campaigns/CMakeLists.txt).
class tst_operatorTime : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The run means something only when the machine's clock is in the zone it was started with.
        const QByteArray zone = qgetenv("TZ");
        if (!zone.isEmpty())
            QCOMPARE(QTimeZone::systemTimeZoneId(), zone);
    }
    void cleanup()
    {
        CampaignClock::set({});
        OperatorTime::setCurrent(Sast);
    }

    void marketingHours_data()
    {
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QDateTime>("next"); // the next opening
        const struct
        {
            const char *at;
            bool open;
            const char *next;
        } table[] = {
            {"2026-12-14 19:59", true, "2026-12-14 19:59"},  // Monday
            {"2026-12-14 20:30", false, "2026-12-15 08:00"}, // Monday evening
            {"2026-12-14 07:30", false, "2026-12-14 08:00"}, {"2026-12-14 08:30", true, "2026-12-14 08:30"},
            {"2026-12-12 12:30", true, "2026-12-12 12:30"},  // Saturday
            {"2026-12-12 13:30", false, "2026-12-14 08:00"}, // Saturday afternoon
            {"2026-12-15 21:30", false, "2026-12-17 08:00"}, // the evening before a holiday
            {"2026-12-16 00:30", false, "2026-12-17 08:00"}, // Day of Reconciliation
            {"2026-12-16 10:00", false, "2026-12-17 08:00"}, {"2027-12-24 12:00", true, "2027-12-24 12:00"},
            {"2027-12-24 20:00", false, "2027-12-28 08:00"}, // Christmas, Day of Goodwill on Sunday, its Monday
        };
        for (const auto &row : table)
            QTest::newRow(row.at) << sast(QString::fromLatin1(row.at)) << row.open
                                  << sast(QString::fromLatin1(row.next));
    }
    void marketingHours()
    {
        QFETCH(QDateTime, at);
        QFETCH(bool, open);
        QFETCH(QDateTime, next);
        const SendingWindow window{HolidayCalendar()};
        for (const QDateTime &same : {at, at.toUTC(), at.toLocalTime()}) {
            QCOMPARE(window.isOpen(same), open);
            QCOMPARE(window.nextOpening(same), next);
        }
        QCOMPARE(window.nextOpening(at).toString(u"HH:mm"_s), next.toString(u"HH:mm"_s));
    }

    // Published calendars: the Act's days, Good Friday and Family Day from Easter, and the
    // Monday after a holiday on a Sunday.
    void actHolidays_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<QStringList>("days"); // "MM-dd name"
        const QList<std::pair<int, const char *>> calendars = {
            {2026, "01-01 New Year's Day|03-21 Human Rights Day|04-03 Good Friday|04-06 Family Day|"
                   "04-27 Freedom Day|05-01 Workers' Day|06-16 Youth Day|08-09 National Women's Day|"
                   "08-10 National Women's Day observed|09-24 Heritage Day|12-16 Day of Reconciliation|"
                   "12-25 Christmas Day|12-26 Day of Goodwill"},
            {2027, "01-01 New Year's Day|03-21 Human Rights Day|03-22 Human Rights Day observed|"
                   "03-26 Good Friday|03-29 Family Day|04-27 Freedom Day|05-01 Workers' Day|06-16 Youth Day|"
                   "08-09 National Women's Day|09-24 Heritage Day|12-16 Day of Reconciliation|"
                   "12-25 Christmas Day|12-26 Day of Goodwill|12-27 Day of Goodwill observed"},
            {2029, "01-01 New Year's Day|03-21 Human Rights Day|03-30 Good Friday|04-02 Family Day|"
                   "04-27 Freedom Day|05-01 Workers' Day|06-16 Youth Day|08-09 National Women's Day|"
                   "09-24 Heritage Day|12-16 Day of Reconciliation|12-17 Day of Reconciliation observed|"
                   "12-25 Christmas Day|12-26 Day of Goodwill"},
        };
        for (const auto &[year, days] : calendars)
            QTest::newRow(qPrintable(QString::number(year))) << year << QString::fromUtf8(days).split(u'|');
    }
    void actHolidays()
    {
        QFETCH(int, year);
        QFETCH(QStringList, days);
        QStringList counted;
        for (const HolidayCalendar::Day &day : HolidayCalendar().ofYear(year))
            counted << day.date.toString(u"MM-dd"_s) + u' ' + day.name;
        QCOMPARE(counted, days);
    }

    // Another country's office: its own clock's hours, with the same holidays.
    void anotherOfficesZone()
    {
        OperatorTime::setCurrent(SetupStore::timeZoneNamed(u" Europe/London "_s));
        const SendingWindow window{HolidayCalendar()};
        const QDateTime mondayEvening(QDate(2026, 12, 14), QTime(19, 30), QTimeZone("Europe/London"));
        QVERIFY(window.isOpen(mondayEvening));
        QVERIFY(!window.isOpen(mondayEvening.addSecs(3600)));
        QCOMPARE(Schedule::localText(mondayEvening), u"Mon 14 Dec 2026 19:30"_s);
    }

    void zoneSetting_data()
    {
        QTest::addColumn<QString>("stored");  // the setting's text; "-": not stored
        QTest::addColumn<QByteArray>("zone"); // empty: refused
        QTest::newRow("not stored") << u"-"_s << OperatorTime::DefaultZoneId;
        QTest::newRow("empty") << u""_s << OperatorTime::DefaultZoneId;
        QTest::newRow("another office") << u"America/Sao_Paulo"_s << "America/Sao_Paulo"_ba;
        QTest::newRow("unknown") << u"Africa/Atlantis"_s << QByteArray();
        QTest::newRow("not a name") << u"two hours ahead"_s << QByteArray();
    }
    void zoneSetting()
    {
        QFETCH(QString, stored);
        QFETCH(QByteArray, zone);
        TestHome home;
        if (stored != u"-"_s)
            Settings::store(Settings::Key::OperatorTimeZone, stored);
        try {
            QCOMPARE(SetupStore::operatorTimeZone().id(), zone);
        } catch (const AppError &error) {
            QVERIFY2(zone.isEmpty(), qPrintable(error.text()));
            QVERIFY2(error.description().startsWith(u'"' + stored + u"\" is no time zone"_s), qPrintable(error.text()));
            QVERIFY(error.description().contains(Settings::name(Settings::Key::OperatorTimeZone)));
        }
    }

    // Batch times in the outbox's texts and in the start-up and quit questions. The picker shows and takes the
    // office's time; what it gives is the instant, stored in UTC.
    void timesAsShown_data()
    {
        // Stored times and the office's clock's text for them.
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QString>("shown");
        QTest::newRow("morning") << u"2026-12-08T07:30:00Z"_s << u"Tue 8 Dec 2026 09:30"_s;
        QTest::newRow("evening") << u"2026-12-07T16:00:00Z"_s << u"Mon 7 Dec 2026 18:00"_s; // Tokyo: the next day
        QTest::newRow("after midnight") << u"2026-12-07T22:30:00Z"_s << u"Tue 8 Dec 2026 00:30"_s;
        // No such time on New York's clock that night.
        QTest::newRow("New York's spring gap") << u"2027-03-14T00:30:00Z"_s << u"Sun 14 Mar 2027 02:30"_s;
    }
    void timesAsShown()
    {
        QFETCH(QString, stamp);
        QFETCH(QString, shown);
        const QDateTime at = Batches::parse(stamp);
        QCOMPARE(Schedule::localText(at), shown);
        const Schedule::Batch batch{1, at, u"Group Friends"_s, false, 2, 0};
        const QString line = u"Group Friends, 2 messages \u2014 "_s + shown;
        QVERIFY(Schedule::overdueQuestion({batch}).contains(line));
        QVERIFY(Schedule::quitWarning({batch}, at.addSecs(-3600)).contains(line));

        SendAtChoice choice;
        auto *edit = choice.findChild<QDateTimeEdit *>(u"dtpSendAt"_s);
        choice.setSendAt(Batches::parse(stamp));
        QCOMPARE(edit->text(), shown);
        QCOMPARE(Batches::stamp(choice.sendAt()), stamp);

        // Typed in: the same wall-clock time gives the same instant.
        SendAtChoice typed;
        typed.findChild<QCheckBox *>(u"chkSendAt"_s)->setChecked(true);
        auto *typedEdit = typed.findChild<QDateTimeEdit *>(u"dtpSendAt"_s);
        typedEdit->setDate(QDate::fromString(shown.section(u' ', 1, 3), u"d MMM yyyy"_s));
        typedEdit->setTime(QTime::fromString(shown.section(u' ', 4), u"HH:mm"_s));
        QCOMPARE(Batches::stamp(typed.sendAt()), stamp);
    }

    void sendAtStartsAtTheOfficesNextHour()
    {
        CampaignClock::set([] { return QDateTime(QDate(2026, 12, 7), QTime(22, 15), Qt::UTC); });
        SendAtChoice choice;
        choice.findChild<QCheckBox *>(u"chkSendAt"_s)->setChecked(true);
        QCOMPARE(choice.findChild<QDateTimeEdit *>(u"dtpSendAt"_s)->text(), u"Tue 8 Dec 2026 01:00"_s);
        QCOMPARE(Batches::stamp(choice.sendAt()), u"2026-12-07T23:00:00Z"_s);
    }

    // A message, a reply and an opt-out near the office's midnight count on the office's day, week and month.
    void reportDays_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("at");         // as stored
        QTest::addColumn<QStringList>("starts"); // the day, week and month it counts in
        QTest::newRow("posted 23:59 Sunday") << u"posted"_s << u"2026-12-13T21:59:59.000Z"_s
                                             << QStringList{u"2026-12-13"_s, u"2026-12-07"_s, u"2026-12-01"_s};
        QTest::newRow("posted 00:00 Monday") << u"posted"_s << u"2026-12-13T22:00:00.000Z"_s
                                             << QStringList{u"2026-12-14"_s, u"2026-12-14"_s, u"2026-12-01"_s};
        QTest::newRow("opt-out 00:30 on the 1st") << u"opt-out"_s << u"2026-11-30T22:30:00Z"_s
                                                  << QStringList{u"2026-12-01"_s, u"2026-11-30"_s, u"2026-12-01"_s};
        QTest::newRow("opt-out 23:30 on the 30th") << u"opt-out"_s << u"2026-11-30T21:30:00Z"_s
                                                   << QStringList{u"2026-11-30"_s, u"2026-11-30"_s, u"2026-11-01"_s};
    }
    void reportDays()
    {
        QFETCH(QString, kind);
        QFETCH(QString, at);
        QFETCH(QStringList, starts);
        TestHome home;
        if (kind == u"posted"_s)
            OutboxRows::addPosted({.number = u"0825550001"_s}, at);
        else
            Database::run(u"INSERT INTO OptOutAudit (ChangedAt, Number, Action, Source) "
                          "VALUES (?, '0825550003', 'ADDED', 'REPLY')"_s,
                          {at});
        const QList<CampaignReport::Period> periods{CampaignReport::Period::Day, CampaignReport::Period::Week,
                                                    CampaignReport::Period::Month};
        QStringList counted;
        for (const CampaignReport::Period period : periods)
            for (const CampaignReport::Bucket &bucket :
                 CampaignReport::build(QDate(2026, 11, 1), QDate(2026, 12, 31), period).buckets)
                if (bucket.sent + bucket.optOuts > 0)
                    counted << bucket.start.toString(Qt::ISODate);
        QCOMPARE(counted, starts);
        // A day's report holds the row on its own day only.
        const QDate day = QDate::fromString(starts[0], Qt::ISODate);
        for (const auto &[from, to, count] :
             {std::tuple(day.addDays(-1), day.addDays(1), 1), std::tuple(day.addDays(-1), day.addDays(-1), 0)}) {
            const CampaignReport::Bucket total = CampaignReport::build(from, to, CampaignReport::Period::Day).total;
            QCOMPARE(total.sent + total.optOuts, count);
        }
    }

    // An office whose clock is half an hour off the hour from UTC: two messages posted in one UTC hour
    // count on two days.
    void reportDaysOfAHalfHourZone()
    {
        TestHome home;
        OperatorTime::setCurrent(QTimeZone("Asia/Kolkata"));
        for (const QString &at : {u"2026-12-07T18:20:00.000Z"_s, u"2026-12-07T18:40:00.000Z"_s})
            OutboxRows::addPosted({.number = u"0825550001"_s}, at);
        QList<int> sent;
        for (const CampaignReport::Bucket &bucket :
             CampaignReport::build(QDate(2026, 12, 7), QDate(2026, 12, 8), CampaignReport::Period::Day).buckets)
            sent << bucket.sent;
        QCOMPARE(sent, QList<int>({1, 1}));
    }
};

QTEST_MAIN(tst_operatorTime)
#include "tst_operatorTime.moc"
