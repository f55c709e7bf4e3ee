// What a host and the bridge share: the bridge's names, its two command messages, its
// status lines, its command line and the folders around the tool. The bridge, hosts,
// test doubles, tests and benchmarks all take these from here.
#pragma once

// Class and title of the bridge window, the one name by which a host finds it; also
// the name of its executable.
#define BRIDGE_NAME "LUMARO_ScreenRecBridge"
#define BRIDGE_EXE BRIDGE_NAME ".exe"

// The two commands, sent or posted to the bridge window; wParam and lParam are not
// read. Private window messages, 0x401 and 0x402 (WM_USER is 0x400). Posted commands
// wait in the queue until the tool has been found and the region handed over. Start
// clicks play; stop clicks stop, ends the tool's process and ends the bridge, whose
// exit code is 0 on every path.
#define WM_BRIDGE_START (WM_USER + 1)
#define WM_BRIDGE_STOP (WM_USER + 2)

// Status lines on standard output, without their line end, each flushed at once:
#define STATUS_STARTED "startcapture"                     // after each start
#define STATUS_EXIT_SUCCESS "Exit Process Success"        // stop ended the tool
#define STATUS_EXIT_FAILED "Exit Process Failed"          // stop could not end it
#define STATUS_RECORDER_NOT_FOUND "Recorder Not Found"    // no complete tool; the bridge ends
#define STATUS_TARGET_NOT_FOUND "Target Window Not Found" // no such title; commands served

// The bridge ends each line with a line feed on a standard output in the C runtime's
// text mode, which writes it as a carriage return and a line feed: "startcapture\n"
// is written, "startcapture\r\n" arrives.
#define STATUS_LINE_END "\n"
#define WIRE_LINE_END "\r\n"

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
// (tests/CMakeLists.txt); the shipped bridge has this one.
#define DISCOVERY_PAUSE_MS 10
#ifndef DISCOVERY_TIMEOUT_MS
#define DISCOVERY_TIMEOUT_MS 60000
#endif

// The command line, raw text with no quoting: the target window's title, one
// COMMAND_LINE_SEPARATOR, then the tool folder, which ends in TOOL_FOLDER_END because
// file names are appended to it as they are. Split, checked and built by command_line.h.
#define COMMAND_LINE_SEPARATOR '#'
#define TOOL_FOLDER_END '\\'

// The folders around the tool. The tool (RECORDER_EXE) sits in the tool folder and is
// started with the tool folder followed by TOOL_WORKDIR as its working directory, two
// levels above; it writes its recordings into RECORDINGS_FOLDER there. So a host finds
// them in the tool folder followed by RECORDINGS_FROM_TOOL_FOLDER.
#define TOOL_WORKDIR "..\\.."
#define RECORDINGS_FOLDER "recordings"
#define RECORDING_EXTENSION ".avi"
#define RECORDINGS_FROM_TOOL_FOLDER TOOL_WORKDIR "\\" RECORDINGS_FOLDER "\\"
// Where the package puts the tool, relative to its own folder: two levels down, so that
// the tool works, and keeps its log, in the unpacked folder itself.
#define PACKAGE_TOOL_FOLDER "rec\\tool\\"
