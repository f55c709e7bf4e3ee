// The demo target: a window with a known title that paints a clock, a bouncing mark
// and a frame counter, so that a recording of it visibly moves.
#include <windows.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "demo_target.h"
#include "describe_error.h"

#define DEMO_CLASS "BridgeDemoTarget"
#define FRAME_TIMER 1
#define FRAME_INTERVAL_MS 40
#define MARK_SIZE 48
#define MARK_SPEED_X 7
#define MARK_SPEED_Y 5
#define CLOCK_RADIUS 110
#define CLOCK_CENTER_X 470
#define CLOCK_CENTER_Y 180
#define TEXT_MARGIN 16
#define PI 3.14159265358979

struct DemoState {
    unsigned long frame;
    int markX;
    int markY;
    int speedX;
    int speedY;
    DWORD began;
};

static DemoState g_demo = {0, 40, 60, MARK_SPEED_X, MARK_SPEED_Y, 0};

static void Report(const char* call)
{
    char text[ERROR_TEXT_SIZE];
    DescribeLastError(call, text, sizeof text);
    MessageBoxA(NULL, text, DEMO_TITLE, MB_OK | MB_ICONERROR);
}

static void MoveMark(int width, int height)
{
    g_demo.markX += g_demo.speedX;
    g_demo.markY += g_demo.speedY;
    if (g_demo.markX < 0 || g_demo.markX + MARK_SIZE > width) {
        g_demo.speedX = -g_demo.speedX;
        g_demo.markX += 2 * g_demo.speedX;
    }
    if (g_demo.markY < 0 || g_demo.markY + MARK_SIZE > height) {
        g_demo.speedY = -g_demo.speedY;
        g_demo.markY += 2 * g_demo.speedY;
    }
}

static void DrawHand(HDC dc, double turns, int length, int width, COLORREF color)
{
    HPEN pen = CreatePen(PS_SOLID, width, color);
    HGDIOBJ old = SelectObject(dc, pen);
    double angle = turns * 2 * PI;
    MoveToEx(dc, CLOCK_CENTER_X, CLOCK_CENTER_Y, NULL);
    LineTo(dc, CLOCK_CENTER_X + static_cast<int>(length * sin(angle)),
           CLOCK_CENTER_Y - static_cast<int>(length * cos(angle)));
    SelectObject(dc, old);
    DeleteObject(pen);
}

static void DrawClock(HDC dc)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    HBRUSH face = CreateSolidBrush(RGB(250, 250, 240));
    HGDIOBJ oldBrush = SelectObject(dc, face);
    Ellipse(dc, CLOCK_CENTER_X - CLOCK_RADIUS, CLOCK_CENTER_Y - CLOCK_RADIUS,
            CLOCK_CENTER_X + CLOCK_RADIUS, CLOCK_CENTER_Y + CLOCK_RADIUS);
    SelectObject(dc, oldBrush);
    DeleteObject(face);
    double seconds = now.wSecond + now.wMilliseconds / 1000.0;
    double minutes = now.wMinute + seconds / 60;
    DrawHand(dc, (now.wHour % 12 + minutes / 60) / 12, CLOCK_RADIUS / 2, 6, RGB(20, 20, 20));
    DrawHand(dc, minutes / 60, CLOCK_RADIUS * 3 / 4, 4, RGB(20, 20, 20));
    DrawHand(dc, seconds / 60, CLOCK_RADIUS - 10, 2, RGB(220, 30, 30));
}

static void Paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    // Drawn off screen first, so that a captured frame never shows half a picture.
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);

    HBRUSH background = CreateSolidBrush(RGB(24, 40, 72));
    FillRect(dc, &client, background);
    DeleteObject(background);

    DrawClock(dc);

    HBRUSH mark = CreateSolidBrush(RGB(255, 180, 0));
    RECT markRect = {g_demo.markX, g_demo.markY, g_demo.markX + MARK_SIZE,
                     g_demo.markY + MARK_SIZE};
    FillRect(dc, &markRect, mark);
    DeleteObject(mark);

    char text[96];
    DWORD elapsed = GetTickCount() - g_demo.began;
    int length = snprintf(text, sizeof text, "frame %lu   %lu.%02lu s", g_demo.frame,
                          elapsed / 1000, elapsed / 10 % 100);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutA(dc, TEXT_MARGIN, client.bottom - 2 * TEXT_MARGIN, text, length);
    TextOutA(dc, TEXT_MARGIN, TEXT_MARGIN, DEMO_TITLE, static_cast<int>(strlen(DEMO_TITLE)));

    BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EndPaint(window, &paint);
}

static LRESULT CALLBACK DemoWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        ++g_demo.frame;
        MoveMark(DEMO_WIDTH, DEMO_HEIGHT);
        InvalidateRect(window, NULL, FALSE);
        return 0;
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = DemoWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.lpszClassName = DEMO_CLASS;
    if (!RegisterClassA(&windowClass)) {
        Report("RegisterClassA");
        return 1;
    }
    // A popup goes exactly where it is asked, with no frame, so the recording is the
    // picture alone.
    bool cover = strstr(commandLine, DEMO_COVER_OPTION) != NULL;
    const char* title = cover ? DEMO_COVER_TITLE : DEMO_TITLE;
    int left = cover ? DEMO_LEFT + DEMO_WIDTH / 2 : DEMO_LEFT;
    int top = cover ? DEMO_TOP + DEMO_HEIGHT / 2 : DEMO_TOP;
    int width = cover ? DEMO_WIDTH / 2 : DEMO_WIDTH;
    int height = cover ? DEMO_HEIGHT / 2 : DEMO_HEIGHT;
    HWND window = CreateWindowExA(cover ? WS_EX_TOPMOST : 0, DEMO_CLASS, title, WS_POPUP, left,
                                  top, width, height, NULL, NULL, instance, NULL);
    if (window == NULL) {
        Report("CreateWindowExA");
        return 1;
    }
    // As it was started: minimised, say, to try what bridge-host makes of that.
    ShowWindow(window, showCommand);
    // The demo script waits for this line before it asks for the recording.
    printf("%s: window at %d,%d, %dx%d\n", title, left, top, width, height);
    fflush(stdout);
    g_demo.began = GetTickCount();
    if (!SetTimer(window, FRAME_TIMER, FRAME_INTERVAL_MS, NULL)) {
        Report("SetTimer");
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
