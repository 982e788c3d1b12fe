#pragma once

#include "settings/Settings.h"
#include "settings/SetupStore.h"

#include <QString>

// Start-up and the readers of the settings it starts from. What the running
// program then uses is held by Database (the database), RunningSetup (the
// gateway) and HelpWindow (the help page).
namespace modMain {

// Where the settings live in the settings store.
inline const QString &SettingsKey = Settings::SettingsKey;
// The account name that is served by the alternate gateway host.
inline const QString AlternateHostAccount = QStringLiteral("CORVANE");

// The database path stored in the settings store ("Database"), trimmed.
// These readers throw AppError when the stored value cannot be read.
QString StoredDatabasePath();
// The database path start-up uses when none is stored.
QString DefaultDatabasePath();
// The stored path, or the default one when the stored path is blank.
QString ChooseDatabasePath(const QString &stored);

// The two gateway hosts: settings "GatewayHost" and "AlternateGatewayHost",
// falling back to where tellwave-gateway listens by default.
QString DefaultGatewayHost();
QString AlternateGatewayHost();
// The alternate host for the special account name, otherwise the default.
QString ChooseGatewayHost(const QString &username);

// Reads the gateway account from the first Setup row; false when there is none.
bool LoadSetup();

// The help page shipped with the program in the given folder: Help/ beside it
// (build tree) or ../share/tellwave/ (installed); empty when there is none.
QString FindHelpFile(const QString &programFolder);
QString FindHelpFile();

// Start-up up to the main window: settings store, database path and file,
// connection string, gateway account and host, help page. False when the
// program should end (the operator declined, or the database cannot be used);
// the reason was shown.
bool StartUp();

// The whole start-up: settings, database, account, host, help and the main
// window; then runs the program until the main window closes. Gives the exit
// code.
int Main();
// "tellwave --copy-database FROM TO": copies one database (file or server
// address) into a new one, printing its progress; gives the exit code.
int CopyDatabase(const QString &from, const QString &to);

} // namespace modMain
