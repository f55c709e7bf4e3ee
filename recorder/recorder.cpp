// The stand-in recording tool: a window with the play and stop buttons and the four
// region fields that the bridge finds by class and text, and a label showing the
// state. Play records the region into recordings\ until stop or close.
#include "recorder.h"

#include <stdio.h>
#include <string.h>

#include "capture_session.h"
#include "describe_error.h"
#include "recorder_logic.h"
#include "sync_text_record.h"

struct RecorderState {
    HWND window;
    HWND play;
    HWND stop;
    HWND fields[FIELD_COUNT];
    HWND status;
    CaptureSession* session;
    char path[MAX_PATH];
    RecordRegion region;
};

static RecorderState g_recorder;
static WNDPROC g_editBase;

static const char* const FIELD_TEXTS[FIELD_COUNT] = {LEFT_TEXT, TOP_TEXT, WIDTH_TEXT, HEIGHT_TEXT};
static const int FIELD_IDS[FIELD_COUNT] = {ID_LEFT, ID_TOP, ID_WIDTH, ID_HEIGHT};
static const char* const FIELD_CAPTIONS[FIELD_COUNT] = {"Left", "Top", "Width", "Height"};

static LRESULT CALLBACK FieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CallWindowProcA(g_editBase, window, message, wParam, lParam);
    if (message == WM_SETTEXT) {
        SyncTextRecord(window);
    }
    return result;
}

