#include "GuiTestSupport.h"

#include "app/frmMain.h"
#include "data/Database.h"
#include "data/ProcessSettings.h"
#include "settings/SetupStore.h"
#include "settings/cRegistry.h"
#include "settings/frmSetup.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

cRegistry setting(const QString &name)
{
    cRegistry registry;
    registry.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
    registry.setSectionKey(SetupStore::SettingsKey);
    registry.setValueType(cRegistry::REG_SZ);
    registry.setValueKey(name);
    return registry;
}

QString stored(const QString &name)
{
    return setting(name).Value().toString();
}

QStringList setupRows()
{
    QStringList rows;
    QSqlQuery query = Database::run(u"SELECT Username, Password FROM Setup ORDER BY rowid"_s);
    while (query.next())
        rows << query.value(0).toString() + u"|"_s + query.value(1).toString();
    return rows;
}

QByteArray hiveContent()
{
    QFile hive(cRegistry::hivePath());
    return hive.open(QIODevice::ReadOnly) ? hive.readAll() : QByteArray();
}

void writeHive(const QByteArray &content)
{
    QDir().mkpath(QFileInfo(cRegistry::hivePath()).absolutePath());
    QFile hive(cRegistry::hivePath());
    QVERIFY(hive.open(QIODevice::WriteOnly | QIODevice::Truncate) && hive.write(content) == content.size());
}

