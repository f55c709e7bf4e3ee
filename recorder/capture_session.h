// One recording: a capture thread grabs the screen region with GDI at the frame rate
// into a few 32-bit DIB sections (the screen's own format, so BitBlt converts
// nothing), worker threads turn them straight into JPEG (encoder_pool), and a writer
// thread appends them to the AVI file in slot order. The window's thread only starts
// and finishes a session.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include "avi_writer.h"
#include "encoder_pool.h"
#include "recorder_logic.h"

#include "stand_in_tool.h"

#define DEFAULT_FPS 15
// After a stop, what is queued is written for at most this long, so that the stop
// returns promptly whatever is queued (the first frame of a recording is always
// written); the rest is left out.
#define STOP_DRAIN_MS 500
#define SESSION_START_TIMEOUT_MS RECORDER_START_TIMEOUT_MS
#define SESSION_ERROR_SIZE 256

enum SessionEnd {
    SESSION_RUNNING,
    SESSION_STOPPED,      // asked to stop
    SESSION_SIZE_LIMIT,   // the next frame would have passed the file size limit
    SESSION_FAILED,       // a platform call failed, also while the file was closed after a
                          // stop, or no frame could be captured; the error says why
};

// What a session tells notifyWindow with notifyMessage, as wParam.
enum SessionNotice {
    NOTICE_ENDED,               // the session ended by itself (limit or failure)
    NOTICE_CAPTURE_FAILING,     // captures began to fail; lParam: the system's error code
    NOTICE_CAPTURE_RECOVERED,   // captures work again; lParam: how many failed meanwhile
    NOTICE_CLOCK_GAP,           // the clock stalled (CLOCK_STALL_MS); lParam: for how many ms
};

// Copies the region of the screen into the memory DC for that slot; false, with the
// thread's last error set, when it could not.
typedef bool (*CaptureFrame)(HDC memory, HDC screen, const RecordRegion& region, uint64_t slot);
// The clock the session paces frames by, in ticks of the performance counter's frequency.
typedef int64_t (*ReadClock)();

struct CaptureSettings {
    RecordRegion region;  // screen coordinates, already cut to the screen
    uint32_t fps;
    uint64_t segmentLimit;    // AVI_SEGMENT_LIMIT
    uint64_t fileSizeLimit;   // beyond the file system's own; UINT64_MAX for none
    // Flat out: capture the next frame as soon as a buffer is free, never drop and
    // encode every frame, changed or not; for measuring the path's throughput.
    bool flatOut;
    // Told with PostMessage (a SessionNotice) of the session's own end and of captures
    // that fail and work again.
    HWND notifyWindow;
    UINT notifyMessage;
    // Null: BitBlt from the screen. The tests give one that fails on cue.
    CaptureFrame captureFrame;
    // Captures failing in a row for this long end the session (CAPTURE_FAILURE_LIMIT_MS).
    uint32_t captureFailureLimitMs;
    // Null: QueryPerformanceCounter. The tests give one that jumps, as across a sleep.
    ReadClock clock;
    // Null: WriteFile. The tests give one that fails on cue.
    WriteFileAt writeFile;
    // Threads that encode pictures; 0: as the processors allow (EncoderThreadCount). The
    // tests ask for several whatever the machine, so that the writer's ordering runs.
    uint32_t encoders;
    // Null: EncodeBaselineJpeg. The tests give one that holds pictures back.
    EncodePicture encode;
};

struct CaptureStats {
    uint64_t framesWritten;    // samples in the file, repeats for dropped slots included
    uint64_t framesRepeated;   // of them, empty ones: a failed capture, a missed slot, or
                               // a picture that did not change
    uint64_t framesCaptured;
    uint64_t framesDropped;    // slots that got no capture of their own
    uint64_t bytesWritten;
    uint64_t peakBytesInFlight;   // the most bytes of captured pictures held at once
    double seconds;            // of the file's timeline: since the first frame was due,
                               // less the clock's stalls
};

struct CaptureSession;

// Opens the file at `path`, which the caller has created, and starts the threads; null
// with `error` set on failure. A writer that starts too late removes the file itself
// and frees the session when it ends.
CaptureSession* StartCapture(const CaptureSettings& settings, const char* path, char* error,
                             size_t size);
void ReadCaptureStats(CaptureSession* session, CaptureStats* stats);
// Stops capturing, writes what was captured, completes the file and frees the session.
SessionEnd FinishCapture(CaptureSession* session, CaptureStats* stats, char* error, size_t size);
