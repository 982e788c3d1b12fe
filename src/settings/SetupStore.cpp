#include "settings/SetupStore.h"

#include "data/OperatorTime.h"

#include "data/Database.h"
#include "data/ProcessSettings.h"
#include "data/modFunctions.h"
#include "settings/SecretStore.h"
#include "settings/cRegistry.h"

#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace SetupStore {

namespace {

constexpr qint64 ErrorSetting = cRegistry::ErrorKey;
constexpr qint64 ErrorAccount = 3000;
constexpr qint64 ErrorKeyring = 3001;
const QString Source = QStringLiteral("SetupStore");

cRegistry settingAt(const QString &name)
{
    cRegistry registry;
    registry.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
    registry.setSectionKey(SettingsKey);
    registry.setValueType(cRegistry::REG_SZ);
    registry.setValueKey(name);
    return registry;
}

// A settings file that cannot be read is an error, never read as empty.
void requireReadableSettings()
{
    const QString problem = cRegistry::hiveProblem();
    if (!problem.isEmpty())
        throw AppError(ErrorSetting, QStringLiteral("The program's settings cannot be read: %1.").arg(problem), Source);
}

Values trimmed(const Values &values)
{
    using modFunctions::TrimBlanks;
    return {TrimBlanks(values.username),
            TrimBlanks(values.password),
            TrimBlanks(values.database),
            TrimBlanks(values.gatewayHost),
            TrimBlanks(values.alternateGatewayHost),
            TrimBlanks(values.databasePassword),
            values.gatewayConnections,
            values.gatewayMessagesPerSecond};
}

// A server's password is kept under its address as shown, so a password
// written into the address itself never becomes part of the name.
QString keyringKey(const QString &address)
{
    return Database::shownAs(modFunctions::TrimBlanks(address));
}

[[noreturn]] void keyringFailed(const QString &what, const SecretStore::Answer &answer)
{
    QString words;
    switch (answer.status) {
    case SecretStore::Status::Failed:
        words = QStringLiteral("the desktop keyring reports \"%1\"").arg(answer.problem);
        break;
    case SecretStore::Status::Unavailable:
        words = QStringLiteral("the desktop keyring no longer answers");
        break;
    case SecretStore::Status::NotFound:
        words = QStringLiteral("the desktop keyring keeps nothing under that name");
        break;
    case SecretStore::Status::Done:
        words = QStringLiteral("the desktop keyring gave back a different password");
        break;
    }
    throw AppError(ErrorKeyring, what + QStringLiteral(": ") + words + QLatin1Char('.'), Source);
}

// A password the settings file kept while the desktop had no keyring moves
// into the keyring, and leaves the file only once the keyring gives it back.
void movePasswordIntoKeyring(const SecretStore &keyring)
{
    const QString kept = readSetting(DatabasePasswordValue);
    const QString database = readSetting(DatabaseValue);
    if (kept.isEmpty() || !Database::isServerAddress(database))
        return;
    const QString what = QStringLiteral("The database password could not be moved from the settings file into the "
                                        "desktop keyring, and stays in the settings file");
    const QString key = keyringKey(database);
    const SecretStore::Answer written = keyring.write(key, kept);
    if (written.status != SecretStore::Status::Done)
        keyringFailed(what, written);
    const SecretStore::Answer check = keyring.read(key);
    if (check.status != SecretStore::Status::Done || check.secret != kept)
        keyringFailed(what, check);
    writeSetting(DatabasePasswordValue, QString());
}

void storeAccount(const QString &username, const QString &password)
{
    const QVariant row = Database::value(QStringLiteral("SELECT rowid FROM Setup ORDER BY rowid LIMIT 1"));
    if (!row.isValid()) {
        Database::insert(QStringLiteral("INSERT INTO Setup (Username, Password) VALUES (?, ?)"), {username, password});
        return;
    }
    const QSqlQuery update = Database::run(
        QStringLiteral("UPDATE Setup SET Username = ?, Password = ? WHERE rowid = ?"), {username, password, row});
    if (update.numRowsAffected() != 1)
        throw AppError(ErrorAccount, QStringLiteral("The gateway account could not be stored in the database."),
                       Source);
}

} // namespace

