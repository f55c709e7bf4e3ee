// The stand-in recording tool: a window with the play and stop buttons and the four
// region fields that the bridge finds by class and text, and a label showing the
// state. Play records the region into recordings\ until stop or close.
#include "recorder.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "capture_region.h"
#include "capture_session.h"
#include "describe_error.h"
#include "recorder_logic.h"
#include "sync_text_record.h"

#define FONT_POINTS 9
#define FONT_FACE "MS Shell Dlg 2"

typedef DPI_AWARENESS_CONTEXT(WINAPI* GetWindowDpiAwarenessContextCall)(HWND);
typedef DPI_AWARENESS_CONTEXT(WINAPI* SetThreadDpiAwarenessContextCall)(DPI_AWARENESS_CONTEXT);
typedef UINT(WINAPI* GetDpiForWindowCall)(HWND);

struct RecorderState {
    HWND window;
    HWND play;
    HWND stop;
    HWND captions[FIELD_COUNT];
    HWND fields[FIELD_COUNT];
    HWND status;
    CaptureSession* session;
    char path[MAX_PATH];
    RecordRegion region;
    UINT dpi;
    HFONT font;
    // From Windows 10 1607 on; loaded at run time so that the tool starts on older
    // systems, where it takes the region as the fields give it.
    GetWindowDpiAwarenessContextCall getWindowDpiAwarenessContext;
    SetThreadDpiAwarenessContextCall setThreadDpiAwarenessContext;
    GetDpiForWindowCall getDpiForWindow;
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

static RecordRegion RegionOf(const RECT& rect)
{
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

struct WindowSearch {
    RecordRegion region;
    int screenWidth;
    int screenHeight;
    HWND found;
};

// Whether the bridge, cutting this window's rectangle as it does, wrote the region.
static BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    RECT rect;
    if (!GetWindowRect(window, &rect)) {
        return TRUE;
    }
    CaptureRegion cut = ClampRegion(search->screenWidth, search->screenHeight, rect.left, rect.top,
                                    rect.right, rect.bottom);
    if (cut.left != search->region.left || cut.top != search->region.top ||
        cut.width != search->region.width || cut.height != search->region.height) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// The window's own rectangle in pixels, cut as the bridge cuts it.
static RegionEdges WindowEdges(HWND window, RegionEdges scaled)
{
    RECT rect;
    if (!GetWindowRect(window, &rect)) {
        return scaled;
    }
    CaptureRegion cut = ClampRegion(GetSystemMetrics(SM_CXVIRTUALSCREEN),
                                    GetSystemMetrics(SM_CYVIRTUALSCREEN), rect.left, rect.top,
                                    rect.right, rect.bottom);
    return EdgesOf({cut.left, cut.top, cut.width, cut.height});
}

// The bridge writes the region as its DPI awareness lets it see the screen: scaled down
// on a scaled display when it declares none, as it is designed to. The monitor holding
// most of the region is looked up in the bridge's context and in the tool's own, and
// the region mapped from the one to the other. Scaling down rounds, so a mapped edge
// can be a pixel off; where a window, seen and cut as the bridge does, gives the region
// exactly, that window's own rectangle is recorded instead. Without a bridge window the
// fields are taken as the bridge's design has them: written by a program that declares
// no DPI awareness.
static RegionEdges RegionInScreenPixels(RecordRegion region)
{
    RegionEdges edges = EdgesOf(region);
    if (g_recorder.getWindowDpiAwarenessContext == nullptr ||
        g_recorder.setThreadDpiAwarenessContext == nullptr) {
        return edges;
    }
    HWND bridge = FindWindowA(BRIDGE_NAME, BRIDGE_NAME);
    DPI_AWARENESS_CONTEXT context =
        bridge != NULL ? g_recorder.getWindowDpiAwarenessContext(bridge) : NULL;
    if (context == NULL) {
        context = DPI_AWARENESS_CONTEXT_UNAWARE;
    }
    RECT rect = {region.left, region.top,
                 static_cast<LONG>(std::min<int64_t>(edges.right, INT32_MAX)),
                 static_cast<LONG>(std::min<int64_t>(edges.bottom, INT32_MAX))};
    MONITORINFO seen = {};
    seen.cbSize = sizeof seen;
    MONITORINFO pixels = seen;
    DPI_AWARENESS_CONTEXT own = g_recorder.setThreadDpiAwarenessContext(context);
    if (own == NULL) {
        return edges;
    }
    HMONITOR monitor = MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST);
    BOOL seenRead = GetMonitorInfoA(monitor, &seen);
    WindowSearch search = {region, GetSystemMetrics(SM_CXVIRTUALSCREEN),
                           GetSystemMetrics(SM_CYVIRTUALSCREEN), NULL};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    g_recorder.setThreadDpiAwarenessContext(own);
    if (!seenRead || !GetMonitorInfoA(monitor, &pixels)) {
        return edges;
    }
    edges = RegionInPixels(region, {RegionOf(seen.rcMonitor), RegionOf(pixels.rcMonitor)});
    return search.found != NULL ? WindowEdges(search.found, edges) : edges;
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
    RegionCheck check = ReadRegion(fieldTexts);
    if (check.status == REGION_OK) {
        check = CutRegion(RegionInScreenPixels(check.region), screen);
    }
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
                                CAPTURE_FAILURE_LIMIT_MS, nullptr, nullptr, RECORDER_ENCODERS,
                                nullptr};
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

static HWND CreateChild(const char* className, const char* text, DWORD style, int id,
                        char* error, size_t size)
{
    HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                 g_recorder.window,
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
        g_recorder.captions[i] = CreateChild("STATIC", FIELD_CAPTIONS[i], 0, -1, error, size);
        if (g_recorder.captions[i] == NULL) {
            return false;
        }
        g_recorder.fields[i] = CreateChild(EDIT_CLASS, FIELD_TEXTS[i], WS_BORDER | ES_AUTOHSCROLL,
                                           FIELD_IDS[i], error, size);
        if (g_recorder.fields[i] == NULL) {
            return false;
        }
        SyncTextRecord(g_recorder.fields[i]);
    }
    g_recorder.play = CreateChild(BUTTON_CLASS, PLAY_TEXT, BS_PUSHBUTTON, ID_PLAY, error, size);
    g_recorder.stop = CreateChild(BUTTON_CLASS, STOP_TEXT, BS_PUSHBUTTON, ID_STOP, error, size);
    g_recorder.status = CreateChild("STATIC", STATUS_IDLE, SS_LEFT, ID_STATUS, error, size);
    return g_recorder.play != NULL && g_recorder.stop != NULL && g_recorder.status != NULL;
}

