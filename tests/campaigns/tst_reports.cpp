#include "WindowFixture.h"

#include "OutboxRows.h"
#include "campaigns/CampaignReport.h"
#include "campaigns/Clock.h"
#include "campaigns/frmReports.h"
#include "data/Database.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

// A week of campaign history: two sent (one delivered; 1 and 2 credits), one failed, one kept back
// because it opted out, one still queued, a reply inside and one outside the range, one new opt-out.
void history()
{
    const auto sent = [](const QString &postedAt, const QString &message, bool delivered) {
        const qint64 id = OutboxRows::add({.number = u"0825550001"_s,
                                           .message = message,
                                           .sendDate = u"2026-11-20"_s,
                                           .send = true,
                                           .eventId = u"5000001"_s,
                                           .delivered = delivered});
        Database::run(u"UPDATE SMSSend SET PostedAt = ? WHERE SMSSendID = ?"_s, {postedAt, id});
    };
    sent(u"2026-12-07T09:00:00.000Z"_s, QString(150, u'a'), true);
    sent(u"2026-12-08T09:00:00.000Z"_s, QString(200, u'b'), false);
    OutboxRows::add({.number = u"0825550002"_s, .sendDate = u"2026-12-09"_s, .send = true, .eventId = u"0"_s});
    OutboxRows::add({.number = u"0825550003"_s, .sendDate = u"2026-12-10"_s, .send = true, .eventId = u"OPTOUT"_s});
    OutboxRows::add({.number = u"0825550004"_s, .sendDate = u"2026-12-14"_s});
    Database::run(u"INSERT INTO SMSReplies (IncomingID, PhoneNumber, Message, ReceivedDateTime) VALUES "
                  "('R1', '0825550001', 'thanks', '2026-12-08 10:00:00'), "
                  "('R2', '0825550001', 'old', '2026-11-30 10:00:00')"_s);
    Database::run(u"INSERT INTO OptOutAudit (ChangedAt, Number, Action, Source) "
                  "VALUES ('2026-12-10T08:00:00Z', '0825550003', 'ADDED', 'REPLY')"_s);
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
        saveScreenshot(window.get(), u"frmReports-light"_s);

        QTemporaryDir dir;
        dialogs->choose(dir.filePath(u"report.csv"_s));
        click("cmdExport");
        QFile file(dir.filePath(u"report.csv"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 1 + 14 + 1 + 1); // header, days, total, after the last line end
        QCOMPARE(lines.at(15).trimmed(), QByteArray("\"Total\",2,1,1,1,1,1,1,3"));

        QPalette dark;
        dark.setColor(QPalette::Window, QColor(45, 45, 48));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        dark.setColor(QPalette::Button, QColor(60, 60, 64));
        dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
        window->setPalette(dark);
        child<QComboBox>("cboPeriod")->setCurrentIndex(1);
        click("cmdShow");
        saveScreenshot(window.get(), u"frmReports-dark"_s);
        QCOMPARE(static_cast<frmReports *>(window.get())->report().buckets.size(), 3);
    }
};

QTEST_MAIN(tst_reports)
#include "tst_reports.moc"
