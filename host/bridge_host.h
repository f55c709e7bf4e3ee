// What bridge-host shows of itself besides its output: its exit codes, its guard and
// the hidden window through which it hears of logoff and shutdown.
#pragma once

#define HOST_EXE "bridge-host.exe"
// The guard that stops the bridge should bridge-host end first (StartGuard). It has a
// name of its own, so that ending bridge-host by name does not end the guard with it.
#define GUARD_EXE "bridge-guard.exe"

// Why a run that was stopped before the start command went out recorded nothing.
#define STOPPED_BEFORE_RECORDING "stopped before recording began"

#define EXIT_RECORDED 0          // a complete recording, as long as asked
#define EXIT_RECORDING_FAILED 1  // no complete recording
#define EXIT_BAD_OPTIONS 2
#define EXIT_RECORDING_SHORT 3   // a complete recording, shorter than asked

// A top-level window that is never shown. Windows tells a console program that uses
// USER32 of logoff and shutdown only through WM_QUERYENDSESSION and WM_ENDSESSION to its
// top-level windows, never through console events.
#define HOST_WINDOW_CLASS "LUMARO_BridgeHost"
