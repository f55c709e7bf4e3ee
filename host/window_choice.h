// Choosing the window to record, as pure logic: the titles close to one that no window
// has, where a window lies against the area the bridge can record, the check of the
// target before a run, and the line `bridge-host windows` prints for each window.
// Titles are UTF-8 here; every line returned is one line.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "capture_region.h"

#define CLOSE_TITLES_MOST 3
// Titles are compared by their first code points only, which bounds the work per pair.
#define TITLE_COMPARE_LENGTH 128
// A title found inside another counts as close only from this many code points on, so
// that a short one does not match nearly every window.
#define CONTAINED_TITLE_MIN 3

// A window's rectangle as GetWindowRect gives it.
struct WindowRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// SM_CXVIRTUALSCREEN and SM_CYVIRTUALSCREEN, both above zero: the bridge cuts a
// window's right and bottom there and its left and top at the main screen's origin.
struct ScreenSize {
    int32_t width;
    int32_t height;
};

// The candidates that come close to the title, best first, without duplicates, at most
// `most`: equal to it ignoring case, then within an edit distance (insertions, deletions,
// changes and swaps of neighbours, counted by code point) of a third of the title's
// length but at least 1, nearest first, then one holding the other ignoring case,
// nearest in length first; ties keep the candidates' order. Case is folded for the
// letters of ASCII and Latin-1 alone: the bridge itself finds a title that differs only
// in case, so the folding only ranks near misses.
std::vector<std::string> CloseTitles(const std::string& title,
                                     const std::vector<std::string>& candidates,
                                     size_t most = CLOSE_TITLES_MOST);

enum AreaFit {
    AREA_INSIDE,
    AREA_PARTLY_OUTSIDE, // recorded in part: the region below
    AREA_OUTSIDE,        // nothing is left after the cut
    AREA_NO_SIZE,        // the rectangle itself is empty
};

// The sides on which a window passes the recordable area.
enum {
    SIDE_LEFT = 1,  // left of the main screen's origin
    SIDE_ABOVE = 2, // above it
    SIDE_RIGHT = 4, // past the virtual screen's width
    SIDE_BELOW = 8, // past its height
};

struct AreaVerdict {
    AreaFit fit;
    unsigned sides;        // SIDE_ flags
    CaptureRegion region;  // the rectangle as the bridge cuts it
};

AreaVerdict JudgeArea(const WindowRect& rect, ScreenSize screen);

// What the look-up the bridge makes found for the title.
struct TargetState {
    bool found;
    bool minimised;
    bool visible;
    WindowRect rect;
    bool cloaked;        // the system keeps it from view: on another virtual desktop
    int sameTitles;      // shown windows with the title, this one among them
    std::string program; // its program's file name, UTF-8
};

enum TargetVerdict {
    TARGET_OK,
    TARGET_WARNING, // the run goes on; the line says what part will be recorded
    TARGET_REFUSED, // the line says why and what to do
};

struct TargetCheck {
    TargetVerdict verdict;
    std::string line;
    // A warning besides: other windows have the title, and which one is recorded.
    std::string sameTitle;
};

// otherTitles are the windows' titles for suggestions when none has the title.
TargetCheck CheckTarget(const std::string& title, const TargetState& target, ScreenSize screen,
                        const std::vector<std::string>& otherTitles);

// The title in double quotes as the C runtime reads it back as one argument (a quote,
// and the backslashes before it, escaped), control characters shown as '?'.
std::string QuotedTitle(const std::string& title);

enum SameTitle {
    SAME_TITLE_NONE,
    SAME_TITLE_FRONT,  // in front of the others with its title: the one recorded
    SAME_TITLE_BEHIND, // behind another with its title
};

struct WindowEntry {
    std::string title;   // UTF-8
    bool narrowLossless; // converts to the system's ANSI code page unchanged
    std::string program; // its program's file name, UTF-8; "?" when unknown
    WindowRect rect;
    bool minimised;
    bool cloaked;
    SameTitle sameTitle;
};

// Marks the windows, in z-order and marked SAME_TITLE_NONE, whose title another one
// has too.
void MarkSameTitles(std::vector<WindowEntry>& windows);

// `"Untitled - Notepad"  notepad.exe  at 120,80  1026x769`, then its marks: cloaked,
// minimised, outside or partly outside the recordable area, no size, the same title as
// another, cannot be recorded and why.
std::string FormatWindowLine(const WindowEntry& window, ScreenSize screen);
