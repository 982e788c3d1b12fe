#include "ContactRows.h"
#include "FailingWrites.h"
#include "FileBytes.h"
#include "GroupRows.h"
#include "OutboxColumn.h"
#include "WindowFixture.h"

#include "compose/BodyEdit.h"
#include "compose/ComposerBlock.h"
#include "compose/NumberGrid.h"
#include "compose/TemplateBook.h"
#include "compose/frmImport.h"
#include "compose/frmSendToGroup.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "compose/frmTemplates.h"
#include "contacts/ClientHandOver.h"
#include "data/Database.h"
#include "outbox/Batches.h"
#include "outbox/OptOutList.h"
#include "settings/cRegistry.h"
#include "ui/RecordTableModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTableView>

using namespace FailingWrites;
using namespace GroupRows;
using namespace Qt::StringLiterals;

namespace {
// A cellphone number the tests' database refuses to store (FailingWrites).
const QString Refused = QStringLiteral("0829999999");
} // namespace

// The windows that queue messages: one typed number, a typed list of numbers, a contact group, a debit-order file;
// and the templates saved from them, chosen in each and kept in their own window.
class tst_composeWindows : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        start();
        QFile::remove(cRegistry::hivePath());
    }
    void cleanup() { finish(); }

    void numberListQueuesEachBodyCountsNumbersAndKeepsRowsBeforeAnError()
    {
        open(new frmSendToGroupNo);
        click("cmdSend");
        QCOMPARE(boxes->titles(), (QStringList{"NO NUMBER", "ADDED"}));
        QCOMPARE(boxes->shown()[0].text, u"No Cellphone Numbers Added."_s);
        QCOMPARE(boxes->last().text, u"0 records added."_s);

        auto *grid = child<NumberGrid>("grdList");
        grid->setFocus();
        // Keys go where the keyboard sends them: the grid, then the cell editor the first key opened.
        for (const char *typed : {" 0821111111 ", "    ", "0823333333"}) {
            for (const char *c = typed; *c; ++c)
                QTest::keyClick(QApplication::focusWidget(), *c);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCoreApplication::processEvents(); // the editor hands its text over through the event loop
        }
        QCOMPARE(grid->numbers(), (QStringList{" 0821111111 ", "    ", "0823333333"}));
        QVERIFY(window->isVisible()); // Enter never reached the window's buttons
        // Every body blank: the numbers still count.
        click("cmdSend");
        QCOMPARE(boxes->last().text, u"2 records added."_s);
        QCOMPARE(OutboxRows::count(), 0);

        setBody(2, u"Meeting at 10\nBring the forms"_s);
        setBody(4, u"  Thanks  "_s);
        click("cmdSend");
        QCOMPARE(boxes->titles(), (QStringList{"NO NUMBER", "ADDED", "ADDED", "ADDED"}));
        QCOMPARE(boxes->last().text, u"2 records added."_s);
        QCOMPARE(status(), u"Added record for 0823333333"_s);
        QCOMPARE(outboxColumn(u"Number"_s), (QStringList{"0821111111", "0821111111", "0823333333", "0823333333"}));
        QCOMPARE(outboxColumn(u"Message"_s).mid(0, 2), (QStringList{"Meeting at 10\r\nBring the forms", "Thanks"}));
        screenshots(u"frmSendToGroupNo"_s);

        refuseNumber(Refused);
        setNumbers({"0821111111", Refused, "0823333333"});
        boxes->clear();
        click("cmdSend");
        // The write for the refused number failed part way: those before it are kept, and the status names it.
        QCOMPARE(boxes->titles(), QStringList{"ERROR"});
        QVERIFY2(boxes->last().text.endsWith(u"refused by test\n2 messages were queued before the error."_s),
                 qPrintable(boxes->last().text));
        QCOMPARE(status(), u"Adding "_s + Refused);
        Database::close(); // what is read next comes from the file
        QCOMPARE(outboxColumn(u"Message"_s).mid(4), (QStringList{"Meeting at 10\r\nBring the forms", "Thanks"}));
    }

    void singleTypedNumberGoesOutWithoutAContact()
    {
        open(new frmSendToSingle);
        QCOMPARE(status(), u"Ready ..."_s);
        QVERIFY(!child<QPushButton>("cmdSendNow")->isVisible());
        setBody(2, u"Your order is ready"_s);
        click("cmdSend");
        QCOMPARE(boxes->titles(), QStringList{u"NO NUMBER"_s});
        QCOMPARE(boxes->last().text, u"Customer has no cellphone number. Please edit the customer first."_s);
        QCOMPARE(OutboxRows::count(), 0);

        child<QLineEdit>("txtCellphone")->setText(u" 082 123 4567 "_s);
        child<QCheckBox>("chkSendAt")->setChecked(true); // the batch of a later send is named
        click("cmdSend");
        QCOMPARE(status(), u"Added 1 records."_s);
        // No contact: the key is 0, not NULL.
        QCOMPARE(outboxColumn(u"Number"_s) + outboxColumn(u"Message"_s) + outboxColumn(u"ClientID"_s),
                 (QStringList{"082 123 4567", "Your order is ready", "0"}));
        QCOMPARE(Batches::waiting().value(0).description, u"Contact 082 123 4567"_s);

        // A failing write is shown; the status still says whom it was adding.
        refuseNumber(Refused);
        child<QLineEdit>("txtCellphone")->setText(Refused);
        click("cmdSend");
        QCOMPARE(boxes->titles(), (QStringList{u"NO NUMBER"_s, u"ERROR"_s}));
        QCOMPARE(status(), u"Adding "_s + Refused);
        QCOMPARE(OutboxRows::count(), 1);
    }

    void singleF4FillsTheChosenContact()
    {
        const qint64 john =
            ContactRows::add({{"LastName", u" O'Brien "_s}, {"FirstName", u"John "_s}, {"Mobile", u" 0821234567 "_s}});
        const qint64 nonumber = addClient(u"Blank"_s, QVariant());
        open(new frmSendToSingle);
        QCOMPARE(pressF4Choosing(0), u"frmSearchClients"_s);
        QCOMPARE(text("txtLastname"), QString());

        QCOMPARE(pressF4Choosing(john), u"frmSearchClients"_s);
        QCOMPARE((QStringList{text("txtLastname"), text("txtFirstname"), text("txtCellphone")}),
                 (QStringList{"O'Brien", "John", "0821234567"}));
        QCOMPARE(window->focusWidget(), window->findChild<ComposerBlock *>()->body(1));
        QCOMPARE(pressF4Choosing(0), u"frmSearchClients"_s); // no choice keeps the contact
        QCOMPARE(text("txtLastname"), u"O'Brien"_s);
        setBody(1, u"Hello"_s);
        click("cmdSend");
        QCOMPARE(outboxColumn(u"ClientID"_s), QStringList{QString::number(john)});
        saveScreenshot(window.get(), u"frmSendToSingle"_s);

        QCOMPARE(pressF4Choosing(nonumber), u"frmSearchClients"_s);
        QCOMPARE(text("txtCellphone"), QString());
    }

    // Staff: Ann (a number with blanks around it), Bob (blanks only), Cy, Di (none); Ann is in Other too.
    void groupSendNeedsAGroupAndAsksAboutMissingNumbers()
    {
        const qint64 staff = addGroup(u"Staff"_s);
        const qint64 ann = addClient(u"Zimmer"_s, u" 0821111111 "_s, u"Ann"_s);
        link(staff, ann);
        link(staff, addClient(u"Botha"_s, u"   "_s, u"Bob"_s));
        link(staff, addClient(u"Mokoena"_s, u"0833333333"_s, u"Cy"_s));
        link(staff, addClient(u"Naidoo"_s, QVariant(), u"Di"_s));
        const qint64 other = addGroup(u"Other"_s); // Ann too: queued once, with Staff's members only
        link(other, ann);
        link(other, addClient(u"Elsewhere"_s, u"0834444444"_s));
        open(new frmSendToGroup);
        setBody(1, u"Staff meeting at 10"_s);
        setBody(4, u"Bring your reports"_s);
        click("cmdSend"); // no group chosen: nothing happens
        QVERIFY(boxes->shown().isEmpty());

        choose(u"Staff"_s);
        QCOMPARE(list()->rowCount(), 4);
        click("cmdSend"); // unanswered, the question takes No
        QCOMPARE(boxes->titles(), QStringList{"NUMBERS"});
        QCOMPARE(boxes->last().text, u"There are 2 customers in this group that does not have mobile numbers. "
                                     u"Press Yes to continue, but leave them out. Press No to cancel send."_s);
        QCOMPARE(status(), u"Ready ..."_s);
        QCOMPARE(OutboxRows::count(), 0);

        boxes->answer(QMessageBox::Yes);
        click("cmdSend");
        QCOMPARE(status(), u"Added 2 records."_s);
        QCOMPARE(outboxColumn(u"Message"_s), (QStringList{"Staff meeting at 10", "Bring your reports",
                                                          "Staff meeting at 10", "Bring your reports"}));
        QCOMPARE(outboxColumn(u"Number"_s).first(), u"0821111111"_s);
        QCOMPARE(outboxColumn(u"ClientID"_s).first(), QString::number(ann));
        screenshots(u"frmSendToGroup"_s);

        // A refused number, added last: the error is shown and the status names the member it was adding.
        link(staff, addClient(u"Adams"_s, Refused, u"Al"_s));
        refuseNumber(Refused);
        boxes->answer(QMessageBox::Yes);
        click("cmdSend");
        QCOMPARE(boxes->last().title, u"ERROR"_s);
        QCOMPARE(status(), u"Adding Adams, Al"_s);
    }

    void groupsAndMembersSortAsPeopleReadNames()
    {
        for (const char *name : {"zulu", "Émile", "anna", "Bob"})
            addGroup(QString::fromUtf8(name));
        const qint64 club = addGroup(u"Club"_s);
        for (const char *lastName : {"van Wyk", "Élan", "Adams", "botha"})
            link(club, addClient(QString::fromUtf8(lastName)));
        open(new frmSendToGroup);
        QCOMPARE(column(child<QComboBox>("cboGroups")->model(), 0),
                 (QStringList{"anna", "Bob", "Club", "Émile", "zulu"}));
        choose(u"Club"_s);
        const int lastName = static_cast<const RecordTableModel *>(list())->columnOf(u"LastName"_s);
        QCOMPARE(column(list(), lastName), (QStringList{"Adams", "botha", "Élan", "van Wyk"}));
    }

    void failedCommitIsAnErrorInEveryQueueingWindow_data() { queueingWindows(); }
    void failedCommitIsAnErrorInEveryQueueingWindow()
    {
        // The database refuses the commit (as with a full disk): no window may say it added anything,
        // and nothing is stored.
        QFETCH(QString, kind);
        failCommitsAfter(u"INSERT"_s, u"SMSSend"_s, u"NEW.Number = '%1'"_s.arg(Refused));
        openFor(kind, {Refused, u"0821111111"_s});
        compose(u"Hi"_s);
        send();
        QCOMPARE(boxes->titles(), QStringList{"ERROR"}); // no "Done Importing", no "records added"
        QVERIFY2(boxes->last().text.contains(u"Nothing was stored."_s), qPrintable(boxes->last().text));
        if (kind == u"frmSendToGroup"_s || kind == u"frmSendToGroupNo"_s)
            QVERIFY2(!status().startsWith(u"Added "_s), qPrintable(status()));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(OutboxRows::count(), 0);
    }

    void importAppendsReasonsAndReportsShortLines()
    {
        open(new frmImport);
        setMessage(u"Debit returned: "_s);
        child<QCheckBox>("chkLastField")->setChecked(true);
        // The heading and the note are not account lines: left out without a word; line 7 is short. (How the bytes
        // are decoded is tst_composeRules' part.)
        const QString path = file(u"ansi.txt"_s, "ID, Number\r\n1,0821,2\r\n2,0822, 02 \r\n3,0823,2.5\r\n4,0824,99\r\n"
                                                 "5,0825,Caf\xE9 \x80\r\n6,0826\r\nEnd of file\r\n");
        browse(path);
        QCOMPARE(boxes->titles(), (QStringList{"IMPORT", "IMPORT"}));
        QCOMPARE(boxes->last().text, u"1 line was not loaded because it has fewer than 3 fields: line 7."_s);
        QCOMPARE(column(list(), 2),
                 (QStringList{"Debit returned:Insufficient funds", "Debit returned:Insufficient funds",
                              "Debit returned:2.5", "Debit returned:99", u"Debit returned:Caf\u00E9 \u20AC"_s}));
        child<QCheckBox>("chkLastField")->setChecked(false);
        browse(path);
        QCOMPARE(column(list(), 2), QStringList(6, u"Debit returned:"_s)); // without a reason line 7 is long enough
    }

    void importColoursRowsByTheirChecks()
    {
        // The message is the text and the reason together: 150 + 8 characters, then 150 + 9.
        open(new frmImport);
        setMessage(QString(150, u'm'));
        child<QCheckBox>("chkLastField")->setChecked(true);
        browse(file(u"checks.txt"_s, "1,0821234567,12345678\n2,0821234567,123456789\n3,082123456,1\n4,0821234567,1\n"
                                     "5,,1\n6,082,123456789\n7,,123456789\n"));
        QStringList colours;
        for (int row = 0; row < list()->rowCount(); ++row) {
            const QVariant background = list()->index(row, 0).data(Qt::BackgroundRole);
            colours << (background.isValid() ? background.value<QBrush>().color().name() : u"none"_s);
        }
        const QString none = u"none"_s, yellow = u"#ffff00"_s, pink = u"#ff80c0"_s, red = u"#ff8080"_s;
        // 158 and 159 characters, 9- and 10-digit numbers, no number; where checks meet, the later one wins.
        QCOMPARE(colours, (QStringList{none, yellow, pink, none, red, pink, yellow}));
        // Rows marked for their number, or for no number under another colour, are left out and counted; a long
        // message is not.
        click("cmdImport");
        QCOMPARE(boxes->last().text, u"Done Importing 3 records\n4 marked rows were left out."_s);
        QCOMPARE(OutboxRows::count(), 3);
    }

    void importLoadsEveryAccountAndQueuesAClosingRow()
    {
        open(new frmImport);
        setMessage(u"  Your debit order was returned.\nPlease call 011 555 0100.  "_s);
        child<QCheckBox>("chkSelfSend")->setChecked(true);
        child<QLineEdit>("txtCellNumber")->setText(u" 0827654321 "_s);
        // Without the database file the import does nothing at all, not even the closing row.
        const QString database = Database::path();
        Database::use(QDir(home.path()).filePath(u"nowhere/SMSData.db"_s));
        click("cmdImport");
        Database::use(database);
        QVERIFY(boxes->shown().isEmpty());
        QCOMPARE(OutboxRows::count(), 0);

        browse(file(u"list.txt"_s, "ID, Number\r\n1001, 0821111111\r\n\r\n1002,0822222222 \r\n   \r\n1003 ,\r\n"));
        QCOMPARE(boxes->titles(), QStringList{"IMPORT"});
        QCOMPARE(boxes->last().text, u"Done Loading File"_s);
        QCOMPARE(child<QLabel>("lblRecords")->text(), u"6"_s); // every line, the header and blank ones too
        QCOMPARE(column(list(), 0), (QStringList{"1001", "1002", "1003"}));
        click("cmdImport");
        QCOMPARE(boxes->titles(), (QStringList{"IMPORT", "IMPORTING"}));
        QCOMPARE(boxes->last().text, u"Done Importing 2 records and 1 to yourself\n1 marked row was left out."_s);
        QCOMPARE(outboxColumn(u"Number"_s), (QStringList{"0821111111", "0822222222", "0827654321"}));
        const QString message = u"Your debit order was returned.\r\nPlease call 011 555 0100."_s;
        QCOMPARE(outboxColumn(u"Message"_s), (QStringList{message, message, "Finished Sending."}));
        QVERIFY(OutboxRows::all()[1].value("SendDate").isNull());
        screenshots(u"frmImport"_s);

        // The closing row needs both the box ticked and a number.
        child<QLineEdit>("txtCellNumber")->setText(u"   "_s);
        click("cmdImport");
        QCOMPARE(boxes->last().text, u"Done Importing 2 records\n1 marked row was left out."_s);
        child<QCheckBox>("chkSelfSend")->setChecked(false);
        child<QLineEdit>("txtCellNumber")->setText(u"0829999999"_s);
        click("cmdImport");
        QCOMPARE(boxes->last().text, u"Done Importing 2 records\n1 marked row was left out."_s);
        QCOMPARE(OutboxRows::count(), 7);
    }

    void importMessageSurvivesARestart()
    {
        // The operator's text comes back as typed, also where it looks like a reference to a variable.
        qputenv("USER", "ann");
        open(new frmImport);
        setMessage(u"  Dear %USER%,\nyour debit failed.  "_s);
        click("cmdClose");
        QVERIFY(!window->isVisible());
        open(new frmImport);
        QCOMPARE(child<QPlainTextEdit>("txtMessage")->toPlainText(), u"Dear %USER%,\nyour debit failed."_s);
        QVERIFY(boxes->shown().isEmpty());

        // A settings file the store did not write is never overwritten: the store refuses, and the window says so.
        QVERIFY(writeFile(cRegistry::hivePath(), "{ this is not json"));
        setMessage(u"Keep me"_s);
        window->close();
        QCOMPARE(boxes->titles(), QStringList{"ERROR"});
        QCOMPARE(boxes->last().icon, QMessageBox::Critical);
        QCOMPARE(fileBytes(cRegistry::hivePath()), QByteArray("{ this is not json"));
    }

    void numbersLeftOutAreAskedAboutOnceInEveryQueueingWindow_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QStringList>("queued"); // the numbers Skip queues
        QTest::addColumn<QString>("afterSkip");  // the window's last word after Skip: a box, or the status line
        QTest::addColumn<bool>("skip");
        const auto rows = [](const QString &kind, const QStringList &numbers, const QString &question,
                             const QStringList &queued, const QString &afterSkip) {
            for (const bool skip : {true, false})
                QTest::addRow("%s, %s", qPrintable(kind), skip ? "Skip" : "Cancel")
                    << kind << numbers << question << queued << afterSkip << skip;
        };
        rows(u"frmSendToSingle"_s, {u"+1 212 555 0100"_s},
             u"1 number will be skipped: +1 212 555 0100 (not a South African number)"_s, {}, u"Added 0 records."_s);
        rows(u"frmSendToGroupNo"_s,
             {"0821112222", "123", "0821112222", "082 444 4444", "012 555 0100", "+27 83 123 4567"},
             u"4 numbers will be skipped: 123 (not a valid number), 0821112222 (twice in this list), "
             u"082 444 4444 (opted out), 012 555 0100 (not a cellphone number)"_s,
             {"0821112222", "+27 83 123 4567"}, u"2 records added."_s);
        rows(u"frmSendToGroup"_s, {"0821112222", "0800 123 456", " 082 111 2222 ", QString(), "083 123 4567"},
             u"3 numbers will be skipped: Botha, Bob 0800 123 456 (not a cellphone number), 082 111 2222 "
             u"(twice in this group), Dube, Di (no number)"_s,
             {"0821112222", "083 123 4567"}, u"Added 2 records."_s);
        rows(u"frmImport"_s, {"0821112222", "082", "0821112222", "+44 7911 123456", "0831234567"},
             u"3 numbers will be skipped: 0821112222 (twice in this file), +44 7911 123456 (not a South "
             u"African number), MTN (not a valid number)"_s,
             {"0821112222", "0831234567"}, u"Done Importing 2 records\n1 marked row was left out."_s);
    }

    // Every queueing window counts the numbers it would leave out and asks once, before anything is written: Skip
    // queues the rest, Cancel nothing.
    void numbersLeftOutAreAskedAboutOnceInEveryQueueingWindow()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, numbers);
        QFETCH(QString, question);
        QFETCH(QStringList, queued);
        QFETCH(QString, afterSkip);
        QFETCH(bool, skip);
        QVERIFY(OptOutList::add(u"+27 82 444 4444"_s, OptOutList::FromOperator));
        openFor(kind, numbers);
        compose(u"Hello"_s);
        if (kind == u"frmImport"_s) {
            child<QCheckBox>("chkSelfSend")->setChecked(true);
            child<QLineEdit>("txtCellNumber")->setText(u"MTN"_s);
        }
        boxes->answer(skip ? QMessageBox::Yes : QMessageBox::Cancel);
        send();

        QVERIFY(boxes->count() > 0);
        const MessageBoxes::Shown asked = boxes->shown().first();
        QCOMPARE(asked.title, u"NUMBERS"_s);
        QCOMPARE(asked.text, question + u"\n\nSkip leaves them out and queues the rest; Cancel queues nothing."_s);
        QCOMPARE(asked.buttons, QMessageBox::Yes | QMessageBox::Cancel);
        const std::unique_ptr<QMessageBox> box = MessageBoxes::build(window.get(), asked);
        QCOMPARE(box->button(QMessageBox::Yes)->text(), u"&Skip"_s);
        box->show(); // a box takes its size when shown
        saveScreenshot(box.get(), u"numbers-question-"_s + kind);
        QCOMPARE(boxes->titles().count(u"NUMBERS"_s), 1);
        QCOMPARE(outboxColumn(u"Number"_s), skip ? queued : QStringList());
        const bool saidInABox = kind == u"frmSendToGroupNo"_s || kind == u"frmImport"_s;
        if (skip)
            QCOMPARE(saidInABox ? boxes->last().text : status(), afterSkip);
        else
            QCOMPARE(boxes->count(), 1); // nothing said to have been added
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void templateSavedInOneComposerQueuedFromEvery_data() { queueingWindows(); }
    void templateSavedInOneComposerQueuedFromEvery()
    {
        QFETCH(QString, kind);
        const QString name = u"Returned debit's reminder"_s;
        const QString first = u"Your debit order of 1 March was returned.\nPlease call Mary's desk."_s;
        open(new frmSendToGroupNo);
        setBody(1, first);
        setBody(3, u"Thank you"_s);
        QCOMPARE(saveAsTemplate(name), u"frmSaveTemplate"_s);
        QCOMPARE(TemplateBook::list().size(), 1);
        // The same name again, in another case, is refused; the window stays open until cancelled.
        QCOMPARE(saveAsTemplate(u" RETURNED DEBIT'S REMINDER"_s), u"frmSaveTemplate"_s);
        QCOMPARE(boxes->last().title, u"EXIST"_s);
        QCOMPARE(TemplateBook::list().size(), 1);

        openFor(kind, {u"0821234567"_s});
        boxes->clear();
        QVERIFY(chooseTemplate(name));
        QStringList messages{u"Your debit order of 1 March was returned.\r\nPlease call Mary's desk."_s};
        if (kind == u"frmImport"_s) {
            // The importer has one message for each line: the first body; the third was left out.
            QCOMPARE(child<QPlainTextEdit>("txtMessage")->toPlainText(), first);
            QCOMPARE(boxes->titles(), QStringList{u"TEMPLATE"_s});
        } else {
            messages << u"Thank you"_s;
            QCOMPARE(bodies(), (QStringList{messages.at(0), {}, messages.at(1), {}}));
            QVERIFY(boxes->titles().isEmpty());
        }
        load();
        send();
        QCOMPARE(outboxColumn(u"Message"_s), messages);
        QCOMPARE(outboxColumn(u"Number"_s), QStringList(messages.size(), u"0821234567"_s));
        if (kind == u"frmSendToGroupNo"_s)
            screenshots(u"frmSendToGroupNo-templates"_s);
    }

    void choosingATemplateAsksBeforeReplacingAndLeavesFieldsToTheQueueing()
    {
        TemplateBook::add(u"Nickname"_s, {{u"Dear {Nickname}, see you on Friday."_s, {}, {}, {}}, true});
        open(new frmSendToGroupNo);
        setNumbers({u"0821234567"_s});
        setBody(2, u"typed by hand"_s);
        QVERIFY(chooseTemplate(u"Nickname"_s)); // unanswered, the question takes No
        QCOMPARE(boxes->titles(), QStringList{u"TEMPLATE"_s});
        QCOMPARE(bodies(), (QStringList{{}, u"typed by hand"_s, {}, {}}));
        QVERIFY(!child<QRadioButton>("optMarketing")->isChecked());
        boxes->answer(QMessageBox::Yes);
        QVERIFY(chooseTemplate(u"Nickname"_s));
        QCOMPARE(bodies(), (QStringList{u"Dear {Nickname}, see you on Friday."_s, {}, {}, {}}));
        QVERIFY(child<QRadioButton>("optMarketing")->isChecked());
        // A field no contact has is found when queueing, as in typed text: nothing is queued.
        boxes->clear();
        click("cmdSend");
        QVERIFY(boxes->titles().contains(u"ERROR"_s));
        QVERIFY2(boxes->shown().first().text.contains(u"{Nickname}"_s), qPrintable(boxes->shown().first().text));
        QCOMPARE(OutboxRows::count(), 0);
    }

    void templateWindowAddsRenamesAndDeletes()
    {
        TemplateBook::add(u"Meeting"_s, {{u"AGM on Friday"_s, {}, {}, {}}, false});
        open(new frmTemplates);
        auto *list = child<QListWidget>("lstTemplates");
        auto *name = child<QLineEdit>("txtName");
        QCOMPARE(name->text(), u"Meeting"_s); // the first is shown
        QCOMPARE(composer()->bodies().first(), u"AGM on Friday"_s);
        QVERIFY(!child<QWidget>("TemplateChooser")->isVisible());

        click("cmdNew");
        QVERIFY(name->text().isEmpty());
        name->setText(u"Payment thanks"_s);
        setBody(1, u"Thank you for your payment."_s);
        child<QRadioButton>("optMarketing")->setChecked(true);
        click("cmdSave");
        QCOMPARE(column(list->model(), 0), (QStringList{u"Meeting"_s, u"Payment thanks"_s}));
        QCOMPARE(list->currentItem()->text(), u"Payment thanks"_s);
        std::optional<MessageTemplate> saved = TemplateBook::find(TemplateBook::list().last().id);
        QCOMPARE(saved->text.bodies.first(), u"Thank you for your payment."_s);
        QVERIFY(saved->text.marketing);

        // Renamed onto the other's name: refused, the typed name stays to be changed.
        name->setText(u" MEETING"_s);
        click("cmdSave");
        QCOMPARE(boxes->last().title, u"EXIST"_s);
        QCOMPARE(name->text(), u" MEETING"_s);
        name->setText(u"Members' thanks"_s);
        click("cmdSave");
        QCOMPARE(column(list->model(), 0), (QStringList{u"Meeting"_s, u"Members' thanks"_s}));

        // Another template chosen with changes unsaved: the operator is asked, and No lets them go.
        setBody(2, u"never saved"_s);
        list->setCurrentRow(0);
        QCOMPARE(boxes->last().title, u"SAVE"_s);
        QCOMPARE(name->text(), u"Meeting"_s);
        screenshots(u"frmTemplates"_s);

        boxes->answer(QMessageBox::Yes);
        click("cmdDelete");
        QCOMPARE(boxes->last().title, u"DELETE"_s);
        QCOMPARE(column(list->model(), 0), QStringList{u"Members' thanks"_s});
        QCOMPARE(name->text(), u"Members' thanks"_s);
        QCOMPARE(TemplateBook::find(TemplateBook::list().first().id)->text.bodies.at(1), QString());
    }

