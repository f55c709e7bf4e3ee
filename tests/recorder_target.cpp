// A test target for the recording tool: a borderless topmost window that paints one
// solid colour over an exact screen rectangle, until it is closed or terminated.
//   recorder_target LEFT TOP WIDTH HEIGHT RRGGBB
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "recorder_test_names.h"

static HBRUSH g_brush;

static LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND: {
        RECT area;
        GetClientRect(window, &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area, g_brush);
        return 1;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv)
{
    if (argc != 6) {
        fprintf(stderr, "usage: recorder_target LEFT TOP WIDTH HEIGHT RRGGBB\n");
        return 2;
    }
    unsigned long rgb = strtoul(argv[5], nullptr, 16);
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
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 0;
}
