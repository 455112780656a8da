#include "app/qtmessages.h"

void routeQtMessages() {}
