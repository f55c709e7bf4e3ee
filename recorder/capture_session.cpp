#include "capture_session.h"

#include <stdio.h>
#include <string.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "avi_writer.h"
#include "jpeg_baseline.h"
#include "describe_error.h"

struct CapturedFrame {
    int buffer;
    uint64_t slot;
    int64_t capturedAt;   // performance-counter ticks
};

struct CaptureSession {
    CaptureSettings settings;
    std::string path;

    HDC screen;
    HDC memory;
    HGDIOBJ originalBitmap;
    HBITMAP bitmaps[CAPTURE_BUFFERS];
    BYTE* pixels[CAPTURE_BUFFERS];
    UINT stride;

    std::mutex lock;
    std::condition_variable changed;
    bool bufferFree[CAPTURE_BUFFERS];
    std::deque<CapturedFrame> queue;
    bool captureDone;
    bool encoderReady;
    bool encoderStarted;
    SessionEnd end;
    char error[SESSION_ERROR_SIZE];

    HANDLE stopEvent;
    std::atomic<bool> stopping;
    int64_t frequency;
    int64_t start;
    std::atomic<uint64_t> framesWritten;
    std::atomic<uint64_t> framesCaptured;
    std::atomic<uint64_t> framesDropped;
    std::atomic<uint64_t> bytesWritten;
    std::atomic<int> jpegQuality;

    std::thread captureThread;
    std::thread encoderThread;
};

static int64_t Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

static void Notify(CaptureSession* s, SessionNotice notice, LPARAM detail)
{
    if (s->settings.notifyWindow != NULL) {
        PostMessageA(s->settings.notifyWindow, s->settings.notifyMessage, notice, detail);
    }
}

// Records why the session ended (the first reason wins) and wakes everyone.
static void EndSession(CaptureSession* s, SessionEnd end, const char* error)
{
    bool notify = false;
    {
        std::lock_guard<std::mutex> guard(s->lock);
        if (s->end == SESSION_RUNNING) {
            s->end = end;
            if (error != nullptr) {
                snprintf(s->error, sizeof s->error, "%s", error);
            }
            notify = end != SESSION_STOPPED;
        }
    }
    s->stopping = true;
    SetEvent(s->stopEvent);
    s->changed.notify_all();
    if (notify) {
        Notify(s, NOTICE_ENDED, 0);
    }
}

static int TakeFreeBuffer(CaptureSession* s, bool wait)
{
    std::unique_lock<std::mutex> guard(s->lock);
    for (;;) {
        for (int i = 0; i < CAPTURE_BUFFERS; ++i) {
            if (s->bufferFree[i]) {
                s->bufferFree[i] = false;
                return i;
            }
        }
        if (!wait || s->stopping) {
            return -1;
        }
        s->changed.wait(guard);
    }
}

static void WaitTicks(CaptureSession* s, int64_t ticks)
{
    DWORD ms = static_cast<DWORD>((ticks * 1000 + s->frequency - 1) / s->frequency);
    WaitForSingleObject(s->stopEvent, ms);
}

static void FreeBuffer(CaptureSession* s, int buffer)
{
    {
        std::lock_guard<std::mutex> guard(s->lock);
        s->bufferFree[buffer] = true;
    }
    s->changed.notify_all();
}

static bool BitBltFrame(HDC memory, HDC screen, const RecordRegion& r)
{
    return BitBlt(memory, 0, 0, r.width, r.height, screen, r.left, r.top, SRCCOPY) != FALSE;
}

// Tells of captures that begin to fail and work again, and ends the session when they
// have failed for the limit.
static void TrackCaptures(CaptureSession* s, CaptureFailures* failures, bool captured,
                          DWORD code, int64_t capturedAt)
{
    uint64_t failedBefore = failures->inRow;
    switch (TrackCapture(failures, captured, capturedAt, s->frequency,
                         s->settings.captureFailureLimitMs)) {
    case CAPTURE_RECOVERED:
        Notify(s, NOTICE_CAPTURE_RECOVERED, static_cast<LPARAM>(failedBefore));
        break;
    case CAPTURE_FAILING:
        Notify(s, NOTICE_CAPTURE_FAILING, static_cast<LPARAM>(code));
        break;
    case CAPTURE_GIVE_UP: {
        char reason[SESSION_ERROR_SIZE];
        char error[SESSION_ERROR_SIZE];
        DescribeError("screen capture (BitBlt)", code, reason, sizeof reason);
        snprintf(error, sizeof error, "the screen could not be captured for %lu s: %s",
                 static_cast<unsigned long>(s->settings.captureFailureLimitMs / 1000), reason);
        EndSession(s, SESSION_FAILED, error);
        break;
    }
    case CAPTURE_OK:
    case CAPTURE_STILL_FAILING:
        break;
    }
}

