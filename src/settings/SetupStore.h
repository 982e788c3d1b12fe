#pragma once

#include "data/Backups.h"
#include "settings/Settings.h"

#include <QString>
#include <QTimeZone>

// The program's own settings as the setup window shows and stores them: the
// values it shows in the settings store (Settings), and the gateway account in
// the first Setup row of the database in use. Every text is stored and used
// with the blanks around it removed.
namespace SetupStore {

// Used when no host is stored: where tellwave-gateway listens by default.
inline const QString BuiltInGatewayHost = QStringLiteral("127.0.0.1:8787");
inline const QString BuiltInAlternateGatewayHost = QStringLiteral("127.0.0.1:8788");

// The file a database folder holds.
inline const QString DatabaseFileName = QStringLiteral("SMSData.db");

struct Values
{
    QString username;
    QString password;
    QString database;
    QString gatewayHost;
    QString alternateGatewayHost;
    // The server's password when `database` is a PostgreSQL address.
    QString databasePassword;
    int gatewayConnections = Settings::entry(Settings::Key::GatewayConnections).fallback;
    int gatewayMessagesPerSecond = Settings::entry(Settings::Key::GatewayMessagesPerSecond).fallback;

    bool operator==(const Values &) const = default;
};

// DailyBackupsKept and WeeklyBackupsKept; AppError when either cannot be read.
Backups::Kept backupsKept();
// The time zone a setting's text names; the office's default for an empty
// text. Throws AppError for a name that is no known zone.
QTimeZone timeZoneNamed(const QString &id);
// The zone OperatorTimeZone names (AppError when it cannot be read or names
// no zone).
QTimeZone operatorTimeZone();
// RequeueUnreceived: on unless stored as 0.
bool requeueUnreceived();
// LastFileFolder, read and kept as the other text settings are.
QString lastFileFolder();
void keepLastFileFolder(const QString &folder);

// Where the database password is kept: in the desktop's keyring, or in the
// settings file (owner-only) on a desktop that has none.
enum class PasswordStore { Keyring, SettingsFile };
PasswordStore passwordStore();
// The password of the server at `address`. With a keyring, it is kept there
// under the address (so each server keeps its own), and a password still in
// the settings file is first moved there: written, read back, and only then
// removed from the file. Without one, it is the settings file's. Throws
// AppError when the keyring refuses or fails, or the move cannot be confirmed
// (the password then stays in the settings file).
QString databasePassword(const QString &address);

// What is stored now; the account only when withAccount (otherwise empty).
Values load(bool withAccount);

// Stores the values trimmed: the settings, and when withAccount the account
// in the first Setup row (a row is added when there is none), which then
// becomes the running account at once (RunningSetup). The send run's two
// settings apply from the next send run. The password of a server address goes where
// databasePassword() reads it. Either everything is stored or the error is
// thrown with the earlier settings and password put back and the account
// unchanged.
void save(const Values &values, bool withAccount);

// The folder followed by exactly one "/" (a root folder keeps its own).
QString folderWithSeparator(const QString &folder);
// The database file in a chosen folder, or empty when it holds none.
QString databaseFileIn(const QString &folder);

} // namespace SetupStore
