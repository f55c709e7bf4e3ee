// A recording tool double for the bridge's tests: the tool's window and six controls
// under the contract's names, no recording, and every click, text change and close
// request appended to fake_recorder.log beside the executable (and, with the moment it
// happened, to fake_recorder.times, for the benchmarks). Faults are chosen by the
// FAKE_RECORDER environment variable, which reaches it through the bridge's launch:
//   controls_ms=N   create the controls N ms after the window
//   control_gap_ms=N  create them one at a time, N ms apart, play first and height last
//   left_text=T     the left field shows T at first, and "0" from left_fix_ms=N on
//   ignore_close=1  stay open when asked to close
//   exit_ms=N       end the process (exit code 3) N ms after start
//   exit_on_play=1  end the process while handling the play click
//   play_ms=N       take N ms to handle the play click, as a tool starting to record does;
//                   the click is logged once handled
//   logs=saved      on play and stop, log in the stand-in tool's own log (stand_in_tool.h)
//   logs=failed     a recording that begins and is saved, or fails for a full disk, into
//                   a file that is no AVI
//   logs=unindexed  a recording saved into an AVI without its indexes
//   logs=refused    on play, log that nothing is recorded, as the tool does for a region
//                   off the screen
//   logs=refused_late  a recording that begins, then 1.5 s later is given up as by the
//                   tool whose encoder did not start: the file removed, the refusal logged
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "recorder_contract.h"
#include "stand_in_tool.h"
#include "sync_text_record.h"
#include "fuzz/tool_file.h"

namespace {

enum { TIMER_CONTROLS = 1, TIMER_LEFT_FIX, TIMER_EXIT, TIMER_LATE_REFUSAL };
const DWORD LATE_REFUSAL_MS = 1500;
const char* const FAKE_FILE = RECORDINGS_FOLDER "\\fake" RECORDING_EXTENSION;
enum { ID_PLAY = 100, ID_STOP, ID_LEFT, ID_TOP, ID_WIDTH, ID_HEIGHT };
const int CONTROL_COUNT = 6;

struct FakeState {
    std::string log;
    std::string times;
    int controlsMs;
    int controlGapMs;
    int controls;
    std::string leftText;
    int leftFixMs;
    bool ignoreClose;
    int exitMs;
    bool exitOnPlay;
    int playMs;
    std::string logs;
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

void Append(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
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

// A line of the stand-in tool's own log.
void ToolLog(const char* text)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[512];
    snprintf(line, sizeof line, LOG_LINE_FORMAT, now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond, GetCurrentProcessId(), text);
    Append(RECORDER_LOG, line);
}

// What the stand-in tool logs at play and at stop, for a file that is no AVI or one
// whose writer never put down its indexes.
void LogFakeRecording(bool play)
{
    bool failed = g_fake.logs == "failed";
    CreateDirectoryA(RECORDINGS_FOLDER, NULL);
    if (play && g_fake.logs != "refused") {
        DeleteFileA(FAKE_FILE);
        const ToolFile avi = LayOutAsTheTool({8, 8, 15}, {100}, 1);
        Append(FAKE_FILE, g_fake.logs == "unindexed" ? avi.bytes.substr(0, avi.frameData[0] + 100)
                                                     : "not an AVI file");
    }
    if (!play && g_fake.logs == "refused_late") {
        return;
    }
    char text[256];
    snprintf(text, sizeof text,
             g_fake.logs == "refused" ? LOG_NOT_RECORDING "width -4 must be greater than 0"
             : play   ? LOG_RECORDING "1x1 at 0,0" LOG_INTO "%s"
             : failed ? LOG_FAILED "%s: 1 frames: disk full"
                      : LOG_SAVED "%s: 1 frames",
             FAKE_FILE);
    ToolLog(text);
}

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == BM_CLICK) {
        bool play = GetDlgCtrlID(window) == ID_PLAY;
        if (play) {
            Sleep(g_fake.playMs);
        }
        Log("click %s %ld", play ? "play" : "stop", static_cast<long>(lParam));
        if (play && g_fake.exitOnPlay) {
            ExitProcess(3);
        }
        if (!g_fake.logs.empty()) {
            LogFakeRecording(play);
        }
        if (play && g_fake.logs == "refused_late") {
            SetTimer(GetParent(window), TIMER_LATE_REFUSAL, LATE_REFUSAL_MS, NULL);
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

// Adds the next control, or all that are missing when there are no gaps.
void AddControls(HWND window)
{
    static const struct {
        const char* className;
        const char* text; // null: the left field's text of the moment
        int id;
    } CONTROLS[CONTROL_COUNT] = {
        {BUTTON_CLASS, PLAY_TEXT, ID_PLAY}, {BUTTON_CLASS, STOP_TEXT, ID_STOP},
        {EDIT_CLASS, nullptr, ID_LEFT},     {EDIT_CLASS, TOP_TEXT, ID_TOP},
        {EDIT_CLASS, WIDTH_TEXT, ID_WIDTH}, {EDIT_CLASS, HEIGHT_TEXT, ID_HEIGHT},
    };
    do {
        int i = g_fake.controls++;
        const char* text = CONTROLS[i].text ? CONTROLS[i].text : g_fake.leftText.c_str();
        HWND control = AddControl(window, CONTROLS[i].className, text, CONTROLS[i].id, 10 + 80 * i);
        if (CONTROLS[i].id == ID_LEFT) {
            g_fake.left = control;
        }
    } while (g_fake.controlGapMs == 0 && g_fake.controls < CONTROL_COUNT);
    if (g_fake.controls < CONTROL_COUNT) {
        SetTimer(window, TIMER_CONTROLS, g_fake.controlGapMs, NULL);
    } else {
        Log("controls");
    }
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
        } else if (wParam == TIMER_LATE_REFUSAL) {
            DeleteFileA(FAKE_FILE);
            ToolLog(LOG_NOT_RECORDING "the encoder did not start within 10000 ms");
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
    g_fake.controlGapMs = Option(options, "control_gap_ms", 0);
    g_fake.leftText = TextOption(options, "left_text", LEFT_TEXT);
    g_fake.leftFixMs = Option(options, "left_fix_ms", 0);
    g_fake.ignoreClose = Option(options, "ignore_close", 0) != 0;
    g_fake.exitMs = Option(options, "exit_ms", 0);
    g_fake.exitOnPlay = Option(options, "exit_on_play", 0) != 0;
    g_fake.playMs = Option(options, "play_ms", 0);
    g_fake.logs = TextOption(options, "logs", "");

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
