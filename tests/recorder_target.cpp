// A test target for the recording tool: a borderless topmost window that paints one
// solid colour over an exact screen rectangle, until it is closed or terminated. With
// "flicker" the colour's low bits change at every paint, so that no two frames of a
// recording are the same and yet all show the colour.
//   recorder_target LEFT TOP WIDTH HEIGHT RRGGBB [flicker]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "recorder_test_names.h"

#define FLICKER_TIMER 1
#define FLICKER_INTERVAL_MS 20
#define FLICKER_STEPS 8

static HBRUSH g_brush;
static unsigned long g_rgb;
static unsigned g_flicker;

static LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND: {
        RECT area;
        GetClientRect(window, &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area, g_brush);
        return 1;
    }
    case WM_TIMER: {
        unsigned step = ++g_flicker % FLICKER_STEPS;
        DeleteObject(g_brush);
        g_brush = CreateSolidBrush(RGB(((g_rgb >> 16) & 0xff) ^ step, ((g_rgb >> 8) & 0xff) ^ step,
                                       (g_rgb & 0xff) ^ step));
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv)
{
    if (argc != 6 && !(argc == 7 && strcmp(argv[6], "flicker") == 0)) {
        fprintf(stderr, "usage: recorder_target LEFT TOP WIDTH HEIGHT RRGGBB [flicker]\n");
        return 2;
    }
    unsigned long rgb = strtoul(argv[5], nullptr, 16);
    g_rgb = rgb;
    g_brush = CreateSolidBrush(RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff));
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TargetProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = TARGET_TITLE;
    if (g_brush == NULL || RegisterClassA(&windowClass) == 0) {
        fprintf(stderr, "recorder_target: set-up failed (error %lu)\n", GetLastError());
        return 1;
    }
    HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, TARGET_TITLE, TARGET_TITLE,
                                  WS_POPUP | WS_VISIBLE, atoi(argv[1]), atoi(argv[2]),
                                  atoi(argv[3]), atoi(argv[4]), nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    if (window == NULL) {
        fprintf(stderr, "recorder_target: CreateWindowExA failed (error %lu)\n", GetLastError());
        return 1;
    }
    if (argc == 7 && SetTimer(window, FLICKER_TIMER, FLICKER_INTERVAL_MS, nullptr) == 0) {
        fprintf(stderr, "recorder_target: SetTimer failed (error %lu)\n", GetLastError());
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 0;
}
