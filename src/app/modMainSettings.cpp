#include "app/modMain.h"

#include "data/Database.h"
#include "data/modFunctions.h"
#include "settings/RunningSetup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace modMain {

QString StoredDatabasePath()
{
    return Settings::value<Settings::Key::Database>();
}

QString DefaultDatabasePath()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base).filePath(QStringLiteral("Tellwave/Data/") + SetupStore::DatabaseFileName);
}

QString ChooseDatabasePath(const QString &stored)
{
    const QString path = modFunctions::TrimBlanks(stored);
    return path.isEmpty() ? DefaultDatabasePath() : path;
}

QString DefaultGatewayHost()
{
    const QString host = Settings::value<Settings::Key::GatewayHost>();
    return host.isEmpty() ? SetupStore::BuiltInGatewayHost : host;
}

QString AlternateGatewayHost()
{
    const QString host = Settings::value<Settings::Key::AlternateGatewayHost>();
    return host.isEmpty() ? SetupStore::BuiltInAlternateGatewayHost : host;
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
    RunningSetup::useGatewayAccount(modFunctions::TrimBlanks(setup.value(0).toString()),
                                    modFunctions::TrimBlanks(setup.value(1).toString()));
    return true;
}

QString FindHelpFile(const QString &programFolder)
{
    // Beside the program in the build tree; in share/tellwave beside bin/
    // when installed, wherever the installation's prefix is.
#ifndef TELLWAVE_HELP_FROM_BIN
#define TELLWAVE_HELP_FROM_BIN "../share/tellwave"
#endif
    const QDir folder(programFolder);
    for (const QString &place :
         {QStringLiteral("Help/Tellwave.html"), QStringLiteral(TELLWAVE_HELP_FROM_BIN "/Tellwave.html")}) {
        const QFileInfo page(folder.filePath(place));
        if (page.isFile())
            return QDir::cleanPath(page.absoluteFilePath());
    }
    return QString();
}

QString FindHelpFile()
{
    return FindHelpFile(QCoreApplication::applicationDirPath());
}

} // namespace modMain
