#include "ComposeTestSupport.h"
#include "GuiTestSupport.h"

#include "app/modMain.h"
#include "compose/BodyEdit.h"
#include "compose/ComposerBlock.h"
#include "compose/NumberGrid.h"
#include "compose/frmImport.h"
#include "compose/frmSendToGroup.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "data/ProcessSettings.h"
#include "settings/cRegistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace ComposeTest;
using namespace Qt::StringLiterals;

// The three windows that queue messages: a typed list of numbers, a contact group, and a debit-order file.
class tst_composeWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void numberListCountsNumbersNotMessages();
    void numberListSkipsBlankRowsAndQueuesEachBody();
    void numberListErrorKeepsTheRowsBefore();

    void singleTypedNumberGoesOutWithoutAContact();
    void singleF4FillsTheChosenContact();

    void groupSendNeedsAGroupAndAsksAboutMissingNumbers();
    void groupErrorKeepsTheRowsBefore();
    void groupsAndMembersSortAsPeopleReadNames();
    void failedCommitIsAnErrorInEveryQueueingWindow();

    void importAppendsReasonsFromEitherEncodingAndReportsShortLines();
    void importColoursRowsByTheirChecks();
    void importLoadsEveryAccountAndQueuesAClosingRow();
    void importWithoutDatabaseDoesNothing();
    void importMessageSurvivesARestart();
    void importShowsAFailingStore();

private:
    void open(QDialog *dialog)
    {
        window.reset(dialog);
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
    }
    template<typename T>
    T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    QString status() const { return child<QLabel>("lblStatus")->text(); }
    void setBody(int n, const QString &text) { window->findChild<ComposerBlock *>()->setBody(n, text); }
    void screenshots(const QString &name)
    {
        saveScreenshot(window.get(), name);
        const QSize normal = window->size();
        window->resize(window->minimumSizeHint());
        saveScreenshot(window.get(), name + u"-smallest"_s);
        window->resize(1280, 900);
        saveScreenshot(window.get(), name + u"-large"_s);
        window->resize(normal);
    }
    void setNumbers(const QStringList &cells)
    {
        auto *grid = child<NumberGrid>("grdList");
        grid->setRowCount(int(cells.size()));
        for (int row = 0; row < cells.size(); ++row)
            grid->setItem(row, 0, new QTableWidgetItem(cells.at(row)));
    }
    // Staff: Ann (a number with blanks around it), Bob (blanks only), Cy, Di (none). Friends & Family: Ann.
    void openGroupWindow()
    {
        staff = addGroup(u"Staff"_s);
        const qint64 friends = addGroup(u"Friends & Family"_s);
        ann = addClient(u"Zimmer"_s, u"Ann"_s, u" 0821111111 "_s);
        link(staff, ann);
        link(friends, ann);
        link(staff, addClient(u"Botha"_s, u"Bob"_s, u"   "_s));
        link(staff, addClient(u"Mokoena"_s, u"Cy"_s, u"0833333333"_s));
        link(staff, addClient(u"Naidoo"_s, u"Di"_s, QVariant()));
        open(new frmSendToGroup);
    }
    void choose(const QString &group) { child<QComboBox>("cboGroups")->setCurrentText(group); }
    QAbstractItemModel *list() const { return child<QTableView>("grdList")->model(); }
    QString cell(int row, int column) const { return list()->index(row, column).data().toString(); }
    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = QDir(home.path()).filePath(name);
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    void browse(const QString &path)
    {
        dialogs->choose(path);
        click("cmdBrowse");
    }
    void setMessage(const QString &text) { child<QPlainTextEdit>("txtMessage")->setPlainText(text); }
    QString text(const char *box) const { return child<QLineEdit>(box)->text(); }
    // Presses F4 and picks this contact (0: none) in the search window it opens.
    QString pressF4Choosing(qint64 chosen)
    {
        window->activateWindow(); // back from the last search
        if (!QTest::qWaitForWindowActive(window.get()))
            return u"inactive"_s;
        QString opened;
        QTimer::singleShot(0, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                opened = QString::fromLatin1(modal->metaObject()->className());
                modMain::SelectedClientID = qint32(chosen);
                modal->close();
            }
        });
        QTest::keyClick(child<QLineEdit>("txtCellphone"), Qt::Key_F4);
        return opened;
    }

    TestHome home;
    std::unique_ptr<ScriptedMessageBoxes> boxes;
    std::unique_ptr<ScriptedFileDialogs> dialogs;
    std::unique_ptr<QDialog> window;
    qint64 staff = 0, ann = 0;
};

