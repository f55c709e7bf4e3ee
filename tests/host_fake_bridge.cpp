// A stand-in bridge for the host client's failure paths. The title part of its
// command line picks how it misbehaves:
//   nowindow  runs without ever creating the bridge window
//   mute      serves start, but ends on stop without an exit line
//   anything else, or nothing: ends at once with exit code 3 (also serves as a
//   recording tool that ends before its window appears)
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "bridge_contract.h"
#include "command_line.h"

#define FAKE_LIFETIME_MS 30000
#define FAKE_QUIT_CODE 3

static LRESULT CALLBACK MuteWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_BRIDGE_START:
        printf("%s", STATUS_STARTED STATUS_LINE_END);
        fflush(stdout);
        return 0;
    case WM_BRIDGE_STOP:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    const char* mode = SplitCommandLine(commandLine).title;
    if (mode != NULL && strcmp(mode, "nowindow") == 0) {
        Sleep(FAKE_LIFETIME_MS);
        return 0;
    }
    if (mode == NULL || strcmp(mode, "mute") != 0) {
        return FAKE_QUIT_CODE;
    }
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = MuteWndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = BRIDGE_NAME;
    RegisterClassA(&windowClass);
    if (CreateWindowExA(0, BRIDGE_NAME, BRIDGE_NAME, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL,
                        NULL, instance, NULL) == NULL) {
        return 1;
    }
    SetTimer(NULL, 0, FAKE_LIFETIME_MS, NULL);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0 && message.message != WM_TIMER) {
        DispatchMessageA(&message);
    }
    return 0;
}
