// The bridge process: its one process-wide record, its window name, its two command
// messages and its status lines. Hosts find the window by BRIDGE_NAME (class and title).
#pragma once

#include <windows.h>

#include "capture_region.h"
#include "recorder_contract.h"

#define BRIDGE_NAME "LUMARO_ScreenRecBridge"

#define WM_BRIDGE_START (WM_USER + 1)
#define WM_BRIDGE_STOP (WM_USER + 2)

#define STATUS_STARTED "startcapture\n"
#define STATUS_EXIT_SUCCESS "Exit Process Success\n"
#define STATUS_EXIT_FAILED "Exit Process Failed\n"
#define STATUS_RECORDER_NOT_FOUND "Recorder Not Found\n"
#define STATUS_TARGET_NOT_FOUND "Target Window Not Found\n"

// taskkill writes its own report lines to the caller's output, which is the host's
// status pipe; they are discarded so that the host reads status lines only.
#define CLOSE_COMMAND "taskkill /IM " RECORDER_EXE " >NUL 2>&1"
#define WORKDIR_SUFFIX "..\\.."

#define LAUNCH_PAUSE_MS 100
// Between discovery passes: short enough that a tool complete at one pass is seen
// at once, long enough that waiting costs almost no processor time.
#define DISCOVERY_PAUSE_MS 10
#define DISCOVERY_TIMEOUT_MS 60000

struct BridgeState {
    HWND recorderWindow;
    HWND targetWindow;
    HWND playButton;
    HWND stopButton;
    HWND editLeft;
    HWND editTop;
    HWND editWidth;
    HWND editHeight;
    HANDLE recorderProcess;
    char leftText[REGION_TEXT_SIZE];
    char topText[REGION_TEXT_SIZE];
    char widthText[REGION_TEXT_SIZE];
    char heightText[REGION_TEXT_SIZE];
};

extern BridgeState g_bridge;

void PrintStatus(const char* text);
LRESULT CALLBACK BridgeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