QString readSetting(const QString &name)
{
    requireReadableSettings();
    cRegistry registry = settingAt(name);
    const QVariant value = registry.Value();
    if (!value.isValid())
        return {};
    if (registry.ValueType() != cRegistry::REG_SZ && registry.ValueType() != cRegistry::REG_EXPAND_SZ)
        throw AppError(ErrorSetting,
                       QStringLiteral("The setting \"%1\" under %2 is not a text (its type is %3).")
                           .arg(name, SettingsKey)
                           .arg(registry.ValueType()),
                       Source);
    return modFunctions::TrimBlanks(value.toString());
}

int readNumberSetting(const QString &name, int fallback, int least, int most)
{
    requireReadableSettings();
    cRegistry registry = settingAt(name);
    const QVariant value = registry.Value();
    if (!value.isValid())
        return fallback;
    const qint32 type = registry.ValueType();
    bool ok = false;
    qint64 number = 0;
    if (type == cRegistry::REG_DWORD || type == cRegistry::REG_DWORD_BIG_ENDIAN)
        number = value.toLongLong(&ok);
    else if (type == cRegistry::REG_SZ || type == cRegistry::REG_EXPAND_SZ)
        number = modFunctions::TrimBlanks(value.toString()).toLongLong(&ok);
    if (!ok || number < least || number > most)
        throw AppError(ErrorSetting,
                       QStringLiteral("The setting \"%1\" under %2 is not a whole number from %3 to %4.")
                           .arg(name, SettingsKey)
                           .arg(least)
                           .arg(most),
                       Source);
    return int(number);
}

int gatewayConnections()
{
    return readNumberSetting(GatewayConnectionsValue, DefaultGatewayConnections, 1, MaxGatewayConnections);
}

Backups::Kept backupsKept()
{
    return {readNumberSetting(DailyBackupsKeptValue, 7, 1, 366), readNumberSetting(WeeklyBackupsKeptValue, 4, 0, 520)};
}

QTimeZone timeZoneNamed(const QString &id)
{
    const QByteArray name = id.trimmed().toUtf8();
    if (name.isEmpty())
        return QTimeZone(OperatorTime::DefaultZoneId);
    const QTimeZone zone(name);
    if (!zone.isValid())
        throw AppError(cRegistry::ErrorKey,
                       QStringLiteral("\"%1\" is no time zone this computer knows (the setting \"%2\" under %3). "
                                      "Use a name such as Africa/Johannesburg or Europe/London.")
                           .arg(id.trimmed(), OperatorTimeZoneValue, SettingsKey),
                       QStringLiteral("OperatorTime"));
    return zone;
}

QTimeZone operatorTimeZone()
{
    return timeZoneNamed(readSetting(OperatorTimeZoneValue));
}

bool requeueUnreceived()
{
    return readNumberSetting(RequeueUnreceivedValue, 1, 0, 1) != 0;
}

int gatewayMessagesPerSecond()
{
    return readNumberSetting(GatewayMessagesPerSecondValue, DefaultGatewayMessagesPerSecond, 0,
                             MaxGatewayMessagesPerSecond);
}

void writeSetting(const QString &name, const QString &text)
{
    settingAt(name).setPlainText(text);
}

QString lastFileFolder()
{
    return readSetting(LastFileFolderValue);
}

void keepLastFileFolder(const QString &folder)
{
    writeSetting(LastFileFolderValue, folder);
}

PasswordStore passwordStore()
{
    return SecretStore::available() ? PasswordStore::Keyring : PasswordStore::SettingsFile;
}

QString databasePassword(const QString &address)
{
    if (passwordStore() == PasswordStore::SettingsFile)
        return readSetting(DatabasePasswordValue);
    const SecretStore keyring;
    movePasswordIntoKeyring(keyring);
    const SecretStore::Answer kept = keyring.read(keyringKey(address));
    if (kept.status == SecretStore::Status::NotFound)
        return {};
    if (kept.status != SecretStore::Status::Done)
        keyringFailed(QStringLiteral("The password of the database %1 cannot be read from the desktop keyring")
                          .arg(keyringKey(address)),
                      kept);
    return modFunctions::TrimBlanks(kept.secret);
}

