/* gui_host: a window that records itself through the bridge, driving the client from
   its own thread without ever blocking it. A 20 ms timer repaints the window (a counter
   on a changing colour) and advances the session one step with a timeout of 0, so the
   recording shows the repaints going on throughout.

       gui_host [SECONDS] [TOOL_FOLDER] [BRIDGE]

   SECONDS      how long to record (default 5)
   TOOL_FOLDER  the folder holding LUMARO_VideoTool.exe (default rec\tool\, as in the
                package); the recording lands in its ..\..\recordings\
   BRIDGE       the bridge program (default LUMARO_ScreenRecBridge.exe)
   Prints the longest gap between two timer ticks and the recording's path. Exit code
   0 with a recording, 1 when something failed (one line on standard error says what),
   2 for bad arguments.

   Build: gcc -std=c99 -I.. gui_host.c -o gui_host.exe -lgdi32 (MinGW-w64), or
          cl /I.. gui_host.c (MSVC). */
#define LUMARO_BRIDGE_IMPLEMENTATION
#include "lumaro_bridge.h"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#ifdef _MSC_VER
#pragma comment(lib, "gdi32.lib")
#endif

#define GUI_TITLE "LUMARO GUI host sample"
#define GUI_CLASS "LumaroGuiHostSample"
#define TICK_TIMER 1
#define TICK_MS 20

enum gui_step { GUI_OPENING, GUI_STARTING, GUI_RECORDING, GUI_STOPPING };

static struct {
    lumaro_bridge_session session;
    enum gui_step step;
    char bridge[MAX_PATH];
    char folder[MAX_PATH];
    unsigned long record_ms;
    DWORD recording_began;
    DWORD last_tick;
    DWORD longest_gap;
    unsigned long ticks;
} g_gui;

/* One step of the session, never waiting: each call returns PENDING until done. */
static void advance(HWND window)
{
    lumaro_bridge_session* s = &g_gui.session;
    lumaro_bridge_result result = LUMARO_BRIDGE_PENDING;
    int done = 0;
    switch (g_gui.step) {
    case GUI_OPENING:
        result = lumaro_bridge_open(s, g_gui.bridge, GUI_TITLE, g_gui.folder, 0);
        if (result == LUMARO_BRIDGE_OK) {
            g_gui.step = GUI_STARTING;
        }
        break;
    case GUI_STARTING:
        result = lumaro_bridge_start(s, 0);
        if (result == LUMARO_BRIDGE_OK) {
            g_gui.step = GUI_RECORDING;
            g_gui.recording_began = GetTickCount();
        }
        break;
    case GUI_RECORDING:
        result = lumaro_bridge_poll(s, 0);
        if (result == LUMARO_BRIDGE_OK &&
            GetTickCount() - g_gui.recording_began >= g_gui.record_ms) {
            g_gui.step = GUI_STOPPING;
        }
        break;
    case GUI_STOPPING:
        result = lumaro_bridge_stop(s, 0);
        done = result != LUMARO_BRIDGE_PENDING;
        break;
    }
    if (done || (result != LUMARO_BRIDGE_OK && result != LUMARO_BRIDGE_PENDING)) {
        KillTimer(window, TICK_TIMER);
        lumaro_bridge_close(s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
        DestroyWindow(window);
    }
}

static void paint(HWND window)
{
    PAINTSTRUCT paint_info;
    RECT area;
    char text[64];
    HDC dc = BeginPaint(window, &paint_info);
    HBRUSH brush = CreateSolidBrush(RGB(g_gui.ticks * 3 % 256, 96, 160));
    GetClientRect(window, &area);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
    snprintf(text, sizeof text, "tick %lu", g_gui.ticks);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 20, 20, text, (int)strlen(text));
    EndPaint(window, &paint_info);
}

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    DWORD now;
    switch (message) {
    case WM_TIMER:
        now = GetTickCount();
        if (g_gui.ticks > 0 && now - g_gui.last_tick > g_gui.longest_gap) {
            g_gui.longest_gap = now - g_gui.last_tick;
        }
        g_gui.last_tick = now;
        ++g_gui.ticks;
        InvalidateRect(window, NULL, FALSE);
        advance(window);
        return 0;
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

/* The bridge starts the tool from the folder as it is given, so it must be absolute. */
static int absolute(const char* path, char* full, DWORD size)
{
    DWORD length = GetFullPathNameA(path, size, full, NULL);
    return length > 0 && length < size;
}

int main(int argc, char** argv)
{
    unsigned long seconds = argc > 1 ? strtoul(argv[1], NULL, 10) : 5;
    WNDCLASSA window_class;
    HWND window;
    MSG message;
    const char* recording;
    if (argc > 4 || seconds == 0 || seconds > 86400) {
        fprintf(stderr, "usage: gui_host [SECONDS] [TOOL_FOLDER] [BRIDGE]\n");
        return 2;
    }
    if (!absolute(argc > 2 ? argv[2] : "rec\\tool\\", g_gui.folder, sizeof g_gui.folder - 1) ||
        !absolute(argc > 3 ? argv[3] : LUMARO_BRIDGE_EXE, g_gui.bridge, sizeof g_gui.bridge)) {
        fprintf(stderr, "gui_host: a path is too long\n");
        return 2;
    }
    if (lumaro_bridge_folder_lacks_end(g_gui.folder)) {
        strcat(g_gui.folder, "\\");
    }
    g_gui.record_ms = seconds * 1000;
    lumaro_bridge_init(&g_gui.session, NULL, NULL);
    memset(&window_class, 0, sizeof window_class);
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.hCursor = LoadCursor(NULL, IDC_ARROW);
    window_class.lpszClassName = GUI_CLASS;
    window = RegisterClassA(&window_class)
                 ? CreateWindowExA(WS_EX_TOPMOST, GUI_CLASS, GUI_TITLE, WS_OVERLAPPEDWINDOW,
                                   100, 100, 480, 270, NULL, NULL, window_class.hInstance, NULL)
                 : NULL;
    if (window == NULL || !SetTimer(window, TICK_TIMER, TICK_MS, NULL)) {
        fprintf(stderr, "gui_host: could not open its window (error %lu)\n", GetLastError());
        return 1;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    printf("longest timer gap: %lu ms over %lu ticks\n", (unsigned long)g_gui.longest_gap,
           g_gui.ticks);
    recording = lumaro_bridge_recording(&g_gui.session);
    if (g_gui.session.result != LUMARO_BRIDGE_OK) {
        fprintf(stderr, "gui_host: %s\n", g_gui.session.error);
        return 1;
    }
    printf("recorded into %s\n", recording != NULL ? recording : "the tool's recordings folder");
    return 0;
}
