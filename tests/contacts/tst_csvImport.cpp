#include "ContactRows.h"
#include "FailingWrites.h"
#include "GroupRows.h"
#include "WindowFixture.h"

#include "contacts/CsvImport.h"
#include "contacts/frmImportCsv.h"
#include "contacts/frmListClients.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
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

// Contacts from the CSV files of spreadsheets and address books, through the real window.
class tst_csvImport : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { finish(); }

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
            SetupStore::writeSetting(CsvImport::settingName(heading), kept);
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
        QCOMPARE(Database::value(u"SELECT FirstName || ' ' || LastName || ' ' || Mobile FROM Clients "
                                 u"WHERE EMail = 'rene@example.test'"_s)
                     .toString(),
                 u"Ren\u00E9 M\u00FCller 082 555 0001"_s);
        QCOMPARE(count(u"SELECT count(*) FROM GroupLinking WHERE GroupID = ?"_s, {group}), 2);
        QCOMPARE(count(u"SELECT count(*) FROM Clients"_s), 2); // the empty ";;;" row is no contact
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
        QCOMPARE(Database::value(u"SELECT Address1 FROM Clients WHERE FirstName = 'Ann'"_s).toString(),
                 u"1 Main Road\nSea Point"_s);
        QCOMPARE(Database::value(u"SELECT LastName FROM Clients WHERE FirstName = 'Ann'"_s).toString(),
                 u"O'Neil, Jr"_s);

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

        QStringList stored;
        QSqlQuery rows = Database::run(u"SELECT FirstName || ' ' || LastName || ' ' || coalesce(Company, '') "
                                       u"FROM Clients ORDER BY FirstName, ClientID"_s);
        while (rows.next())
            stored.append(rows.value(0).toString());
        QCOMPARE(stored, contacts);
        // Whoever the file names, added or updated, is in the group; a skipped line writes nothing.
        const qint64 members = count(u"SELECT count(*) FROM GroupLinking WHERE GroupID = ?"_s, {group});
        QCOMPARE(members, choice == u"optSkip"_s ? 2 : qint64(contacts.size()) - (choice == u"optAdd"_s ? 1 : 0));
        QCOMPARE(count(u"SELECT count(*) FROM GroupLinking WHERE ClientID = ?"_s, {cy}),
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
        QCOMPARE(count(u"SELECT count(*) FROM Clients"_s), 0);
        QCOMPARE(count(u"SELECT count(*) FROM GroupLinking"_s), 0);
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
        auto *grid = child<QTableWidget>("grdRefused");
        QCOMPARE(grid->rowCount(), 3);
        QStringList lines;
        for (int row = 0; row < grid->rowCount(); ++row)
            lines.append(grid->item(row, 0)->text());
        QCOMPARE(lines, (QStringList{"3", "4", "6"}));
        QVERIFY2(grid->item(0, 1)->text().contains(u"refused by test"_s), qPrintable(grid->item(0, 1)->text()));
        QCOMPARE(grid->item(1, 1)->text(), u"The cellphone number \"12\" is not a telephone number."_s);
        QCOMPARE(grid->item(2, 1)->text(), u"A quote opened on line 6 is never closed."_s);
        QCOMPARE(count(u"SELECT count(*) FROM Clients"_s), 2);
        saveScreenshot(window.get(), u"frmImportCsv-refused"_s);
    }

    void contactListMenuOpensTheWindow()
    {
        open(new frmListClients);
        dialogs->choose(write(u"one.csv"_s, "Cell\n0825550041\n"));
        const QString opened =
            withModal([this] { window->findChild<QAction *>(u"mnuImportCsv"_s)->trigger(); },
                      [](QWidget *dialog) { QCOMPARE(dialog->windowTitle(), u"Import Contacts from CSV"_s); });
        QCOMPARE(opened, u"frmImportCsv"_s);
        QCOMPARE(dialogs->asked().last().title, u"SELECT CSV FILE"_s);
    }

private:
    QString write(const QString &name, const QByteArray &bytes) const { return home.file(name, bytes); }
    static qint64 count(const QString &sql, const QVariantList &values = {})
    {
        return Database::value(sql, values).toLongLong();
    }
    void openFile(const QString &path)
    {
        open(new frmImportCsv);
        dialogs->choose(path);
        QVERIFY(static_cast<frmImportCsv *>(window.get())->cmdBrowse_Click());
    }
    CsvImport::Mapping mapping() const { return static_cast<frmImportCsv *>(window.get())->mapping(); }
};

QTEST_MAIN(tst_csvImport)
#include "tst_csvImport.moc"
