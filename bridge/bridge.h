// The bridge process's own state: its one process-wide record and the constants only
// it uses. What hosts see of it is in bridge_contract.h.
#pragma once

#include <windows.h>

#include "bridge_contract.h"
#include "capture_region.h"
#include "recorder_contract.h"

// taskkill writes its own report lines to the caller's output, which is the host's
// status pipe; they are discarded so that the host reads status lines only.
#define CLOSE_COMMAND "taskkill /IM " RECORDER_EXE " >NUL 2>&1"

// A head start for the tool before the first discovery pass.
#define LAUNCH_PAUSE_MS 100

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

// Writes one status line (a STATUS_ text) and its line end.
void PrintStatus(const char* text);
LRESULT CALLBACK BridgeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
