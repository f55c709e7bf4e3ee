// The names by which the bridge finds and drives the recording tool. The tool is a
// separate program; these texts are all the two share, so both sides take them from here.
#pragma once

#include "../sdk/lumaro_bridge.h"

// Hosts find the tool by these two as well.
#define RECORDER_EXE LUMARO_TOOL_EXE
#define RECORDER_TITLE LUMARO_TOOL_TITLE
#define BUTTON_CLASS "WindowsForms10.BUTTON.app.0.141b42a_r9_ad1"
#define EDIT_CLASS "WindowsForms10.EDIT.app.0.141b42a_r9_ad1"

// Control texts at discovery. The four field texts differ because the bridge tells
// the fields apart by their text alone.
#define PLAY_TEXT "LU_VideoPlay"
#define STOP_TEXT "LU_VideoStop"
#define LEFT_TEXT "0"
#define TOP_TEXT "1"
#define WIDTH_TEXT "800"
#define HEIGHT_TEXT "600"
