// Throughput of the recording tool's capture path against a bare GDI BitBlt loop over
// the same screen region, and whether the default rate holds at 1920x1080. Run by
// recorder.sh, which adds ffmpeg's x11grab on the same display as an outside peer.
// Prints one "key value..." line per figure for the script to read.
#include <windows.h>

#include <stdio.h>

#include <string>
#include <thread>
#include <vector>

#include "capture_session.h"
#include "jpeg_baseline.h"
#include "describe_error.h"

#define BENCH_TITLE "RecorderBenchScene"
#define FLAT_OUT_SECONDS 4
#define PACED_SECONDS 10
#define PACED_WIDTH 1920
#define PACED_HEIGHT 1080

struct Size {
    int width, height;
};

static const Size SIZES[] = {{640, 480}, {1280, 720}, {1920, 1080}};

static double Now()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

// A screen full of text and colour, so that the JPEG sizes and times are those of a
// busy window rather than of an empty desktop.
static LRESULT CALLBACK SceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        for (int x = 0; x < area.right; x += 40) {
            RECT bar = {x, 0, x + 40, area.bottom};
            HBRUSH brush = CreateSolidBrush(RGB((x * 7) & 0xff, (x * 3) & 0xff, 255 - (x & 0xff)));
            FillRect(dc, &bar, brush);
            DeleteObject(brush);
        }
        SetBkMode(dc, TRANSPARENT);
        char line[160];
        for (int y = 0, row = 0; y < area.bottom; y += 16, ++row) {
            int length = snprintf(line, sizeof line,
                                  "%04d  open %8.3f  high %8.3f  low %8.3f  close %8.3f  volume %9d  "
                                  "%04d  open %8.3f  high %8.3f",
                                  row, row * 1.25, row * 1.5, row * 0.75, row * 1.125, row * 977,
                                  row + 1, row * 2.5, row * 3.25);
            TextOutA(dc, (row % 7) * 3, y, line, length);
        }
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND ShowScene()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = SceneProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = BENCH_TITLE;
    if (RegisterClassA(&windowClass) == 0) {
        return NULL;
    }
    HWND window = CreateWindowExA(WS_EX_TOPMOST, BENCH_TITLE, BENCH_TITLE, WS_POPUP | WS_VISIBLE, 0,
                                  0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window != NULL) {
        UpdateWindow(window);
        GdiFlush();
    }
    return window;
}

static double BareBitBltLoop(Size size, std::vector<BYTE>* lastFrame)
{
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.width;
    info.bmiHeader.biHeight = -size.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ original = SelectObject(memory, bitmap);
    long frames = 0;
    double start = Now();
    double elapsed = 0;
    while (elapsed < FLAT_OUT_SECONDS) {
        if (!BitBlt(memory, 0, 0, size.width, size.height, screen, 0, 0, SRCCOPY)) {
            char error[ERROR_TEXT_SIZE];
            DescribeLastError("BitBlt", error, sizeof error);
            fprintf(stderr, "%s\n", error);
            break;
        }
        GdiFlush();
        ++frames;
        elapsed = Now() - start;
    }
    const BYTE* pixels = static_cast<const BYTE*>(bits);
    lastFrame->assign(pixels, pixels + static_cast<size_t>(size.width) * size.height * 4);
    SelectObject(memory, original);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return frames / elapsed;
}

// The same BitBlt into the same kind of 32-bit DIB section as the capture path, with
// nothing else done per frame; on a thread of its own without windows, as the capture
// thread is (Wine does more work for a screen read on a thread that owns windows).
static double BareBitBltFps(Size size, std::vector<BYTE>* lastFrame)
{
    double fps = 0;
    std::thread loop([&] { fps = BareBitBltLoop(size, lastFrame); });
    loop.join();
    return fps;
}

