// The bridge: starts the recording tool, finds its controls, hands it the target
// window's rectangle, then turns the host's two window messages into clicks on the
// tool's play and stop buttons. One thread, one window, one record of state.
#include "bridge.h"

#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "command_line.h"
#include "path_join.h"

BridgeState g_bridge;

void PrintStatus(const char* text)
{
    // Hosts read the pipe while the bridge runs, so each line goes out as it is written.
    printf("%s" STATUS_LINE_END, text);
    fflush(stdout);
}

LRESULT CALLBACK BridgeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_BRIDGE_START:
        // The click carries the command's number as lParam, as the tool has always
        // received it; the button itself ignores it.
        SendMessageA(g_bridge.playButton, BM_CLICK, 0, WM_BRIDGE_START);
        // The pace the tool has always been driven at: two pauses of one millisecond.
        Sleep(1);
        Sleep(1);
        PrintStatus(STATUS_STARTED);
        break;
    case WM_BRIDGE_STOP:
        SendMessageA(g_bridge.stopButton, BM_CLICK, 0, WM_BRIDGE_STOP);
        // The tool has handled the click (it was sent); one millisecond more before its
        // process ends.
        Sleep(1);
        if (TerminateProcess(g_bridge.recorderProcess, 0)) {
            PrintStatus(STATUS_EXIT_SUCCESS);
        } else {
            PrintStatus(STATUS_EXIT_FAILED);
        }
        PostQuitMessage(0);
        break;
    }
    // The commands too go on to the default procedure, which ignores private messages
    // and gives the sender its 0.
    return DefWindowProcA(window, message, wParam, lParam);
}

static void CloseRunningRecorders()
{
    system(CLOSE_COMMAND);
}

// Without memory for the two paths the launch fails as any other does: no process.
static void LaunchRecorder(const char* folder)
{
    char* directory = JoinPath(folder, TOOL_WORKDIR);
    char* file = JoinPath(folder, RECORDER_EXE);
    if (directory != NULL && file != NULL) {
        SHELLEXECUTEINFOA info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpVerb = "open";
        info.lpFile = file;
        info.lpDirectory = directory;
        info.nShow = SW_SHOWMINIMIZED;
        g_bridge.recorderProcess = ShellExecuteExA(&info) ? info.hProcess : NULL;
    }
    free(directory);
    free(file);
}

static bool RecorderComplete()
{
    return g_bridge.recorderWindow && g_bridge.playButton && g_bridge.stopButton &&
           g_bridge.editLeft && g_bridge.editTop && g_bridge.editWidth && g_bridge.editHeight;
}

static void DiscoveryPass(const char* title)
{
    g_bridge.recorderWindow = FindWindowA(NULL, RECORDER_TITLE);
    g_bridge.targetWindow = FindWindowA(NULL, title);
    g_bridge.playButton = FindWindowExA(g_bridge.recorderWindow, NULL, BUTTON_CLASS, PLAY_TEXT);
    g_bridge.stopButton = FindWindowExA(g_bridge.recorderWindow, NULL, BUTTON_CLASS, STOP_TEXT);
    g_bridge.editLeft = FindWindowExA(g_bridge.recorderWindow, NULL, EDIT_CLASS, LEFT_TEXT);
    g_bridge.editTop = FindWindowExA(g_bridge.recorderWindow, NULL, EDIT_CLASS, TOP_TEXT);
    g_bridge.editWidth = FindWindowExA(g_bridge.recorderWindow, NULL, EDIT_CLASS, WIDTH_TEXT);
    g_bridge.editHeight = FindWindowExA(g_bridge.recorderWindow, NULL, EDIT_CLASS, HEIGHT_TEXT);
}

// Waits for the tool's window and six controls. Gives up when no tool can come any
// more (launch failed, or the launched process has ended) or after the time bound.
static bool DiscoverRecorder(const char* title)
{
    DWORD started = GetTickCount();
    for (;;) {
        DiscoveryPass(title);
        if (RecorderComplete()) {
            return true;
        }
        if (g_bridge.recorderProcess == NULL ||
            WaitForSingleObject(g_bridge.recorderProcess, 0) == WAIT_OBJECT_0 ||
            GetTickCount() - started >= DISCOVERY_TIMEOUT_MS) {
            return false;
        }
        Sleep(DISCOVERY_PAUSE_MS);
    }
}

static void SetField(HWND field, const char* text)
{
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    // The pace the tool has always been driven at: one millisecond after each field.
    Sleep(1);
}

static void HandOffRegion()
{
    RECT rect;
    if (g_bridge.targetWindow == NULL || !GetWindowRect(g_bridge.targetWindow, &rect)) {
        PrintStatus(STATUS_TARGET_NOT_FOUND);
        return;
    }
    int screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    CaptureRegion region =
        ClampRegion(screenWidth, screenHeight, rect.left, rect.top, rect.right, rect.bottom);
    FormatRegionValue(region.left, g_bridge.leftText);
    FormatRegionValue(region.top, g_bridge.topText);
    FormatRegionValue(region.width, g_bridge.widthText);
    FormatRegionValue(region.height, g_bridge.heightText);
    SetField(g_bridge.editLeft, g_bridge.leftText);
    SetField(g_bridge.editTop, g_bridge.topText);
    SetField(g_bridge.editWidth, g_bridge.widthText);
    SetField(g_bridge.editHeight, g_bridge.heightText);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = BridgeWndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = BRIDGE_NAME;
    RegisterClassA(&windowClass);

    HWND window = CreateWindowExA(0, BRIDGE_NAME, BRIDGE_NAME, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  NULL, NULL, instance, NULL);
    if (window == NULL) {
        return 0;
    }
    ShowWindow(window, showCommand);

    CloseRunningRecorders();

    // The text WinMain is given by MinGW's start-up has lost any leading bytes beyond
    // ASCII (it compares them as signed characters), so the arguments are taken from
    // the process's own command line. The split writes into an owned copy, which also
    // holds the tool folder until the bridge ends.
    char* text = _strdup(CommandLineArguments(GetCommandLineA()));
    char noMemory[1] = "";
    CommandLineParts parts = SplitCommandLine(text != NULL ? text : noMemory);

    LaunchRecorder(parts.folder);
    Sleep(LAUNCH_PAUSE_MS);

    if (!DiscoverRecorder(parts.title)) {
        PrintStatus(STATUS_RECORDER_NOT_FOUND);
        if (g_bridge.recorderProcess != NULL) {
            TerminateProcess(g_bridge.recorderProcess, 0);
        }
        free(text);
        return 0;
    }
    HandOffRegion();

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    free(text);
    return 0;
}
