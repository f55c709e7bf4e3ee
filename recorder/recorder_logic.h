// The recording tool's pure logic: reading the four region fields, cutting the region
// to the screen, naming files, pacing frames and the file system's file size limit.
// No platform calls, so all of it is tested (and fuzzable) natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "bridge_contract.h"

// Each RIFF segment of a recording stays within this many bytes, the limit of classic
// (1.0) AVI files in many players, so that old readers still play the first segment
// and every segment's index offsets fit 32 bits. A test build sets a tiny one.
#ifndef AVI_SEGMENT_LIMIT
#define AVI_SEGMENT_LIMIT (1024ull * 1024 * 1024)
#endif

// Every frame is a JPEG of this quality (1 to 100).
#define JPEG_QUALITY 75

// Pictures are encoded on worker threads, one for each processor beyond the capture
// thread's, at least one and at most this many: more would each hold a picture in
// memory for little gain, since capturing the screen bounds the rate long before.
#define ENCODER_THREADS_MAX 4
// The tool's encoder threads; 0: as the processors allow. A test build asks for several
// whatever the machine, so that the writer's ordering runs.
#ifndef RECORDER_ENCODERS
#define RECORDER_ENCODERS 0
#endif
// The captured pictures a session holds at once (the one being captured, the one the
// next is compared with, those waiting for and in encoding) take at most this many
// bytes, two pictures whatever their size aside: a 3840x2160 picture takes 33 MB, and a
// 32-bit process has 2 GB of address space for everything.
#define PICTURES_IN_FLIGHT_BYTES (256ull * 1024 * 1024)

uint32_t EncoderThreadCount(uint32_t processors);
// The capture buffers a session allocates: one being captured, one to compare with,
// one in encoding per worker and one waiting, within PICTURES_IN_FLIGHT_BYTES, and
// never fewer than the two the capture needs.
uint32_t CaptureBufferCount(uint32_t encoders, uint64_t pictureBytes);

#define RECORDING_PREFIX "recording_"
#define RECORDING_NAME_SIZE 64
#define REGION_MESSAGE_SIZE 160

struct RecordRegion {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
};

enum RegionStatus {
    REGION_OK,
    REGION_NOT_INTEGER,   // field holds something other than a decimal integer
    REGION_EMPTY_SIZE,    // width or height zero or negative
    REGION_OFF_SCREEN,    // no pixel of the region is on the virtual screen
};

enum RegionField { FIELD_LEFT, FIELD_TOP, FIELD_WIDTH, FIELD_HEIGHT, FIELD_COUNT };

struct RegionCheck {
    RegionStatus status;
    RegionField field;     // the offending field for REGION_NOT_INTEGER and REGION_EMPTY_SIZE
    RecordRegion region;   // with REGION_OK: the region cut to the screen
};

// A decimal integer with an optional sign, optionally surrounded by blanks, in the
// 32-bit range. Anything else (empty, "12px", "0x10", "1e3") is refused.
bool ParseFieldInteger(const char* text, int32_t* value);

// Reads the four field texts (left, top, width, height): with REGION_OK, `region` is
// the fields' rectangle as written.
RegionCheck ReadRegion(const char* const texts[FIELD_COUNT]);

// A region's edges in 64 bits, where left + width may pass the 32-bit range.
struct RegionEdges {
    int64_t left;
    int64_t top;
    int64_t right;
    int64_t bottom;
};

RegionEdges EdgesOf(RecordRegion region);

// One monitor as the program that wrote the region saw it and in the screen's pixels.
// A program that declares no DPI awareness sees a scaled display scaled down, while
// the tool records the screen's pixels.
struct MonitorMapping {
    RecordRegion seen;
    RecordRegion pixels;
};

// The region as its writer saw it, in the screen's pixels: each edge maps from the
// monitor as seen to the monitor in pixels, left and top rounded down and right and
// bottom up so that no pixel of the window is lost, each saturated to the 32-bit range.
// A monitor without size on either side leaves the region as it is.
RegionEdges RegionInPixels(RecordRegion region, const MonitorMapping& monitor);

// Cuts the region to the virtual screen, given as its own rectangle: REGION_OK with what
// is left, or REGION_OFF_SCREEN.
RegionCheck CutRegion(const RegionEdges& edges, RecordRegion screen);

// The region, or for a refused one the reason ("width 0 must be greater than 0").
void DescribeRegionCheck(const RegionCheck& check, const char* const texts[FIELD_COUNT],
                         char* message, size_t size);

struct RecordingTime {
    int year, month, day, hour, minute, second;
};

// "recording_YYYYMMDD_HHMMSS.avi", and from attempt 2 on "..._HHMMSS_N.avi", so that a
// name taken by an earlier file is never reused.
void FormatRecordingName(const RecordingTime& time, unsigned attempt, char* name, size_t size);

// Frame slots are due at start + slot / fps. Clock values are ticks at `frequency`
// per second, so the plan works with any monotonic clock.
struct SlotPlan {
    uint64_t slot;       // slot to capture now (only when wait is 0)
    uint64_t missed;     // slots between the next expected one and `slot`, lost to lateness
    int64_t waitTicks;   // > 0: too early, wait this long for the next slot
    int64_t gapTicks;    // > 0: the clock stalled this long; the start moves on by it
};

// A slot that comes this late is no lateness of the capture but a stall of the whole
// machine (sleep and resume, a suspended virtual machine): the stall becomes a gap in
// the file's timeline, since nothing was there to record, rather than thousands of
// repeats of the last frame.
#define CLOCK_STALL_MS 5000

int64_t SlotDueTicks(int64_t start, int64_t frequency, uint32_t fps, uint64_t slot);
SlotPlan PlanSlot(int64_t now, int64_t start, int64_t frequency, uint32_t fps, uint64_t nextSlot);

// The most bytes one file may take on a file system of that name (as
// GetVolumeInformation gives it): FAT's size field has 32 bits; UINT64_MAX for none.
uint64_t FileSystemSizeLimit(const char* fileSystem);

// A screen capture fails while the secure desktop is up (the lock screen, an elevation
// prompt) and across a display mode change. The recording goes on, the last good frame
// standing in for each failed one, and each slot tries again; only failures that go on
// for the limit end the recording, which is longer than a prompt or a mode change lasts.
#define CAPTURE_FAILURE_LIMIT_MS 60000

enum CaptureVerdict {
    CAPTURE_OK,
    CAPTURE_RECOVERED,       // good again after failures
    CAPTURE_FAILING,         // the first failure after good captures
    CAPTURE_STILL_FAILING,
    CAPTURE_GIVE_UP,         // failing for the limit: end the recording
};

struct CaptureFailures {
    uint64_t inRow;   // failed captures since the last good one
    int64_t since;    // clock ticks at the first of them
};

// Counts one capture, good or failed, made at `now` (ticks at `frequency` per second).
CaptureVerdict TrackCapture(CaptureFailures* failures, bool captured, int64_t now,
                            int64_t frequency, uint32_t limitMs);
