#include "host_output.h"

#include <deque>

#include "code_page.h"

struct OutputItem {
    HANDLE stream;
    std::string text;
    bool progress;
};

struct OutputState {
    CRITICAL_SECTION lock;
    HANDLE queued;   // auto-reset: something was queued
    HANDLE idle;     // manual-reset: nothing waits and nothing is being written
    std::deque<OutputItem> items;
    bool writer;
};

static OutputState g_output;

static bool IsConsole(HANDLE stream)
{
    DWORD mode = 0;
    return GetConsoleMode(stream, &mode) != 0;
}

static void Write(const OutputItem& item)
{
    if (IsConsole(item.stream)) {
        std::wstring wide = WideFromUtf8(item.text);
        DWORD written = 0;
        WriteConsoleW(item.stream, wide.data(), static_cast<DWORD>(wide.size()), &written, NULL);
        return;
    }
    std::string text;
    for (char c : item.text) {
        text += c == '\n' ? "\r\n" : std::string(1, c);
    }
    DWORD written = 0;
    WriteFile(item.stream, text.data(), static_cast<DWORD>(text.size()), &written, NULL);
}

static DWORD WINAPI WriteQueued(LPVOID)
{
    for (;;) {
        WaitForSingleObject(g_output.queued, INFINITE);
        for (;;) {
            EnterCriticalSection(&g_output.lock);
            if (g_output.items.empty()) {
                SetEvent(g_output.idle);
                LeaveCriticalSection(&g_output.lock);
                break;
            }
            OutputItem item = g_output.items.front();
            g_output.items.pop_front();
            LeaveCriticalSection(&g_output.lock);
            Write(item);
        }
    }
}

void StartOutput()
{
    InitializeCriticalSection(&g_output.lock);
    g_output.queued = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_output.idle = CreateEventA(NULL, TRUE, TRUE, NULL);
    HANDLE thread = NULL;
    if (g_output.queued != NULL && g_output.idle != NULL) {
        thread = CreateThread(NULL, 0, WriteQueued, NULL, 0, NULL);
    }
    g_output.writer = thread != NULL;
    if (thread != NULL) {
        CloseHandle(thread);
    }
}

bool OutputIsConsole()
{
    return IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
}

static void Queue(HANDLE stream, const std::string& text, bool progress)
{
    OutputItem item = {stream, text, progress};
    if (!g_output.writer) {
        Write(item);
        return;
    }
    EnterCriticalSection(&g_output.lock);
    if (progress && !g_output.items.empty() && g_output.items.back().progress) {
        g_output.items.back() = item;
    } else {
        g_output.items.push_back(item);
    }
    ResetEvent(g_output.idle);
    LeaveCriticalSection(&g_output.lock);
    SetEvent(g_output.queued);
}

void Say(const std::string& text)
{
    Queue(GetStdHandle(STD_OUTPUT_HANDLE), text, false);
}

void SayProgress(const std::string& text)
{
    Queue(GetStdHandle(STD_OUTPUT_HANDLE), text, true);
}

void Complain(const std::string& line)
{
    Queue(GetStdHandle(STD_ERROR_HANDLE), "bridge-host: " + line + "\n", false);
}

bool FinishOutput(DWORD timeoutMs)
{
    return !g_output.writer || WaitForSingleObject(g_output.idle, timeoutMs) == WAIT_OBJECT_0;
}
