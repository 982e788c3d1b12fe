#include "ContactRows.h"
#include "FailingWrites.h"
#include "GroupRows.h"
#include "QueryRows.h"
#include "WindowFixture.h"

#include "contacts/ClientHandOver.h"
#include "contacts/ContactListModel.h"
#include "contacts/frmAddEditClients.h"
#include "contacts/frmListClients.h"
#include "contacts/frmSearchClients.h"
#include "contacts/frmSelectGroup.h"
#include "data/Database.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>

using ContactRows::add;
using namespace Qt::StringLiterals;

// The contact windows driven as the operator drives them: list, editor and search.
class tst_contactWindows : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { finish(); }

    void searchPicksByEnterOrDoubleClickAndNothingFromAnEmptyList()
    {
        add({{"LastName", u"Zulu"_s}, {"FirstName", u"Jo"_s}, {"AssNo", u"A2"_s}});
        const qint64 obrien = add({{"LastName", u"O'Brien"_s}, {"FirstName", u"Sean"_s}, {"AssNo", u"A1"_s}});
        add({{"LastName", u"Adams"_s}, {"FirstName", u"Joan"_s}, {"AssNo", u"A3"_s}});

        // Enter in the criteria searches (and does not close the window); Enter in the list picks.
        open(new frmSearchClients);
        type("txtCriteria", u"jo"_s);
        QTest::keyClick(child<QLineEdit>("txtCriteria"), Qt::Key_Return);
        QVERIFY(window->isVisible());
        auto *results = child<QTableView>("grdResults");
        QCOMPARE(results->model()->rowCount(), 2);
        QCOMPARE(results->model()->index(0, 1).data().toString(), u"Adams"_s);
        QVERIFY(results->isColumnHidden(0));
        screenshots(u"frmSearchClients"_s);
        results->setFocus();
        QTest::keyClick(results, Qt::Key_Down);
        QTest::keyClick(results, Qt::Key_Return);
        QVERIFY(!window->isVisible());
        QCOMPARE(ClientHandOver::SelectedClientID, 1);

        // Nothing found: Enter and a double click pick nothing.
        open(new frmSearchClients);
        type("txtCriteria", u"nobody"_s);
        click("cmdSearch");
        results = child<QTableView>("grdResults");
        QCOMPARE(results->model()->rowCount(), 0);
        results->setFocus();
        QTest::keyClick(results, Qt::Key_Return);
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(window->isVisible());
        QCOMPARE(ClientHandOver::SelectedClientID, 1);

        // A quote stays in the criteria and finds the name that holds it; a double click picks.
        type("txtCriteria", u"O'Brien"_s);
        click("cmdSearch");
        QCOMPARE(child<QLineEdit>("txtCriteria")->text(), u"O'Brien"_s);
        QCOMPARE(results->model()->rowCount(), 1);
        const QRect cell = results->visualRect(results->model()->index(0, 1));
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(ClientHandOver::SelectedClientID, qint32(obrien));
        QVERIFY(boxes->shown().isEmpty());
    }

    void searchOptionsSetTheNameBoxes()
    {
        add({{"LastName", u"Adams"_s}, {"EMail", u"ann@example.com"_s}, {"Mobile", u"0821234567"_s}});
        open(new frmSearchClients);
        const QList<QCheckBox *> names{child<QCheckBox>("chkContact_0"), child<QCheckBox>("chkContact_1"),
                                       child<QCheckBox>("chkContact_2"), child<QCheckBox>("chkContact_3")};
        QVERIFY(child<QRadioButton>("optOptions_0")->isChecked());
        for (int option : {2, 0, 1}) {
            child<QRadioButton>(qPrintable(u"optOptions_%1"_s.arg(option)))->click();
            for (QCheckBox *box : names) {
                QCOMPARE(box->isChecked(), option == 0);
                QCOMPARE(box->isEnabled(), option == 0);
            }
            QCOMPARE(QApplication::focusWidget(), child<QLineEdit>("txtCriteria"));
        }
        type("txtCriteria", u"EXAMPLE"_s); // e-mail option, any case
        click("cmdSearch");
        QCOMPARE(child<QTableView>("grdResults")->model()->rowCount(), 1);
    }

    void listShadesRowsAndCleanUpsShowTheirChanges()
    {
        const QColor notACellphone(0xFF, 0x80, 0x80);
        const QList<std::pair<QString, QColor>> mobiles{{u"+27 (0)82 123 4567"_s, QColor()},
                                                        {u"08212345"_s, QColor(0xFF, 0x80, 0xC0)},
                                                        {u"082 123 45678"_s, QColor(0xFF, 0xFF, 0x00)},
                                                        {u"(011) 123 4567"_s, notACellphone}};
        for (int i = 0; i < mobiles.size(); ++i)
            add({{"AssNo", u"A%1"_s.arg(i)}, {"LastName", u"Name, %1"_s.arg(i)}, {"Mobile", mobiles.at(i).first}});
        open(new frmListClients);
        QCOMPARE(qty(), u"4"_s);
        for (int row = 0; row < mobiles.size(); ++row)
            for (int column = 0; column < grid()->model()->columnCount(); ++column)
                QCOMPARE(grid()->model()->index(row, column).data(Qt::BackgroundRole).value<QColor>(),
                         mobiles.at(row).second);
        // The legend carries the shadings' colours.
        for (const auto &[label, shading] : {std::pair{"Label6", CellphoneClass::Shading::TooLong},
                                             std::pair{"Label5", CellphoneClass::Shading::TooShort},
                                             std::pair{"Label4", CellphoneClass::Shading::Invalid}})
            QVERIFY(child<QLabel>(label)->styleSheet().contains(ContactListModel::colourOf(shading).name()));
        for (const char *hidden : {"ClientID", "Selected", "Company"})
            QVERIFY(grid()->isColumnHidden(section(QString::fromLatin1(hidden))));
        screenshots(u"frmListClients"_s);

        // The clean-ups show their changes; a landline is no cellphone however it is written.
        child<QAction>("mnuUpdateSpaces")->trigger();
        QCOMPARE(cell(3, u"Mobile"_s), u"0111234567"_s);
        QCOMPARE(grid()->model()->index(3, 1).data(Qt::BackgroundRole).value<QColor>(), notACellphone);
        child<QAction>("mnuUpdateNames")->trigger();
        QCOMPARE(cell(3, u"LastName"_s), u"Name"_s);
        QCOMPARE(cell(3, u"FirstName"_s), u"3"_s);
        QVERIFY(boxes->shown().isEmpty());
    }

    void listSortsByHeaderAsPeopleReadNames()
    {
        const QStringList names{"Zulu", "émile", "anna", "Émile", "Anna", "Ödegaard", "zebra"};
        for (int i = 0; i < names.size(); ++i)
            add({{"AssNo", u"A%1"_s.arg(9 - i)}, {"LastName", names.at(i)}, {"FirstName", names.at(i)}});
        // Contacts without a name come first, one never given a name before one whose name was cleared,
        // on either engine.
        add({{"AssNo", u"B1"_s}, {"LastName", u""_s}, {"FirstName", u"cleared"_s}});
        Database::insert(u"INSERT INTO Clients (AssNo, FirstName) VALUES ('B2', 'never named')"_s);
        open(new frmListClients);
        QCOMPARE(column(u"AssNo"_s).first(), u"A3"_s);
        for (int click = 0; click < 2; ++click) { // the same header twice sorts the same way
            grid()->horizontalHeader()->sectionClicked(section(u"LastName"_s));
            QCOMPARE(column(u"LastName"_s),
                     (QStringList{"", "", "anna", "Anna", "émile", "Émile", "Ödegaard", "zebra", "Zulu"}));
            QCOMPARE(column(u"FirstName"_s).mid(0, 2), (QStringList{"never named", "cleared"}));
            QCOMPARE(current(), 0);
        }
        grid()->horizontalHeader()->sectionClicked(section(u"AssNo"_s));
        QCOMPARE(column(u"LastName"_s).first(), u"zebra"_s);
        QCOMPARE(qty(), u"9"_s);
    }

    void addTwoThenTheListSelectsTheSecond()
    {
        add({{"AssNo", u"B1"_s}, {"LastName", u"Existing"_s}});
        open(new frmListClients);
        const QString opened = withModal([this] { click("cmdAdd"); },
                                         [](QWidget *editor) {
                                             QCOMPARE(editor->windowTitle(), u"Add Contacts"_s);
                                             for (const char *assNo : {"C2", "A1"}) {
                                                 typeInto(editor, "txtAssNo", QString::fromLatin1(assNo));
                                                 typeInto(editor, "txtLastname", u"  O'Brien "_s);
                                                 click(editor, "cmdSave");
                                                 QCOMPARE(editor->windowTitle(), u"Add Clients"_s);
                                                 QCOMPARE(child<QLineEdit>(editor, "txtLastname")->text(), QString());
                                                 QCOMPARE(editor->focusWidget(), child<QLineEdit>(editor, "txtAssNo"));
                                             }
                                             click(editor, "cmdCancel");
                                         });
        QCOMPARE(opened, u"frmAddEditClients"_s);
        QCOMPARE(qty(), u"3"_s);
        QCOMPARE(current(), 0); // ordered by Ass No: A1, B1, C2
        QCOMPARE(cell(0, u"AssNo"_s), u"A1"_s);
        QCOMPARE(cell(0, u"LastName"_s), u"O'Brien"_s);
        QCOMPARE(ClientHandOver::SavedClientID, 3);

        // Saving with every field empty adds a contact whose columns are empty, not absent.
        withModal([this] { click("cmdAdd"); }, [](QWidget *editor) { click(editor, "cmdSave"); });
        QCOMPARE(qty(), u"4"_s);
        QCOMPARE(
            queryCount(
                u"SELECT count(*) FROM Clients WHERE ClientID = 4 AND AssNo = '' AND EMail = '' AND Address3 = ''"_s),
            1);
        QCOMPARE(cell(current(), u"ClientID"_s), u"4"_s);
    }

    void editKeepsTheContactAndNoRowDoesNothing()
    {
        open(new frmListClients);
        click("cmdEdit"); // empty list: no editor opens (a window here would block the test)
        click("cmdDelete");
        QVERIFY(boxes->shown().isEmpty());

        add({{"AssNo", u"A1"_s}, {"LastName", u"Adams"_s}, {"EnrollerAssNo", u" E7 "_s}, {"Address3", u" Durban "_s}});
        const qint64 brown = add({{"AssNo", u"A2"_s}, {"LastName", u"Brown"_s}, {"Mobile", u" 0821234567 "_s}});
        open(new frmListClients);
        grid()->setCurrentIndex(grid()->model()->index(1, 1));
        QTest::keyClick(grid(), Qt::Key_Return); // nothing; a double click edits
        const QRect rect = grid()->visualRect(grid()->model()->index(1, 2));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, rect.center());
        const auto doubleClick = [&] { QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, rect.center()); };
        const QString opened = withModal(doubleClick, [](QWidget *editor) {
            QCOMPARE(editor->windowTitle(), u"Update Contacts"_s);
            QCOMPARE(child<QLineEdit>(editor, "txtCellphone")->text(), u"0821234567"_s);
            typeInto(editor, "txtAssNo", u"A0"_s); // moves Brown to the top
            click(editor, "cmdSave");
        });
        QCOMPARE(opened, u"frmAddEditClients"_s);
        QCOMPARE(cell(current(), u"LastName"_s), u"Brown"_s);
        QCOMPARE(current(), 0);
        QCOMPARE(ClientHandOver::SavedClientID, qint32(brown));
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients"_s), 2);

        // Loading trims; the enroller and town come back and go out as the editor shows them.
        frmAddEditClients editor;
        editor.LoadDetails(1);
        QCOMPARE(child<QLineEdit>(&editor, "txtEnrollerName")->text(), u"E7"_s);
        QCOMPARE(child<QComboBox>(&editor, "cboTown")->currentText(), u"Durban"_s);
    }

    void deleteAsksAndRemovesMemberships()
    {
        add({{"AssNo", u"A1"_s}, {"LastName", u"Adams"_s}});
        const qint64 obrien = add({{"AssNo", u"A2'"_s}, {"LastName", u"O'Brien"_s}});
        add({{"AssNo", u"A3"_s}, {"LastName", u"Cole"_s}});
        for (const auto &[group, client] : {std::pair{1, obrien}, {2, obrien}, {1, 1}})
            GroupRows::link(group, client);
        open(new frmListClients);
        grid()->setCurrentIndex(grid()->model()->index(1, 1));
        click("cmdDelete"); // unanswered: No
        QCOMPARE(boxes->titles(), QStringList{"DELETE"});
        QCOMPARE(boxes->last().text, u"Are you sure you want to delete the customer with Ass No = A2'?"_s);
        QCOMPARE(boxes->last().icon, QMessageBox::Question);
        QCOMPARE(qty(), u"3"_s);

        // The memberships go after the contact, in the same transaction: when they cannot go, the contact stays.
        FailingWrites::refuse(u"Refuse"_s, u"DELETE"_s, u"GroupLinking"_s);
        boxes->answer(QMessageBox::Yes);
        click("cmdDelete");
        QCOMPARE(boxes->titles().last(), u"ERROR"_s);
        QVERIFY(boxes->last().text.contains(u"refused by test"_s));
        QCOMPARE(qty(), u"3"_s);
        QVERIFY(ContactStore::load(obrien));
        QVERIFY(QApplication::overrideCursor() == nullptr);

        FailingWrites::allow(u"Refuse"_s, u"GroupLinking"_s);
        boxes->answer(QMessageBox::Yes);
        click("cmdDelete");
        QCOMPARE(qty(), u"2"_s);
        QCOMPARE(column(u"LastName"_s), (QStringList{"Adams", "Cole"}));
        QCOMPARE(queryCount(u"SELECT count(*) FROM GroupLinking WHERE ClientID = ?"_s, {obrien}), 0);
        QCOMPARE(queryCount(u"SELECT count(*) FROM GroupLinking"_s), 1);
    }

    void f4LocatesThePickedContact()
    {
        for (int i = 0; i < 300; ++i)
            add({{"AssNo", u"A%1"_s.arg(i, 3, 10, QChar(u'0'))}, {"LastName", u"Person %1"_s.arg(i)}});
        open(new frmListClients);
        grid()->setCurrentIndex(grid()->model()->index(5, 1));
        // Closed after a search, without a pick: the current row and the focus stay.
        grid()->setFocus();
        const auto f4 = [this] { QTest::keyClick(grid(), Qt::Key_F4); };
        const QString opened = withModal(f4, [](QWidget *search) {
            typeInto(search, "txtCriteria", u"250"_s);
            click(search, "cmdSearch");
            click(search, "cmdClose");
        });
        QCOMPARE(opened, u"frmSearchClients"_s);
        QCOMPARE(current(), 5);
        QCOMPARE(window->focusWidget(), grid());

        withModal(f4, [](QWidget *search) {
            typeInto(search, "txtCriteria", u"250"_s);
            click(search, "cmdSearch");
            auto *results = child<QTableView>(search, "grdResults");
            results->setFocus();
            QTest::keyClick(results, Qt::Key_Return);
        });
        QCOMPARE(current(), 250);
        QCOMPARE(cell(current(), u"LastName"_s), u"Person 250"_s);
        QCOMPARE(window->focusWidget(), child<QPushButton>("cmdEdit"));
        QVERIFY(grid()->viewport()->rect().intersects(grid()->visualRect(grid()->model()->index(250, 1))));

        // A contact gone since the search was opened: the first row.
        withModal([this] { QTest::keyClick(window.get(), Qt::Key_F4); },
                  [](QWidget *search) {
                      ClientHandOver::SelectedClientID = 99999;
                      static_cast<QDialog *>(search)->accept();
                  });
        QCOMPARE(current(), 0);
    }

    void importAndExportMenusOpenTheirWindows()
    {
        add({{"AssNo", u"B1"_s}});
        open(new frmListClients);
        for (const auto &[menu, mode] :
             {std::pair{"mnuImportPastel", "IMPORT PASTEL"}, std::pair{"mnuExportCSV", "EXPORT CSV"}}) {
            QString opened;
            withModal([&] { child<QAction>(menu)->trigger(); },
                      [&opened](QWidget *dialog) {
                          const auto *files = static_cast<frmSelectGroup *>(dialog);
                          opened = files->ActionType + u' ' + files->FileFormat;
                          if (files->ActionType == u"IMPORT"_s)
                              add({{"AssNo", u"A1"_s}}); // as an import would
                      });
            QCOMPARE(opened, QString::fromLatin1(mode));
        }
        QCOMPARE(qty(), u"2"_s); // counted again after the import
        QCOMPARE(cell(current(), u"AssNo"_s), u"A1"_s);

        dialogs->choose(home.file(u"one.csv"_s, "Cell\n0825550041\n"));
        const QString opened =
            withModal([this] { child<QAction>("mnuImportCsv")->trigger(); },
                      [](QWidget *dialog) { QCOMPARE(dialog->windowTitle(), u"Import Contacts from CSV"_s); });
        QCOMPARE(opened, u"frmImportCsv"_s);
        QCOMPARE(dialogs->asked().last().title, u"SELECT CSV FILE"_s);
    }

    void editorTownFillsThePostalCode_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("street");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer"); // 0: no question asked
        QTest::addColumn<QString>("code");
        QTest::newRow("street code only") << QString() << u"4001"_s << QString() << 0 << u"4001"_s;
        QTest::newRow("both: yes") << u"4000"_s << u"4001"_s << QString() << int(QMessageBox::Yes) << u"4000"_s;
        QTest::newRow("both: no") << u"4000"_s << u"4001"_s << QString() << int(QMessageBox::No) << u"4001"_s;
        QTest::newRow("both: cancel") << u"4000"_s << u"4001"_s << QString() << int(QMessageBox::Cancel) << QString();
        // Codes of blanks only count as empty.
        QTest::newRow("blank street code, blank typed") << u" 4000"_s << u"  "_s << u"  "_s << 0 << u" 4000"_s;
        QTest::newRow("neither") << QString() << u" "_s << QString() << int(QMessageBox::Yes) << QString();
        QTest::newRow("code already typed") << QString() << u"4001"_s << u"9999"_s << 0 << u"9999"_s;
    }

    void editorTownFillsThePostalCode()
    {
        QFETCH(QString, box);
        QFETCH(QString, street);
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(QString, code);
        towns(u"('umhlanga rocks', 'Durban', ?, ?), ('Amanzimtoti', 'Durban', '4125', '4126')"_s, {box, street});
        open(new frmAddEditClients);
        auto *town = child<QComboBox>("cboTown");
        QCOMPARE(town->count(), 2);
        QCOMPARE(town->itemText(0), u"Amanzimtoti"_s);
        child<QLineEdit>("txtPostalCode")->setText(typed);
        if (answer != 0)
            boxes->answer(QMessageBox::StandardButton(answer));
        pickTown(1);
        QCOMPARE(boxes->titles(), answer != 0 ? QStringList{"CODES"} : QStringList{});
        if (answer != 0) {
            QCOMPARE(boxes->last().text,
                     u"Press YES to use PO Box Code or NO for Street Code or CANCEL for nothing."_s);
            QCOMPARE(boxes->last().buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        }
        QCOMPARE(child<QLineEdit>("txtPostalCode")->text(), code);
        QCOMPARE(town->currentText(), u"Umhlanga Rocks"_s);
        if (QByteArray(QTest::currentDataTag()) == "both: yes")
            screenshots(u"frmAddEditClients"_s);
    }

    // Browsing the closed box changes the town shown but fills no postal code and asks nothing; a pick from the
    // open list or Enter on the box does.
    void editorTownFillsTheCodeOnlyWhenPicked_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("code");
        QTest::newRow("arrow keys") << u"arrows"_s << QString();
        QTest::newRow("click in the open list") << u"list click"_s << u"4320"_s;
        QTest::newRow("Enter on the typed town") << u"typed enter"_s << u"4320"_s;
    }

    void editorTownFillsTheCodeOnlyWhenPicked()
    {
        QFETCH(QString, gesture);
        QFETCH(QString, code);
        towns(u"('Amanzimtoti', 'Durban', '4125', '4126'), ('umhlanga rocks', 'Durban', '', '4320'), "
              u"('Westville', 'Durban', '3630', '3629')"_s);
        open(new frmAddEditClients);
        auto *town = child<QComboBox>("cboTown");
        QSignalSpy activated(town, &QComboBox::activated);
        town->setFocus();
        if (gesture == u"arrows"_s) {
            for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up})
                QTest::keyClick(town, key);
            QCOMPARE(town->currentIndex(), 1);
        } else if (gesture == u"list click"_s) {
            town->showPopup();
            auto *list = static_cast<QTableView *>(town->view());
            const QPoint at = list->visualRect(list->model()->index(1, 1)).center();
            QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
        } else {
            QTest::keyClicks(town, u"umhlanga rocks"_s);
            QTest::keyClick(town, Qt::Key_Return);
        }
        QVERIFY(!activated.isEmpty()); // the box did activate a row each time
        QCOMPARE(boxes->titles(), QStringList{});
        QCOMPARE(child<QLineEdit>("txtPostalCode")->text(), code);
        if (!code.isEmpty())
            QCOMPARE(town->currentText(), u"Umhlanga Rocks"_s);

        // Whatever went before, a town put in the box and left (the box then activates its row) is no pick.
        auto *postalCode = child<QLineEdit>("txtPostalCode");
        postalCode->clear();
        town->setFocus();
        town->lineEdit()->setText(u"westville"_s);
        const qsizetype before = activated.size();
        postalCode->setFocus();
        QCOMPARE(activated.size(), before + 1);
        QCOMPARE(boxes->titles(), QStringList{});
        QCOMPARE(postalCode->text(), QString());
    }

    void editorWarnsAboutACellNumberInUse()
    {
        const qint64 obrien =
            add({{"LastName", u" O'Brien "_s}, {"FirstName", u"Sean"_s}, {"Mobile", u" 0821234567"_s}});
        add({{"LastName", u"Adams"_s}, {"FirstName", u"Joan"_s}});
        add({{"LastName", u"Cole"_s}, {"FirstName", u"Ann"_s}, {"Mobile", u"0831234567"_s}});
        // Each number left in the box with the holder the warning names; none: no warning, and Save enabled again.
        const auto leaveWith = [this](const QString &number, const QString &holder) {
            boxes->clear();
            auto *cell = child<QLineEdit>("txtCellphone");
            cell->setFocus();
            cell->setText(number);
            QTest::keyClick(cell, Qt::Key_Tab);
            QCOMPARE(window->focusWidget(), child<QLineEdit>("txtEMail"));
            QCOMPARE(child<QPushButton>("cmdSave")->isEnabled(), holder.isEmpty());
            QCOMPARE(boxes->titles(), holder.isEmpty() ? QStringList{} : QStringList{"INFO"});
            if (!holder.isEmpty())
                QCOMPARE(boxes->last().text, u"This cell number already exist for "_s + holder);
        };
        // Add mode: an empty box clashes with no one, though Adams has no number either.
        open(new frmAddEditClients);
        for (const auto &[number, holder] :
             {std::pair{u"0821234567 "_s, u"O'Brien, Sean"_s}, std::pair{u""_s, QString()},
              std::pair{u"0829999999"_s, QString()}, std::pair{u"0821234567'"_s, QString()}}) {
            leaveWith(number, holder);
            if (QTest::currentTestFailed())
                return;
        }
        // The form cleared for the next contact can be saved.
        leaveWith(u"0831234567"_s, u"Cole, Ann"_s);
        static_cast<frmAddEditClients *>(window.get())->ClearFields();
        QVERIFY(child<QPushButton>("cmdSave")->isEnabled());

        // Edit mode: the contact's own number is no clash, another contact's is.
        auto *editor = new frmAddEditClients;
        editor->LoadDetails(qint32(obrien));
        open(editor);
        leaveWith(child<QLineEdit>("txtCellphone")->text(), QString());
        saveScreenshot(editor, u"frmAddEditClients-edited"_s);
        leaveWith(u"0831234567"_s, u"Cole, Ann"_s);
        leaveWith(u" 0821234567"_s, QString());
        typeInto(editor, "txtFirstname", u"Seán"_s);
        click("cmdSave");
        QCOMPARE(queryValues(u"SELECT FirstName || '|' || Mobile FROM Clients WHERE ClientID = ?"_s, {obrien}),
                 QStringList{u"Seán|0821234567"_s});
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients"_s), 3);
        QVERIFY(child<QPushButton>("cmdSave")->isEnabled());
    }

