// Throughput of the recording tool's capture path against a bare GDI BitBlt loop over
// the same screen region, whether the default rate holds at 1920x1080 on a moving
// scene, and what a minute of recording costs on disk for a still window against a
// moving one. Run by recorder.sh, which adds ffmpeg's x11grab on the same display as
// an outside peer. Prints one "key value..." line per figure for the script to read.
// With "screen" (screen_sizes.sh): the same for the whole screen, whatever its size, a
// paced recording of it moving, and a captured frame with the encoder's picture of it
// left in the working folder for the script to weigh against ffmpeg's.
#include <windows.h>

#include <stdio.h>
#include <string.h>

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
#define PER_MINUTE_SECONDS 20
#define PER_MINUTE_WIDTH 1024
#define PER_MINUTE_HEIGHT 768
#define MOVE_TIMER 1
#define MOVE_INTERVAL_MS 30

struct Size {
    int width, height;
};

static const Size SIZES[] = {{640, 480}, {1280, 720}, {1920, 1080}};

// How far the scene has moved; it stands still while g_moving is false.
static int g_phase;
static bool g_moving;

static double Now()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

// A screen full of text and colour, so that the JPEG sizes and times are those of a
// busy window rather than of an empty desktop; while moving, it scrolls and its
// figures change on every timer tick.
static LRESULT CALLBACK SceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && g_moving) {
        ++g_phase;
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        for (int x = -40 + g_phase % 40; x < area.right; x += 40) {
            RECT bar = {x, 0, x + 40, area.bottom};
            int c = x - g_phase % 40;
            HBRUSH brush = CreateSolidBrush(RGB((c * 7) & 0xff, (c * 3) & 0xff, 255 - (c & 0xff)));
            FillRect(dc, &bar, brush);
            DeleteObject(brush);
        }
        SetBkMode(dc, TRANSPARENT);
        char line[160];
        for (int y = 0, row = 0; y < area.bottom; y += 16, ++row) {
            int length = snprintf(line, sizeof line,
                                  "%04d  open %8.3f  high %8.3f  low %8.3f  close %8.3f  volume %9d  "
                                  "%04d  open %8.3f  high %8.3f",
                                  row + g_phase, row * 1.25, row * 1.5, row * 0.75, row * 1.125,
                                  row * 977 + g_phase, row + 1, row * 2.5, row * 3.25);
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
        SetTimer(window, MOVE_TIMER, MOVE_INTERVAL_MS, nullptr);
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
static double EncodeFps(Size size, const std::vector<BYTE>& frame, size_t* bytes)
{
    const BgrxImage image = {frame.data(), static_cast<ptrdiff_t>(size.width) * 4,
                             static_cast<uint32_t>(size.width), static_cast<uint32_t>(size.height)};
    std::vector<uint8_t> jpeg;
    long frames = 0;
    double start = Now();
    double elapsed = 0;
    while (elapsed < FLAT_OUT_SECONDS / 2.0) {
        if (!EncodeBaselineJpeg(image, JPEG_QUALITY, &jpeg)) {
            fprintf(stderr, "EncodeBaselineJpeg refused %dx%d\n", size.width, size.height);
            break;
        }
        ++frames;
        elapsed = Now() - start;
    }
    *bytes = jpeg.size();
    return frames / elapsed;
}

// Lets the scene paint while a recording runs. A large scene paints for longer than its
// timer's interval, so that messages never run out: the time ends the pumping.
static void PumpFor(double seconds)
{
    double until = Now() + seconds;
    for (double left = seconds; left > 0; left = until - Now()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left * 1000) + 1,
                                  QS_ALLINPUT);
        MSG message;
        while (Now() < until && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
    }
}

// The session's screen read, as the session does it, timed: what a read costs beside
// the session's other threads, against BitBlt alone.
static double g_readSeconds;
static long g_reads;

static bool TimedBitBlt(HDC memory, HDC screen, const RecordRegion& r, uint64_t)
{
    double start = Now();
    BOOL read = BitBlt(memory, 0, 0, r.width, r.height, screen, r.left, r.top, SRCCOPY);
    g_readSeconds += Now() - start;
    ++g_reads;
    return read != FALSE;
}

static double ReadMs()
{
    return g_reads > 0 ? g_readSeconds * 1000 / g_reads : 0;
}

static bool RunSession(Size size, bool flatOut, double seconds, const std::string& path,
                       CaptureStats* stats)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "CreateFileA(%s) failed: error %lu\n", path.c_str(), GetLastError());
        return false;
    }
    CloseHandle(file);
    CaptureSettings settings = {{0, 0, size.width, size.height}, DEFAULT_FPS, AVI_SEGMENT_LIMIT,
                                UINT64_MAX, flatOut, NULL, 0, TimedBitBlt,
                                CAPTURE_FAILURE_LIMIT_MS, nullptr, nullptr, 0, nullptr};
    g_readSeconds = 0;
    g_reads = 0;
    char error[SESSION_ERROR_SIZE];
    CaptureSession* session = StartCapture(settings, path.c_str(), error, sizeof error);
    if (session == nullptr) {
        fprintf(stderr, "StartCapture: %s\n", error);
        return false;
    }
    PumpFor(seconds);
    SessionEnd end = FinishCapture(session, stats, error, sizeof error);
    DeleteFileA(path.c_str());
    if (end != SESSION_STOPPED) {
        fprintf(stderr, "capture ended early: %s\n", error);
        return false;
    }
    return true;
}

