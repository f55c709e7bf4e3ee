// One look at the window being recorded, for the watch (watch_verdict.h): whether it
// still exists, is minimised, where it is, and whether another window shows anywhere on
// a grid of points over it. Reads the system's window state only: no message is sent,
// so a window that hangs cannot hold the look up.
#pragma once

#include <windows.h>

#include "watch_verdict.h"

// The watch looks about once a second; whether the window still exists, at every turn
// of the recording's loop, so that a closed window stops the recording at once.
#define WATCH_INTERVAL_MS 1000
// Points a side of the grid sampled for other windows.
#define WATCH_GRID 5

WatchSample SampleTarget(HWND window, ScreenSize screen, uint32_t atMs);
