#include "settings/SetupStore.h"

#include "data/OperatorTime.h"

#include "data/Database.h"
#include "data/modFunctions.h"
#include "settings/RunningSetup.h"
#include "settings/SecretStore.h"
#include "settings/cRegistry.h"

#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace SetupStore {

namespace {

using Key = Settings::Key;

constexpr qint64 ErrorSetting = cRegistry::ErrorKey;
constexpr qint64 ErrorAccount = 3000;
constexpr qint64 ErrorKeyring = 3001;
const QString Source = QStringLiteral("SetupStore");

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
    const QString kept = Settings::value<Key::DatabasePassword>();
    const QString database = Settings::value<Key::Database>();
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
    Settings::setValue<Key::DatabasePassword>(QString());
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

Backups::Kept backupsKept()
{
    return {Settings::value<Key::DailyBackupsKept>(), Settings::value<Key::WeeklyBackupsKept>()};
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
                           .arg(id.trimmed(), Settings::name(Key::OperatorTimeZone), Settings::SettingsKey),
                       QStringLiteral("OperatorTime"));
    return zone;
}

QTimeZone operatorTimeZone()
{
    return timeZoneNamed(Settings::value<Key::OperatorTimeZone>());
}

bool requeueUnreceived()
{
    return Settings::value<Key::RequeueUnreceived>() != 0;
}

QString lastFileFolder()
{
    return Settings::value<Key::LastFileFolder>();
}

void keepLastFileFolder(const QString &folder)
{
    Settings::setValue<Key::LastFileFolder>(folder);
}

PasswordStore passwordStore()
{
    return SecretStore::available() ? PasswordStore::Keyring : PasswordStore::SettingsFile;
}

QString databasePassword(const QString &address)
{
    if (passwordStore() == PasswordStore::SettingsFile)
        return Settings::value<Key::DatabasePassword>();
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
    values.database = Settings::value<Key::Database>();
    values.gatewayHost = Settings::value<Key::GatewayHost>();
    values.alternateGatewayHost = Settings::value<Key::AlternateGatewayHost>();
    values.databasePassword =
        Database::isServerAddress(values.database) ? databasePassword(values.database) : QString();
    values.gatewayConnections = Settings::value<Key::GatewayConnections>();
    values.gatewayMessagesPerSecond = Settings::value<Key::GatewayMessagesPerSecond>();
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
    const auto outOfRange = [](Key key, int number) {
        return number < Settings::entry(key).least || number > Settings::entry(key).most;
    };
    if (outOfRange(Key::GatewayConnections, values.gatewayConnections)
        || outOfRange(Key::GatewayMessagesPerSecond, values.gatewayMessagesPerSecond))
        throw AppError(ErrorSetting, QStringLiteral("The send run's settings are out of range."), Source);
    const QList<Key> keys{Key::Database,           Key::DatabasePassword,
                          Key::GatewayHost,        Key::AlternateGatewayHost,
                          Key::GatewayConnections, Key::GatewayMessagesPerSecond};
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
    QStringList before;
    for (const Key key : keys)
        before << Settings::stored(key);

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
        for (; written < keys.size(); ++written)
            Settings::store(keys[written], texts[written]);
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
                Settings::store(keys[i], before[i]);
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
    if (withAccount)
        RunningSetup::useGatewayAccount(values.username, values.password);
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
