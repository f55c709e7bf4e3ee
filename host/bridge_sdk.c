/* The shipped C client, compiled once for bridge-host, its guard and their tests, which
   drive the bridge through its public API alone. */
#define LUMARO_BRIDGE_IMPLEMENTATION
#include "lumaro_bridge.h"
