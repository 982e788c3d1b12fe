#include "app/modMain.h"

#include "app/frmMain.h"
#include "data/Database.h"
#include "data/modFunctions.h"
#include "settings/cRegistry.h"
#include "ui/MessageBoxes.h"

#include <QApplication>

namespace modMain {

namespace {

// The database file at DatabasePath, made ready to use: created silently at
// the default place on a first run, created after asking anywhere else, and
// reported (never overwritten) when it is there but cannot be used.
bool PrepareDatabase(bool isDefaultPath)
{
    const Database::FileCheck found = Database::check(DatabasePath);
    if (found.state == Database::FileState::Usable)
        return true;

    if (found.state == Database::FileState::Unusable) {
        MessageBoxes::show(nullptr, QStringLiteral("DATABASE"),
                           QStringLiteral("The database %1 cannot be opened.\n\n%2\n\n"
                                          "The program will now close. Choose another database file in "
                                          "the program's settings, or move this file away.")
                               .arg(DatabasePath, found.reason),
                           QMessageBox::Critical);
        return false;
    }

    if (!isDefaultPath
        && !MessageBoxes::ask(nullptr, QStringLiteral("DATABASE"),
                              QStringLiteral("The database %1 does not exist.\n\n"
                                             "Do you want to create a new, empty database there?")
                                  .arg(DatabasePath)))
        return false;
    try {
        Database::create(DatabasePath);
    } catch (const AppError &error) {
        MessageBoxes::showError(nullptr, error);
        return false;
    }
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
    const QString stored = StoredDatabasePath();
    GatewayHost = DefaultGatewayHost();
    DatabasePath = ChooseDatabasePath(stored);
    ConnectionString = Database::connectionStringFor(DatabasePath);
    if (!PrepareDatabase(modFunctions::TrimBlanks(stored).isEmpty()))
        return false;
    try {
        LoadSetup();
    } catch (const AppError &error) {
        MessageBoxes::showError(nullptr, error);
        return false;
    }
    GatewayHost = ChooseGatewayHost(GatewayUsername);
    HelpFile = FindHelpFile();
    return true;
}

int Main()
{
    QCoreApplication::setApplicationName(QStringLiteral("Tellwave"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TELLWAVE_VERSION));
    if (!StartUp())
        return 1;
    frmMain window;
    window.show();
    return QApplication::exec();
}

} // namespace modMain