void tst_composeWindows::init()
{
    home.freshDatabase();
    QFile::remove(cRegistry::hivePath());
    boxes = std::make_unique<ScriptedMessageBoxes>();
    dialogs = std::make_unique<ScriptedFileDialogs>();
}

void tst_composeWindows::cleanup()
{
    window.reset();
    dialogs.reset();
    boxes.reset();
}

void tst_composeWindows::numberListCountsNumbersNotMessages()
{
    open(new frmSendToGroupNo);
    setBody(2, u"      "_s);
    click("cmdSend");
    QCOMPARE(boxes->titles(), (QStringList{"NO NUMBER", "ADDED"}));
    QCOMPARE(boxes->shown()[0].text, u"No Cellphone Numbers Added."_s);
    QCOMPARE(boxes->shown()[1].text, u"0 records added."_s);

    setNumbers({"0821111111", "0822222222", "0823333333"}); // every body blank: numbers still count
    click("cmdSend");
    QCOMPARE(boxes->last().text, u"3 records added."_s);
    QCOMPARE(OutboxRows::count(), 0);
}

void tst_composeWindows::numberListSkipsBlankRowsAndQueuesEachBody()
{
    open(new frmSendToGroupNo);
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
    setBody(2, u"Meeting at 10\nBring the forms"_s);
    setBody(4, u"  Thanks  "_s);
    click("cmdSend");
    QCOMPARE(boxes->titles(), QStringList{"ADDED"});
    QCOMPARE(boxes->last().text, u"2 records added."_s);
    QCOMPARE(status(), u"Added record for 0823333333"_s);
    const auto rows = OutboxRows::all();
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0].value("Number").toString(), u"0821111111"_s);
    QCOMPARE(rows[0].value("Message").toString(), u"Meeting at 10\r\nBring the forms"_s);
    QCOMPARE(rows[1].value("Message").toString(), u"Thanks"_s);
    QCOMPARE(rows[3].value("Number").toString(), u"0823333333"_s);
    screenshots(u"frmSendToGroupNo"_s);
}

void tst_composeWindows::numberListErrorKeepsTheRowsBefore()
{
    refuseNumber(u"0999"_s);
    open(new frmSendToGroupNo);
    setNumbers({"0821111111", "0999", "0823333333"});
    setBody(1, u"One"_s);
    setBody(3, u"Three"_s);
    click("cmdSend");
    QCOMPARE(boxes->titles(), QStringList{"ERROR"});
    QVERIFY2(boxes->last().text.endsWith(u"refused by test\n2 messages were queued before the error."_s),
             qPrintable(boxes->last().text));
    QCOMPARE(status(), u"Adding 0999"_s);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    Database::close();
    const auto rows = OutboxRows::all();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1].value("Message").toString(), u"Three"_s);
}

void tst_composeWindows::singleTypedNumberGoesOutWithoutAContact()
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
    setBody(4, u"  Thanks  "_s);
    click("cmdSend");
    QCOMPARE(status(), u"Added 1 records."_s);
    const auto rows = OutboxRows::all();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].value("Message").toString(), u"Your order is ready"_s);
    QCOMPARE(rows[1].value("Message").toString(), u"Thanks"_s);
    for (const auto &row : rows) {
        QCOMPARE(row.value("Number").toString(), u"082 123 4567"_s);
        QCOMPARE(row.value("ClientID").toLongLong(), 0);
        QVERIFY(!row.value("ClientID").isNull());
    }

    // A failing write is shown; the status still says whom it was adding.
    refuseNumber(u"0999"_s);
    child<QLineEdit>("txtCellphone")->setText(u"0999"_s);
    click("cmdSend");
    QCOMPARE(boxes->titles(), (QStringList{u"NO NUMBER"_s, u"ERROR"_s}));
    QCOMPARE(status(), u"Adding , "_s);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QCOMPARE(OutboxRows::count(), 2);
}