// While it lives no file may grow beyond a few bytes, so the settings store
// can read its file but not write it again (SQLite keeps an open
// transaction's changes in memory until the commit).
class FileSizeLimit
{
public:
    FileSizeLimit()
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_old;
        small.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

class tst_setup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void saveStoresTrimmedValuesAndTheRunningAccount_data();
    void saveStoresTrimmedValuesAndTheRunningAccount();
    void browseTakesOnlyAFolderHoldingTheDatabase_data();
    void browseTakesOnlyAFolderHoldingTheDatabase();
    void folderAndFileAreJoinedWithOneSeparator();
    void failedSaveKeepsTheWindowOpenWithWhatWasTyped_data();
    void failedSaveKeepsTheWindowOpenWithWhatWasTyped();
    void unreadableSettingsLeaveOnlyCancel_data();
    void unreadableSettingsLeaveOnlyCancel();
    void mainWindowMenuOpensTheSetupWindow();

private:
    void open()
    {
        window = std::make_unique<frmSetup>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    QLineEdit *box(const char *name) const { return window->findChild<QLineEdit *>(QString::fromLatin1(name)); }
    void click(const char *name) { QTest::mouseClick(window->findChild<QPushButton *>(QString::fromLatin1(name)), Qt::LeftButton); }
    void type(const SetupStore::Values &values)
    {
        box("txtUsername")->setText(values.username);
        box("txtPassword")->setText(values.password);
        box("txtDatabase")->setText(values.database);
        box("txtGatewayHost")->setText(values.gatewayHost);
        box("txtAlternateGatewayHost")->setText(values.alternateGatewayHost);
    }

    std::unique_ptr<TestHome> home;
    std::unique_ptr<frmSetup> window;
};

void tst_setup::init()
{
    home = std::make_unique<TestHome>();
    modMain::GatewayUsername = u"before"_s;
    modMain::GatewayPassword = u"before"_s;
}

void tst_setup::cleanup()
{
    window.reset();
    home.reset();
}

void tst_setup::saveStoresTrimmedValuesAndTheRunningAccount_data()
{
    QTest::addColumn<bool>("setupRow");
    QTest::addColumn<QString>("storedPath");
    QTest::addColumn<QString>("typedPath");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("alternate");

    QTest::newRow("blanks around everything") << true << u""_s << u"  /data/office/SMSData.db "_s
                                              << u" sms.example.co.za "_s << u" https://alt.example.co.za:8443"_s;
    QTest::newRow("empty database box") << true << u"/data/old/SMSData.db"_s << u"   "_s << u""_s << u""_s;
    QTest::newRow("no Setup row") << false << u""_s << u""_s << u"10.0.0.5:80"_s << u""_s;
}

void tst_setup::saveStoresTrimmedValuesAndTheRunningAccount()
{
    QFETCH(bool, setupRow);
    QFETCH(QString, storedPath);
    QFETCH(QString, typedPath);
    QFETCH(QString, host);
    QFETCH(QString, alternate);
    if (!setupRow)
        Database::run(u"DELETE FROM Setup"_s);
    Database::run(u"UPDATE Setup SET Username = ' old ', Password = 'pw'"_s);
    setting(SetupStore::DatabaseValue).setValue(u" "_s + storedPath);
    ScriptedMessageBoxes boxes;

    open();
    QCOMPARE(box("txtUsername")->text(), setupRow ? u"old"_s : QString());
    QCOMPARE(box("txtDatabase")->text(), storedPath);
    type({u"  ann smith  "_s, u" s3cret "_s, typedPath, host, alternate});
    if (QTest::currentDataTag() == "blanks around everything"_L1) {
        saveScreenshot(window.get(), u"frmSetup"_s);
        window->resize(window->minimumSize());
        saveScreenshot(window.get(), u"frmSetup-smallest"_s);
    }
    click("cmdSave");

    QCOMPARE(boxes.count(), 0);
    QVERIFY(!window->isVisible());
    QCOMPARE(window->result(), int(QDialog::Accepted));
    QCOMPARE(setupRows(), QStringList{u"ann smith|s3cret"_s});
    QCOMPARE(modMain::GatewayUsername, u"ann smith"_s);
    QCOMPARE(modMain::GatewayPassword, u"s3cret"_s);
    QCOMPARE(stored(SetupStore::DatabaseValue), typedPath.trimmed());
    QCOMPARE(stored(SetupStore::GatewayHostValue), host.trimmed());
    QCOMPARE(stored(SetupStore::AlternateGatewayHostValue), alternate.trimmed());
    // What was saved is what the window shows next time.
    open();
    QCOMPARE(window->typed(), (SetupStore::Values{u"ann smith"_s, u"s3cret"_s, typedPath.trimmed(), host.trimmed(),
                                                   alternate.trimmed()}));
}

void tst_setup::browseTakesOnlyAFolderHoldingTheDatabase_data()
{
    QTest::addColumn<QString>("answer"); // relative to the test's home; "-" cancels
    QTest::addColumn<bool>("found");
    QTest::newRow("folder with the database") << u"with"_s << true;
    QTest::newRow("folder ending in a separator") << u"with/"_s << true;
    QTest::newRow("folder without it") << u"without"_s << false;
    QTest::newRow("cancelled") << u"-"_s << false;
}

void tst_setup::browseTakesOnlyAFolderHoldingTheDatabase()
{
    QFETCH(QString, answer);
    QFETCH(bool, found);
    const QDir folder(home->path());
    QVERIFY(folder.mkpath(u"with"_s) && folder.mkpath(u"without/SMSData.db.old"_s));
    QVERIFY(QFile::copy(home->databasePath(), folder.filePath(u"with/SMSData.db"_s)));
    ScriptedMessageBoxes boxes;
    ScriptedFileDialogs dialogs;
    dialogs.choose(answer == u"-"_s ? QString() : folder.path() + u"/"_s + answer);

    open();
    box("txtDatabase")->setText(u"/previous/SMSData.db"_s);
    click("cmdBrowse");

    QCOMPARE(dialogs.asked().size(), 1);
    QCOMPARE(dialogs.asked().first().kind, FileDialogs::Kind::Folder);
    QCOMPARE(dialogs.asked().first().title, u"SELECT DATABASE FOLDER"_s);
    QCOMPARE(dialogs.asked().first().directory, QDir::rootPath());
    QCOMPARE(box("txtDatabase")->text(), found ? folder.filePath(u"with/SMSData.db"_s) : u"/previous/SMSData.db"_s);
    const bool notFoundShown = !found && answer != u"-"_s;
    QCOMPARE(boxes.count(), notFoundShown ? 1 : 0);
    if (notFoundShown) {
        QCOMPARE(boxes.last().title, u"NOT FOUND"_s);
        QCOMPARE(boxes.last().text, u"The Tellwave database can not be found in this location. Please choose another."_s);
        QCOMPARE(boxes.last().icon, QMessageBox::Information);
        QCOMPARE(boxes.last().buttons, QMessageBox::Ok);
    }
}

void tst_setup::folderAndFileAreJoinedWithOneSeparator()
{
    const QList<std::pair<QString, QString>> cases{
        {u"/"_s, u"/"_s},
        {u"/srv/data"_s, u"/srv/data/"_s},
        {u"/srv/data/"_s, u"/srv/data/"_s},
        {u"  /srv/data  "_s, u"/srv/data/"_s},
    };
    for (const auto &[folder, joined] : cases)
        QCOMPARE(SetupStore::folderWithSeparator(folder), joined);
    QCOMPARE(SetupStore::databaseFileIn(u"   "_s), QString());
}

void tst_setup::failedSaveKeepsTheWindowOpenWithWhatWasTyped_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::newRow("settings file unreadable") << u"unreadable"_s;
    QTest::newRow("settings file cannot be written") << u"unwritable"_s;
    QTest::newRow("database refuses") << u"database"_s;
}