static bool AppendLog(const char* line, char* error, size_t size)
{
    if (!CreateDirectoryA(RECORDINGS_FOLDER, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        DescribeLastError("CreateDirectoryA(" RECORDINGS_FOLDER ")", error, size);
        return false;
    }
    HANDLE file = CreateFileA(RECORDER_LOG, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DescribeLastError("CreateFileA(" RECORDER_LOG ")", error, size);
        return false;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[STATUS_TEXT_SIZE + 48];
    int length = snprintf(text, sizeof text, LOG_LINE_FORMAT, now.wYear, now.wMonth, now.wDay,
                          now.wHour, now.wMinute, now.wSecond, GetCurrentProcessId(), line);
    if (length < 0 || length >= static_cast<int>(sizeof text)) {
        length = static_cast<int>(strlen(text));
    }
    DWORD written = 0;
    bool ok = WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) != 0;
    if (!ok) {
        DescribeLastError("WriteFile(" RECORDER_LOG ")", error, size);
    }
    CloseHandle(file);
    return ok;
}

static void ShowStatus(const char* text)
{
    SetWindowTextA(g_recorder.status, text);
}

// Shows the text and keeps it in the log; a log that cannot be written is said too.
static void Report(const char* text)
{
    char error[STATUS_TEXT_SIZE];
    if (AppendLog(text, error, sizeof error)) {
        ShowStatus(text);
        return;
    }
    char combined[STATUS_TEXT_SIZE * 2];
    snprintf(combined, sizeof combined, "%s (log not written: %s)", text, error);
    ShowStatus(combined);
}

static void ShowRecordingStatus()
{
    CaptureStats stats;
    ReadCaptureStats(g_recorder.session, &stats);
    char text[STATUS_TEXT_SIZE];
    snprintf(text, sizeof text, "Recording %ldx%ld at %ld,%ld: %.1f s, %llu frames, %llu dropped",
             static_cast<long>(g_recorder.region.width), static_cast<long>(g_recorder.region.height),
             static_cast<long>(g_recorder.region.left), static_cast<long>(g_recorder.region.top),
             stats.seconds, static_cast<unsigned long long>(stats.framesWritten),
             static_cast<unsigned long long>(stats.framesDropped));
    ShowStatus(text);
}

// Reserves a fresh name under recordings\ by creating the file, so that no earlier
// recording is ever overwritten.
static bool ReserveRecordingPath(char* path, size_t pathSize, char* error, size_t size)
{
    if (!CreateDirectoryA(RECORDINGS_FOLDER, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        DescribeLastError("CreateDirectoryA(" RECORDINGS_FOLDER ")", error, size);
        return false;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    RecordingTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    for (unsigned attempt = 1; attempt <= MAX_NAME_ATTEMPTS; ++attempt) {
        char name[RECORDING_NAME_SIZE];
        FormatRecordingName(time, attempt, name, sizeof name);
        snprintf(path, pathSize, RECORDINGS_FOLDER "\\%s", name);
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            DescribeLastError("CreateFileA(new recording)", error, size);
            return false;
        }
    }
    snprintf(error, size, "no free recording name after %d attempts", MAX_NAME_ATTEMPTS);
    return false;
}

static void StartRecording()
{
    if (g_recorder.session != nullptr) {
        return;   // already recording: the recording goes on
    }
    char texts[FIELD_COUNT][FIELD_TEXT_SIZE];
    const char* fieldTexts[FIELD_COUNT];
    for (int i = 0; i < FIELD_COUNT; ++i) {
        GetWindowTextA(g_recorder.fields[i], texts[i], FIELD_TEXT_SIZE);
        fieldTexts[i] = texts[i];
    }
    RecordRegion screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                           GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    RegionCheck check = CheckRegion(fieldTexts, screen);
    char text[STATUS_TEXT_SIZE];
    char error[SESSION_ERROR_SIZE];
    if (check.status != REGION_OK) {
        DescribeRegionCheck(check, fieldTexts, error, sizeof error);
        snprintf(text, sizeof text, LOG_NOT_RECORDING "%s", error);
        Report(text);
        return;
    }
    if (!ReserveRecordingPath(g_recorder.path, sizeof g_recorder.path, error, sizeof error)) {
        snprintf(text, sizeof text, LOG_NOT_RECORDING "%s", error);
        Report(text);
        return;
    }
    // Named before a byte of it is written, so that a tool ended at any moment leaves no
    // recording that its log does not name.
    snprintf(text, sizeof text, LOG_RECORDING "%ldx%ld at %ld,%ld" LOG_INTO "%s",
             static_cast<long>(check.region.width), static_cast<long>(check.region.height),
             static_cast<long>(check.region.left), static_cast<long>(check.region.top),
             g_recorder.path);
    Report(text);
    CaptureSettings settings = {check.region, DEFAULT_FPS, AVI_SEGMENT_LIMIT, UINT64_MAX, false,
                                g_recorder.window, WM_RECORDING_NOTICE, nullptr,
                                CAPTURE_FAILURE_LIMIT_MS, nullptr, nullptr};
    g_recorder.session = StartCapture(settings, g_recorder.path, error, sizeof error);
    if (g_recorder.session == nullptr) {
        DeleteFileA(g_recorder.path);
        snprintf(text, sizeof text, LOG_NOT_RECORDING "%s", error);
        Report(text);
        return;
    }
    g_recorder.region = check.region;
    if (SetTimer(g_recorder.window, STATUS_TIMER, STATUS_INTERVAL_MS, nullptr) == 0) {
        DescribeLastError("SetTimer (status updates)", error, sizeof error);
        Report(error);
    }
}

// Ends the recording, if any, with the file complete on return.
static void FinishRecording()
{
    if (g_recorder.session == nullptr) {
        return;
    }
    KillTimer(g_recorder.window, STATUS_TIMER);
    CaptureStats stats;
    char error[SESSION_ERROR_SIZE];
    SessionEnd end = FinishCapture(g_recorder.session, &stats, error, sizeof error);
    g_recorder.session = nullptr;
    const char* how = LOG_SAVED;
    if (end == SESSION_SIZE_LIMIT) {
        how = LOG_SAVED_AT_LIMIT;
    } else if (end == SESSION_FAILED) {
        how = LOG_FAILED;
    }
    char text[STATUS_TEXT_SIZE];
    snprintf(text, sizeof text, "%s%s: %llu frames, %.1f s, %llu dropped%s%s", how, g_recorder.path,
             static_cast<unsigned long long>(stats.framesWritten), stats.seconds,
             static_cast<unsigned long long>(stats.framesDropped),
             end == SESSION_FAILED ? ": " : "", end == SESSION_FAILED ? error : "");
    Report(text);
}

// What the session says of itself: its own end, and captures that fail and recover.
static void OnRecordingNotice(WPARAM notice, LPARAM detail)
{
    char text[STATUS_TEXT_SIZE];
    switch (notice) {
    case NOTICE_ENDED:
        FinishRecording();
        return;
    case NOTICE_CAPTURE_FAILING: {
        char error[ERROR_TEXT_SIZE];
        DescribeError("screen capture (BitBlt)", static_cast<DWORD>(detail), error, sizeof error);
        snprintf(text, sizeof text, "%s; repeating the last frame until it works again", error);
        break;
    }
    case NOTICE_CAPTURE_RECOVERED:
        snprintf(text, sizeof text, "Screen capture works again after %lu failed frames",
                 static_cast<unsigned long>(detail));
        break;
    case NOTICE_CLOCK_GAP:
        snprintf(text, sizeof text,
                 LOG_CLOCK_GAP "%.1f s (sleep or a suspended system); the recording "
                 "leaves that time out",
                 static_cast<double>(detail) / 1000);
        break;
    default:
        return;
    }
    if (g_recorder.session != nullptr) {
        Report(text);
    }
}

static void StopClicked()
{
    if (g_recorder.session == nullptr) {
        ShowStatus(STATUS_NOT_RECORDING);
        return;
    }
    FinishRecording();
}

static HWND CreateChild(const char* className, const char* text, DWORD style, int id, int x, int y,
                        int width, int height, char* error, size_t size)
{
    HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                                 height, g_recorder.window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
    if (child == NULL) {
        char call[128];
        snprintf(call, sizeof call, "CreateWindowExA(%s)", text);
        DescribeLastError(call, error, size);
    }
    return child;
}

static bool CreateControls(char* error, size_t size)
{
    for (int i = 0; i < FIELD_COUNT; ++i) {
        int x = 10 + i * 100;
        if (CreateChild("STATIC", FIELD_CAPTIONS[i], 0, -1, x, 12, 44, 20, error, size) == NULL) {
            return false;
        }
        g_recorder.fields[i] = CreateChild(EDIT_CLASS, FIELD_TEXTS[i], WS_BORDER | ES_AUTOHSCROLL,
                                           FIELD_IDS[i], x + 44, 10, 50, 22, error, size);
        if (g_recorder.fields[i] == NULL) {
            return false;
        }
        SyncTextRecord(g_recorder.fields[i]);
    }
    g_recorder.play = CreateChild(BUTTON_CLASS, PLAY_TEXT, BS_PUSHBUTTON, ID_PLAY, 10, 44, 120,
                                  28, error, size);
    g_recorder.stop = CreateChild(BUTTON_CLASS, STOP_TEXT, BS_PUSHBUTTON, ID_STOP, 140, 44, 120,
                                  28, error, size);
    g_recorder.status = CreateChild("STATIC", STATUS_IDLE, SS_LEFT, ID_STATUS, 10, 84, 400, 60,
                                    error, size);
    return g_recorder.play != NULL && g_recorder.stop != NULL && g_recorder.status != NULL;
}

static LRESULT CALLBACK RecorderWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == ID_PLAY) {
            StartRecording();
        } else if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == ID_STOP) {
            StopClicked();
        } else if (HIWORD(wParam) == EN_CHANGE) {
            SyncTextRecord(reinterpret_cast<HWND>(lParam));
        }
        return 0;
    case WM_TIMER:
        if (wParam == STATUS_TIMER && g_recorder.session != nullptr) {
            ShowRecordingStatus();
        }
        return 0;
    case WM_RECORDING_NOTICE:
        OnRecordingNotice(wParam, lParam);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may be ended any time after this returns.
        if (wParam) {
            FinishRecording();
        }
        return 0;
    case WM_CLOSE:
        FinishRecording();
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Registers `name` as a superclass of the system class `base`, so the controls behave
// as the system's own towards clicks and text messages from other processes. With no
// procedure of its own the class keeps the base's.
static bool RegisterSuperclass(const char* base, const char* name, WNDPROC proc, WNDPROC* baseProc,
                               char* error, size_t size)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExA(nullptr, base, &windowClass)) {
        DescribeLastError("GetClassInfoExA", error, size);
        return false;
    }
    if (proc != nullptr) {
        *baseProc = windowClass.lpfnWndProc;
        windowClass.lpfnWndProc = proc;
    }
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    if (RegisterClassExA(&windowClass) == 0) {
        DescribeLastError("RegisterClassExA", error, size);
        return false;
    }
    return true;
}