void tst_composeWindows::singleF4FillsTheChosenContact()
{
    const qint64 john = Database::insert(u"INSERT INTO Clients (LastName, FirstName, Mobile) "
                                         u"VALUES (' O''Brien ', 'John ', ' 0821234567 ')"_s);
    const qint64 nonumber = addClient(u"Blank"_s, u"Bo"_s, QVariant());
    open(new frmSendToSingle);
    QCOMPARE(pressF4Choosing(0), u"frmSearchClients"_s);
    QCOMPARE(text("txtLastname"), QString());

    QCOMPARE(pressF4Choosing(john), u"frmSearchClients"_s);
    QCOMPARE(text("txtLastname"), u"O'Brien"_s);
    QCOMPARE(text("txtFirstname"), u"John"_s);
    QCOMPARE(text("txtCellphone"), u"0821234567"_s);
    QCOMPARE(window->focusWidget(), window->findChild<ComposerBlock *>()->body(1));
    QCOMPARE(pressF4Choosing(0), u"frmSearchClients"_s); // no choice keeps the contact
    QCOMPARE(text("txtLastname"), u"O'Brien"_s);
    setBody(1, u"Hello"_s);
    click("cmdSend");
    QCOMPARE(Database::value(u"SELECT ClientID FROM SMSSend"_s).toLongLong(), john);
    saveScreenshot(window.get(), u"frmSendToSingle"_s);

    QCOMPARE(pressF4Choosing(nonumber), u"frmSearchClients"_s);
    QCOMPARE(text("txtCellphone"), QString());
    click("cmdSend");
    QCOMPARE(boxes->titles(), QStringList{u"NO NUMBER"_s});
    QCOMPARE(OutboxRows::count(), 1);
}

void tst_composeWindows::groupSendNeedsAGroupAndAsksAboutMissingNumbers()
{
    openGroupWindow();
    QCOMPARE(child<QComboBox>("cboGroups")->itemText(0), u"Friends & Family"_s); // ordered by name
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
    const auto rows = OutboxRows::all();
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0].value("Message").toString(), u"Staff meeting at 10"_s);
    QCOMPARE(rows[1].value("Message").toString(), u"Bring your reports"_s);
    QCOMPARE(Database::value(u"SELECT Number FROM SMSSend WHERE ClientID = ?"_s, {ann}).toString(), u"0821111111"_s);
    screenshots(u"frmSendToGroup"_s);

    // Ann's second group queues her again, and only her.
    choose(u"Friends & Family"_s);
    click("cmdSend");
    QCOMPARE(status(), u"Added 1 records."_s);
    QCOMPARE(Database::value(u"SELECT count(*) FROM SMSSend WHERE ClientID = ?"_s, {ann}).toInt(), 4);
    QCOMPARE(OutboxRows::count(), 6);
}

void tst_composeWindows::groupErrorKeepsTheRowsBefore()
{
    // Members go in the database's order: the refused number, added last, comes after Ann and Cy.
    openGroupWindow();
    link(staff, addClient(u"Adams"_s, u"Al"_s, u"0999"_s));
    refuseNumber(u"0999"_s);
    choose(u"Staff"_s);
    setBody(1, u"Hi"_s);
    boxes->answer(QMessageBox::Yes);
    click("cmdSend");
    QCOMPARE(boxes->titles(), (QStringList{"NUMBERS", "ERROR"}));
    QVERIFY2(boxes->last().text.endsWith(u"refused by test\n2 messages were queued before the error."_s),
             qPrintable(boxes->last().text));
    QCOMPARE(status(), u"Adding Adams, Al"_s);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    Database::close();
    QCOMPARE(OutboxRows::count(), 2);
}

