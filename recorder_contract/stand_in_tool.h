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

// The log sits beside the recordings, under the tool's working directory; its grammar is
// the host developers' (sdk/lumaro_bridge.h), since hosts read it too.
#define RECORDER_LOG_NAME LUMARO_TOOL_LOG_NAME
#define RECORDER_LOG RECORDINGS_FOLDER "\\" RECORDER_LOG_NAME
#define LOG_LINE_FORMAT LUMARO_TOOL_LOG_LINE_FORMAT
#define LOG_PID_TAG LUMARO_TOOL_LOG_PID_TAG
#define LOG_PID_END LUMARO_TOOL_LOG_PID_END

// Texts a reader acts on: a recording begins ("Recording WxH at L,T into PATH"), the
// slot clock stood still while it recorded, and how it ended (saved, stopped at the
// limit, failed with the file kept), or the play click recorded nothing.
#define LOG_RECORDING LUMARO_TOOL_LOG_RECORDING
#define LOG_INTO LUMARO_TOOL_LOG_INTO
#define LOG_CLOCK_GAP LUMARO_TOOL_LOG_CLOCK_GAP
#define LOG_SAVED LUMARO_TOOL_LOG_SAVED
#define LOG_SAVED_AT_LIMIT LUMARO_TOOL_LOG_SAVED_AT_LIMIT
#define LOG_FAILED LUMARO_TOOL_LOG_FAILED
#define LOG_NOT_RECORDING LUMARO_TOOL_LOG_NOT_RECORDING
