#include "ContactRows.h"
#include "FailingWrites.h"
#include "FileBytes.h"
#include "GroupRows.h"
#include "QueryRows.h"
#include "WindowFixture.h"

#include "contacts/ContactExport.h"
#include "contacts/CsvImport.h"
#include "contacts/CustomerImport.h"
#include "contacts/frmImportCsv.h"
#include "contacts/frmSelectGroup.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>

using namespace GroupRows;
using namespace Qt::StringLiterals;

namespace {

// As Excel saves "CSV (semicolon)" on a South African machine: Windows-1252, no BOM, CRLF.
const QByteArray ExcelFile = "First Name;Surname;Cellphone;E-mail\r\n"
                             "Ren\xE9;M\xFCller;082 555 0001;rene@example.test\r\n"
                             "Zo\xEB;Botha;0825550002;\r\n"
                             ";;;\r\n";

// As LibreOffice writes it: comma, UTF-8, a line break inside a quoted cell.
const QByteArray LibreOfficeFile = "Given Name,Family Name,Mobile,Street\n"
                                   "Ann,\"O'Neil, Jr\",0825550011,\"1 Main Road\nSea Point\"\n"
                                   "Bob,Smith,0825550012,2 Long Street\n";

// As Google Contacts exports: UTF-8 with BOM, many columns; Cy's number in
// another form than the address book's, and Di's twice in the file.
const QByteArray GoogleFile = "\xEF\xBB\xBFName,Given Name,Additional Name,Family Name,Nickname,Birthday,Notes,"
                              "E-mail 1 - Type,E-mail 1 - Value,Phone 1 - Type,Phone 1 - Value,"
                              "Organization 1 - Name\n"
                              "Cy New,Cy,,New,,,,* Home,cy@example.test,Mobile,+27 82 555 0021,Acme\n"
                              "Di Ne,Di,,Ne,,,,,,Mobile,0825550022,\n"
                              "Di Ne,Di,,Nel,,,,,di@example.test,Mobile,082 555 0022,Beta\n"
                              "Ed Ox,Ed,,Ox,,,,,,Mobile,0825550023,\n";

} // namespace

