#include "FileBytes.h"
#include "GuiTestSupport.h"
#include "OutboxRows.h"
#include "PostgresCluster.h"

#include "app/FirstRun.h"
#include "app/FirstRunHint.h"
#include "app/frmMain.h"
#include "app/modMain.h"
#include "data/Database.h"
#include "settings/RunningSetup.h"
#include "settings/Settings.h"
#include "settings/cRegistry.h"
#include "settings/frmSetup.h"
#include "ui/HelpWindow.h"
#include "ui/Pictures.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <tuple>

using namespace Qt::StringLiterals;

namespace {

QString defaultPath()
{
    return QDir(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"))).filePath(u"Tellwave/Data/SMSData.db"_s);
}

void setAccount(const QString &username)
{
    Database::run(u"UPDATE Setup SET Username = ?, Password = ?"_s, {username, u" secret "_s});
    Database::close();
}

} // namespace

class tst_startup : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void startsOnTheStoredOrTheDefaultDatabaseAndGateway_data()
    {
        QTest::addColumn<QString>("stored"); // the Database setting; "<db>" is the test's database, null: none
        QTest::addColumn<bool>("onDefault");
        QTest::addColumn<QString>("username"); // stored in the database
        QTest::addColumn<bool>("hostsStored");
        QTest::addColumn<QString>("host");
        const QString local = u"127.0.0.1:8787"_s, alternate = u"127.0.0.1:8788"_s;
        QTest::newRow("first run: the default, without asking") << QString() << true << u"  ann  "_s << false << local;
        QTest::newRow("blank stored path counts as missing") << u"    "_s << true << u"  ann  "_s << false << local;
        QTest::newRow("stored path, its account read") << u"  <db> "_s << false << u"  ann  "_s << false << local;
        // The special account takes the alternate host; hosts come from the settings store when set there.
        const QString db = u"<db>"_s;
        QTest::newRow("upper") << db << false << u"CORVANE"_s << false << alternate;
        QTest::newRow("lower") << db << false << u"corvane"_s << false << alternate;
        QTest::newRow("mixed with blanks") << db << false << u"  CorVane "_s << false << alternate;
        QTest::newRow("contains it") << db << false << u"CORVANE2"_s << false << local;
        QTest::newRow("blank inside") << db << false << u"COR VANE"_s << false << local;
        QTest::newRow("empty") << db << false << u""_s << false << local;
        QTest::newRow("stored host") << db << false << u"demo"_s << true << u"sms.example.co.za"_s;
        QTest::newRow("stored alternate host")
            << db << false << u"Corvane"_s << true << u"https://alt.example.co.za:8443"_s;
    }

    void startsOnTheStoredOrTheDefaultDatabaseAndGateway()
    {
        QFETCH(QString, stored);
        QFETCH(bool, onDefault);
        QFETCH(QString, username);
        QFETCH(bool, hostsStored);
        TestHome home;
        ScriptedMessageBoxes boxes;
        setAccount(username);
        if (!stored.isNull())
            Settings::store(Settings::Key::Database, stored.replace(u"<db>"_s, home.databasePath()));
        if (hostsStored) {
            Settings::store(Settings::Key::GatewayHost, u" sms.example.co.za "_s);
            Settings::store(Settings::Key::AlternateGatewayHost, u"https://alt.example.co.za:8443"_s);
        }
        QVERIFY(!QFile::exists(defaultPath()));
        QVERIFY(modMain::StartUp());
        QCOMPARE(boxes.count(), 0);
        const QString path = onDefault ? defaultPath() : home.databasePath();
        QCOMPARE(Database::path(), path);
        // The default is a file on either engine; a stored server address is reached as a server.
        QCOMPARE(Database::connectionString(), testingServer() && !onDefault ? Database::connectionStringFor(path)
                                                                             : u"Driver=QSQLITE;Database="_s + path);
        QCOMPARE(Database::engine() == Database::Engine::PostgreSQL, testingServer() && !onDefault);
        QCOMPARE(QFile::exists(defaultPath()), onDefault);
        QCOMPARE(RunningSetup::gatewayUsername() + u'|' + RunningSetup::gatewayPassword(),
                 onDefault ? u"|"_s : username.trimmed() + u"|secret"_s);
        QTEST(RunningSetup::gatewayHost(), "host");
        QVERIFY(HelpWindow::helpFile().isEmpty()); // no help page beside the test program: nothing happens
        // File dialogs open where the settings keep the folder last chosen.
        Settings::store(Settings::Key::LastFileFolder, home.path());
        ScriptedFileDialogs dialogs;
        FileDialogs::openFileName(nullptr, u"SELECT"_s, {});
        FileDialogs::setFolderMemory({});
        QCOMPARE(dialogs.asked().size(), 1);
        QCOMPARE(dialogs.asked()[0].directory, home.path());
    }

