// The windows bridge-host can record, as `bridge-host windows` lists them, and the check
// of the target before a run, which looks the title up exactly as the bridge does.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "window_choice.h"

// One UTF-8 line per top-level window shown with a title, minimised ones included and
// marked, in z-order (FormatWindowLine). False with one sentence naming the failed call.
bool ListRecordableWindows(std::vector<std::string>& lines, std::string& error);

// The window the bridge will record, as the check found it.
struct TargetFound {
    HWND window; // null when none has the title
    WindowRect rect;
    ScreenSize screen;
};

// Finds the window as the bridge will (FindWindowA, so a title that differs only in case
// is found) and judges it (CheckTarget); the check's lines are UTF-8. The title has passed
// lumaro_bridge_check_command_line. False with one sentence naming the failed call.
bool CheckTargetWindow(const char* narrowTitle, TargetCheck& check, TargetFound& found,
                       std::string& error);