static void CaptureLoop(CaptureSession* s)
{
    const RecordRegion& r = s->settings.region;
    CaptureFrame capture = s->settings.captureFrame ? s->settings.captureFrame : BitBltFrame;
    CaptureFailures failures = {0, 0};
    uint64_t nextSlot = 0;
    // The first slot is captured even when the stop came at once, so that every
    // recording holds at least the moment it began and plays.
    for (bool first = true; first || !s->stopping; first = false) {
        uint64_t slot = nextSlot;
        if (!s->settings.flatOut) {
            SlotPlan plan = PlanSlot(Now(), s->start, s->frequency, s->settings.fps, nextSlot);
            if (plan.waitTicks > 0) {
                WaitTicks(s, plan.waitTicks);
                continue;
            }
            slot = plan.slot;
            s->framesDropped += plan.missed;
        }
        nextSlot = slot + 1;
        int buffer = TakeFreeBuffer(s, s->settings.flatOut);
        if (buffer < 0) {
            if (!s->stopping) {
                ++s->framesDropped;
            }
            continue;
        }
        int64_t capturedAt = Now();
        SelectObject(s->memory, s->bitmaps[buffer]);
        bool captured = capture(s->memory, s->screen, r);
        DWORD code = captured ? ERROR_SUCCESS : GetLastError();
        if (captured) {
            // The encoder reads the bits directly; GDI may still be batching.
            GdiFlush();
            ++s->framesCaptured;
        } else {
            // The slot stays in the queue without a buffer: the encoder repeats the
            // frame before it there, so the file keeps to the clock.
            FreeBuffer(s, buffer);
            buffer = -1;
            ++s->framesDropped;
        }
        TrackCaptures(s, &failures, captured, code, capturedAt);
        {
            std::lock_guard<std::mutex> guard(s->lock);
            s->queue.push_back({buffer, slot, capturedAt});
        }
        s->changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> guard(s->lock);
        s->captureDone = true;
    }
    s->changed.notify_all();
}

static bool WriteFrame(CaptureSession* s, AviWriter* writer, const BYTE* data, DWORD bytes)
{
    if (!FrameFitsSizeLimit(writer->dataBytes, writer->frames, bytes, s->settings.sizeLimit)) {
        EndSession(s, SESSION_SIZE_LIMIT, "the file reached the AVI size limit");
        return false;
    }
    char error[SESSION_ERROR_SIZE];
    if (!WriteAviFrame(writer, data, bytes, error, sizeof error)) {
        EndSession(s, SESSION_FAILED, error);
        return false;
    }
    ++s->framesWritten;
    s->bytesWritten = writer->dataBytes;
    return true;
}

// Writes frames in slot order; a slot that got no capture repeats the frame before
// it, so the file's timeline stays true to the clock. The capture buffer goes back
// to the capture thread once its frame is encoded.
static void EncodeLoop(CaptureSession* s, AviWriter* writer)
{
    const RecordRegion& r = s->settings.region;
    const BgrxImage image = {nullptr, static_cast<ptrdiff_t>(s->stride),
                             static_cast<uint32_t>(r.width), static_cast<uint32_t>(r.height)};
    std::vector<uint8_t> jpeg;
    std::vector<uint8_t> previous;
    uint64_t budget = FrameByteBudget(s->settings.fps, s->settings.sizeLimit);
    int quality = JPEG_QUALITY_MAX;
    bool writing = true;
    for (;;) {
        CapturedFrame frame;
        {
            std::unique_lock<std::mutex> guard(s->lock);
            s->changed.wait(guard, [s] { return !s->queue.empty() || s->captureDone; });
            if (s->queue.empty()) {
                break;
            }
            frame = s->queue.front();
            s->queue.pop_front();
        }
        if (frame.buffer < 0) {
            // A failed capture: the frame before it stands in, up to its slot.
            while (writing && !previous.empty() &&
                   static_cast<uint64_t>(writer->frames) <= frame.slot) {
                writing = WriteFrame(s, writer, previous.data(),
                                     static_cast<DWORD>(previous.size()));
            }
            continue;
        }
        bool encoded = false;
        if (writing) {
            BgrxImage pixels = image;
            pixels.topRow = s->pixels[frame.buffer];
            encoded = EncodeBaselineJpeg(pixels, quality, &jpeg);
        }
        FreeBuffer(s, frame.buffer);
        if (!writing) {
            continue;
        }
        if (!encoded) {
            char error[SESSION_ERROR_SIZE];
            snprintf(error, sizeof error, "the JPEG encoder refused a %dx%d frame", r.width,
                     r.height);
            EndSession(s, SESSION_FAILED, error);
            writing = false;
            continue;
        }
        s->jpegQuality = quality;
        quality = NextJpegQuality(quality, jpeg.size(), budget);
        const DWORD bytes = static_cast<DWORD>(jpeg.size());
        while (writing && static_cast<uint64_t>(writer->frames) < frame.slot) {
            const bool repeat = !previous.empty();
            writing = WriteFrame(s, writer, repeat ? previous.data() : jpeg.data(),
                                 repeat ? static_cast<DWORD>(previous.size()) : bytes);
        }
        if (writing) {
            writing = WriteFrame(s, writer, jpeg.data(), bytes);
        }
        if (writing && !s->settings.flatOut) {
            previous.swap(jpeg);
        }
    }
}