    void missingConfiguredDatabaseIsCreatedOnlyWhenTheOperatorSaysYes()
    {
        SQLITE_FILE_ONLY("a database file that is not there yet");
        TestHome home;
        const QString wanted = home.path() + u"/elsewhere/Office.db"_s;
        Settings::store(Settings::Key::Database, wanted);
        ScriptedMessageBoxes boxes;
        boxes.answer(QMessageBox::No);
        QVERIFY(!modMain::StartUp());
        QCOMPARE(boxes.titles(), QStringList{u"DATABASE"_s});
        QCOMPARE(boxes.last().icon, QMessageBox::Question);
        QCOMPARE(boxes.last().buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(boxes.last().text.contains(wanted));
        QVERIFY(!QFile::exists(wanted));
        QVERIFY(!QFile::exists(defaultPath()));

        boxes.answer(QMessageBox::Yes);
        QVERIFY(modMain::StartUp());
        QCOMPARE(boxes.count(), 2);
        QVERIFY(QFile::exists(wanted));
        QCOMPARE(Database::value(u"SELECT count(*) FROM Setup"_s).toInt(), 1);
    }

    void unusableDatabaseOffersTheSetupWindowAndIsLeftAlone_data()
    {
        QTest::addColumn<bool>("offerTaken");
        QTest::addColumn<QString>("chosen"); // typed into the setup window's database box; "-" cancels it
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("questions");
        QTest::newRow("setup window declined") << false << "-" << false << 1;
        QTest::newRow("setup cancelled") << true << "-" << false << 1;
        QTest::newRow("a usable database") << true << "good.db" << true << 1;
        QTest::newRow("empty box: the default database") << true << "" << true << 1;
        QTest::newRow("another broken file, then No") << true << "broken2.db" << false << 2;
    }

    void unusableDatabaseOffersTheSetupWindowAndIsLeftAlone()
    {
        QFETCH(bool, offerTaken);
        QFETCH(QString, chosen);
        QFETCH(bool, started);
        QFETCH(int, questions);
        TestHome home;
        setAccount(u"ann"_s);
        // Two databases that cannot be used, and what shows that they were left as they were: files
        // holding a letter, or server databases holding another program's table. The server address
        // the program starts on carries a password, which no box may show.
        QString good, broken, broken2, reason;
        std::function<QString(const QString &)> contentOf;
        const QString letter = u"This is a letter, not a database."_s;
        if (testingServer()) {
            good = home.databasePath();
            broken = PostgresCluster::newDatabase().replace(u"://tellwave@"_s, u"://tellwave:s3cret@"_s);
            broken2 = PostgresCluster::newDatabase();
            for (const QString &address : {broken, broken2})
                QCOMPARE(
                    psql(address, u"CREATE TABLE Letters (Line text); INSERT INTO Letters VALUES ('%1')"_s.arg(letter)),
                    QString());
            reason = u"not a Tellwave database"_s;
            contentOf = [](const QString &address) {
                return psql(address, u"SELECT string_agg(Line, '|') FROM Letters"_s);
            };
        } else {
            good = home.path() + u"/good.db"_s;
            QVERIFY(QFile::rename(home.databasePath(), good));
            broken = home.file(u"broken.db"_s, letter.toUtf8());
            broken2 = home.file(u"broken2.db"_s, letter.toUtf8());
            reason = u"not a database"_s;
            contentOf = [](const QString &path) { return QString::fromUtf8(fileBytes(path)); };
        }
        QVERIFY(Database::shownAs(broken) != broken || !testingServer());
        const QString wanted = chosen.isEmpty() ? defaultPath() : chosen == u"good.db"_s ? good : broken2;
        Settings::store(Settings::Key::Database, broken);

        ScriptedMessageBoxes boxes;
        boxes.answer(offerTaken ? QMessageBox::Yes : QMessageBox::No);
        bool setupShown = false, accountOffered = false;
        QTimer::singleShot(0, [&] {
            auto *setup = qobject_cast<frmSetup *>(QApplication::activeModalWidget());
            if (!setup)
                return;
            setupShown = true;
            saveScreenshot(setup, u"frmSetup-startup"_s);
            accountOffered = setup->findChild<QLineEdit *>(u"txtUsername"_s)->isEnabled();
            if (chosen == u"-"_s) {
                setup->reject();
                return;
            }
            setup->findChild<QLineEdit *>(u"txtDatabase"_s)->setText(chosen.isEmpty() ? QString() : wanted);
            QTest::mouseClick(setup->findChild<QPushButton *>(u"cmdSave"_s), Qt::LeftButton);
        });
        QCOMPARE(modMain::StartUp(), started);
        QCOMPARE(setupShown, offerTaken);
        QVERIFY(!accountOffered);
        QCOMPARE(boxes.titles(), QStringList(questions, u"DATABASE"_s));
        const MessageBoxes::Shown &first = boxes.shown().first();
        QCOMPARE(first.icon, QMessageBox::Question);
        QCOMPARE(first.buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY2(first.text.contains(Database::shownAs(broken)) && first.text.contains(reason), qPrintable(first.text));
        QVERIFY(boxes.last().text.contains(questions == 1 ? Database::shownAs(broken) : wanted));
        for (const MessageBoxes::Shown &shown : boxes.shown())
            QVERIFY2(!shown.text.contains(u"s3cret"_s), qPrintable(shown.text));
        if (started) {
            QCOMPARE(Database::path(), wanted);
            QCOMPARE(RunningSetup::gatewayUsername(), chosen.isEmpty() ? QString() : u"ann"_s);
        }
        QCOMPARE(contentOf(broken), letter);
        QCOMPARE(contentOf(broken2), letter);
    }

    void unreadableSettingsStopStartUp_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not JSON") << QByteArray("{ \"HKEY_LOCAL_MACHINE\": ");
        QTest::newRow("not a hive") << QByteArray("[1, 2, 3]");
        QTest::newRow("a root that is no key") << QByteArray("{ \"HKEY_LOCAL_MACHINE\": 7 }");
    }

    void unreadableSettingsStopStartUp()
    {
        // The stored database path would read as missing, and the program would quietly start on the
        // default database instead of the operator's: it must stop and say why instead.
        QFETCH(QByteArray, content);
        TestHome home;
        QVERIFY(writeFile(cRegistry::hivePath(), content));

        ScriptedMessageBoxes boxes;
        QVERIFY(!modMain::StartUp());
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().icon, QMessageBox::Critical);
        QVERIFY2(boxes.last().text.contains(cRegistry::hivePath()), qPrintable(boxes.last().text));
        QVERIFY(!QFile::exists(modMain::DefaultDatabasePath()));
        QCOMPARE(fileBytes(cRegistry::hivePath()), content);
    }

