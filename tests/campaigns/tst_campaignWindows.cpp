#include "WindowFixture.h"

#include "ContactRows.h"
#include "FileBytes.h"
#include "GroupRows.h"
#include "OutboxRows.h"
#include "QueryRows.h"
#include "app/frmMain.h"
#include "campaigns/OptOuts.h"
#include "campaigns/SendingWindow.h"
#include "campaigns/frmOptOuts.h"
#include "compose/ComposerBlock.h"
#include "compose/NumberGrid.h"
#include "compose/frmSendToGroup.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "data/Clock.h"
#include "data/Database.h"
#include "data/OperatorTime.h"
#include "settings/Settings.h"
#include "ui/QueryListModel.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

class tst_campaignWindows : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup()
    {
        CampaignClock::set({});
        OperatorTime::setCurrent(QTimeZone(OperatorTime::DefaultZoneId));
        finish();
    }

    // The footer of a marketing message counts in the parts shown, and the rows carry it and the mark.
    void numberListMarketing()
    {
        CampaignSettings::saveSenderName(u"Acme Motors"_s);
        open(new frmSendToGroupNo);
        const QString body = QString(150, u'a');
        window->findChild<ComposerBlock *>()->setBody(1, body);
        auto *parts = child<QLabel>("lblParts1");
        QCOMPARE(parts->text(), u"1 SMS"_s);
        QTest::mouseClick(child<QRadioButton>("optMarketing"), Qt::LeftButton);
        QCOMPARE(parts->text(), u"2 SMS"_s);
        auto *grid = child<NumberGrid>("grdList");
        grid->setRowCount(1);
        grid->setItem(0, 0, new QTableWidgetItem(u"0822222222"_s));
        saveScreenshot(window.get(), u"frmSendToGroupNo-marketing"_s);
        click("cmdSend");
        QCOMPARE(boxes->last().text, u"1 records added."_s);
        QCOMPARE(queryValues(u"SELECT Marketing, Message FROM SMSSend"_s),
                 QStringList({u"1"_s, body + u"\nAcme Motors: Reply STOP to opt out"_s}));
    }

    // Inbox: a possible opt-out is flagged and one click opts its number out. Outbox: an opted-out row and a
    // marketing row waiting outside the permitted hours have looks of their own.
    void mainWindowFlagsAndStyles()
    {
        CampaignClock::set([] { return QDateTime(QDate(2026, 12, 13), QTime(10, 0)); }); // a Sunday
        Database::run(u"INSERT INTO SMSReplies (IncomingID, PhoneNumber, Message, ReceivedDateTime, OptOut) "
                      "VALUES ('R1', '0823334444', 'please stop these', '2026-12-12 10:00:00', 2), "
                      "('R2', '0825556666', 'STOP', '2026-12-12 11:00:00', 1)"_s);
        const qint64 optedOut = OutboxRows::add({.number = u"0825556666"_s, .send = true, .eventId = u"OPTOUT"_s});
        const qint64 waiting = OutboxRows::queue(u"0827778888"_s);
        const qint64 service = OutboxRows::queue(u"0829990000"_s);
        Database::run(u"UPDATE SMSSend SET Marketing = 1 WHERE SMSSendID = ?"_s, {waiting});
        frmMain main;
        main.resize(900, 600);
        main.show();
        const QueryListModel *outbox = main.outboxList();
        const auto cell = [outbox](qint64 id) {
            for (int row = 0; row < outbox->rowCount(); ++row)
                if (outbox->value(row, u"SMSSendID"_s).toLongLong() == id)
                    return outbox->index(row, outbox->columnOf(u"Message"_s));
            return QModelIndex();
        };
        QCOMPARE(cell(optedOut).data(Qt::BackgroundRole).value<QColor>(), QColor(215, 215, 215));
        QVERIFY(cell(optedOut).data(Qt::ToolTipRole).toString().startsWith(u"opted out"_s));
        QVERIFY(cell(waiting).data(Qt::ToolTipRole).toString().startsWith(u"waiting"_s));
        QVERIFY(!cell(service).data(Qt::BackgroundRole).value<QColor>().isValid());

        const QueryListModel *inbox = main.inboxList();
        QCOMPARE(inbox->rowCount(), 2);
        const int flaggedRow = inbox->value(0, u"IncomingID"_s).toString() == u"R1"_s ? 0 : 1;
        QCOMPARE(inbox->index(flaggedRow, inbox->columnOf(u"Message"_s)).data(Qt::BackgroundRole).value<QColor>(),
                 QColor(255, 214, 153));
        saveScreenshot(&main, u"frmMain-optouts"_s);
        main.grdInbox_OptOut(flaggedRow);
        QVERIFY(OptOutList::isSuppressed(u"0823334444"_s));
        QCOMPARE(queryValues(u"SELECT OptOut FROM SMSReplies WHERE IncomingID = 'R1'"_s), QStringList{u"4"_s});
    }

    // The list window adds a typed number, refuses a bad holiday line or an unknown time zone without saving
    // anything, saves words, holidays and the office's zone, and exports the list.
    void optOutListWindow()
    {
        CampaignClock::set([] { return QDateTime(QDate(2026, 12, 14), QTime(10, 0), Qt::UTC); });
        open(new frmOptOuts);
        child<QLineEdit>("txtNumber")->setText(u"+27 82 123 4567"_s);
        click("cmdAdd");
        QVERIFY(OptOutList::isSuppressed(u"0821234567"_s));
        QCOMPARE(child<QTableView>("grdOptOuts")->model()->rowCount(), 1);
        saveScreenshot(window.get(), u"frmOptOuts"_s);

        child<QPlainTextEdit>("txtWords")->setPlainText(u"STOP\nNO MORE\n"_s);
        child<QPlainTextEdit>("txtHolidays")->appendPlainText(u"2027-13-01 Broken"_s);
        click("cmdSave"); // the broken line takes the words back with it
        QCOMPARE(boxes->last().title, u"ERROR"_s);
        QCOMPARE(OptOuts::classify(u"quit"_s, OptOuts::words()), OptOuts::ReplyKind::OptOut);
        child<QPlainTextEdit>("txtHolidays")->setPlainText(u"2027-02-15 Declared holiday\n2027-12-27 not a holiday"_s);
        child<QLineEdit>("txtSenderName")->setText(u"Acme"_s);
        child<QLineEdit>("txtConfirmation")->setText(u" You are off our list. "_s);
        child<QLineEdit>("txtTimeZone")->setText(u"Europe/Atlantis"_s);
        click("cmdSave");
        QCOMPARE(boxes->last().title, u"ERROR"_s);
        QVERIFY(Marketing::senderName().isEmpty());
        QVERIFY(CampaignSettings::holidaysText().isEmpty());
        QVERIFY(!child<QPlainTextEdit>("txtCountedHolidays")->toPlainText().contains(u"2027-02-15"_s));
        child<QLineEdit>("txtTimeZone")->setText(u" Europe/London "_s);
        click("cmdSave");
        QCOMPARE(boxes->last().title, u"SAVED"_s);
        QCOMPARE(Settings::text(Settings::Key::OperatorTimeZone), u"Europe/London"_s);
        QCOMPARE(OperatorTime::current().zone().id(), "Europe/London"_ba);
        const QString counted = child<QPlainTextEdit>("txtCountedHolidays")->toPlainText();
        QVERIFY2(counted.contains(u"2026-12-16 Day of Reconciliation\n"_s), qPrintable(counted));
        QVERIFY2(counted.contains(u"2027-02-15 Declared holiday\n"_s), qPrintable(counted));
        QVERIFY2(!counted.contains(u"2027-12-27"_s) && !counted.contains(u"2028-"_s), qPrintable(counted));
        QCOMPARE(Settings::text(Settings::Key::OptOutConfirmation), u"You are off our list."_s);
        QCOMPARE(OptOuts::classify(u"no more!"_s, OptOuts::words()), OptOuts::ReplyKind::OptOut);
        QCOMPARE(OptOuts::classify(u"quit"_s, OptOuts::words()), OptOuts::ReplyKind::None);
        QCOMPARE(Marketing::senderName(), u"Acme"_s);

        QTemporaryDir dir;
        dialogs->choose(dir.filePath(u"list.csv"_s));
        click("cmdExport");
        QVERIFY(fileBytes(dir.filePath(u"list.csv"_s)).contains("\"+27821234567\""));
    }

    // The send-to-contact window previews what the number would get, and queues nothing while a field has
    // no value; with the value there it queues the filled text.
    void singleContactPreviewAndUnresolvedField()
    {
        const qint64 client =
            ContactRows::add({{"FirstName", u"Thandi"_s}, {"LastName", u"Dube"_s}, {"Mobile", u"0825550001"_s}});
        open(new frmSendToSingle);
        auto *composer = window->findChild<ComposerBlock *>();
        child<QLineEdit>("txtCellphone")->setText(u"0825550001"_s);
        composer->setBody(1, u"Dear {FirstName}, your statement is ready."_s);

        // Typed by hand: no contact, so the field has no value.
        click("cmdSend");
        QCOMPARE(boxes->last().title, u"ERROR"_s);
        QVERIFY2(boxes->last().text.contains(u"Nothing was queued."_s), qPrintable(boxes->last().text));
        QCOMPARE(OutboxRows::count(), 0);

        child<QLabel>("lblID")->setText(QString::number(client));
        QStringList notes;
        QCOMPARE(withModal([this] { click("cmdPreview"); },
                           [&notes](QWidget *shown) {
                               auto *grid = child<QTableWidget>(shown, "grdPreview");
                               for (int row = 0; row < grid->rowCount(); ++row)
                                   for (int column = 0; column < grid->columnCount(); ++column)
                                       notes << (grid->item(row, column) ? grid->item(row, column)->text() : QString());
                           }),
                 u"frmPreview"_s);
        QVERIFY2(notes.contains(u"Dear Thandi, your statement is ready."_s), qPrintable(notes.join(u'|')));
        click("cmdSend");
        QCOMPARE(queryValues(u"SELECT ClientID, Message FROM SMSSend"_s),
                 QStringList({QString::number(client), u"Dear Thandi, your statement is ready."_s}));
        saveScreenshot(window.get(), u"frmSendToSingle-preview-button"_s);
    }

    // The group window's preview lists every member's message before anything is queued.
    void groupPreview()
    {
        GroupRows::groupOfMembers({{u"Thandi"_s, u"0825550001"_s},
                                   {u"Zo\u00eb"_s, u"0825550002"_s},
                                   {u""_s, u"0825550003"_s},
                                   {u"Office"_s, u"011 123 4567"_s}});
        OptOutList::add(u"0825550003"_s, OptOutList::FromOperator);
        open(new frmSendToGroup);
        auto *groups = child<QComboBox>("cboGroups");
        groups->setCurrentIndex(groups->findText(u"Members"_s));
        window->findChild<ComposerBlock *>()->setBody(1, u"Hi {FirstName|friend}, your statement is ready."_s);
        window->findChild<ComposerBlock *>()->setMarketing(true);
        saveScreenshot(window.get(), u"frmSendToGroup-preview-button"_s);
        int rows = -1;
        QStringList marked; // number, tool tip, note of each row whose number cell is shaded
        QString total;
        QCOMPARE(withModal([this] { click("cmdPreview"); },
                           [&](QWidget *preview) {
                               preview->resize(900, 300);
                               const auto *grid = child<QTableWidget>(preview, "grdPreview");
                               rows = grid->rowCount();
                               for (int row = 0; row < rows; ++row) {
                                   const QTableWidgetItem *number = grid->item(row, 1);
                                   if (number->background().color() == QColor(255, 128, 128))
                                       marked << number->text() << number->toolTip() << grid->item(row, 5)->text();
                               }
                               total = child<QLabel>(preview, "lblTotal")->text();
                               saveScreenshot(preview, u"frmPreview"_s);
                           }),
                 u"frmPreview"_s);
        QCOMPARE(rows, 4);
        QCOMPARE(marked, (QStringList{u"011 123 4567"_s, u"not a cellphone number"_s, u"not a cellphone number"_s}));
        QVERIFY2(total.endsWith(u" 1 recipients have a number no message goes to: invalid, not a cellphone's or "
                                u"another country's (marked)."_s),
                 qPrintable(total));
        QCOMPARE(OutboxRows::count(), 0);
    }
};

QTEST_MAIN(tst_campaignWindows)
#include "tst_campaignWindows.moc"