private:
    ComposerBlock *composer() const { return window->findChild<ComposerBlock *>(); }
    void setBody(int n, const QString &text) { composer()->setBody(n, text); }
    QStringList bodies() const { return composer()->bodies(); }
    // Drops the template list down and picks the entry of this name; false when it is not listed.
    bool chooseTemplate(const QString &name)
    {
        auto *menu = child<QMenu>("mnuTemplates");
        emit menu->aboutToShow();
        for (QAction *action : menu->actions())
            if (action->text() == name && action->isEnabled()) {
                action->trigger();
                return true;
            }
        return false;
    }
    // Save as Template, typing this name in the window it opens.
    QString saveAsTemplate(const QString &name)
    {
        return withModal([this] { click("cmdSaveTemplate"); },
                         [name](QWidget *modal) {
                             child<QLineEdit>(modal, "txtName")->setText(name);
                             click(modal, "cmdSave");
                         });
    }
    void setNumbers(const QStringList &cells)
    {
        auto *grid = child<NumberGrid>("grdList");
        grid->setRowCount(int(cells.size()));
        for (int row = 0; row < cells.size(); ++row)
            grid->setItem(row, 0, new QTableWidgetItem(cells.at(row)));
    }
    // Every window that queues messages, by class.
    static void queueingWindows()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"frmSendToSingle", "frmSendToGroupNo", "frmSendToGroup", "frmImport"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    // Opens the queueing window of this class for these numbers: typed (the first), in the list, of a group's
    // members (Adams, Al; Botha, Bob; ...; a null text is no number), or in a debit-order file, loaded by load().
    void openFor(const QString &kind, const QStringList &numbers)
    {
        if (kind == u"frmSendToSingle"_s) {
            open(new frmSendToSingle);
            child<QLineEdit>("txtCellphone")->setText(numbers.first());
        } else if (kind == u"frmSendToGroupNo"_s) {
            open(new frmSendToGroupNo);
            setNumbers(numbers);
        } else if (kind == u"frmSendToGroup"_s) {
            const qint64 club = addGroup(u"Club"_s);
            const QStringList names{"Adams", "Al", "Botha", "Bob", "Cele", "Cy", "Dube", "Di", "Essop", "Ed"};
            for (qsizetype i = 0; i < numbers.size(); ++i)
                link(club, addClient(names.at(2 * i), numbers.at(i).isNull() ? QVariant() : QVariant(numbers.at(i)),
                                     names.at(2 * i + 1)));
            open(new frmSendToGroup);
            choose(u"Club"_s);
        } else {
            QByteArray lines;
            for (qsizetype i = 0; i < numbers.size(); ++i)
                lines += QByteArray::number(i + 1) + ',' + numbers.at(i).toLatin1() + '\n';
            open(new frmImport);
            dialogs->choose(file(u"list.txt"_s, lines));
        }
    }
    bool importing() const { return qobject_cast<frmImport *>(window.get()) != nullptr; }
    // The message: the first body, or the importer's one message, with which it then loads its file.
    void compose(const QString &text)
    {
        if (!importing())
            return setBody(1, text);
        setMessage(text);
        load();
    }
    void load()
    {
        if (!importing())
            return;
        click("cmdBrowse");
        boxes->clear(); // "Done Loading File"
    }
    void send() { click(importing() ? "cmdImport" : "cmdSend"); }
    void choose(const QString &group) { child<QComboBox>("cboGroups")->setCurrentText(group); }
    QAbstractItemModel *list() const { return child<QTableView>("grdList")->model(); }
    QString file(const QString &name, const QByteArray &bytes) const { return home.file(name, bytes); }
    void browse(const QString &path)
    {
        dialogs->choose(path);
        click("cmdBrowse");
    }
    void setMessage(const QString &text) { child<QPlainTextEdit>("txtMessage")->setPlainText(text); }
    QString text(const char *box) const { return child<QLineEdit>(box)->text(); }
    // Presses F4 and picks this contact (0: none) in the window it opens; gives that window's class.
    QString pressF4Choosing(qint64 chosen)
    {
        return withModal([this] { QTest::keyClick(child<QLineEdit>("txtCellphone"), Qt::Key_F4); },
                         [chosen](QWidget *) { ClientHandOver::SelectedClientID = qint32(chosen); });
    }
};

QTEST_MAIN(tst_composeWindows)
#include "tst_composeWindows.moc"