void tst_composeWindows::groupsAndMembersSortAsPeopleReadNames()
{
    for (const char *name : {"zulu", "Émile", "anna", "Bob"})
        addGroup(QString::fromUtf8(name));
    const qint64 club = addGroup(u"Club"_s);
    for (const char *lastName : {"van Wyk", "Élan", "Adams", "botha"})
        link(club, addClient(QString::fromUtf8(lastName), u"X"_s, u"082"_s));
    open(new frmSendToGroup);
    auto *groups = child<QComboBox>("cboGroups");
    QStringList names;
    for (int i = 0; i < groups->count(); ++i)
        names << groups->itemText(i);
    QCOMPARE(names, (QStringList{"anna", "Bob", "Club", "Émile", "zulu"}));
    choose(u"Club"_s);
    QCOMPARE(list()->rowCount(), 4);
    QStringList members;
    for (int row = 0; row < list()->rowCount(); ++row)
        for (int column = 0; column < list()->columnCount(); ++column)
            if (list()->headerData(column, Qt::Horizontal).toString() == u"Last Name"_s)
                members << cell(row, column);
    QCOMPARE(members, (QStringList{"Adams", "botha", "Élan", "van Wyk"}));
}

void tst_composeWindows::failedCommitIsAnErrorInEveryQueueingWindow()
{
    // The database refuses the commit (as with a full disk): no window may say it added anything,
    // and nothing is stored.
    failCommitsFor(u"0999"_s);
    const auto expectFailure = [this](const char *what) {
        QVERIFY2(boxes->count() > 0 && boxes->last().title == u"ERROR"_s, what);
        QVERIFY2(boxes->last().text.contains(u"Nothing was stored."_s), qPrintable(boxes->last().text));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(OutboxRows::count(), 0);
    };

    open(new frmSendToGroupNo);
    setNumbers({"0821111111", "0999"});
    setBody(1, u"Hi"_s);
    click("cmdSend");
    expectFailure("number list");

    boxes->clear();
    const qint64 group = addGroup(u"Staff"_s);
    link(group, addClient(u"Adams"_s, u"Al"_s, u"0999"_s));
    open(new frmSendToGroup);
    choose(u"Staff"_s);
    setBody(1, u"Hi"_s);
    click("cmdSend");
    expectFailure("group");
    QVERIFY(!status().startsWith(u"Added "_s));

    boxes->clear();
    open(new frmImport);
    setMessage(u"Returned"_s);
    browse(file(u"list.txt"_s, "1001, 0821111111\r\n1002, 0999\r\n"));
    boxes->clear();
    click("cmdImport");
    expectFailure("debit-order import");
    QCOMPARE(boxes->titles(), QStringList{"ERROR"}); // no "Done Importing"
}

void tst_composeWindows::importAppendsReasonsFromEitherEncodingAndReportsShortLines()
{
    open(new frmImport);
    setMessage(u"Debit returned: "_s);
    child<QCheckBox>("chkLastField")->setChecked(true);
    // The heading and the note are not account lines: left out without a word; line 7 is short.
    browse(file(u"ansi.txt"_s, "ID, Number\r\n1,0821,2\r\n2,0822, 02 \r\n3,0823,2.5\r\n4,0824,99\r\n"
                               "5,0825,Caf\xE9 ferm\xE9\r\n6,0826\r\nEnd of file\r\n"));
    QCOMPARE(boxes->titles(), (QStringList{"IMPORT", "IMPORT"}));
    QCOMPARE(boxes->last().text, u"1 line was not loaded because it has fewer than 3 fields: line 7."_s);
    const QStringList reasons = {"Insufficient funds", "Insufficient funds", "2.5", "99", u"Caf\u00E9 ferm\u00E9"_s};
    QCOMPARE(list()->rowCount(), 5);
    for (int row = 0; row < 5; ++row)
        QCOMPARE(cell(row, 2), u"Debit returned:"_s + reasons[row]);
    const QString utf8 = file(u"utf8.txt"_s, "1,0821111111,Caf\xC3\xA9 \xE2\x82\xAC" "5\n");
    browse(utf8);
    QCOMPARE(cell(0, 2), u"Debit returned:Caf\u00E9 \u20AC5"_s);
    child<QCheckBox>("chkLastField")->setChecked(false);
    browse(utf8);
    QCOMPARE(cell(0, 2), u"Debit returned:"_s);
}

