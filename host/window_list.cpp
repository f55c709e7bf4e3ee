#include "window_list.h"

#include <windows.h>

#include <wchar.h>

#include "describe_error.h"
#include "recorder_contract.h"

#define UNKNOWN_PROGRAM "?"
// DWMWA_CLOAKED, asked of dwmapi.dll, which is looked up when first needed: where it is
// missing or does not know the attribute, no window counts as cloaked.
#define CLOAKED_ATTRIBUTE 14

typedef HRESULT(WINAPI* DwmGetWindowAttributeCall)(HWND, DWORD, PVOID, DWORD);

// A conversion that fails gives an empty text: such a title is left out of the list,
// and such a program's name is shown as unknown.
static std::string Utf8(const wchar_t* text, int length)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, NULL, 0, NULL, NULL);
    std::string utf8(size > 0 ? size : 0, '\0');
    if (size <= 0 || WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, NULL,
                                         NULL) != size) {
        return "";
    }
    return utf8;
}

static std::string Utf8FromNarrow(const char* text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    std::wstring wide(length > 0 ? length : 0, L'\0');
    if (length <= 1 || MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length) != length) {
        return "";
    }
    return Utf8(wide.c_str(), length - 1);
}

// Whether the bridge's narrow command line carries the title unchanged.
static bool NarrowLossless(const wchar_t* text, int length)
{
    // The platform refuses these flags for UTF-8, which carries every title anyway.
    if (GetACP() == CP_UTF8) {
        return true;
    }
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, NULL, 0, NULL,
                                   NULL);
    std::string narrow(size > 0 ? size : 0, '\0');
    return size > 0 &&
           WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, &narrow[0], size,
                               NULL, &usedDefault) == size &&
           !usedDefault;
}

static std::string ProgramName(HWND window)
{
    DWORD processId = 0;
    if (GetWindowThreadProcessId(window, &processId) == 0) {
        return UNKNOWN_PROGRAM;
    }
    // Refused for some processes (a protected one, or one of another user's).
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == NULL) {
        return UNKNOWN_PROGRAM;
    }
    wchar_t path[MAX_PATH * 4];
    DWORD size = sizeof path / sizeof path[0];
    BOOL read = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    if (!read) {
        return UNKNOWN_PROGRAM;
    }
    const wchar_t* name = wcsrchr(path, L'\\');
    name = name != NULL ? name + 1 : path;
    std::string utf8 = Utf8(name, static_cast<int>(wcslen(name)));
    return utf8.empty() ? UNKNOWN_PROGRAM : utf8;
}

// Windows on another virtual desktop keep WS_VISIBLE, but what shows in their place is
// the current desktop's.
static bool Cloaked(HWND window)
{
    static DwmGetWindowAttributeCall call = NULL;
    static bool looked = false;
    if (!looked) {
        looked = true;
        HMODULE dwm = LoadLibraryA("dwmapi.dll");
        call = dwm != NULL ? reinterpret_cast<DwmGetWindowAttributeCall>(reinterpret_cast<void*>(
                                 GetProcAddress(dwm, "DwmGetWindowAttribute")))
                           : NULL;
    }
    DWORD cloaked = 0;
    return call != NULL &&
           SUCCEEDED(call(window, CLOAKED_ATTRIBUTE, &cloaked, sizeof cloaked)) && cloaked != 0;
}

// bridge-host is per-monitor DPI aware (its manifest), so the screen and the windows are
// read in the screen's pixels, what the tool records: the bridge cuts a window in its
// scaled view, and the tool maps that cut back into pixels.
static bool ReadScreen(ScreenSize& screen, std::string& error)
{
    screen.width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (screen.width <= 0 || screen.height <= 0) {
        error = "GetSystemMetrics gave no size of the virtual screen";
        return false;
    }
    return true;
}

// A window may close while it is read: it is then passed over, and only a failure on
// a window that still exists counts.
static bool ReadRect(HWND window, WindowRect& rect, bool& gone, std::string& error)
{
    RECT r;
    gone = false;
    if (!GetWindowRect(window, &r)) {
        DWORD code = GetLastError();
        gone = !IsWindow(window);
        if (!gone) {
            error = DescribeFailure("GetWindowRect", code);
        }
        return false;
    }
    rect = {r.left, r.top, r.right, r.bottom};
    return true;
}

static BOOL CALLBACK CollectWindow(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The top-level windows shown with a title, in z-order, but the recording tool's own.
// Those whose title cannot be read are passed over, like those that have none:
// GetWindowTextW tells them apart from no title by nothing.
static bool ReadRecordableWindows(std::vector<WindowEntry>& windows, std::string& error)
{
    std::vector<HWND> handles;
    if (!EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&handles))) {
        error = DescribeFailure("EnumWindows", GetLastError());
        return false;
    }
    for (HWND window : handles) {
        int length = IsWindowVisible(window) ? GetWindowTextLengthW(window) : 0;
        if (length <= 0) {
            continue;
        }
        std::wstring title(length + 1, L'\0');
        length = GetWindowTextW(window, &title[0], length + 1);
        WindowEntry entry;
        entry.title = length > 0 ? Utf8(title.c_str(), length) : "";
        if (entry.title.empty() || entry.title == RECORDER_TITLE) {
            continue;
        }
        bool gone = false;
        if (!ReadRect(window, entry.rect, gone, error)) {
            if (gone) {
                continue;
            }
            return false;
        }
        entry.narrowLossless = NarrowLossless(title.c_str(), length);
        entry.program = ProgramName(window);
        entry.minimised = IsIconic(window) != FALSE;
        entry.cloaked = Cloaked(window);
        entry.sameTitle = SAME_TITLE_NONE;
        windows.push_back(entry);
    }
    return true;
}

bool ListRecordableWindows(std::vector<std::string>& lines, std::string& error)
{
    ScreenSize screen;
    std::vector<WindowEntry> windows;
    if (!ReadScreen(screen, error) || !ReadRecordableWindows(windows, error)) {
        return false;
    }
    MarkSameTitles(windows);
    lines.clear();
    for (const WindowEntry& window : windows) {
        lines.push_back(FormatWindowLine(window, screen));
    }
    return true;
}

bool CheckTargetWindow(const char* narrowTitle, TargetCheck& check, TargetFound& found,
                       std::string& error)
{
    if (!ReadScreen(found.screen, error)) {
        return false;
    }
    TargetState target = {false, false, false, {0, 0, 0, 0}, false, 0, ""};
    found.window = FindWindowA(NULL, narrowTitle);
    bool gone = false;
    if (found.window != NULL && ReadRect(found.window, target.rect, gone, error)) {
        target.found = true;
        target.minimised = IsIconic(found.window) != FALSE;
        target.visible = IsWindowVisible(found.window) != FALSE;
        target.cloaked = Cloaked(found.window);
        target.program = ProgramName(found.window);
    } else if (found.window != NULL && !gone) {
        return false;
    }
    std::vector<WindowEntry> windows;
    if (!ReadRecordableWindows(windows, error)) {
        return false;
    }
    std::string title = Utf8FromNarrow(narrowTitle);
    std::vector<std::string> others;
    for (const WindowEntry& entry : windows) {
        others.push_back(entry.title);
        target.sameTitles += entry.title == title ? 1 : 0;
    }
    check = CheckTarget(title, target, found.screen, others);
    found.rect = target.rect;
    return true;
}
