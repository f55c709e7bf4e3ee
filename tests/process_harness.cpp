#include "process_harness.h"

#include <tlhelp32.h>

#include <stdio.h>

#include "bridge_contract.h"
#include "code_page.h"
#include "recorder_contract.h"

std::string BinDir()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

std::string MakeTempDir(const char* tag)
{
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    static unsigned counter;
    for (;;) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s%s_%lu_%u\\", base, tag, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(path, NULL)) {
            return path;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return std::string();
        }
    }
}

std::string ReadTextFile(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    char buffer[4096];
    DWORD got;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0) {
        text.append(buffer, got);
    }
    CloseHandle(file);
    return text;
}

std::vector<std::string> FilesIn(const std::string& folder, const char* pattern)
{
    std::vector<std::string> files;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + pattern).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return files;
    }
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            files.push_back(folder + entry.cFileName);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return files;
}

bool LayOutTool(const char* tag, const char* tool, ToolLayout& layout)
{
    layout.workDir = MakeTempDir(tag);
    layout.toolFolder = layout.workDir + "rec\\tool\\";
    return !layout.workDir.empty() && CreateDirectoryA((layout.workDir + "rec").c_str(), NULL) &&
           CreateDirectoryA(layout.toolFolder.c_str(), NULL) &&
           (tool == NULL || CopyFileA((BinDir() + tool).c_str(),
                                      (layout.toolFolder + RECORDER_EXE).c_str(), FALSE));
}

std::string BridgeArguments(const char* title, const std::string& toolFolder)
{
    return title + std::string(1, COMMAND_LINE_SEPARATOR) + toolFolder;
}

std::vector<std::string> RecordingsIn(const std::string& workDir)
{
    return FilesIn(workDir + RECORDINGS_FOLDER "\\", "*" RECORDING_EXTENSION);
}

// Fills the pipe's buffer, writing without waiting until a write takes nothing more.
static void FillPipe(HANDLE write)
{
    DWORD noWait = PIPE_NOWAIT;
    DWORD wait = PIPE_WAIT;
    SetNamedPipeHandleState(write, &noWait, NULL, NULL);
    char bytes[512] = {};
    DWORD written = 0;
    while (WriteFile(write, bytes, sizeof bytes, &written, NULL) && written > 0) {
    }
    SetNamedPipeHandleState(write, &wait, NULL, NULL);
}

bool StartChild(const std::string& exe, const std::string& args, WORD showCommand,
                ChildProcess& child, const char* directory, bool inputPipe, DWORD creationFlags,
                bool fullOutput)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE outputWrite;
    if (!CreatePipe(&child.outputRead, &outputWrite, &inherit, 0)) {
        return false;
    }
    SetHandleInformation(child.outputRead, HANDLE_FLAG_INHERIT, 0);
    if (fullOutput) {
        FillPipe(outputWrite);
    }
    HANDLE inputRead = GetStdHandle(STD_INPUT_HANDLE);
    if (inputPipe) {
        if (!CreatePipe(&inputRead, &child.inputWrite, &inherit, 0)) {
            CloseHandle(outputWrite);
            return false;
        }
        SetHandleInformation(child.inputWrite, HANDLE_FLAG_INHERIT, 0);
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = showCommand;
    startup.hStdInput = inputRead;
    startup.hStdOutput = outputWrite;
    startup.hStdError = outputWrite;

    std::wstring program = WideFromUtf8(exe);
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!args.empty()) {
        commandLine += L" " + WideFromAnsi(args);
    }
    std::wstring folder = directory != NULL ? WideFromAnsi(directory) : L"";
    BOOL started = CreateProcessW(program.c_str(), &commandLine[0], NULL, NULL, TRUE,
                                  creationFlags, NULL, directory != NULL ? folder.c_str() : NULL,
                                  &startup, &child.info);
    CloseHandle(outputWrite);
    if (inputPipe) {
        CloseHandle(inputRead);
    }
    return started != FALSE;
}

void PollOutput(ChildProcess& child)
{
    DWORD available = 0;
    while (child.outputRead && PeekNamedPipe(child.outputRead, NULL, 0, NULL, &available, NULL) &&
           available > 0) {
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(child.outputRead, buffer, available < sizeof buffer ? available : DWORD(sizeof buffer), &got, NULL) ||
            got == 0) {
            break;
        }
        child.output.append(buffer, got);
    }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD started = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (condition()) {
            return true;
        }
        if (GetTickCount() - started >= timeoutMs) {
            return false;
        }
        Sleep(5);
    }
}

bool WaitForOutput(ChildProcess& child, const std::string& needle, DWORD timeoutMs)
{
    return WaitUntil(
        [&] {
            PollOutput(child);
            return child.output.find(needle) != std::string::npos;
        },
        timeoutMs);
}

bool WaitForExit(ChildProcess& child, DWORD timeoutMs, DWORD* exitCode)
{
    bool ended = WaitUntil(
        [&] {
            PollOutput(child);
            return WaitForSingleObject(child.info.hProcess, 0) == WAIT_OBJECT_0;
        },
        timeoutMs);
    if (!ended) {
        return false;
    }
    PollOutput(child);
    return GetExitCodeProcess(child.info.hProcess, exitCode) != FALSE;
}