// A recording's bytes for each minute of its timeline.
static void PrintBytesPerMinute(const char* scene, const CaptureStats& stats)
{
    printf("per_minute %s %dx%d seconds %.1f frames %llu repeated %llu bytes %llu "
           "bytes_per_minute %.0f\n",
           scene, PER_MINUTE_WIDTH, PER_MINUTE_HEIGHT, stats.seconds,
           static_cast<unsigned long long>(stats.framesWritten),
           static_cast<unsigned long long>(stats.framesRepeated),
           static_cast<unsigned long long>(stats.bytesWritten),
           stats.bytesWritten / stats.seconds * 60);
    fflush(stdout);
}

static double ThreadSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return ((static_cast<uint64_t>(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
            (static_cast<uint64_t>(user.dwHighDateTime) << 32 | user.dwLowDateTime)) / 1e7;
}

// The encoder on one thread: pictures per second of that thread's processor time.
static double EncodePerCpuSecond(Size size, const std::vector<BYTE>& frame)
{
    double perSecond = 0;
    std::thread loop([&] {
        const BgrxImage image = {frame.data(), static_cast<ptrdiff_t>(size.width) * 4,
                                 static_cast<uint32_t>(size.width),
                                 static_cast<uint32_t>(size.height)};
        std::vector<uint8_t> jpeg;
        double started = ThreadSeconds();
        long frames = 0;
        for (double start = Now(); Now() - start < FLAT_OUT_SECONDS / 2.0; ++frames) {
            EncodeBaselineJpeg(image, JPEG_QUALITY, &jpeg);
        }
        perSecond = frames / (ThreadSeconds() - started);
    });
    loop.join();
    return perSecond;
}

static bool WriteWholeFile(const char* name, const void* data, size_t bytes)
{
    FILE* file = fopen(name, "wb");
    bool written = file != nullptr && fwrite(data, 1, bytes, file) == bytes;
    if (file != nullptr && fclose(file) != 0) {
        written = false;
    }
    if (!written) {
        fprintf(stderr, "could not write %s\n", name);
    }
    return written;
}

// The whole screen: BitBlt alone, the capture path flat out, a paced recording of the
// scene moving, and the encoder's share of the work.
static int ScreenFigures(const std::string& path)
{
    const Size size = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    printf("screen %dx%d processors %lu encoders %lu picture_bytes %llu\n", size.width,
           size.height, static_cast<unsigned long>(system.dwNumberOfProcessors),
           static_cast<unsigned long>(EncoderThreadCount(system.dwNumberOfProcessors)),
           static_cast<unsigned long long>(size.width) * size.height * 4);
    std::vector<BYTE> frame;
    double bitblt = BareBitBltFps(size, &frame);
    CaptureStats flat;
    if (!RunSession(size, true, FLAT_OUT_SECONDS, path, &flat)) {
        return 1;
    }
    double capture = flat.framesWritten / flat.seconds;
    printf("flat_out bitblt_fps %.1f capture_fps %.1f ratio %.2f peak_bytes %llu read_ms %.1f\n",
           bitblt, capture, capture / bitblt,
           static_cast<unsigned long long>(flat.peakBytesInFlight), ReadMs());
    fflush(stdout);
    g_moving = true;
    CaptureStats paced;
    if (!RunSession(size, false, PACED_SECONDS, path, &paced)) {
        return 1;
    }
    printf("paced seconds %.2f slots %llu pictures %llu repeats %llu dropped %llu "
           "bytes_per_minute %.0f peak_bytes %llu read_ms %.1f\n",
           paced.seconds, static_cast<unsigned long long>(paced.framesWritten),
           static_cast<unsigned long long>(paced.framesWritten - paced.framesRepeated),
           static_cast<unsigned long long>(paced.framesRepeated),
           static_cast<unsigned long long>(paced.framesDropped),
           paced.bytesWritten / paced.seconds * 60,
           static_cast<unsigned long long>(paced.peakBytesInFlight), ReadMs());
    fflush(stdout);
    g_moving = false;
    // The frame is the still scene, text and colour bars, as BitBlt left it.
    std::vector<uint8_t> jpeg;
    const BgrxImage image = {frame.data(), static_cast<ptrdiff_t>(size.width) * 4,
                             static_cast<uint32_t>(size.width), static_cast<uint32_t>(size.height)};
    if (!EncodeBaselineJpeg(image, JPEG_QUALITY, &jpeg) ||
        !WriteWholeFile("frame.bgr0", frame.data(), frame.size()) ||
        !WriteWholeFile("encoder.jpg", jpeg.data(), jpeg.size())) {
        return 1;
    }
    printf("encoder quality %d bytes %zu pictures_per_cpu_second %.1f\n", JPEG_QUALITY,
           jpeg.size(), EncodePerCpuSecond(size, frame));
    return 0;
}

int main(int argc, char** argv)
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
    if (argc > 1 && strcmp(argv[1], "screen") == 0) {
        return ScreenFigures(path);
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    for (const Size& size : SIZES) {
        std::vector<BYTE> frame;
        double bitblt = BareBitBltFps(size, &frame);
        CaptureStats stats;
        if (!RunSession(size, true, FLAT_OUT_SECONDS, path, &stats)) {
            return 1;
        }
        size_t bytes = 0;
        double encode = EncodeFps(size, frame, &bytes);
        double capture = stats.framesWritten / stats.seconds;
        double bytesPerSecond =
            stats.framesWritten ? static_cast<double>(stats.bytesWritten) / stats.framesWritten *
                                      DEFAULT_FPS
                                : 0;
        printf("size %dx%d bitblt_fps %.1f capture_fps %.1f ratio %.2f bytes_per_s_at_%d_fps %.0f "
               "quality %d encode_fps %.1f\n",
               size.width, size.height, bitblt, capture, capture / bitblt, DEFAULT_FPS,
               bytesPerSecond, JPEG_QUALITY, encode);
        fflush(stdout);
    }

    const Size perMinute = {PER_MINUTE_WIDTH, PER_MINUTE_HEIGHT};
    CaptureStats still;
    CaptureStats moving;
    if (!RunSession(perMinute, false, PER_MINUTE_SECONDS, path, &still)) {
        return 1;
    }
    PrintBytesPerMinute("still", still);
    g_moving = true;
    if (!RunSession(perMinute, false, PER_MINUTE_SECONDS, path, &moving)) {
        return 1;
    }
    PrintBytesPerMinute("moving", moving);

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