    // The first run: the hint that leads through the setup, the pictures of the theme, the help page.
    void nextStep_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<int>("rows");
        QTest::addColumn<FirstRun::Step>("step");
        QTest::newRow("nothing yet") << u""_s << 0 << FirstRun::Step::SetAccount;
        QTest::newRow("blanks are no account") << u"   "_s << 0 << FirstRun::Step::SetAccount;
        QTest::newRow("messages but no account") << u""_s << 3 << FirstRun::Step::SetAccount;
        QTest::newRow("account, empty outbox") << u"demo"_s << 0 << FirstRun::Step::QueueMessage;
        QTest::newRow("account and a message") << u"demo"_s << 1 << FirstRun::Step::None;
    }

    void nextStep()
    {
        QFETCH(QString, username);
        QFETCH(int, rows);
        QFETCH(FirstRun::Step, step);
        QCOMPARE(FirstRun::nextStep(username, rows), step);
        QCOMPARE(FirstRun::hintText(step).isEmpty(), step == FirstRun::Step::None);
    }

    void hintLeadsThroughSetupAndGoesOnceAMessageIsQueued()
    {
        TestHome home;
        home.freshDatabase();
        ScriptedMessageBoxes boxes;
        RunningSetup::useGatewayAccount(QString(), QString());
        frmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *hint = window.findChild<FirstRunHint *>(u"fraFirstRun"_s);
        QVERIFY(hint);
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->button()->text(), u"&Open Setup..."_s);
        saveScreenshot(&window, u"main-first-run"_s);

        // The button opens Setup; the account saved there moves the hint on.
        const QString opened = modalOpenedBy([&] { hint->button()->click(); },
                                             [](QWidget *setup) {
                                                 setup->findChild<QLineEdit *>(u"txtUsername"_s)->setText(u"demo"_s);
                                                 setup->findChild<QLineEdit *>(u"txtPassword"_s)->setText(u"demo"_s);
                                                 setup->findChild<QPushButton *>(u"cmdSave"_s)->click();
                                             });
        QCOMPARE(opened, u"frmSetup"_s);
        QCOMPARE(RunningSetup::gatewayUsername(), u"demo"_s);
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->step(), FirstRun::Step::QueueMessage);
        QCOMPARE(modalOpenedBy([&] { hint->button()->click(); }), u"frmSendToGroupNo"_s);

        OutboxRows::queue(u"0821234567"_s);
        window.refreshOutbox();
        QVERIFY(!hint->isVisible());
        RunningSetup::useGatewayAccount(QString(), RunningSetup::gatewayPassword());
    }

    void picturesFollowTheTheme()
    {
        TestHome home;
        home.freshDatabase();
        RunningSetup::useGatewayAccount(u"demo"_s, RunningSetup::gatewayPassword());
        OutboxRows::queue(u"0821234567"_s);
        const QPalette light = QApplication::palette();
        for (const auto &[name, palette, picture] :
             {std::tuple{u"light"_s, light, u":/images/toolbarback.png"_s},
              std::tuple{u"dark"_s, darkPalette(), u":/images/toolbarback-dark.png"_s}}) {
            QApplication::setPalette(palette);
            frmMain window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(Pictures::isDark(window.palette()), name == u"dark"_s);
            QVERIFY2(window.findChild<QToolBar *>(u"vbalCommandBar1"_s)->styleSheet().contains(picture),
                     qPrintable(name));
            saveScreenshot(&window, u"main-"_s + name);
        }
        QApplication::setPalette(light);
        RunningSetup::useGatewayAccount(QString(), RunningSetup::gatewayPassword());
    }

    void helpPageIsFoundInTheBuildTreeOrTheInstallation_data()
    {
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QString>("found");
        QTest::newRow("build tree") << QStringList{u"bin/Help/Tellwave.html"_s} << u"bin/Help/Tellwave.html"_s;
        QTest::newRow("installed") << QStringList{u"share/tellwave/Tellwave.html"_s}
                                   << u"share/tellwave/Tellwave.html"_s;
        QTest::newRow("build tree first") << QStringList{u"bin/Help/Tellwave.html"_s, u"share/tellwave/Tellwave.html"_s}
                                          << u"bin/Help/Tellwave.html"_s;
        QTest::newRow("none") << QStringList{} << u""_s;
        QTest::newRow("a folder of that name") << QStringList{u"share/tellwave/Tellwave.html/"_s} << u""_s;
    }

    void helpPageIsFoundInTheBuildTreeOrTheInstallation()
    {
        QFETCH(QStringList, pages);
        QFETCH(QString, found);
        QTemporaryDir prefix;
        QDir root(prefix.path());
        QVERIFY(root.mkpath(u"bin"_s));
        for (const QString &page : pages)
            QVERIFY(page.endsWith(u'/') ? root.mkpath(page) : writeFile(root.filePath(page), {}));
        QCOMPARE(modMain::FindHelpFile(root.filePath(u"bin"_s)), found.isEmpty() ? QString() : root.filePath(found));
    }
};

QTEST_MAIN(tst_startup)
#include "tst_startup.moc"