// The encoder thread's work alone on one captured frame, and the frame's size.
static double EncodeFps(Size size, const std::vector<BYTE>& frame, int quality, size_t* bytes)
{
    const BgrxImage image = {frame.data(), static_cast<ptrdiff_t>(size.width) * 4,
                             static_cast<uint32_t>(size.width), static_cast<uint32_t>(size.height)};
    std::vector<uint8_t> jpeg;
    long frames = 0;
    double start = Now();
    double elapsed = 0;
    while (elapsed < FLAT_OUT_SECONDS / 2.0) {
        if (!EncodeBaselineJpeg(image, quality, &jpeg)) {
            fprintf(stderr, "EncodeBaselineJpeg refused %dx%d\n", size.width, size.height);
            break;
        }
        ++frames;
        elapsed = Now() - start;
    }
    *bytes = jpeg.size();
    return frames / elapsed;
}

static bool RunSession(Size size, bool flatOut, double seconds, const std::string& path,
                       CaptureStats* stats)
{
    CaptureSettings settings = {{0, 0, size.width, size.height}, DEFAULT_FPS, AVI_SIZE_LIMIT,
                                flatOut, NULL, 0, NULL, CAPTURE_FAILURE_LIMIT_MS};
    char error[SESSION_ERROR_SIZE];
    CaptureSession* session = StartCapture(settings, path.c_str(), error, sizeof error);
    if (session == nullptr) {
        fprintf(stderr, "StartCapture: %s\n", error);
        return false;
    }
    Sleep(static_cast<DWORD>(seconds * 1000));
    SessionEnd end = FinishCapture(session, stats, error, sizeof error);
    DeleteFileA(path.c_str());
    if (end != SESSION_STOPPED) {
        fprintf(stderr, "capture ended early: %s\n", error);
        return false;
    }
    return true;
}

int main()
{
    if (ShowScene() == NULL) {
        char error[ERROR_TEXT_SIZE];
        DescribeLastError("scene window", error, sizeof error);
        fprintf(stderr, "%s\n", error);
        return 1;
    }
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string path = std::string(temp) + "recorder_bench.avi";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    for (const Size& size : SIZES) {
        std::vector<BYTE> frame;
        double bitblt = BareBitBltFps(size, &frame);
        CaptureStats stats;
        if (!RunSession(size, true, FLAT_OUT_SECONDS, path, &stats)) {
            return 1;
        }
        size_t bytes = 0, bytesMax = 0, bytesMin = 0;
        double encode = EncodeFps(size, frame, stats.jpegQuality, &bytes);
        EncodeFps(size, frame, JPEG_QUALITY_MAX, &bytesMax);
        EncodeFps(size, frame, JPEG_QUALITY_MIN, &bytesMin);
        double capture = stats.framesWritten / stats.seconds;
        double bytesPerSecond =
            stats.framesWritten ? static_cast<double>(stats.bytesWritten) / stats.framesWritten *
                                      DEFAULT_FPS
                                : 0;
        printf("size %dx%d bitblt_fps %.1f capture_fps %.1f ratio %.2f bytes_per_s_at_%d_fps %.0f "
               "quality %d encode_fps %.1f quality_max %d bytes_per_s %llu quality_min %d "
               "bytes_per_s %llu\n",
               size.width, size.height, bitblt, capture, capture / bitblt, DEFAULT_FPS,
               bytesPerSecond, stats.jpegQuality, encode, JPEG_QUALITY_MAX,
               static_cast<unsigned long long>(bytesMax) * DEFAULT_FPS, JPEG_QUALITY_MIN,
               static_cast<unsigned long long>(bytesMin) * DEFAULT_FPS);
        fflush(stdout);
    }

    CaptureStats paced;
    Size big = {PACED_WIDTH, PACED_HEIGHT};
    if (!RunSession(big, false, PACED_SECONDS, path, &paced)) {
        return 1;
    }
    printf("paced %dx%d seconds %.2f frames %llu expected %.0f dropped %llu holds %s\n",
           PACED_WIDTH, PACED_HEIGHT, paced.seconds,
           static_cast<unsigned long long>(paced.framesWritten), paced.seconds * DEFAULT_FPS + 1,
           static_cast<unsigned long long>(paced.framesDropped),
           paced.framesDropped == 0 ? "yes" : "no");
    CoUninitialize();
    return 0;
}
