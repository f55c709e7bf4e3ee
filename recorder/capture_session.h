// One recording: a capture thread grabs the screen region with GDI at the frame rate
// into a few 32-bit DIB sections (the screen's own format, so BitBlt converts
// nothing), an encoder thread turns them straight into JPEG and appends them to the
// AVI file. The window's thread only starts and finishes a session.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include "recorder_logic.h"

#include "stand_in_tool.h"

#define DEFAULT_FPS 15
// Frames that may wait for the encoder; a stop drains at most these few.
#define CAPTURE_BUFFERS 3
#define SESSION_START_TIMEOUT_MS RECORDER_START_TIMEOUT_MS
#define SESSION_ERROR_SIZE 256

enum SessionEnd {
    SESSION_RUNNING,
    SESSION_STOPPED,      // asked to stop
    SESSION_SIZE_LIMIT,   // the next frame would have passed the file size limit
    SESSION_FAILED,       // a platform call failed; the error says which
};

// What a session tells notifyWindow with notifyMessage, as wParam.
enum SessionNotice {
    NOTICE_ENDED,               // the session ended by itself (limit or failure)
    NOTICE_CAPTURE_FAILING,     // captures began to fail; lParam: the system's error code
    NOTICE_CAPTURE_RECOVERED,   // captures work again; lParam: how many failed meanwhile
};

// Copies the region of the screen into the memory DC; false, with the thread's last
// error set, when it could not.
typedef bool (*CaptureFrame)(HDC memory, HDC screen, const RecordRegion& region);

struct CaptureSettings {
    RecordRegion region;  // screen coordinates, already cut to the screen
    uint32_t fps;
    uint64_t sizeLimit;
    // Flat out: capture the next frame as soon as a buffer is free and never drop; for
    // measuring the path's throughput.
    bool flatOut;
    // Told with PostMessage (a SessionNotice) of the session's own end and of captures
    // that fail and work again.
    HWND notifyWindow;
    UINT notifyMessage;
    // Null: BitBlt from the screen. The tests give one that fails on cue.
    CaptureFrame captureFrame;
    // Captures failing in a row for this long end the session (CAPTURE_FAILURE_LIMIT_MS).
    uint32_t captureFailureLimitMs;
};

struct CaptureStats {
    uint64_t framesWritten;   // samples in the file, repeats for dropped slots included
    uint64_t framesCaptured;
    uint64_t framesDropped;   // slots that got no capture of their own
    uint64_t bytesWritten;
    double seconds;           // since the first frame was due
    int jpegQuality;          // the latest frame's, 1 to 100
};

struct CaptureSession;

// Opens the file at `path` and starts the threads; null with `error` set on failure.
CaptureSession* StartCapture(const CaptureSettings& settings, const char* path, char* error,
                             size_t size);
void ReadCaptureStats(CaptureSession* session, CaptureStats* stats);
// Stops capturing, writes what was captured, completes the file and frees the session.
SessionEnd FinishCapture(CaptureSession* session, CaptureStats* stats, char* error, size_t size);