private:
    // The towns the editor offers: these rows (Area, Town, BoxCode, StreetCode) alone.
    static void towns(const QString &rows, const QVariantList &values = {})
    {
        Database::run(u"DELETE FROM PostalCodes"_s);
        Database::run(u"INSERT INTO PostalCodes (Area, Town, BoxCode, StreetCode) VALUES "_s + rows, values);
    }
    void type(const char *box, const QString &text)
    {
        auto *edit = child<QLineEdit>(box);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    // Picks a row from the town box's open list with Enter, as the operator does.
    void pickTown(int row) const
    {
        auto *town = child<QComboBox>("cboTown");
        town->showPopup();
        town->view()->setCurrentIndex(town->model()->index(row, town->modelColumn()));
        QTest::keyClick(town->view(), Qt::Key_Return);
    }
    static void typeInto(QWidget *dialog, const char *box, const QString &text)
    {
        child<QLineEdit>(dialog, box)->setText(text);
    }
    static int section(const QString &field) { return int(ContactListing::columns().indexOf(field)); }
    QTableView *grid() const { return child<QTableView>("grdList"); }
    QString cell(int row, const QString &field) const
    {
        return grid()->model()->index(row, section(field)).data().toString();
    }
    QStringList column(const QString &field) const { return WindowFixture::column(grid()->model(), section(field)); }
    int current() const { return grid()->currentIndex().row(); }
    QString qty() const { return child<QLabel>("lblQty")->text(); }
};

QTEST_MAIN(tst_contactWindows)
#include "tst_contactWindows.moc"
