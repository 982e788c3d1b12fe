#include "app/modMain.h"

#include "app/frmMain.h"
#include "contacts/frmSearchClients.h"
#include "data/Backups.h"
#include "data/Database.h"
#include "data/DatabaseCopy.h"
#include "data/OperatorTime.h"
#include "groups/frmEditGroups.h"
#include "settings/RunningSetup.h"
#include "settings/SetupStore.h"
#include "settings/cRegistry.h"
#include "settings/frmSetup.h"
#include "ui/FileDialogs.h"
#include "ui/HelpWindow.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

namespace modMain {

namespace {

// Start-up goes on with the database path stored in the settings now.
void UseStoredDatabasePath(bool &isDefaultPath)
{
    const QString stored = StoredDatabasePath();
    isDefaultPath = stored.isEmpty();
    const QString path = ChooseDatabasePath(stored);
    Database::use(path);
    Database::usePassword(Database::isServerAddress(path) ? SetupStore::databasePassword(path) : QString());
}

// The database file at Database::path(), made ready to use: created silently at
// the default place on a first run, created after asking anywhere else. A
// file that is there but cannot be used is never overwritten: the operator may
// choose another one in the setup window, which is then checked the same way.
bool PrepareDatabase(bool isDefaultPath)
{
    for (;;) {
        const Database::FileCheck found = Database::check(Database::path());
        if (found.state == Database::FileState::Usable)
            return true;
        if (found.state == Database::FileState::Missing)
            break;
        if (!MessageBoxes::ask(nullptr, QStringLiteral("DATABASE"),
                               QStringLiteral("The database %1 cannot be opened.\n\n%2\n\n"
                                              "Do you want to choose another database file in the setup window?\n"
                                              "No closes the program; the file is left as it is.")
                                   .arg(Database::shownAs(Database::path()), found.reason)))
            return false;
        frmSetup setup(nullptr, false);
        if (setup.exec() != QDialog::Accepted)
            return false;
        UseStoredDatabasePath(isDefaultPath);
    }

    if (!isDefaultPath
        && !MessageBoxes::ask(nullptr, QStringLiteral("DATABASE"),
                              QStringLiteral("The database %1 does not exist.\n\n"
                                             "Do you want to create a new, empty database there?")
                                  .arg(Database::path())))
        return false;
    Database::create(Database::path());
    return true;
}

} // namespace

bool StartUp()
{
    // A settings file that cannot be read would read as empty, and the program
    // would quietly start on the default database instead of the operator's.
    const QString settingsProblem = cRegistry::hiveProblem();
    if (!settingsProblem.isEmpty()) {
        MessageBoxes::show(nullptr, QStringLiteral("SETTINGS"),
                           QStringLiteral("The program's settings cannot be read: %1.\n\n"
                                          "The program will now close. Repair or remove the settings file, "
                                          "then start the program again.")
                               .arg(settingsProblem),
                           QMessageBox::Critical);
        return false;
    }
    try {
        bool isDefaultPath = true;
        RunningSetup::useGatewayHost(DefaultGatewayHost());
        UseStoredDatabasePath(isDefaultPath);
        if (!PrepareDatabase(isDefaultPath))
            return false;
        LoadSetup();
        RunningSetup::useGatewayHost(ChooseGatewayHost(RunningSetup::gatewayUsername()));
        RunningSetup::load();
        OperatorTime::setCurrent(SetupStore::operatorTimeZone());
    } catch (const AppError &error) {
        MessageBoxes::showError(nullptr, error);
        return false;
    }
    HelpWindow::useHelpFile(FindHelpFile());
    FileDialogs::setFolderMemory({SetupStore::lastFileFolder, SetupStore::keepLastFileFolder});
    return true;
}

int CopyDatabase(const QString &from, const QString &to)
{
    try {
        // One password serves the copy: the server's, whichever end it is.
        const QString server = Database::isServerAddress(to) ? to : from;
        Database::usePassword(Database::isServerAddress(server) ? SetupStore::databasePassword(server) : QString());
        if (!Database::isServerAddress(from)) {
            OperatorTime::setCurrent(SetupStore::operatorTimeZone());
            const QString backup =
                Backups::takeBefore(from, QStringLiteral("before-copy"), OperatorTime::current().now());
            std::printf("Backed up %s to %s.\n", qPrintable(from), qPrintable(backup));
        }
        qint64 rows = 0;
        DatabaseCopy::copy(from, to, [&rows](const QString &table, qint64 done, qint64 total) {
            std::fprintf(stderr, "\rCopying %s: %lld / %lld rows", qPrintable(table), static_cast<long long>(done),
                         static_cast<long long>(total));
            if (done == total) {
                std::fprintf(stderr, "\n");
                rows += total;
            }
        });
        std::printf("Copied %lld rows from %s to %s.\n", static_cast<long long>(rows), qPrintable(from),
                    qPrintable(to));
        return 0;
    } catch (const AppError &error) {
        std::fprintf(stderr, "\n%lld - %s\n", static_cast<long long>(error.number()), qPrintable(error.description()));
        return 1;
    }
}

int Main()
{
    QCoreApplication::setApplicationName(QStringLiteral("Tellwave"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TELLWAVE_VERSION));
    // Ties the windows to the launcher and its icon (Wayland, task bars).
    QGuiApplication::setDesktopFileName(QStringLiteral("za.co.corvane.Tellwave"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("tellwave"), QIcon(QStringLiteral(":/images/logo.png"))));
    if (auto *application = qobject_cast<QApplication *>(QCoreApplication::instance()))
        HelpWindow::installF1(*application);
    if (!StartUp())
        return 1;
    frmEditGroups::setContactSearch(&frmSearchClients::pick);
    frmMain window;
    window.show();
    QMetaObject::invokeMethod(&window, &frmMain::checkOverdueBatches, Qt::QueuedConnection);
    QMetaObject::invokeMethod(&window, &frmMain::startDailyBackup, Qt::QueuedConnection);
    return QApplication::exec();
}

} // namespace modMain
