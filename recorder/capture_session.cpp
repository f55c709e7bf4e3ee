#include "capture_session.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "avi_writer.h"
#include "describe_error.h"

struct CaptureSession {
    CaptureSettings settings;
    std::string path;

    HDC screen;
    HDC memory;
    HGDIOBJ originalBitmap;
    std::vector<HBITMAP> bitmaps;
    std::vector<const uint8_t*> pixels;
    UINT stride;
    size_t pictureBytes;
    uint32_t encoders;

    std::mutex lock;
    std::condition_variable changed;
    // Who holds each capture buffer: the capture thread while it captures and while the
    // next capture is compared with it, a worker until its picture is encoded.
    std::vector<int> holds;
    uint32_t buffersHeld;
    uint32_t peakBuffersHeld;
    bool writerReady;
    bool writerStarted;
    bool abandoned;       // StartCapture gave up waiting: the writer owns the session
    SessionEnd end;
    char error[SESSION_ERROR_SIZE];

    HANDLE stopEvent;
    std::atomic<bool> stopping;
    std::atomic<int64_t> drainDeadline;
    int64_t frequency;
    std::atomic<int64_t> start;   // moves on by each stall of the clock
    std::atomic<uint64_t> framesWritten;
    std::atomic<uint64_t> framesRepeated;
    std::atomic<uint64_t> framesCaptured;
    std::atomic<uint64_t> framesDropped;
    std::atomic<uint64_t> bytesWritten;
    std::atomic<DWORD> lastCaptureError;

    EncoderPool pool;
    std::thread captureThread;
    std::thread writerThread;
};

static int64_t PerformanceCounter()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

static int64_t Now(const CaptureSession* s)
{
    return s->settings.clock ? s->settings.clock() : PerformanceCounter();
}

static void Notify(CaptureSession* s, SessionNotice notice, LPARAM detail)
{
    if (s->settings.notifyWindow != NULL) {
        PostMessageA(s->settings.notifyWindow, s->settings.notifyMessage, notice, detail);
    }
}