Values load(bool withAccount)
{
    Values values;
    values.database = readSetting(DatabaseValue);
    values.gatewayHost = readSetting(GatewayHostValue);
    values.alternateGatewayHost = readSetting(AlternateGatewayHostValue);
    values.databasePassword =
        Database::isServerAddress(values.database) ? databasePassword(values.database) : QString();
    values.gatewayConnections = gatewayConnections();
    values.gatewayMessagesPerSecond = gatewayMessagesPerSecond();
    if (withAccount) {
        QSqlQuery setup = Database::run(QStringLiteral("SELECT Username, Password FROM Setup ORDER BY rowid LIMIT 1"));
        if (setup.next()) {
            values.username = modFunctions::TrimBlanks(setup.value(0).toString());
            values.password = modFunctions::TrimBlanks(setup.value(1).toString());
        }
    }
    return values;
}

void save(const Values &typed, bool withAccount)
{
    const Values values = trimmed(typed);
    if (values.gatewayConnections < 1 || values.gatewayConnections > MaxGatewayConnections
        || values.gatewayMessagesPerSecond < 0 || values.gatewayMessagesPerSecond > MaxGatewayMessagesPerSecond)
        throw AppError(ErrorSetting, QStringLiteral("The send run's settings are out of range."), Source);
    const QStringList names{DatabaseValue,           DatabasePasswordValue,
                            GatewayHostValue,        AlternateGatewayHostValue,
                            GatewayConnectionsValue, GatewayMessagesPerSecondValue};
    // A password belongs to a server address; a file path keeps none.
    const bool server = Database::isServerAddress(values.database);
    const bool inKeyring = server && passwordStore() == PasswordStore::Keyring;
    const QStringList texts{values.database,
                            server && !inKeyring ? values.databasePassword : QString(),
                            values.gatewayHost,
                            values.alternateGatewayHost,
                            QString::number(values.gatewayConnections),
                            QString::number(values.gatewayMessagesPerSecond)};
    // Read raw, so that putting them back restores exactly what was there.
    requireReadableSettings();
    QStringList before;
    for (const QString &name : names)
        before << settingAt(name).Value().toString();

    // The account is written first and committed last, so a settings write
    // that fails leaves the database as it was.
    std::optional<Database::Transaction> transaction;
    if (withAccount) {
        transaction.emplace();
        storeAccount(values.username, values.password);
    }
    const SecretStore keyring;
    const QString key = keyringKey(values.database);
    std::optional<SecretStore::Answer> keptBefore; // set once the keyring was written
    qsizetype written = 0;
    try {
        for (; written < names.size(); ++written)
            writeSetting(names[written], texts[written]);
        if (inKeyring) {
            const SecretStore::Answer kept = keyring.read(key);
            if (kept.status != SecretStore::Status::Done && kept.status != SecretStore::Status::NotFound)
                keyringFailed(QStringLiteral("The database password cannot be read from the desktop keyring"), kept);
            // An emptied box means the server needs no password.
            const SecretStore::Answer stored =
                values.databasePassword.isEmpty() ? keyring.remove(key) : keyring.write(key, values.databasePassword);
            if (stored.status != SecretStore::Status::Done)
                keyringFailed(QStringLiteral("The database password could not be stored in the desktop keyring"),
                              stored);
            keptBefore = kept;
        }
        if (transaction)
            transaction->commit();
    } catch (const AppError &) {
        for (qsizetype i = 0; i < written; ++i) {
            try {
                writeSetting(names[i], before[i]);
            } catch (const AppError &) {
                // The store refuses writes now; the first error says why.
            }
        }
        // Likewise the keyring, back to what it kept before.
        if (keptBefore && keptBefore->status == SecretStore::Status::Done)
            keyring.write(key, keptBefore->secret);
        else if (keptBefore)
            keyring.remove(key);
        throw;
    }
    if (withAccount) {
        modMain::GatewayUsername = values.username;
        modMain::GatewayPassword = values.password;
    }
    modMain::GatewayConnections = values.gatewayConnections;
    modMain::GatewayMessagesPerSecond = values.gatewayMessagesPerSecond;
}

QString folderWithSeparator(const QString &folder)
{
    const QString path = modFunctions::TrimBlanks(folder);
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString databaseFileIn(const QString &folder)
{
    if (modFunctions::TrimBlanks(folder).isEmpty())
        return {};
    const QString file = folderWithSeparator(folder) + DatabaseFileName;
    return QFileInfo(file).isFile() ? file : QString();
}

} // namespace SetupStore