static int Scaled(int value)
{
    return MulDiv(value, static_cast<int>(g_recorder.dpi), USER_DEFAULT_SCREEN_DPI);
}

static void Place(HWND control, int x, int y, int width, int height)
{
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(g_recorder.font), FALSE);
    MoveWindow(control, Scaled(x), Scaled(y), Scaled(width), Scaled(height), TRUE);
}

// Lays the controls out and sizes their font for the DPI. Should no font be had, the
// controls keep the one they have.
static void ApplyDpi(UINT dpi)
{
    g_recorder.dpi = dpi;
    HFONT font = CreateFontA(-MulDiv(FONT_POINTS, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL,
                             FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, FONT_FACE);
    HFONT old = g_recorder.font;
    if (font != NULL) {
        g_recorder.font = font;
    }
    for (int i = 0; i < FIELD_COUNT; ++i) {
        Place(g_recorder.captions[i], 10 + i * 100, 12, 44, 20);
        Place(g_recorder.fields[i], 54 + i * 100, 10, 50, 22);
    }
    Place(g_recorder.play, 10, 44, 120, 28);
    Place(g_recorder.stop, 140, 44, 120, 28);
    Place(g_recorder.status, 10, 84, 400, 60);
    if (font != NULL && old != NULL) {
        DeleteObject(old);
    }
}

// The DPI of the monitor the window is on; before Windows 10 1607, the system's.
static UINT WindowDpi()
{
    if (g_recorder.getDpiForWindow != nullptr) {
        return g_recorder.getDpiForWindow(g_recorder.window);
    }
    HDC dc = GetDC(g_recorder.window);
    int dpi = dc != NULL ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc != NULL) {
        ReleaseDC(g_recorder.window, dc);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
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
    case WM_DPICHANGED: {
        // Moved onto a monitor of another scale: the system suggests the rectangle.
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, NULL, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyDpi(LOWORD(wParam));
        return 0;
    }
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
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (user32 != NULL) {
        g_recorder.getWindowDpiAwarenessContext =
            reinterpret_cast<GetWindowDpiAwarenessContextCall>(reinterpret_cast<void*>(
                GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
        g_recorder.setThreadDpiAwarenessContext =
            reinterpret_cast<SetThreadDpiAwarenessContextCall>(reinterpret_cast<void*>(
                GetProcAddress(user32, "SetThreadDpiAwarenessContext")));
        g_recorder.getDpiForWindow = reinterpret_cast<GetDpiForWindowCall>(
            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
    }
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
                                        CW_USEDEFAULT, CW_USEDEFAULT, RECORDER_WINDOW_WIDTH,
                                        RECORDER_WINDOW_HEIGHT,
                                        nullptr, nullptr, instance, nullptr);
    if (g_recorder.window == NULL) {
        DescribeLastError("CreateWindowExA(main window)", error, sizeof error);
        return FailStart(error);
    }
    if (!CreateControls(error, sizeof error)) {
        DestroyWindow(g_recorder.window);
        return FailStart(error);
    }
    ApplyDpi(WindowDpi());
    SetWindowPos(g_recorder.window, NULL, 0, 0, Scaled(RECORDER_WINDOW_WIDTH),
                 Scaled(RECORDER_WINDOW_HEIGHT),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
