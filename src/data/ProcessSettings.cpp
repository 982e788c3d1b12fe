#include "data/ProcessSettings.h"

namespace modMain {

QString DatabasePath;
QString ConnectionString;
QString DatabasePassword;
QString GatewayUsername;
QString GatewayPassword;
QString GatewayHost;
int GatewayConnections = 4;
int GatewayMessagesPerSecond = 0;
QString HelpFile;
qint32 SelectedClientID = 0;
qint32 SavedClientID = 0;

} // namespace modMain
