// What bridge-host shows of itself besides its output: its exit codes and the hidden
// window through which it hears of logoff and shutdown.
#pragma once

#define HOST_EXE "bridge-host.exe"

#define EXIT_RECORDING_FAILED 1
#define EXIT_BAD_OPTIONS 2

// A top-level window that is never shown. Windows tells a console program that uses
// USER32 of logoff and shutdown only through WM_QUERYENDSESSION and WM_ENDSESSION to its
// top-level windows, never through console events.
#define HOST_WINDOW_CLASS "LUMARO_BridgeHost"
