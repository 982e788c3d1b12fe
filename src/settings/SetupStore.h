#pragma once

#include "data/Backups.h"

#include <QString>
#include <QTimeZone>

// The program's own settings as the setup window shows and stores them: the
// values under SettingsKey in the settings store, and the gateway account in
// the first Setup row of the database in use. Every text is stored and used
// with the blanks around it removed.
namespace SetupStore {

inline const QString SettingsKey = QStringLiteral("Software\\Corvane\\Tellwave\\Settings");
inline const QString DatabaseValue = QStringLiteral("Database");
// The PostgreSQL server's password when "Database" holds a server address,
// kept here only on a desktop without a keyring (see databasePassword()).
inline const QString DatabasePasswordValue = QStringLiteral("DatabasePassword");
inline const QString GatewayHostValue = QStringLiteral("GatewayHost");
inline const QString AlternateGatewayHostValue = QStringLiteral("AlternateGatewayHost");
inline const QString GatewayConnectionsValue = QStringLiteral("GatewayConnections");
inline const QString GatewayMessagesPerSecondValue = QStringLiteral("GatewayMessagesPerSecond");
// The text of the one message that confirms an opt-out by reply; empty or
// not stored: none is sent.
inline const QString OptOutConfirmationValue = QStringLiteral("OptOutConfirmation");
// The office's time zone by its name ("Europe/London"); empty or not stored:
// South African time.
inline const QString OperatorTimeZoneValue = QStringLiteral("OperatorTimeZone");

// The folder the operator last chose a file or folder in, where the next
// file dialog opens; empty or not stored: the home folder.
inline const QString LastFileFolderValue = QStringLiteral("LastFileFolder");

// Whether messages a stopped run left in doubt, which the gateway says it
// never received, are queued again by themselves (1, the default) or left
// failed for the operator (0).
inline const QString RequeueUnreceivedValue = QStringLiteral("RequeueUnreceived");

// How many daily copies of the database file are kept ("DailyBackupsKept",
// 1 to 366, 7 when not stored), and older than those how many weekly ones
// ("WeeklyBackupsKept", 0 to 520, 4 when not stored).
inline const QString DailyBackupsKeptValue = QStringLiteral("DailyBackupsKept");
inline const QString WeeklyBackupsKeptValue = QStringLiteral("WeeklyBackupsKept");

// Used when they are not stored: four messages in flight, no rate limit.
inline constexpr int DefaultGatewayConnections = 4;
inline constexpr int MaxGatewayConnections = 64;
inline constexpr int DefaultGatewayMessagesPerSecond = 0;
inline constexpr int MaxGatewayMessagesPerSecond = 100000;

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
    int gatewayConnections = DefaultGatewayConnections;
    int gatewayMessagesPerSecond = DefaultGatewayMessagesPerSecond;

    bool operator==(const Values &) const = default;
};

// A text setting under SettingsKey, trimmed; empty when it is not stored.
// Throws AppError when the settings cannot be read or the value is not text:
// a value that is there but unreadable must not pass for an empty one.
QString readSetting(const QString &name);
// A whole-number setting under SettingsKey, stored as a number or as text;
// `fallback` when it is not stored. Throws AppError when it cannot be read or
// is not a whole number from `least` to `most`.
int readNumberSetting(const QString &name, int fallback, int least, int most);
// The send run's settings: messages in flight (1 to 64) and messages per
// second (0 = no limit).
int gatewayConnections();
int gatewayMessagesPerSecond();
// The two backup counts above; AppError when either cannot be read.
Backups::Kept backupsKept();
// The time zone a setting's text names; the office's default for an empty
// text. Throws AppError for a name that is no known zone.
QTimeZone timeZoneNamed(const QString &id);
// The zone OperatorTimeZone names (AppError when it cannot be read or names
// no zone).
QTimeZone operatorTimeZone();
// RequeueUnreceived: on unless stored as 0.
bool requeueUnreceived();
// Stores a text setting as typed (a "%" in it is kept, never expanded).
void writeSetting(const QString &name, const QString &text);
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
// becomes the running account at once. The send run's two settings apply from
// the next send run. The password of a server address goes where
// databasePassword() reads it. Either everything is stored or the error is
// thrown with the earlier settings and password put back and the account
// unchanged.
void save(const Values &values, bool withAccount);

// The folder followed by exactly one "/" (a root folder keeps its own).
QString folderWithSeparator(const QString &folder);
// The database file in a chosen folder, or empty when it holds none.
QString databaseFileIn(const QString &folder);

} // namespace SetupStore
