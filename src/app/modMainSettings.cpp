#include "app/modMain.h"

#include "data/Database.h"
#include "data/modFunctions.h"
#include "settings/cRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace modMain {

namespace {
QString storedSetting(const QString &name)
{
    cRegistry registry;
    registry.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
    registry.setSectionKey(SettingsKey);
    registry.setValueType(cRegistry::REG_SZ);
    registry.setValueKey(name);
    return modFunctions::TrimBlanks(registry.Value().toString());
}
} // namespace

QString StoredDatabasePath()
{
    return storedSetting(QStringLiteral("Database"));
}

QString DefaultDatabasePath()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base).filePath(QStringLiteral("Tellwave/Data/SMSData.db"));
}

QString ChooseDatabasePath(const QString &stored)
{
    const QString path = modFunctions::TrimBlanks(stored);
    return path.isEmpty() ? DefaultDatabasePath() : path;
}

QString DefaultGatewayHost()
{
    const QString host = storedSetting(QStringLiteral("GatewayHost"));
    return host.isEmpty() ? QStringLiteral("127.0.0.1:8787") : host;
}

QString AlternateGatewayHost()
{
    const QString host = storedSetting(QStringLiteral("AlternateGatewayHost"));
    return host.isEmpty() ? QStringLiteral("127.0.0.1:8788") : host;
}

QString ChooseGatewayHost(const QString &username)
{
    return modFunctions::TrimBlanks(username).toUpper() == AlternateHostAccount ? AlternateGatewayHost()
                                                                : DefaultGatewayHost();
}

bool LoadSetup()
{
    QSqlQuery setup = Database::run(QStringLiteral("SELECT Username, Password FROM Setup LIMIT 1"));
    if (!setup.next())
        return false;
    GatewayUsername = modFunctions::TrimBlanks(setup.value(0).toString());
    GatewayPassword = modFunctions::TrimBlanks(setup.value(1).toString());
    return true;
}

QString FindHelpFile()
{
    const QString path = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Help/Tellwave.html"));
    return QFileInfo::exists(path) ? path : QString();
}

} // namespace modMain