void tst_composeWindows::importColoursRowsByTheirChecks()
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
    click("cmdImport"); // marked rows are queued like the others
    QCOMPARE(OutboxRows::count(), 7);
}

void tst_composeWindows::importLoadsEveryAccountAndQueuesAClosingRow()
{
    open(new frmImport);
    setMessage(u"  Your debit order was returned.\nPlease call 011 555 0100.  "_s);
    browse(file(u"list.txt"_s, "ID, Number\r\n1001, 0821111111\r\n\r\n1002,0822222222 \r\n   \r\n1003 ,\r\n"));
    QCOMPARE(boxes->titles(), QStringList{"IMPORT"});
    QCOMPARE(boxes->last().text, u"Done Loading File"_s);
    QCOMPARE(child<QLabel>("lblRecords")->text(), u"6"_s); // every line, the header and blank ones too
    QCOMPARE(list()->rowCount(), 3);
    QCOMPARE(cell(2, 0), u"1003"_s);
    child<QCheckBox>("chkSelfSend")->setChecked(true);
    child<QLineEdit>("txtCellNumber")->setText(u" 0827654321 "_s);
    click("cmdImport");
    QCOMPARE(boxes->titles(), (QStringList{"IMPORT", "IMPORTING"}));
    QCOMPARE(boxes->last().text, u"Done Importing 3 records and 1 to yourself"_s);
    const auto rows = OutboxRows::all();
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[1].value("Number").toString(), u"0822222222"_s);
    QCOMPARE(rows[1].value("Message").toString(), u"Your debit order was returned.\r\nPlease call 011 555 0100."_s);
    QVERIFY(rows[1].value("SendDate").isNull());
    QCOMPARE(rows[2].value("Number").toString(), QString());
    QCOMPARE(rows[3].value("Number").toString(), u"0827654321"_s);
    QCOMPARE(rows[3].value("Message").toString(), u"Finished Sending."_s);
    screenshots(u"frmImport"_s);

    child<QLineEdit>("txtCellNumber")->setText(u"   "_s); // a blank number: no closing row
    click("cmdImport");
    QCOMPARE(boxes->last().text, u"Done Importing 3 records"_s);
    child<QCheckBox>("chkSelfSend")->setChecked(false);
    child<QLineEdit>("txtCellNumber")->setText(u"0829999999"_s);
    click("cmdImport");
    QCOMPARE(boxes->last().text, u"Done Importing 3 records"_s);
    QCOMPARE(OutboxRows::count(), 10);
}

void tst_composeWindows::importWithoutDatabaseDoesNothing()
{
    open(new frmImport);
    child<QCheckBox>("chkSelfSend")->setChecked(true);
    const QString saved = modMain::DatabasePath;
    modMain::DatabasePath = QDir(home.path()).filePath(u"nowhere/SMSData.db"_s);
    click("cmdImport");
    modMain::DatabasePath = saved;
    QVERIFY(boxes->shown().isEmpty());
    QCOMPARE(OutboxRows::count(), 0);
    click("cmdImport"); // with the database there, an empty list still reports
    QCOMPARE(boxes->last().text, u"Done Importing 0 records and 1 to yourself"_s);
}

void tst_composeWindows::importMessageSurvivesARestart()
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
}

void tst_composeWindows::importShowsAFailingStore()
{
    // A settings file the store did not write is never overwritten: the store refuses, and says so.
    QVERIFY(QDir().mkpath(QFileInfo(cRegistry::hivePath()).absolutePath()));
    QFile broken(cRegistry::hivePath());
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("{ this is not json") > 0);
    broken.close();
    open(new frmImport);
    setMessage(u"Keep me"_s);
    window->close();
    QCOMPARE(boxes->titles(), QStringList{"ERROR"});
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
}

QTEST_MAIN(tst_composeWindows)
#include "tst_composeWindows.moc"
