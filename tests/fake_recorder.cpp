// A recording tool double for the bridge's tests: the tool's window and six controls
// under the contract's names, no recording, and every click, text change and close
// request appended to fake_recorder.log beside the executable (and, with the moment it
// happened, to fake_recorder.times, for the benchmarks). Faults are chosen by the
// FAKE_RECORDER environment variable, which reaches it through the bridge's launch:
//   controls_ms=N   create the controls N ms after the window
//   left_text=T     the left field shows T at first, and "0" from left_fix_ms=N on
//   ignore_close=1  stay open when asked to close
//   exit_ms=N       end the process (exit code 3) N ms after start
//   exit_on_play=1  end the process while handling the play click
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "recorder_contract.h"
#include "sync_text_record.h"

namespace {

enum { TIMER_CONTROLS = 1, TIMER_LEFT_FIX, TIMER_EXIT };
enum { ID_PLAY = 100, ID_STOP, ID_LEFT, ID_TOP, ID_WIDTH, ID_HEIGHT };

struct FakeState {
    std::string log;
    std::string times;
    int controlsMs;
    std::string leftText;
    int leftFixMs;
    bool ignoreClose;
    int exitMs;
    bool exitOnPlay;
    WNDPROC buttonProc;
    WNDPROC editProc;
    HWND left;
} g_fake;

int Option(const std::string& options, const char* key, int fallback)
{
    std::string needle = std::string(key) + "=";
    size_t at = (";" + options).find(";" + needle);
    return at == std::string::npos ? fallback : atoi(options.c_str() + at + needle.size());
}

std::string TextOption(const std::string& options, const char* key, const char* fallback)
{
    std::string needle = std::string(key) + "=";
    size_t at = (";" + options).find(";" + needle);
    if (at == std::string::npos) {
        return fallback;
    }
    size_t start = at + needle.size();
    return options.substr(start, options.find(';', start) - start);
}

void Append(const std::string& path, const char* line)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, line, lstrlenA(line), &written, NULL);
        CloseHandle(file);
    }
}

void Log(const char* format, ...)
{
    char line[512];
    int used = snprintf(line, sizeof line, "%lu ", GetCurrentProcessId());
    va_list args;
    va_start(args, format);
    vsnprintf(line + used, sizeof line - used, format, args);
    va_end(args);
    lstrcatA(line, "\n");
    Append(g_fake.log, line);

    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    char timed[600];
    snprintf(timed, sizeof timed, "%.3f %s", now.QuadPart * 1000.0 / frequency.QuadPart, line);
    Append(g_fake.times, timed);
}

const char* FieldName(int id)
{
    switch (id) {
    case ID_LEFT: return "left";
    case ID_TOP: return "top";
    case ID_WIDTH: return "width";
    case ID_HEIGHT: return "height";
    }
    return "?";
}

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == BM_CLICK) {
        bool play = GetDlgCtrlID(window) == ID_PLAY;
        Log("click %s %ld", play ? "play" : "stop", static_cast<long>(lParam));
        if (play && g_fake.exitOnPlay) {
            ExitProcess(3);
        }
    }
    return CallWindowProcA(g_fake.buttonProc, window, message, wParam, lParam);
}

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CallWindowProcA(g_fake.editProc, window, message, wParam, lParam);
    if (message == WM_SETTEXT) {
        if (InSendMessage()) {
            Log("settext %s %s", FieldName(GetDlgCtrlID(window)), reinterpret_cast<const char*>(lParam));
        }
        SyncTextRecord(window);
    }
    return result;
}

void RegisterSuperclass(const char* base, const char* name, WNDPROC proc, WNDPROC* baseProc)
{
    WNDCLASSA windowClass;
    GetClassInfoA(NULL, base, &windowClass);
    *baseProc = windowClass.lpfnWndProc;
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = name;
    RegisterClassA(&windowClass);
}

HWND AddControl(HWND parent, const char* className, const char* text, int id, int x)
{
    HWND control = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE, x, 10, 70, 24,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleA(NULL), NULL);
    SyncTextRecord(control);
    return control;
}

void AddControls(HWND window)
{
    AddControl(window, BUTTON_CLASS, PLAY_TEXT, ID_PLAY, 10);
    AddControl(window, BUTTON_CLASS, STOP_TEXT, ID_STOP, 90);
    g_fake.left = AddControl(window, EDIT_CLASS, g_fake.leftText.c_str(), ID_LEFT, 170);
    AddControl(window, EDIT_CLASS, TOP_TEXT, ID_TOP, 250);
    AddControl(window, EDIT_CLASS, WIDTH_TEXT, ID_WIDTH, 330);
    AddControl(window, EDIT_CLASS, HEIGHT_TEXT, ID_HEIGHT, 410);
    Log("controls");
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        KillTimer(window, wParam);
        if (wParam == TIMER_CONTROLS) {
            AddControls(window);
        } else if (wParam == TIMER_LEFT_FIX) {
            SetWindowTextA(g_fake.left, LEFT_TEXT);
        } else if (wParam == TIMER_EXIT) {
            Log("exit");
            ExitProcess(3);
        }
        return 0;
    case WM_CLOSE:
        Log(g_fake.ignoreClose ? "close ignored" : "close");
        if (g_fake.ignoreClose) {
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string dir(path, length);
    g_fake.log = dir.substr(0, dir.find_last_of('\\') + 1) + "fake_recorder.log";
    g_fake.times = dir.substr(0, dir.find_last_of('\\') + 1) + "fake_recorder.times";

    char buffer[1024] = "";
    GetEnvironmentVariableA("FAKE_RECORDER", buffer, sizeof buffer);
    std::string options = buffer;
    g_fake.controlsMs = Option(options, "controls_ms", 0);
    g_fake.leftText = TextOption(options, "left_text", LEFT_TEXT);
    g_fake.leftFixMs = Option(options, "left_fix_ms", 0);
    g_fake.ignoreClose = Option(options, "ignore_close", 0) != 0;
    g_fake.exitMs = Option(options, "exit_ms", 0);
    g_fake.exitOnPlay = Option(options, "exit_on_play", 0) != 0;

    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    Log("start show=%d cwd=%s", showCommand, cwd);

    RegisterSuperclass("BUTTON", BUTTON_CLASS, ButtonProc, &g_fake.buttonProc);
    RegisterSuperclass("EDIT", EDIT_CLASS, EditProc, &g_fake.editProc);
    WNDCLASSA mainClass = {};
    mainClass.lpfnWndProc = MainProc;
    mainClass.hInstance = instance;
    mainClass.lpszClassName = "FakeRecorderMain";
    RegisterClassA(&mainClass);

    HWND window = CreateWindowExA(0, mainClass.lpszClassName, RECORDER_TITLE,
                                  WS_OVERLAPPEDWINDOW, 1400, 900, 500, 80, NULL, NULL, instance, NULL);
    ShowWindow(window, showCommand);
    if (g_fake.controlsMs > 0) {
        SetTimer(window, TIMER_CONTROLS, g_fake.controlsMs, NULL);
    } else {
        AddControls(window);
    }
    if (g_fake.leftFixMs > 0) {
        SetTimer(window, TIMER_LEFT_FIX, g_fake.leftFixMs, NULL);
    }
    if (g_fake.exitMs > 0) {
        SetTimer(window, TIMER_EXIT, g_fake.exitMs, NULL);
    }

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Log("end");
    return 0;
}