void tst_setup::failedSaveKeepsTheWindowOpenWithWhatWasTyped()
{
    QFETCH(QString, refusal);
    setting(SetupStore::DatabaseValue).setValue(u"/data/kept/SMSData.db"_s);
    std::unique_ptr<FileSizeLimit> tooSmall;
    Database::run(u"UPDATE Setup SET Username = 'old', Password = 'pw'"_s);
    ScriptedMessageBoxes boxes;
    open();
    const SetupStore::Values typed{u" ann "_s, u"new"_s, u"/data/new/SMSData.db"_s, u"sms.example.co.za"_s, u"alt"_s};
    type(typed);
    const QByteArray unreadable("{ this is not a settings file");
    if (refusal == u"unreadable"_s) {
        writeHive(unreadable);
    } else if (refusal == u"unwritable"_s) {
        tooSmall = std::make_unique<FileSizeLimit>();
    } else {
        Database::run(u"CREATE TRIGGER refuse BEFORE UPDATE ON Setup BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
    }

    click("cmdSave");
    tooSmall.reset();

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, u"ERROR"_s);
    QCOMPARE(boxes.last().icon, QMessageBox::Critical);
    QVERIFY2(boxes.last().text.contains(u" - "_s), qPrintable(boxes.last().text));
    QVERIFY(window->isVisible());
    QCOMPARE(window->typed(), typed);
    QCOMPARE(setupRows(), QStringList{u"old|pw"_s});
    QCOMPARE(modMain::GatewayUsername, u"before"_s);
    if (refusal == u"unreadable"_s) {
        QCOMPARE(hiveContent(), unreadable);
    } else {
        QCOMPARE(stored(SetupStore::DatabaseValue), u"/data/kept/SMSData.db"_s);
        QCOMPARE(stored(SetupStore::GatewayHostValue), QString());
    }
}

void tst_setup::unreadableSettingsLeaveOnlyCancel_data()
{
    QTest::addColumn<bool>("garbage"); // otherwise the path is stored as a number
    QTest::newRow("not a settings file") << true;
    QTest::newRow("path stored as a number") << false;
}

void tst_setup::unreadableSettingsLeaveOnlyCancel()
{
    QFETCH(bool, garbage);
    if (garbage) {
        writeHive("[1, 2");
    } else {
        cRegistry number = setting(SetupStore::DatabaseValue);
        number.setValueType(cRegistry::REG_DWORD);
        number.setValue(7);
    }
    const QByteArray hive = hiveContent();
    ScriptedMessageBoxes boxes;
    open();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, u"ERROR"_s);
    QVERIFY(!window->findChild<QPushButton *>(u"cmdSave"_s)->isEnabled());
    QVERIFY(window->findChild<QPushButton *>(u"cmdCancel"_s)->isEnabled());
    QCOMPARE(hiveContent(), hive);
}

void tst_setup::mainWindowMenuOpensTheSetupWindow()
{
    ScriptedMessageBoxes boxes;
    frmMain main;
    QAction *entry = main.findChild<QAction *>(u"mnuSetupSetup"_s);
    QVERIFY(entry && entry->isEnabled());
    QString opened;
    QTimer::singleShot(0, [&opened] {
        if (auto *setup = qobject_cast<frmSetup *>(QApplication::activeModalWidget())) {
            opened = setup->windowTitle();
            setup->findChild<QLineEdit *>(u"txtUsername"_s)->setText(u"demo"_s);
            QTest::mouseClick(setup->findChild<QPushButton *>(u"cmdSave"_s), Qt::LeftButton);
        }
    });
    entry->trigger();
    QCOMPARE(opened, u"Setup"_s);
    QCOMPARE(modMain::GatewayUsername, u"demo"_s);
}

QTEST_MAIN(tst_setup)
#include "tst_setup.moc"