// Records why the session ended and wakes everyone. The first reason wins, except that
// a failure (while the file is closed, say) outweighs a stop or the limit before it,
// and an overriding one any reason.
static void EndSession(CaptureSession* s, SessionEnd end, const char* error,
                       bool overrides = false)
{
    bool notify = false;
    {
        std::lock_guard<std::mutex> guard(s->lock);
        if (s->end == SESSION_RUNNING || overrides ||
            (end == SESSION_FAILED && s->end != SESSION_FAILED)) {
            notify = s->end == SESSION_RUNNING && end != SESSION_STOPPED;
            s->end = end;
            snprintf(s->error, sizeof s->error, "%s", error != nullptr ? error : "");
        }
        if (!s->stopping) {
            s->drainDeadline = Now(s) + STOP_DRAIN_MS * s->frequency / 1000;
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
        for (size_t i = 0; i < s->holds.size(); ++i) {
            if (s->holds[i] == 0) {
                s->holds[i] = 1;
                s->peakBuffersHeld = std::max(s->peakBuffersHeld, ++s->buffersHeld);
                return static_cast<int>(i);
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

static void HoldBuffer(CaptureSession* s, int buffer)
{
    std::lock_guard<std::mutex> guard(s->lock);
    ++s->holds[buffer];
}

static void FreeBuffer(CaptureSession* s, int buffer)
{
    {
        std::lock_guard<std::mutex> guard(s->lock);
        if (--s->holds[buffer] == 0) {
            --s->buffersHeld;
        }
    }
    s->changed.notify_all();
}

static void FreeEncodedBuffer(void* session, int buffer)
{
    FreeBuffer(static_cast<CaptureSession*>(session), buffer);
}

static bool BitBltFrame(HDC memory, HDC screen, const RecordRegion& r, uint64_t)
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

// A captured picture that matches the one before needs no encoding: its buffer goes
// back at once and the slot repeats that picture (-1). Otherwise the capture thread
// keeps a hold on it to compare the next one with. Flat out, every picture is encoded.
static int ComparePicture(CaptureSession* s, int buffer, int* compared)
{
    if (s->settings.flatOut) {
        return buffer;
    }
    if (*compared >= 0 &&
        memcmp(s->pixels[*compared], s->pixels[buffer], s->pictureBytes) == 0) {
        FreeBuffer(s, buffer);
        return -1;
    }
    HoldBuffer(s, buffer);
    if (*compared >= 0) {
        FreeBuffer(s, *compared);
    }
    *compared = buffer;
    return buffer;
}

static void CaptureLoop(CaptureSession* s)
{
    const RecordRegion& r = s->settings.region;
    CaptureFrame capture = s->settings.captureFrame ? s->settings.captureFrame : BitBltFrame;
    CaptureFailures failures = {0, 0};
    uint64_t nextSlot = 0;
    int compared = -1;   // the buffer of the last picture, which the next is compared with
    // The first slot is captured even when the stop came at once, so that every
    // recording holds at least the moment it began and plays.
    for (bool first = true; first || !s->stopping; first = false) {
        uint64_t slot = nextSlot;
        if (!s->settings.flatOut) {
            SlotPlan plan = PlanSlot(Now(s), s->start, s->frequency, s->settings.fps, nextSlot);
            if (plan.gapTicks > 0) {
                // A gap rather than a burst of repeats: the file leaves the stall out.
                s->start += plan.gapTicks;
                int64_t ms = plan.gapTicks / s->frequency * 1000 +
                             plan.gapTicks % s->frequency * 1000 / s->frequency;
                Notify(s, NOTICE_CLOCK_GAP, static_cast<LPARAM>(ms < INT32_MAX ? ms : INT32_MAX));
                continue;
            }
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
        int64_t capturedAt = Now(s);
        SelectObject(s->memory, s->bitmaps[buffer]);
        bool captured = capture(s->memory, s->screen, r, slot);
        DWORD code = captured ? ERROR_SUCCESS : GetLastError();
        if (captured) {
            // The workers read the bits directly; GDI may still be batching.
            GdiFlush();
            ++s->framesCaptured;
            buffer = ComparePicture(s, buffer, &compared);
        } else {
            // The slot is handed on without a buffer: the writer repeats the frame
            // before it there, so the file keeps to the clock.
            FreeBuffer(s, buffer);
            buffer = -1;
            ++s->framesDropped;
            s->lastCaptureError = code;
        }
        TrackCaptures(s, &failures, captured, code, capturedAt);
        SubmitPicture(&s->pool, slot, buffer);
    }
    CloseSubmissions(&s->pool);
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

static bool WriteFrame(CaptureSession* s, AviWriter* writer, const void* data, DWORD bytes)
{
    char error[SESSION_ERROR_SIZE];
    switch (WriteAviFrame(writer, data, bytes, error, sizeof error)) {
    case AVI_WRITTEN:
        ++s->framesWritten;
        if (bytes == 0) {
            ++s->framesRepeated;
        }
        s->bytesWritten = writer->end;
        return true;
    case AVI_AT_LIMIT:
        EndSession(s, SESSION_SIZE_LIMIT, error);
        return false;
    case AVI_FAILED:
        break;
    }
    EndSession(s, SESSION_FAILED, error);
    return false;
}

// Whether the time a stop leaves for writing what is queued is over.
static bool DrainOver(const CaptureSession* s)
{
    return s->stopping && Now(s) >= s->drainDeadline;
}

// Slots that repeat the picture before them wait to be written until a new picture
// follows, a second's worth at most, so that the file's last slot always holds a
// picture: a reader that makes a constant rate of what it reads, as a transcode does,
// then sees the whole timeline.
struct Output {
    AviWriter* writer;
    uint64_t pending;   // repeats not yet written
    bool writing;
};

// Writes `count` of the pending repeats as empty chunks.
static void WriteRepeats(CaptureSession* s, Output* out, uint64_t count)
{
    for (; out->writing && count > 0; --count) {
        out->writing = !DrainOver(s) && WriteFrame(s, out->writer, nullptr, 0);
        out->pending -= out->writing ? 1 : 0;
    }
}

// The slots up to and including `slot` repeat the picture before them. A stall of the
// clock is a gap, not repeats, so they are few.
static void RepeatUpTo(CaptureSession* s, Output* out, uint64_t slot)
{
    const uint64_t next = out->writer->fill.totalFrames + out->pending;
    if (slot + 1 > next) {
        out->pending += slot + 1 - next;
    }
    if (out->pending > s->settings.fps) {
        WriteRepeats(s, out, out->pending - 1);
    }
}

static void WritePicture(CaptureSession* s, Output* out, const std::vector<uint8_t>& jpeg)
{
    WriteRepeats(s, out, out->pending);
    if (out->writing) {
        out->writing = WriteFrame(s, out->writer, jpeg.data(), static_cast<DWORD>(jpeg.size()));
    }
}

// Writes frames in slot order as the workers hand them on; a slot that got no capture,
// or whose picture did not change, is an empty chunk that repeats the picture before
// it, so the file's timeline stays true to the clock at almost no cost.
static void WriteLoop(CaptureSession* s, AviWriter* writer)
{
    const RecordRegion& r = s->settings.region;
    std::vector<uint8_t> jpeg;   // the last picture written
    PoolPicture frame = {};
    Output out = {writer, 0, true};
    while (TakePicture(&s->pool, &frame)) {
        const bool first = jpeg.empty();
        if (out.writing && !first && DrainOver(s)) {
            out.writing = false;
        }
        if (!out.writing) {
            LeaveOutTheRest(&s->pool);
            continue;
        }
        if (frame.buffer < 0) {
            // A failed capture or an unchanged picture: the picture before stands in.
            if (!first) {
                RepeatUpTo(s, &out, frame.slot);
            }
            continue;
        }
        if (!frame.encoded) {
            char error[SESSION_ERROR_SIZE];
            snprintf(error, sizeof error, "the JPEG encoder refused a %dx%d frame", r.width,
                     r.height);
            EndSession(s, SESSION_FAILED, error);
            jpeg.clear();
            out.writing = false;
            continue;
        }
        jpeg.swap(frame.jpeg);
        if (first) {
            // Slots missed before the first picture have none before them: they show it.
            WritePicture(s, &out, jpeg);
            RepeatUpTo(s, &out, frame.slot);
        } else {
            if (frame.slot > 0) {
                RepeatUpTo(s, &out, frame.slot - 1);
            }
            WritePicture(s, &out, jpeg);
        }
    }
    // The last slot holds the last picture in full.
    if (out.pending > 0) {
        WriteRepeats(s, &out, out.pending - 1);
        out.pending = 0;
        WritePicture(s, &out, jpeg);
    }
    // Also when the stop's time or the size limit ended the writing among repeats: the
    // slot after them shows the picture again, whole.
    const std::vector<uint8_t> last = LastAviPicture(writer);
    if (!last.empty()) {
        WriteFrame(s, writer, last.data(), static_cast<DWORD>(last.size()));
    }
}

// The file this writer opened after StartCapture had given up on it: removed again,
// and the session, which nobody else holds any more, freed.
static void EndAbandoned(CaptureSession* s, AviWriter* writer, bool opened)
{
    if (opened) {
        CloseHandle(writer->file);
        DeleteFileA(s->path.c_str());
    }
    ReleaseGdi(s);
    delete s;
}

static void WriterThread(CaptureSession* s)
{
    char error[SESSION_ERROR_SIZE] = "";
    const RecordRegion& r = s->settings.region;
    AviWriter writer;
    bool ready = OpenAviWriter(&writer, s->path.c_str(), r.width, r.height, s->settings.fps,
                               s->settings.segmentLimit, s->settings.fileSizeLimit,
                               s->settings.writeFile, error, sizeof error);
    bool abandoned;
    {
        std::lock_guard<std::mutex> guard(s->lock);
        s->writerStarted = true;
        s->writerReady = ready;
        abandoned = s->abandoned;
        if (!ready) {
            snprintf(s->error, sizeof s->error, "%s", error);
        }
    }
    if (abandoned) {
        EndAbandoned(s, &writer, ready);
        return;
    }
    s->changed.notify_all();
    if (!ready) {
        return;
    }
    WriteLoop(s, &writer);
    if (writer.fill.totalFrames == 0 && s->framesCaptured == 0) {
        char reason[SESSION_ERROR_SIZE];
        char why[SESSION_ERROR_SIZE];
        DescribeError("screen capture (BitBlt)", s->lastCaptureError, reason, sizeof reason);
        snprintf(why, sizeof why, "no frame could be captured: %s", reason);
        // What matters most of such a recording, also when captures failing for the
        // limit ended it.
        EndSession(s, SESSION_FAILED, why, true);
    }
    if (!CloseAviWriter(&writer, error, sizeof error)) {
        EndSession(s, SESSION_FAILED, error);
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
    s->pictureBytes = static_cast<size_t>(s->stride) * r.height;
    const uint32_t buffers = CaptureBufferCount(s->encoders, s->pictureBytes);
    for (uint32_t i = 0; i < buffers; ++i) {
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(s->screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
        if (bitmap == NULL) {
            DescribeLastError("CreateDIBSection", error, size);
            return false;
        }
        s->bitmaps.push_back(bitmap);
        s->pixels.push_back(static_cast<const uint8_t*>(bits));
        s->holds.push_back(0);
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
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    s->frequency = frequency.QuadPart;
    s->encoders = settings.encoders;
    if (s->encoders == 0) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        s->encoders = EncoderThreadCount(system.dwNumberOfProcessors);
    }
    if (!SetUpGdi(s, error, size)) {
        ReleaseGdi(s);
        delete s;
        return nullptr;
    }
    s->writerThread = std::thread(WriterThread, s);
    {
        std::unique_lock<std::mutex> guard(s->lock);
        if (!s->changed.wait_for(guard, std::chrono::milliseconds(SESSION_START_TIMEOUT_MS),
                                 [s] { return s->writerStarted; })) {
            // The writer still opens the file (a scanner, a network share): it is left
            // to remove what it made and free the session when it does.
            s->abandoned = true;
            // The screen's DC goes back on the thread that got it; nothing captures yet.
            ReleaseDC(NULL, s->screen);
            s->screen = NULL;
            snprintf(error, size, "the writer did not start within %d ms",
                     SESSION_START_TIMEOUT_MS);
            s->writerThread.detach();
            return nullptr;
        }
    }
    if (!s->writerReady) {
        snprintf(error, size, "%s", s->error);
        s->writerThread.join();
        ReleaseGdi(s);
        delete s;
        return nullptr;
    }
    const RecordRegion& r = settings.region;
    StartEncoders(&s->pool, s->encoders,
                  {nullptr, static_cast<ptrdiff_t>(s->stride), static_cast<uint32_t>(r.width),
                   static_cast<uint32_t>(r.height)},
                  s->pixels, settings.encode, FreeEncodedBuffer, s);
    s->start = Now(s);
    s->captureThread = std::thread(CaptureLoop, s);
    return s;
}

void ReadCaptureStats(CaptureSession* s, CaptureStats* stats)
{
    stats->framesWritten = s->framesWritten;
    stats->framesRepeated = s->framesRepeated;
    stats->framesCaptured = s->framesCaptured;
    stats->framesDropped = s->framesDropped;
    stats->bytesWritten = s->bytesWritten;
    {
        std::lock_guard<std::mutex> guard(s->lock);
        stats->peakBytesInFlight = static_cast<uint64_t>(s->peakBuffersHeld) * s->pictureBytes;
    }
    stats->seconds = static_cast<double>(Now(s) - s->start) / s->frequency;
}

SessionEnd FinishCapture(CaptureSession* s, CaptureStats* stats, char* error, size_t size)
{
    EndSession(s, SESSION_STOPPED, nullptr);
    int64_t stoppedAt = Now(s);
    s->captureThread.join();
    s->writerThread.join();
    StopEncoders(&s->pool);
    ReadCaptureStats(s, stats);
    stats->seconds = static_cast<double>(stoppedAt - s->start) / s->frequency;
    SessionEnd end = s->end;
    snprintf(error, size, "%s", s->error);
    ReleaseGdi(s);
    delete s;
    return end;
}