static void EncoderThread(CaptureSession* s)
{
    char error[SESSION_ERROR_SIZE] = "";
    const RecordRegion& r = s->settings.region;
    AviWriter writer;
    bool ready = OpenAviWriter(&writer, s->path.c_str(), r.width, r.height, s->settings.fps,
                               error, sizeof error);
    {
        std::lock_guard<std::mutex> guard(s->lock);
        s->encoderStarted = true;
        s->encoderReady = ready;
        if (!ready) {
            snprintf(s->error, sizeof s->error, "%s", error);
        }
    }
    s->changed.notify_all();
    if (ready) {
        EncodeLoop(s, &writer);
        if (!CloseAviWriter(&writer, error, sizeof error)) {
            EndSession(s, SESSION_FAILED, error);
        }
    }
}

static void ReleaseGdi(CaptureSession* s)
{
    if (s->memory != NULL) {
        if (s->originalBitmap != NULL) {
            SelectObject(s->memory, s->originalBitmap);
        }
        DeleteDC(s->memory);
    }
    for (HBITMAP bitmap : s->bitmaps) {
        if (bitmap != NULL) {
            DeleteObject(bitmap);
        }
    }
    if (s->screen != NULL) {
        ReleaseDC(NULL, s->screen);
    }
    if (s->stopEvent != NULL) {
        CloseHandle(s->stopEvent);
    }
}

static bool SetUpGdi(CaptureSession* s, char* error, size_t size)
{
    const RecordRegion& r = s->settings.region;
    s->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (s->stopEvent == NULL) {
        DescribeLastError("CreateEventA", error, size);
        return false;
    }
    s->screen = GetDC(NULL);
    if (s->screen == NULL) {
        DescribeLastError("GetDC(screen)", error, size);
        return false;
    }
    s->memory = CreateCompatibleDC(s->screen);
    if (s->memory == NULL) {
        DescribeLastError("CreateCompatibleDC", error, size);
        return false;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = r.width;
    info.bmiHeader.biHeight = -r.height;   // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    s->stride = static_cast<UINT>(r.width) * 4;
    for (int i = 0; i < CAPTURE_BUFFERS; ++i) {
        void* bits = nullptr;
        s->bitmaps[i] = CreateDIBSection(s->screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
        if (s->bitmaps[i] == NULL) {
            DescribeLastError("CreateDIBSection", error, size);
            return false;
        }
        s->pixels[i] = static_cast<BYTE*>(bits);
        s->bufferFree[i] = true;
    }
    s->originalBitmap = SelectObject(s->memory, s->bitmaps[0]);
    if (s->originalBitmap == NULL) {
        DescribeLastError("SelectObject", error, size);
        return false;
    }
    return true;
}

CaptureSession* StartCapture(const CaptureSettings& settings, const char* path, char* error,
                             size_t size)
{
    CaptureSession* s = new CaptureSession();
    s->settings = settings;
    s->path = path;
    s->end = SESSION_RUNNING;
    s->stopping = false;
    s->jpegQuality = JPEG_QUALITY_MAX;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    s->frequency = frequency.QuadPart;
    if (!SetUpGdi(s, error, size)) {
        ReleaseGdi(s);
        delete s;
        return nullptr;
    }
    s->encoderThread = std::thread(EncoderThread, s);
    bool ready;
    {
        std::unique_lock<std::mutex> guard(s->lock);
        bool answered = s->changed.wait_for(guard, std::chrono::milliseconds(SESSION_START_TIMEOUT_MS),
                                            [s] { return s->encoderStarted; });
        ready = answered && s->encoderReady;
        if (!answered) {
            snprintf(s->error, sizeof s->error, "the encoder did not start within %d ms",
                     SESSION_START_TIMEOUT_MS);
        }
        if (!ready) {
            // Lets a late encoder end at once when it does start.
            s->captureDone = true;
            snprintf(error, size, "%s", s->error);
        }
        if (!answered) {
            // The thread still uses the session, so it is left to it rather than freed.
            s->encoderThread.detach();
            return nullptr;
        }
    }
    if (!ready) {
        s->changed.notify_all();
        s->encoderThread.join();
        ReleaseGdi(s);
        delete s;
        return nullptr;
    }
    s->start = Now();
    s->captureThread = std::thread(CaptureLoop, s);
    return s;
}

void ReadCaptureStats(CaptureSession* s, CaptureStats* stats)
{
    stats->framesWritten = s->framesWritten;
    stats->framesCaptured = s->framesCaptured;
    stats->framesDropped = s->framesDropped;
    stats->bytesWritten = s->bytesWritten;
    stats->jpegQuality = s->jpegQuality;
    stats->seconds = static_cast<double>(Now() - s->start) / s->frequency;
}

SessionEnd FinishCapture(CaptureSession* s, CaptureStats* stats, char* error, size_t size)
{
    EndSession(s, SESSION_STOPPED, nullptr);
    int64_t stoppedAt = Now();
    s->captureThread.join();
    s->encoderThread.join();
    ReadCaptureStats(s, stats);
    stats->seconds = static_cast<double>(stoppedAt - s->start) / s->frequency;
    SessionEnd end = s->end;
    snprintf(error, size, "%s", s->error);
    ReleaseGdi(s);
    delete s;
    return end;
}
