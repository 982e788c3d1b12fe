#pragma once

#include <QString>

// What the running program uses of its setup, held from start-up on: the
// gateway host chosen then, the gateway account of the database in use, and
// the send run's two settings. Everything runs on the one user-interface
// thread.
namespace RunningSetup {

// Host (and port) of the gateway.
QString gatewayHost();
void useGatewayHost(const QString &host);

// The gateway account, blanks removed at both ends.
QString gatewayUsername();
QString gatewayPassword();
void useGatewayAccount(const QString &username, const QString &password);

// How many messages a send run keeps in flight at once (each on a connection
// of its own), and the most it sends in any one second (0: no limit). Read
// from the settings by load(), and again whenever Settings writes either
// (a send run takes them when it starts); a value written that cannot be read
// back leaves them as they were.
int gatewayConnections();
int gatewayMessagesPerSecond();
void useGatewayConnections(int connections);
void useGatewayMessagesPerSecond(int messagesPerSecond);
// AppError when either setting cannot be read (the values are then kept).
void load();

} // namespace RunningSetup
