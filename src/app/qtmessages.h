#pragma once

// Sends Qt's warnings and messages where the platform's window programs send theirs: on Windows to the
// debugger output (a window program has no console), elsewhere to standard error as Qt does by itself.
void routeQtMessages();
