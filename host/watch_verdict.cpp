#include "watch_verdict.h"

#include <stdio.h>

// How each trouble reads: its start, its end, and the summary's words.
static const struct {
    const char* started;
    const char* ended;
    const char* summary;
} TROUBLE_TEXTS[WATCH_TROUBLES] = {
    {"minimised", "restored", "minimised"},
    {nullptr, "back in its place", "out of its place"}, // MovedWord says which
    {"covered by another window", "uncovered", "covered"},
};

std::string SecondsText(uint32_t milliseconds)
{
    // Cut to tenths, as the elapsed time on the recording's line is.
    char text[32];
    snprintf(text, sizeof text, "%lu.%lu s", static_cast<unsigned long>(milliseconds / 1000),
             static_cast<unsigned long>(milliseconds / 100 % 10));
    return text;
}

static std::string RectText(const WindowRect& r)
{
    char text[96];
    snprintf(text, sizeof text, "%ld,%ld %lldx%lld", static_cast<long>(r.left),
             static_cast<long>(r.top), static_cast<long long>(r.right) - r.left,
             static_cast<long long>(r.bottom) - r.top);
    return text;
}

static bool SameRect(const WindowRect& a, const WindowRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// "moved", "resized" or "moved and resized".
static const char* MovedWord(const WindowRect& recorded, const WindowRect& now)
{
    bool moved = now.left != recorded.left || now.top != recorded.top;
    bool resized = now.right - now.left != recorded.right - recorded.left ||
                   now.bottom - now.top != recorded.bottom - recorded.top;
    return moved && resized ? "moved and resized" : moved ? "moved" : "resized";
}

WatchState StartWatch(const WindowRect& recorded)
{
    WatchState state = {};
    state.recorded = recorded;
    return state;
}

static void Turn(WatchState& state, WatchTrouble trouble, bool on, const WatchSample& sample,
                 WatchStep& step)
{
    if (on == state.on[trouble]) {
        return;
    }
    state.on[trouble] = on;
    std::string at = " at " + SecondsText(sample.atMs);
    if (on) {
        state.since[trouble] = sample.atMs;
        step.lines.push_back(
            "the window was " +
            (trouble == WATCH_MOVED
                 ? MovedWord(state.recorded, sample.rect) + at + " (now " +
                       RectText(sample.rect) + "); the recording keeps to " +
                       RectText(state.recorded)
                 : TROUBLE_TEXTS[trouble].started + at));
        return;
    }
    uint32_t lasted = sample.atMs - state.since[trouble];
    state.total[trouble] += lasted;
    step.lines.push_back("the window is " + std::string(TROUBLE_TEXTS[trouble].ended) + at +
                         ", after " + SecondsText(lasted));
}

WatchStep WatchTarget(WatchState& state, const WatchSample& sample)
{
    WatchStep step = {false, {}};
    if (sample.closed) {
        step.stop = true;
        step.lines.push_back("the window was closed after " + SecondsText(sample.atMs));
        return step;
    }
    Turn(state, WATCH_MINIMISED, sample.minimised, sample, step);
    // A minimised window has no place on the screen to be away from or covered in.
    if (!sample.minimised) {
        Turn(state, WATCH_MOVED, !SameRect(sample.rect, state.recorded), sample, step);
        Turn(state, WATCH_COVERED, sample.covered, sample, step);
    }
    return step;
}

std::vector<std::string> WatchSummary(const WatchState& state, uint32_t endMs)
{
    std::vector<std::string> lines;
    for (int trouble = 0; trouble < WATCH_TROUBLES; ++trouble) {
        uint32_t total = state.total[trouble] + (state.on[trouble] ? endMs - state.since[trouble]
                                                                   : 0);
        if (total > 0) {
            lines.push_back("the window was " + std::string(TROUBLE_TEXTS[trouble].summary) +
                            " for " + SecondsText(total) + " of " + SecondsText(endMs));
        }
    }
    return lines;
}
