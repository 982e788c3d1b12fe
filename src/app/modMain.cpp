#include "app/modMain.h"
int modMain::Main() { return 0; }
