// What became of the window while it was recorded, as pure logic: the recording keeps
// to the rectangle the window had when it began, so a window that closes, is minimised,
// moves, changes size or is covered leaves a recording of something else. Fed one look
// at the window at a time, the watch says when each of these starts and ends, stops the
// recording when the window is gone, and sums up at the end.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "window_choice.h"

// One look at the window.
struct WatchSample {
    uint32_t atMs;  // since the recording began
    bool closed;    // the window no longer exists
    bool minimised;
    bool covered;   // another window shows at some point of its rectangle
    WindowRect rect;
};

enum WatchTrouble {
    WATCH_MINIMISED,
    WATCH_MOVED, // moved or resized: away from the rectangle being recorded
    WATCH_COVERED,
    WATCH_TROUBLES
};

struct WatchState {
    WindowRect recorded;
    bool on[WATCH_TROUBLES];
    uint32_t since[WATCH_TROUBLES];
    uint32_t total[WATCH_TROUBLES];
};

struct WatchStep {
    bool stop;                      // the window is gone: the recording ends now
    std::vector<std::string> lines; // warnings as they start and end; with stop, the reason
};

WatchState StartWatch(const WindowRect& recorded);

WatchStep WatchTarget(WatchState& state, const WatchSample& sample);

// One line per trouble the recording had, with its time out of the recording's.
std::vector<std::string> WatchSummary(const WatchState& state, uint32_t endMs);

// "12.3 s"
std::string SecondsText(uint32_t milliseconds);
