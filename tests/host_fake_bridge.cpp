// A stand-in bridge for the host client's failure paths. The title part of its
// command line picks how it misbehaves:
//   nowindow   runs without ever creating the bridge window
//   mute       serves start, but ends on stop without an exit line
//   served     serves start, and on stop says "Exit Process Success"
//   startquit  ends right after start, without an exit line, as a bridge killed would
//   nostart    writes nothing on start; on stop says "Exit Process Failed"
//   endedtool  starts the tool from its folder; on stop ends it first, as a crash
//              would, then says "Exit Process Failed"
//   stucktool  starts the tool from its folder; on stop says "Exit Process Failed" and
//              leaves it running
//   folder     no bridge at all: a window titled as the tool, of another program (a
//              file manager open on a folder of that name, say)
//   anything else, or nothing: ends at once with exit code 3 (also serves as a
//   recording tool that ends before its window appears)
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "bridge_contract.h"
#include "command_line.h"
#include "recorder_contract.h"

#define FAKE_LIFETIME_MS 30000
#define FAKE_QUIT_CODE 3

static std::string g_mode;
static PROCESS_INFORMATION g_tool;

static LRESULT CALLBACK FakeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_BRIDGE_START:
        if (g_mode == "nostart") {
            return 0;
        }
        printf("%s", STATUS_STARTED STATUS_LINE_END);
        fflush(stdout);
        if (g_mode == "startquit") {
            PostQuitMessage(0);
        }
        return 0;
    case WM_BRIDGE_STOP:
        if (g_mode == "endedtool") {
            TerminateProcess(g_tool.hProcess, FAKE_QUIT_CODE);
            WaitForSingleObject(g_tool.hProcess, FAKE_LIFETIME_MS);
        }
        if (g_mode != "mute") {
            printf("%s", g_mode == "served" ? STATUS_EXIT_SUCCESS STATUS_LINE_END
                                            : STATUS_EXIT_FAILED STATUS_LINE_END);
            fflush(stdout);
        }
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    CommandLineParts parts = SplitCommandLine(commandLine);
    g_mode = parts.title != NULL ? parts.title : "";
    if (g_mode == "nowindow") {
        Sleep(FAKE_LIFETIME_MS);
        return 0;
    }
    if (g_mode != "mute" && g_mode != "served" && g_mode != "startquit" && g_mode != "nostart" &&
        g_mode != "endedtool" && g_mode != "stucktool" &&
        g_mode != "folder") {
        return FAKE_QUIT_CODE;
    }
    if (g_mode == "endedtool" || g_mode == "stucktool") {
        std::string tool = std::string(parts.folder) + RECORDER_EXE;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessA(tool.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                            &g_tool)) {
            return 1;
        }
    }
    const char* name = g_mode == "folder" ? RECORDER_TITLE : BRIDGE_NAME;
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = FakeWndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = g_mode == "folder" ? "FakeFolderWindow" : BRIDGE_NAME;
    RegisterClassA(&windowClass);
    if (CreateWindowExA(0, windowClass.lpszClassName, name, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                        NULL, NULL, instance, NULL) == NULL) {
        return 1;
    }
    SetTimer(NULL, 0, FAKE_LIFETIME_MS, NULL);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0 && message.message != WM_TIMER) {
        DispatchMessageA(&message);
    }
    return 0;
}
