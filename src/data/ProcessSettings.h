#pragma once

#include <QString>

// Process-wide settings that start-up fills and every layer reads. Everything
// runs on the one user-interface thread, so these are plain variables.
namespace modMain {

// Full path of the database file, file name included.
extern QString DatabasePath;
// "Driver=QSQLITE;Database=<DatabasePath>" (or "Driver=QPSQL;..." for a
// server address), built once at start-up.
extern QString ConnectionString;
// The PostgreSQL server's password (from the desktop's keyring, or the
// settings value "DatabasePassword" without one); never part of
// ConnectionString nor shown.
extern QString DatabasePassword;
// The gateway account from Setup, blanks removed at both ends.
extern QString GatewayUsername;
extern QString GatewayPassword;
// Host (and port) of the gateway, chosen once at start-up.
extern QString GatewayHost;
// How many messages a send run keeps in flight at once (each on a connection
// of its own), and the most it sends in any one second (0: no limit).
extern int GatewayConnections;
extern int GatewayMessagesPerSecond;
// The help page, when one is present beside the program.
extern QString HelpFile;

// Hand-over between windows: 0 means none.
extern qint32 SelectedClientID;
extern qint32 SavedClientID;

} // namespace modMain