// Before the window exists the only place to say what failed is the log.
static int FailStart(const char* error)
{
    char text[STATUS_TEXT_SIZE];
    snprintf(text, sizeof text, "Could not start: %s", error);
    char logError[STATUS_TEXT_SIZE];
    AppendLog(text, logError, sizeof logError);
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    char error[STATUS_TEXT_SIZE];
    if (!RegisterSuperclass("BUTTON", BUTTON_CLASS, nullptr, nullptr, error, sizeof error) ||
        !RegisterSuperclass("EDIT", EDIT_CLASS, FieldProc, &g_editBase, error, sizeof error)) {
        return FailStart(error);
    }
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = RecorderWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = RECORDER_WINDOW_CLASS;
    if (RegisterClassExA(&windowClass) == 0) {
        DescribeLastError("RegisterClassExA", error, sizeof error);
        return FailStart(error);
    }
    g_recorder.window = CreateWindowExA(0, RECORDER_WINDOW_CLASS, RECORDER_TITLE,
                                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                        CW_USEDEFAULT, CW_USEDEFAULT, 440, 190, nullptr, nullptr,
                                        instance, nullptr);
    if (g_recorder.window == NULL) {
        DescribeLastError("CreateWindowExA(main window)", error, sizeof error);
        return FailStart(error);
    }
    if (!CreateControls(error, sizeof error)) {
        DestroyWindow(g_recorder.window);
        return FailStart(error);
    }
    ShowWindow(g_recorder.window, showCommand);

    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            DescribeLastError("GetMessageA", error, sizeof error);
            FinishRecording();
            return FailStart(error);
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
