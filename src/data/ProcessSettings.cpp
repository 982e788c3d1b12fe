#include "data/ProcessSettings.h"

namespace modMain {

QString DatabasePath;
QString ConnectionString;
QString GatewayUsername;
QString GatewayPassword;
QString GatewayHost;
QString HelpFile;
qint32 SelectedClientID = 0;
qint32 SavedClientID = 0;

} // namespace modMain
