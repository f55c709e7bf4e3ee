// Names shared by the recording tool's tests and their target window program.
#pragma once

#define TARGET_TITLE "RecorderTestTarget"
#define TARGET_EXE "recorder_target.exe"