// Contacts in from a Pastel customer file and out to a CSV file, through the real "Select a Group" window; and in
// from the CSV files of spreadsheets and address books, through the real import window.
class tst_contactFiles : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { finish(); }

    void itemRules_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QVariant>("expected"); // invalid: the column is not set

        const QString full = QString::fromLatin1(customer({{0, " A100 "},
                                                           {1, "Acme Ltd"},
                                                           {2, "\"Main Road\""},
                                                           {6, "ABC 12345678"},
                                                           {7, "011-555-1234"},
                                                           {8, " 021 555-01 "},
                                                           {9, "Ann"},
                                                           {35, "082-555\t-1234 "},
                                                           {36, "ann@acme.test"}}));
        QTest::newRow("item 0") << full << "AssNo" << QVariant(u"A100"_s);
        QTest::newRow("quotes dropped") << full << "Address1" << QVariant(u"Main Road"_s);
        QTest::newRow("12-character postal code") << full << "PostalCode" << QVariant();
        QTest::newRow("dashes out of TelWork") << full << "TelWork" << QVariant(u"0115551234"_s);
        QTest::newRow("blanks inside Fax stay") << full << "Fax" << QVariant(u"021 55501"_s);
        QTest::newRow("tab and dashes out of Mobile") << full << "Mobile" << QVariant(u"0825551234"_s);
        QTest::newRow("item 36") << full << "EMail" << QVariant(u"ann@acme.test"_s);

        const QString noName = QString::fromLatin1(customer({{1, "Bob"}, {6, "0181"}, {9, "  "}}));
        QTest::newRow("empty item 9: item 1 is the first name") << noName << "FirstName" << QVariant(u"Bob"_s);
        QTest::newRow("empty item 9: no company") << noName << "Company" << QVariant();
        QTest::newRow("4-character postal code") << noName << "PostalCode" << QVariant(u"0181"_s);
        QTest::newRow("10-character postal code")
            << QString::fromLatin1(customer({{6, "\"1234567890\" "}})) << "PostalCode" << QVariant(u"1234567890"_s);
        QTest::newRow("quoted comma shifts the items") << u"1,\"Smith, J\",Street"_s << "Address1" << QVariant(u"J"_s);
        QTest::newRow("short line: first name from item 1") << u"7,Cy,Road"_s << "FirstName" << QVariant(u"Cy"_s);
        QTest::newRow("short line: no mobile") << u"7,Cy,Road"_s << "Mobile" << QVariant();
    }

    void itemRules()
    {
        QFETCH(QString, line);
        QFETCH(QString, column);
        QFETCH(QVariant, expected);
        const CustomerImport::Customer c = CustomerImport::parseLine(line);
        const QMap<QString, QVariant> columns = {
            {"AssNo", c.AssNo},       {"FirstName", c.FirstName},   {"Company", c.Company},
            {"Address1", c.Address1}, {"PostalCode", c.PostalCode}, {"TelWork", c.TelWork},
            {"Fax", c.Fax},           {"Mobile", c.Mobile},         {"EMail", c.EMail}};
        QVERIFY(columns.contains(column));
        QCOMPARE(columns.value(column).isValid(), expected.isValid());
        if (expected.isValid())
            QCOMPARE(columns.value(column).toString(), expected.toString());
    }

    void importListsRefusedLinesAndLinksTheRest()
    {
        addGroup(u"Members"_s);
        const qint64 members = addGroup(u"Staff"_s);
        FailingWrites::refuseWhere(u"Refuse"_s, u"INSERT"_s, u"Clients"_s, u"NEW.AssNo = 'BAD'"_s);
        // Windows-1252 bytes, an empty line, a refused line between two good ones.
        const QString file = write(u"customers.txt"_s, customer({{0, "C1"}, {1, "Caf\xE9 Ltd"}, {9, "Zo\xEB"}})
                                                           + "\r\n\r\n" + customer({{0, "BAD "}, {1, " Refused"}})
                                                           + "\r\n" + customer({{0, "C3"}, {1, "Dan"}}) + "\r\n");
        open(u"IMPORT"_s, u"PASTEL"_s);
        choose(u"Staff"_s);
        dialogs->choose(file);
        click("cmdSelect");
        QCOMPARE(dialogs->asked().last().title, u"SELECT PASTEL FILE"_s);
        QCOMPARE(dialogs->asked().last().filter, u"Text File (*.txt)"_s);
        QCOMPARE(boxes->titles(), QStringList{"INFO"});
        QCOMPARE(boxes->last().text, u"Done Import Contacts From Pastel File\n\n3 contacts were imported; "
                                     u"1 line was refused and is listed under Contacts Not Imported."_s);
        QVERIFY(window->isVisible()); // the list of refused lines stays readable
        QCOMPARE(status(), u"Imported 3 contacts ..."_s);
        QCOMPARE(column(child<QTableWidget>("grdList")->model(), 0), QStringList{u"BAD - Refused"_s});
        QCOMPARE(Database::value(u"SELECT FirstName || '/' || Company FROM Clients WHERE AssNo = 'C1'"_s).toString(),
                 u"Zo\u00EB/Caf\u00E9 Ltd"_s);
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients WHERE AssNo IS NULL AND FirstName IS NULL"_s),
                 1); // the empty line
        QCOMPARE(queryValues(u"SELECT GroupID FROM GroupLinking"_s), QStringList(3, QString::number(members)));
        saveScreenshot(window.get(), u"frmSelectGroup-import"_s);

        // Without a group: no links, and a clean import closes the window.
        FailingWrites::allow(u"Refuse"_s, u"Clients"_s);
        boxes->clear();
        dialogs->choose(file);
        click("Command1");
        QCOMPARE(boxes->titles(), QStringList{"INFO"});
        QCOMPARE(boxes->last().text, u"Done Import Contacts From Pastel File"_s);
        QCOMPARE(window->result(), int(QDialog::Accepted));
        QVERIFY(!window->isVisible());
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients"_s), 7); // the same file again doubles the contacts
        QCOMPARE(queryCount(u"SELECT count(*) FROM GroupLinking"_s), 3);
    }

    // The line with AssNo 'X' fails: an error that is not about the row's values stops the import and the lines
    // before it stay; a failed commit keeps nothing.
    void failedImportSaysWhatWasStored_data()
    {
        QTest::addColumn<bool>("atCommit");
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<QString>("told");
        QTest::newRow("stopped part way") << false << qint64(1) << u"1 contact was imported before the error."_s;
        QTest::newRow("failed commit") << true << qint64(0) << u"Nothing was stored."_s;
    }

    void failedImportSaysWhatWasStored()
    {
        QFETCH(bool, atCommit);
        QFETCH(qint64, stored);
        QFETCH(QString, told);
        if (atCommit)
            FailingWrites::failCommitsAfter(u"INSERT"_s, u"Clients"_s, u"NEW.AssNo = 'X'"_s);
        else
            FailingWrites::breakWhere(u"Fail"_s, u"INSERT"_s, u"Clients"_s, u"NEW.AssNo = 'X'"_s);
        open(u"import"_s, u" pastel "_s);
        dialogs->choose(write(u"c.txt"_s, "A,Ann\r\nX,Xena\r\nB,Ben\r\n"));
        click("Command1");
        QCOMPARE(boxes->titles(), QStringList{"ERROR"});
        QVERIFY2(boxes->last().text.contains(told), qPrintable(boxes->last().text));
        QCOMPARE(status(), u"ERROR"_s);
        QVERIFY(window->isVisible());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        Database::close();
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients"_s), stored);
    }

    void exportWritesQuotedFieldsInNameOrder()
    {
        ContactRows::add({{"LastName", u"Smith"_s}, {"FirstName", u"John"_s}});
        ContactRows::add({{"LastName", u"\u00C9lan"_s},
                          {"FirstName", u" Say \"hi\" "_s},
                          {"AssNo", u"A1"_s},
                          {"Company", u"O'Brien & Co"_s},
                          {"Mobile", u"082 555"_s}});
        ContactRows::add({{"LastName", u"adams"_s}, {"FirstName", u"Al"_s}});
        open(u"EXPORT"_s, u"CSV"_s);
        dialogs->choose(path(u"all.csv"_s));
        click("Command1");
        QCOMPARE(dialogs->asked().last().title, u"SELECT CSV FILE NAME AND LOCATION"_s);
        QCOMPARE(dialogs->asked().last().filter, u"Comma Delimited File (*.csv)"_s);
        QCOMPARE(boxes->titles(), QStringList{"INFO"});
        QCOMPARE(boxes->last().text, u"Done exporting 3 contacts."_s);
        QCOMPARE(status(), u"Exported 3 contacts ..."_s);
        QVERIFY(window->isVisible()); // open for another export
        const QByteArray empty14 = QByteArray(",\"\"").repeated(14);
        QCOMPARE(read(u"all.csv"_s), "\"adams\",\"Al\"" + empty14
                                         + "\r\n"
                                           "\"\xC3\x89lan\",\"Say \"\"hi\"\"\",\"A1\",\"\",\"\",\"O'Brien & "
                                           "Co\",\"\",\"\",\"\",\"\",\"\",\"\",\"\","
                                           "\"\",\"082 555\",\"\"\r\n"
                                           "\"Smith\",\"John\""
                                         + empty14 + "\r\n");
    }

    // A value a spreadsheet would run as a formula gets a single quote before it; numbers stay numbers.
    void exportNeutralisesFormulas_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("hyperlink call") << u"=HYPERLINK(\"http://x\",\"y\")"_s
                                        << QByteArray("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
        QTest::newRow("at") << u"@SUM(A1)"_s << QByteArray("\"'@SUM(A1)\"");
        QTest::newRow("tab") << u"\t=1"_s << QByteArray("\"'\t=1\"");
        QTest::newRow("carriage return") << u"\rx"_s << QByteArray("\"'\rx\"");
        QTest::newRow("blanks before equals") << u"  =cmd|' /C calc'!A0"_s << QByteArray("\"'=cmd|' /C calc'!A0\"");
        QTest::newRow("plus, no digit") << u"+cmd"_s << QByteArray("\"'+cmd\"");
        QTest::newRow("minus, no digit") << u"-A1"_s << QByteArray("\"'-A1\"");
        QTest::newRow("plus alone") << u"+"_s << QByteArray("\"'+\"");
        QTest::newRow("negative number") << u"-5"_s << QByteArray("\"-5\"");
        QTest::newRow("equals inside") << u"a=b"_s << QByteArray("\"a=b\"");
        QTest::newRow("e-mail") << u"ann@acme.test"_s << QByteArray("\"ann@acme.test\"");
        QTest::newRow("empty") << QString() << QByteArray("\"\"");
    }

    void exportNeutralisesFormulas()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, field);
        QCOMPARE(ContactExport::line({u"Name"_s, value}), "\"Name\"," + field + "\r\n");
    }

    // The operator types a name without an extension: the file gets ".csv", and the overwrite question is about it.
    void exportAddsTheCsvExtension()
    {
        ContactRows::add({{"LastName", u"=2+3"_s}, {"FirstName", u"Ann"_s}, {"Mobile", u"+27821234567"_s}});
        open(u"EXPORT"_s, u"CSV"_s);
        for (const auto &[typed, there] : {std::pair{"contacts", false}, {"contacts", true}, {"list.txt", false}}) {
            if (there)
                boxes->answer(QMessageBox::Yes);
            dialogs->choose(path(QString::fromLatin1(typed)));
            click("Command1");
        }
        QCOMPARE(boxes->titles(), (QStringList{"INFO", "EXIST", "INFO", "INFO"}));
        QVERIFY(!QFile::exists(path(u"contacts"_s)));
        const QByteArray expected =
            "\"'=2+3\",\"Ann\"" + QByteArray(",\"\"").repeated(12) + ",\"+27821234567\",\"\"\r\n";
        QCOMPARE(read(u"contacts.csv"_s), expected);
        QCOMPARE(read(u"list.txt"_s), expected);
    }

    void exportAsksBeforeOverwritingAndWritesNothingForNoContacts_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QByteArray>("content"); // "<unreadable>": no file
        QTest::newRow("No keeps the old file") << int(QMessageBox::No) << u"Staff"_s << QByteArray("old contents");
        QTest::newRow("Yes replaces it") << int(QMessageBox::Yes) << u"Staff"_s
                                         << "\"Ann\",\"A\"" + QByteArray(",\"\"").repeated(14) + "\r\n";
        QTest::newRow("no members after Yes: the old file is gone")
            << int(QMessageBox::Yes) << u"Empty"_s << QByteArray("<unreadable>");
    }

    void exportAsksBeforeOverwritingAndWritesNothingForNoContacts()
    {
        QFETCH(int, answer);
        QFETCH(QString, group);
        QFETCH(QByteArray, content);
        addGroup(u"Empty"_s);
        const qint64 staff = addGroup(u"Staff"_s);
        link(staff, ContactRows::add({{"LastName", u"Ann"_s}, {"FirstName", u"A"_s}}));
        ContactRows::add({{"LastName", u"Bob"_s}, {"FirstName", u"B"_s}});
        open(u"EXPORT"_s, u"CSV"_s);
        write(u"g.csv"_s, "old contents");
        boxes->answer(QMessageBox::StandardButton(answer));
        choose(group);
        dialogs->choose(path(u"g.csv"_s));
        click("cmdSelect");
        QCOMPARE(boxes->titles(), (answer == QMessageBox::Yes ? QStringList{"EXIST", "INFO"} : QStringList{"EXIST"}));
        QCOMPARE(boxes->shown().first().text,
                 u"The file name you specified already exist. Do you want to overwrite this file?"_s);
        QCOMPARE(read(u"g.csv"_s), content);
        if (answer == QMessageBox::Yes)
            QCOMPARE(boxes->last().text, u"Done exporting %1 contacts."_s.arg(group == u"Staff"_s ? 1 : 0));
    }

    void windowModesAndGroupChoice()
    {
        for (const char *name : {"zulu", "\u00C9mile", "anna", "Bob"})
            addGroup(QString::fromUtf8(name));
        open(u"  export "_s, u"csv"_s);
        QVERIFY(child<QPushButton>("cmdAdd")->isHidden());
        QCOMPARE(child<QPushButton>("Command1")->text(), u"All Contacts"_s);
        QCOMPARE(child<QLabel>("lblList")->text(), u"Contacts not exported"_s);
        QCOMPARE(column(child<QComboBox>("cboGroups")->model(), 0), (QStringList{"anna", "Bob", "\u00C9mile", "zulu"}));
        saveScreenshot(window.get(), u"frmSelectGroup-export"_s);

        // "Select Group" with no group chosen asks for one and transfers nothing.
        click("cmdSelect");
        QCOMPARE(boxes->titles(), QStringList{"INFO"});
        QCOMPARE(boxes->last().text,
                 u"To use this option you have to select a group, otherwise use the WITHOUT GROUP option."_s);
        QVERIFY(dialogs->asked().isEmpty());

        open(u"IMPORT"_s, u"PASTEL"_s);
        QVERIFY(!child<QPushButton>("cmdAdd")->isHidden());
        QCOMPARE(child<QPushButton>("Command1")->text(), u"Without Group"_s);
        QCOMPARE(child<QLabel>("lblList")->text(), u"Contacts Not Imported"_s);

        // "Add group" opens the new-group window; the list then holds the new group, the choice stays.
        choose(u"Bob"_s);
        const QString opened = withModal([this] { click("cmdAdd"); },
                                         [](QWidget *adding) {
                                             child<QLineEdit>(adding, "txtName")->setText(u"Board"_s);
                                             click(adding, "cmdSave");
                                         });
        QCOMPARE(opened, u"frmAddGroups"_s);
        QCOMPARE(child<QComboBox>("cboGroups")->itemText(1), u"Board"_s);
        QCOMPARE(child<QComboBox>("cboGroups")->currentText(), u"Bob"_s);

        // An unknown pair does nothing at all.
        open(u"IMPORT"_s, u"CSV"_s);
        click("Command1");
        QVERIFY(dialogs->asked().isEmpty());
        click("cmdCancel");
        QCOMPARE(window->result(), int(QDialog::Rejected));
    }

    void headingsNameFields_data()
    {
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("field");
        const QList<std::pair<const char *, const char *>> cases{
            {"CELL", "Mobile"},          {"Cell-phone", "Mobile"}, {"Phone 1 - Value", "Mobile"},
            {"first_name", "FirstName"}, {"Surname", "LastName"},  {"Email", "EMail"},
            {"Town", "Address3"},        {"Phone 1 - Type", ""},   {"Name", ""}};
        for (const auto &[heading, field] : cases)
            QTest::newRow(heading) << QString::fromLatin1(heading) << QString::fromLatin1(field);
    }

    void headingsNameFields()
    {
        QFETCH(QString, heading);
        QFETCH(QString, field);
        QCOMPARE(CsvImport::fieldForHeading(heading), field);
    }

    void mappingsGuessedAndRemembered()
    {
        // Without headings the first row's telephone number and e-mail address say which columns they are.
        QCOMPARE(CsvImport::automaticMapping({}, {"Ann", "082 555 0001", "ann@example.test", "0825550002"}),
                 (QStringList{"", "Mobile", "EMail", ""}));
        const QStringList heading{"Who", "Number"};
        QVERIFY(!CsvImport::rememberedMapping(heading));
        CsvImport::rememberMapping(heading, {"", "Mobile"});
        QCOMPARE(CsvImport::rememberedMapping(heading), std::optional(QStringList{"", "Mobile"}));
        // A kept mapping that no longer fits the headings is not offered.
        for (const QString &kept : {u"Mobile"_s, u"Mobile,Nickname"_s}) {
            Settings::setText(Settings::Family::CsvColumns, CsvImport::mappingMember(heading), kept);
            QVERIFY2(!CsvImport::rememberedMapping(heading), qPrintable(kept));
        }
    }

    void excelFileIntoAGroup()
    {
        const qint64 group = addGroup(u"Club"_s);
        openFile(write(u"excel.csv"_s, ExcelFile));
        QCOMPARE(child<QLabel>("lblRead")->text(), u"Read as Windows-1252, semicolon-delimited."_s);
        QVERIFY(child<QCheckBox>("chkHeading")->isChecked());
        QCOMPARE(mapping(), (QStringList{"FirstName", "LastName", "Mobile", "EMail"}));
        auto *grid = child<QTableWidget>("grdPreview");
        QCOMPARE(grid->item(1, 1)->text(), u"M\u00FCller"_s);
        child<QComboBox>("cboGroups")->setCurrentText(u"Club"_s);
        saveScreenshot(window.get(), u"frmImportCsv"_s);
        window->setPalette(darkPalette());
        saveScreenshot(window.get(), u"frmImportCsv-dark"_s);

        click("cmdImport");
        QCOMPARE(boxes->last().text, u"2 contacts added, 0 updated."_s);
        QCOMPARE(window->result(), int(QDialog::Accepted));
        // The empty ";;;" row is no contact.
        QCOMPARE(
            queryValues(u"SELECT FirstName || ' ' || LastName || ' ' || Mobile || ' ' || EMail FROM Clients "
                        u"ORDER BY ClientID"_s),
            (QStringList{u"Ren\u00E9 M\u00FCller 082 555 0001 rene@example.test"_s, u"Zo\u00EB Botha 0825550002 "_s}));
        QCOMPARE(queryCount(u"SELECT count(*) FROM GroupLinking WHERE GroupID = ?"_s, {group}), 2);
    }

    void libreOfficeFileWithAColumnChosenByHand()
    {
        openFile(write(u"libre.csv"_s, LibreOfficeFile));
        QCOMPARE(child<QLabel>("lblRead")->text(), u"Read as UTF-8, comma-delimited."_s);
        QCOMPARE(mapping(), (QStringList{"FirstName", "LastName", "Mobile", ""}));
        auto *street = child<QComboBox>("cboField_3");
        street->setCurrentIndex(street->findData(u"Address1"_s));
        QCOMPARE(child<QTableWidget>("grdPreview")->verticalHeaderItem(2)->text(), u"4"_s); // Bob's line
        click("cmdImport");
        QCOMPARE(queryValues(u"SELECT Address1 || '|' || LastName FROM Clients WHERE FirstName = 'Ann'"_s),
                 QStringList{u"1 Main Road\nSea Point|O'Neil, Jr"_s});

        // The same headings again: the column chosen by hand is offered again.
        open(new frmImportCsv);
        dialogs->choose(write(u"libre2.csv"_s, LibreOfficeFile.left(LibreOfficeFile.indexOf('\n') + 1)
                                                   + "Cy,Ng,0825550013,3 Bree Street\n"));
        QVERIFY(static_cast<frmImportCsv *>(window.get())->cmdBrowse_Click());
        QCOMPARE(mapping(), (QStringList{"FirstName", "LastName", "Mobile", "Address1"}));
    }

    void googleDuplicates_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QStringList>("contacts"); // FirstName LastName Company, by ClientID
        QTest::newRow("skip") << "optSkip" << QStringList{"Cy Old ", "Di Ne ", "Ed Ox "};
        QTest::newRow("update") << "optUpdate" << QStringList{"Cy New Acme", "Di Nel Beta", "Ed Ox "};
        QTest::newRow("add anyway") << "optAdd"
                                    << QStringList{"Cy Old ", "Cy New Acme", "Di Ne ", "Di Nel Beta", "Ed Ox "};
    }

    void googleDuplicates()
    {
        QFETCH(QString, choice);
        QFETCH(QStringList, contacts);
        const qint64 group = addGroup(u"Friends"_s);
        const qint64 cy =
            ContactRows::add({{"FirstName", u"Cy"_s}, {"LastName", u"Old"_s}, {"Mobile", u"0825550021"_s}});
        openFile(write(u"google.csv"_s, GoogleFile));
        QCOMPARE(child<QLabel>("lblRead")->text(), u"Read as UTF-8 with BOM, comma-delimited."_s);
        QCOMPARE(mapping(),
                 (QStringList{"", "FirstName", "", "LastName", "", "", "", "", "EMail", "", "Mobile", "Company"}));
        QCOMPARE(child<QLabel>("lblDuplicates")->text(),
                 u"4 lines: 1 has a number already in the address book, 1 repeats a number of an earlier line."_s);
        child<QRadioButton>(qPrintable(choice))->setChecked(true);
        saveScreenshot(window.get(), u"frmImportCsv-google-"_s + choice);
        child<QComboBox>("cboGroups")->setCurrentText(u"Friends"_s);
        click("cmdImport");

        QCOMPARE(queryValues(u"SELECT FirstName || ' ' || LastName || ' ' || coalesce(Company, '') "
                             u"FROM Clients ORDER BY FirstName, ClientID"_s),
                 contacts);
        // Whoever the file names, added or updated, is in the group; a skipped line writes nothing.
        const qint64 members = queryCount(u"SELECT count(*) FROM GroupLinking WHERE GroupID = ?"_s, {group});
        QCOMPARE(members, choice == u"optSkip"_s ? 2 : qint64(contacts.size()) - (choice == u"optAdd"_s ? 1 : 0));
        QCOMPARE(queryCount(u"SELECT count(*) FROM GroupLinking WHERE ClientID = ?"_s, {cy}),
                 choice == u"optUpdate"_s ? 1 : 0);
    }

    void cancelKeepsNothing()
    {
        addGroup(u"Club"_s);
        QByteArray many = "Cell,Name\r\n";
        for (int i = 0; i < 1000; ++i)
            many += "08255" + QByteArray::number(10000 + i) + ",Person " + QByteArray::number(i) + "\r\n";
        openFile(write(u"many.csv"_s, many));
        child<QComboBox>("cboGroups")->setCurrentText(u"Club"_s);
        QTimer::singleShot(0, window.get(), [this] { click("cmdCancel"); });
        click("cmdImport");
        QCOMPARE(boxes->last().text, u"The import was cancelled. Nothing was stored."_s);
        QVERIFY(window->isVisible());
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients"_s) + queryCount(u"SELECT count(*) FROM GroupLinking"_s), 0);
    }

    void refusedLinesAreListedWithTheirNumbers()
    {
        FailingWrites::refuseWhere(u"Refuse"_s, u"INSERT"_s, u"Clients"_s, u"NEW.FirstName = 'Bad'"_s);
        const QByteArray file = "Name,First Name,Mobile\n"
                                "x,Ann,0825550031\n"
                                "x,Bad,0825550032\n"
                                "x,Cy,12\n"
                                "x,Di,0825550034\n"
                                "\"x,Ed,0825550035\n";
        openFile(write(u"refused.csv"_s, file));
        click("cmdImport");
        QCOMPARE(boxes->last().text,
                 u"2 contacts added, 0 updated, 3 lines not imported (listed under Lines Not Imported)."_s);
        QVERIFY(window->isVisible());
        const QAbstractItemModel *refused = child<QTableWidget>("grdRefused")->model();
        QCOMPARE(column(refused, 0), (QStringList{"3", "4", "6"}));
        const QStringList reasons = column(refused, 1);
        QVERIFY2(reasons.first().contains(u"refused by test"_s), qPrintable(reasons.first()));
        QCOMPARE(reasons.mid(1), (QStringList{u"The cellphone number \"12\" is not a telephone number."_s,
                                              u"A quote opened on line 6 is never closed."_s}));
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients"_s), 2);
        saveScreenshot(window.get(), u"frmImportCsv-refused"_s);
    }

