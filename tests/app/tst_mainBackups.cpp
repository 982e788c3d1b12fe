#include "FileBytes.h"
#include "GuiTestSupport.h"
#include "OutboxRows.h"

#include "app/frmMain.h"
#include "data/Backups.h"
#include "data/Clock.h"
#include "data/Database.h"
#include "data/OperatorTime.h"
#include "settings/Settings.h"
#include "ui/QueryListModel.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QDateTime Now(QDate(2026, 12, 7), QTime(9, 30), QTimeZone(OperatorTime::DefaultZoneId));

} // namespace

// The File menu's backup and restore, and the daily backup, in the real main window.
class tst_mainBackups : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        SQLITE_FILE_ONLY("backups of the database file");
        home = std::make_unique<TestHome>();
        boxes = std::make_unique<ScriptedMessageBoxes>();
        dialogs = std::make_unique<ScriptedFileDialogs>();
        CampaignClock::set([] { return Now; });
    }
    void cleanup()
    {
        CampaignClock::set({});
        dialogs.reset();
        boxes.reset();
        home.reset();
    }

    void backUpNowWritesACheckedCopyUnderADatedName()
    {
        OutboxRows::queue(u"0820000001"_s);
        frmMain window;
        window.show();
        const QString target = QDir(home->path()).filePath(u"chosen/office copy"_s);
        QDir(home->path()).mkpath(u"chosen"_s);
        dialogs->choose(target);
        window.findChild<QAction *>(u"mnuFileBackUp"_s)->trigger();
        QCOMPARE(QFileInfo(dialogs->asked().last().directory).fileName(),
                 QFileInfo(home->databasePath()).completeBaseName() + u"-2026-12-07.db"_s);
        QCOMPARE(boxes->last().title, u"BACKUP"_s);
        QVERIFY(boxes->last().text.contains(target + u".db"_s));
        QCOMPARE(Backups::inspect(target + u".db"_s).outbox, 1);
    }

    // A good copy is put in place and the window shows its rows; the state
    // before is kept beside the database.
    void restoreReopensOnTheCopy()
    {
        OutboxRows::queue(u"0820000001"_s);
        const QString copy = QDir(home->path()).filePath(u"SMSData-2026-12-01-080000.db"_s);
        Backups::copy(home->databasePath(), copy);
        OutboxRows::queue(u"0820000002"_s);
        frmMain window;
        window.show();
        QCOMPARE(window.outboxList()->rowCount(), 2);

        QVERIFY(QDir().mkpath(Backups::folder()));
        dialogs->choose(copy);
        boxes->answer(QMessageBox::Yes);
        window.findChild<QAction *>(u"mnuFileRestore"_s)->trigger();
        QCOMPARE(dialogs->asked().last().directory, Backups::folder());
        QCOMPARE(boxes->titles(), QStringList({"RESTORE", "RESTORE"}));
        const QString question = boxes->shown().first().text;
        QVERIFY2(question.contains(u"1 December 2026, 08:00"_s)
                     && question.contains(u"0 contacts, 0 groups, 1 outbox messages"_s),
                 qPrintable(question));
        QCOMPARE(window.outboxList()->rowCount(), 1);
        QCOMPARE(OutboxRows::all().value(0).value(u"Number"_s).toString(), u"0820000001"_s);
        const QStringList kept = QDir(QFileInfo(home->databasePath()).absolutePath())
                                     .entryList({u"*-before-restore-2026-12-07-093000.db"_s}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(boxes->last().text.contains(kept.first()));
        // The window goes on writing to the restored file.
        OutboxRows::queue(u"0820000003"_s);
        window.refreshOutbox();
        QCOMPARE(window.outboxList()->rowCount(), 2);
    }

    void aDamagedCopyIsRefusedAndNothingChanges()
    {
        OutboxRows::queue(u"0820000001"_s);
        const QString copy = QDir(home->path()).filePath(u"damaged.db"_s);
        Backups::copy(home->databasePath(), copy);
        const QByteArray whole = fileBytes(copy);
        QVERIFY(writeFile(copy, whole.left(whole.size() / 2)));
        frmMain window;
        window.show();
        Database::close();
        const QByteArray live = fileBytes(home->databasePath());
        dialogs->choose(copy);
        window.findChild<QAction *>(u"mnuFileRestore"_s)->trigger();
        QCOMPARE(boxes->count(), 1); // no question: refused at once
        QCOMPARE(boxes->last().icon, QMessageBox::Critical);
        QVERIFY(boxes->last().text.contains(u"cannot be restored"_s));
        QCOMPARE(fileBytes(home->databasePath()), live);
        QCOMPARE(window.outboxList()->rowCount(), 1);
    }

    // The day's backup runs beside the window; when it fails the status bar
    // says so and the window goes on working; the next good one clears it.
    void theDailyBackupReportsItsFailureInTheStatusBar()
    {
        frmMain window;
        window.show();
        auto *panel = window.findChild<QLabel *>(u"Panels_Backup"_s);
        QVERIFY(!panel->isVisible());
        const QString folder = Backups::folder();
        QVERIFY(writeFile(folder, {})); // a file where the folder should be
        QSignalSpy done(&window, &frmMain::dailyBackupDone);
        window.startDailyBackup();
        QVERIFY(window.dailyBackupRunning());
        QVERIFY(done.wait(20000));
        QVERIFY(panel->isVisible());
        QVERIFY2(panel->toolTip().startsWith(u"Backup failed: "_s), qPrintable(panel->toolTip()));
        QCOMPARE(boxes->count(), 0);
        OutboxRows::queue(u"0820000001"_s);
        window.refreshOutbox();
        QCOMPARE(window.outboxList()->rowCount(), 1);
        saveScreenshot(&window, u"frmMain-backupFailed"_s);
        window.setPalette(darkPalette());
        saveScreenshot(&window, u"frmMain-backupFailed-dark"_s);

        QVERIFY(QFile::remove(folder));
        window.startDailyBackup();
        QVERIFY(done.wait(20000));
        QVERIFY(!panel->isVisible());
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{Backups::dailyName(home->databasePath(), Now)});
        // Taken for today: a second call does not start another.
        window.startDailyBackup();
        QVERIFY(!window.dailyBackupRunning());
    }

    void unreadableBackupSettingsAreAnError()
    {
        Settings::store(Settings::Key::DailyBackupsKept, u"seven"_s);
        frmMain window;
        window.show();
        window.startDailyBackup();
        QVERIFY(!window.dailyBackupRunning());
        auto *panel = window.findChild<QLabel *>(u"Panels_Backup"_s);
        QVERIFY(panel->isVisible());
        QVERIFY2(panel->toolTip().contains(Settings::name(Settings::Key::DailyBackupsKept)),
                 qPrintable(panel->toolTip()));
        QVERIFY(!QFileInfo::exists(Backups::folder()));
    }

private:
    std::unique_ptr<TestHome> home;
    std::unique_ptr<ScriptedMessageBoxes> boxes;
    std::unique_ptr<ScriptedFileDialogs> dialogs;
};

QTEST_MAIN(tst_mainBackups)
#include "tst_mainBackups.moc"