void CloseChild(ChildProcess& child)
{
    if (child.info.hProcess) {
        if (WaitForSingleObject(child.info.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(child.info.hProcess, 1);
            WaitForSingleObject(child.info.hProcess, 5000);
        }
        CloseHandle(child.info.hProcess);
        CloseHandle(child.info.hThread);
    }
    for (HANDLE pipe : {child.outputRead, child.inputWrite}) {
        if (pipe) {
            CloseHandle(pipe);
        }
    }
    child.info = PROCESS_INFORMATION();
    child.outputRead = NULL;
    child.inputWrite = NULL;
    child.output.clear();
}

namespace {
struct WindowQuery {
    DWORD processId;
    const char* className;
    const char* title;
    HWND found;
    int closed;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    WindowQuery* query = reinterpret_cast<WindowQuery*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != query->processId) {
        return TRUE;
    }
    char text[256];
    if (query->className) {
        GetClassNameA(window, text, sizeof text);
        if (lstrcmpiA(text, query->className) != 0) {
            return TRUE;
        }
    }
    if (query->title) {
        GetWindowTextA(window, text, sizeof text);
        if (lstrcmpA(text, query->title) != 0) {
            return TRUE;
        }
    }
    query->found = window;
    return FALSE;
}

BOOL CALLBACK CloseErrorBox(HWND window, LPARAM param)
{
    WindowQuery* query = reinterpret_cast<WindowQuery*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64];
    GetClassNameA(window, className, sizeof className);
    if (owner == query->processId && lstrcmpA(className, "#32770") == 0) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        ++query->closed;
    }
    return TRUE;
}
} // namespace

HWND FindProcessWindow(DWORD processId, const char* className, const char* title)
{
    WindowQuery query = {processId, className, title, NULL, 0};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

bool FindTool(ToolWindows& tool, const char* const* fieldTexts)
{
    const char* const startTexts[] = {LEFT_TEXT, TOP_TEXT, WIDTH_TEXT, HEIGHT_TEXT};
    const char* const* texts = fieldTexts ? fieldTexts : startTexts;
    tool.window = FindWindowA(NULL, RECORDER_TITLE);
    tool.play = FindWindowExA(tool.window, NULL, BUTTON_CLASS, PLAY_TEXT);
    tool.stop = FindWindowExA(tool.window, NULL, BUTTON_CLASS, STOP_TEXT);
    tool.left = FindWindowExA(tool.window, NULL, EDIT_CLASS, texts[0]);
    tool.top = FindWindowExA(tool.window, NULL, EDIT_CLASS, texts[1]);
    tool.width = FindWindowExA(tool.window, NULL, EDIT_CLASS, texts[2]);
    tool.height = FindWindowExA(tool.window, NULL, EDIT_CLASS, texts[3]);
    return tool.window && tool.play && tool.stop && tool.left && tool.top && tool.width &&
           tool.height;
}

int CloseErrorBoxes(DWORD processId)
{
    WindowQuery query = {processId, NULL, NULL, NULL, 0};
    EnumWindows(CloseErrorBox, reinterpret_cast<LPARAM>(&query));
    return query.closed;
}

std::vector<DWORD> ProcessesNamed(const char* imageName, DWORD parentId)
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return ids;
    }
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, imageName) == 0 &&
            (parentId == 0 || entry.th32ParentProcessID == parentId)) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

bool ProcessRunning(DWORD processId)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == NULL) {
        return false;
    }
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

std::string WireExitForEndedTool()
{
    bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL;
    return wine ? WIRE_EXIT_SUCCESS : WIRE_EXIT_FAILED;
}

bool ProcessInJob(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    BOOL inJob = FALSE;
    if (process != NULL) {
        IsProcessInJob(process, NULL, &inJob);
        CloseHandle(process);
    }
    return inJob != FALSE;
}

void KillProcessesNamed(const char* imageName)
{
    for (DWORD id : ProcessesNamed(imageName)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

namespace {
LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}
} // namespace

TargetWindow::TargetWindow(const char* title, int left, int top, int width, int height,
                           COLORREF colour)
{
    char className[64];
    snprintf(className, sizeof className, "TestTarget_%06lx", colour & 0xFFFFFF);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TargetProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hbrBackground = CreateSolidBrush(colour);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    window = CreateWindowExA(WS_EX_TOPMOST, className, title, WS_POPUP | WS_VISIBLE, left, top,
                             width, height, NULL, NULL, windowClass.hInstance, NULL);
    UpdateWindow(window);
}

TargetWindow::~TargetWindow()
{
    DestroyWindow(window);
}

long long LinuxProcessorMs(const std::string& marker)
{
    const long long TICKS_PER_SECOND = 100;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return -1;
    }
    long long found = -1;
    do {
        if (entry.cFileName[0] < '1' || entry.cFileName[0] > '9') {
            continue;
        }
        std::string dir = std::string("Z:\\proc\\") + entry.cFileName;
        std::string commandLine = ReadTextFile(dir + "\\cmdline");
        for (char& c : commandLine) {
            if (c == '\0') {
                c = ' ';
            }
        }
        if (commandLine.find(marker) == std::string::npos) {
            continue;
        }
        std::string stat = ReadTextFile(dir + "\\stat");
        size_t at = stat.rfind(')');
        if (at == std::string::npos) {
            continue;
        }
        // After the name: state, then fields 4 to 13, then utime and stime.
        long long userTicks = 0, systemTicks = 0;
        if (sscanf(stat.c_str() + at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lld %lld",
                   &userTicks, &systemTicks) == 2) {
            found = (userTicks + systemTicks) * 1000 / TICKS_PER_SECOND;
            break;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}