private:
    using WindowFixture::open;
    void open(const QString &action, const QString &format)
    {
        auto *dialog = new frmSelectGroup;
        dialog->ActionType = action;
        dialog->FileFormat = format;
        WindowFixture::open(dialog);
    }
    void choose(const QString &group) { child<QComboBox>("cboGroups")->setCurrentText(group); }
    QString path(const QString &name) const { return QDir(home.path()).filePath(name); }
    QString write(const QString &name, const QByteArray &bytes) const { return home.file(name, bytes); }
    QByteArray read(const QString &name) const { return fileBytes(path(name)); }
    void openFile(const QString &path)
    {
        open(new frmImportCsv);
        dialogs->choose(path);
        QVERIFY(static_cast<frmImportCsv *>(window.get())->cmdBrowse_Click());
    }
    CsvImport::Mapping mapping() const { return static_cast<frmImportCsv *>(window.get())->mapping(); }
    // A customer line with the given items at their positions and every other item up to 36 empty.
    static QByteArray customer(const QMap<int, QByteArray> &items)
    {
        QByteArrayList line(37);
        for (auto it = items.begin(); it != items.end(); ++it)
            line[it.key()] = it.value();
        return line.join(',');
    }
};

QTEST_MAIN(tst_contactFiles)
#include "tst_contactFiles.moc"
