#ifndef BRIDGE_TRAY_RETRY_H_
#define BRIDGE_TRAY_RETRY_H_

#include <windows.h>

// How long the tray waits before it offers its icon to the shell again, after |failures| offers
// (at least one) that the shell refused: a second, doubled with each failure, at most two
// minutes. A shell that is not ready at sign-in usually is within seconds; one that takes longer
// is still asked every two minutes, which costs nothing.
UINT TrayAddRetryDelayMs(int failures);

#endif  // BRIDGE_TRAY_RETRY_H_
