#include "settings/RunningSetup.h"

#include "data/AppError.h"
#include "settings/Settings.h"

namespace RunningSetup {

namespace {

struct Running
{
    QString host;
    QString username;
    QString password;
    int connections = Settings::entry(Settings::Key::GatewayConnections).fallback;
    int perSecond = Settings::entry(Settings::Key::GatewayMessagesPerSecond).fallback;
};

Running values;

// A written value is read back at once. A value put back as it was stored,
// unreadable, leaves the running one as it is: the error is the setup
// window's and the next start-up's to report, not the writer's.
const QMetaObject::Connection listening =
    QObject::connect(&Settings::notifier(), &Settings::changed, [](Settings::Key key) {
        try {
            if (key == Settings::Key::GatewayConnections)
                values.connections = Settings::value<Settings::Key::GatewayConnections>();
            else if (key == Settings::Key::GatewayMessagesPerSecond)
                values.perSecond = Settings::value<Settings::Key::GatewayMessagesPerSecond>();
        } catch (const AppError &) {
        }
    });

} // namespace

QString gatewayHost()
{
    return values.host;
}

void useGatewayHost(const QString &host)
{
    values.host = host;
}

QString gatewayUsername()
{
    return values.username;
}

QString gatewayPassword()
{
    return values.password;
}

void useGatewayAccount(const QString &username, const QString &password)
{
    values.username = username;
    values.password = password;
}

int gatewayConnections()
{
    return values.connections;
}

int gatewayMessagesPerSecond()
{
    return values.perSecond;
}

void useGatewayConnections(int connections)
{
    values.connections = connections;
}

void useGatewayMessagesPerSecond(int messagesPerSecond)
{
    values.perSecond = messagesPerSecond;
}

void load()
{
    const int connections = Settings::value<Settings::Key::GatewayConnections>();
    values.perSecond = Settings::value<Settings::Key::GatewayMessagesPerSecond>();
    values.connections = connections;
}

} // namespace RunningSetup
