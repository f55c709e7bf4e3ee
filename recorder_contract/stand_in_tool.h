// What bridge-host relies on in the stand-in recording tool (recorder/) beyond the
// names the bridge drives it by: how long the tool may take to start a recording, and
// the tool's log, which bridge-host reads after a run to learn which file its own tool
// instance wrote and how that recording ended. Both programs take these from here.
#pragma once

#include "bridge_contract.h"

// The tool gives up starting a recording when its encoder has not started within this
// bound, which hosts are told of (sdk/lumaro_bridge.h). A host waiting for the start
// waits longer, so that by the time it gives up the tool has either begun recording or
// given up too.
#define RECORDER_START_TIMEOUT_MS LUMARO_TOOL_START_TIMEOUT_MS

// The log sits beside the recordings, under the tool's working directory. One line per
// event, ending in CR LF:
//   2026-12-08 13:23:37 pid 4242: Recording 640x360 at 0,0 into recordings\recording_20261208_132337.avi
// The process id keeps apart the lines of instances that run at once: an old instance
// that finishes its file after a new one has started writes into the same log.
#define RECORDER_LOG_NAME "recorder.log"
#define RECORDER_LOG RECORDINGS_FOLDER "\\" RECORDER_LOG_NAME
#define LOG_LINE_FORMAT "%04u-%02u-%02u %02u:%02u:%02u pid %lu: %s\r\n"
// What stands between the time and the text: LOG_PID_TAG, the process id, LOG_PID_END.
#define LOG_PID_TAG " pid "
#define LOG_PID_END ": "

// Texts a reader acts on. A recording begins, into the path that ends the line, relative
// to the working directory: "Recording WxH at L,T into PATH". The line comes before the
// file is written; should the encoder then not start, LOG_NOT_RECORDING follows and the
// file is removed.
#define LOG_RECORDING "Recording "
#define LOG_INTO " into "
// How the recording ended: each text is followed by the path, ": " and the figures, and
// a failure then by ": " and the reason. The file is a complete AVI in all three cases.
#define LOG_SAVED "Saved "
#define LOG_SAVED_AT_LIMIT "Stopped at the file size limit; saved "
#define LOG_FAILED "Recording failed; kept "
// The play click recorded nothing; the reason follows.
#define LOG_NOT_RECORDING "Not recording: "
// While recording: the slot clock stood still (a sleep, a suspended machine) and the
// file leaves that time out; how long follows, in seconds.
#define LOG_CLOCK_GAP "The clock stood still for "
