// What a host and the bridge share: the bridge's names, its two command messages, its
// status lines, its command line and the folders around the tool. Each is defined once,
// in the host developers' header sdk/lumaro_bridge.h; the bridge, bridge-host, test
// doubles, tests and benchmarks use the names below, which stand for those.
#pragma once

#include "../sdk/lumaro_bridge.h"

// Class and title of the bridge window, the one name by which a host finds it; also
// the name of its executable.
#define BRIDGE_NAME LUMARO_BRIDGE_WINDOW_NAME
#define BRIDGE_EXE LUMARO_BRIDGE_EXE

// The two commands, sent or posted to the bridge window; wParam and lParam are not
// read. Posted commands wait in the queue until the tool has been found and the region
// handed over. Start clicks play; stop clicks stop, ends the tool's process and ends
// the bridge, whose exit code is 0 on every path.
#define WM_BRIDGE_START LUMARO_BRIDGE_WM_START
#define WM_BRIDGE_STOP LUMARO_BRIDGE_WM_STOP

// Status lines on standard output, without their line end, each flushed at once:
#define STATUS_STARTED LUMARO_BRIDGE_STATUS_STARTED
#define STATUS_EXIT_SUCCESS LUMARO_BRIDGE_STATUS_EXIT_SUCCESS
#define STATUS_EXIT_FAILED LUMARO_BRIDGE_STATUS_EXIT_FAILED
#define STATUS_RECORDER_NOT_FOUND LUMARO_BRIDGE_STATUS_RECORDER_NOT_FOUND
#define STATUS_TARGET_NOT_FOUND LUMARO_BRIDGE_STATUS_TARGET_NOT_FOUND

// The bridge ends each line with a line feed on a standard output in the C runtime's
// text mode, which writes it as a carriage return and a line feed: "startcapture\n"
// is written, "startcapture\r\n" arrives.
#define STATUS_LINE_END LUMARO_BRIDGE_WRITTEN_LINE_END
#define WIRE_LINE_END LUMARO_BRIDGE_LINE_END

// Each status line byte for byte as the host receives it.
#define WIRE_STARTED STATUS_STARTED WIRE_LINE_END
#define WIRE_EXIT_SUCCESS STATUS_EXIT_SUCCESS WIRE_LINE_END
#define WIRE_EXIT_FAILED STATUS_EXIT_FAILED WIRE_LINE_END
#define WIRE_RECORDER_NOT_FOUND STATUS_RECORDER_NOT_FOUND WIRE_LINE_END
#define WIRE_TARGET_NOT_FOUND STATUS_TARGET_NOT_FOUND WIRE_LINE_END

// The bridge looks for the tool's window and controls once per pause: short enough
// that a tool complete at one pass is seen at once, long enough that waiting costs
// almost no processor time. After the timeout it says STATUS_RECORDER_NOT_FOUND. A
// build of the bridge for the tests alone sets a timeout of seconds instead
// (tests/CMakeLists.txt); the shipped bridge has the one hosts are told of.
#define DISCOVERY_PAUSE_MS 10
#ifndef DISCOVERY_TIMEOUT_MS
#define DISCOVERY_TIMEOUT_MS LUMARO_BRIDGE_DISCOVERY_TIMEOUT_MS
#endif

// The command line, raw text with no quoting: the target window's title, one
// COMMAND_LINE_SEPARATOR, then the tool folder, which ends in TOOL_FOLDER_END because
// file names are appended to it as they are. Checked and built by the SDK header's
// rules, split by command_line.h.
#define COMMAND_LINE_SEPARATOR LUMARO_BRIDGE_SEPARATOR
#define TOOL_FOLDER_END LUMARO_BRIDGE_FOLDER_END

// The folders around the tool. The tool (RECORDER_EXE) sits in the tool folder and is
// started with the tool folder followed by TOOL_WORKDIR as its working directory, two
// levels above; it writes its recordings into RECORDINGS_FOLDER there. So a host finds
// them in the tool folder followed by RECORDINGS_FROM_TOOL_FOLDER.
#define TOOL_WORKDIR LUMARO_BRIDGE_TOOL_WORKDIR
#define RECORDINGS_FOLDER LUMARO_BRIDGE_RECORDINGS_FOLDER
#define RECORDING_EXTENSION LUMARO_BRIDGE_RECORDING_EXTENSION
#define RECORDINGS_FROM_TOOL_FOLDER LUMARO_BRIDGE_RECORDINGS_FROM_TOOL_FOLDER
// Where the package puts the tool, relative to the unpacked folder: two levels down, so
// that the tool's working directory is the unpacked folder itself and recordings land
// in its RECORDINGS_FOLDER. scripts/package and scripts/check-package take it from here
// (TREE/contract.sh, with forward slashes).
#define PACKAGE_TOOL_FOLDER "rec\\tool\\"
