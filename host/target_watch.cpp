#include "target_watch.h"

// Whether a point of the window's part of the screen shows another top-level window.
static bool Covered(HWND window, const WindowRect& rect, ScreenSize screen)
{
    const CaptureRegion region = JudgeArea(rect, screen).region;
    for (int row = 0; row < WATCH_GRID; ++row) {
        for (int column = 0; column < WATCH_GRID; ++column) {
            // The middle of each cell, so that frames and edges are left alone.
            POINT point = {region.left + region.width * (2 * column + 1) / (2 * WATCH_GRID),
                           region.top + region.height * (2 * row + 1) / (2 * WATCH_GRID)};
            HWND shown = WindowFromPoint(point);
            if (shown != NULL && GetAncestor(shown, GA_ROOT) != window) {
                return true;
            }
        }
    }
    return false;
}

WatchSample SampleTarget(HWND window, ScreenSize screen, uint32_t atMs)
{
    WatchSample sample = {atMs, false, false, false, {0, 0, 0, 0}};
    RECT r;
    if (!IsWindow(window) || !GetWindowRect(window, &r)) {
        sample.closed = !IsWindow(window);
        return sample;
    }
    sample.rect = {r.left, r.top, r.right, r.bottom};
    sample.minimised = IsIconic(window) != FALSE;
    sample.covered = !sample.minimised && Covered(window, sample.rect, screen);
    return sample;
}
