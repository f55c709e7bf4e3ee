// The tool's AVI file on disk (layout in avi_layout.h). Every frame goes out in one
// write, about once a second with a running index of the frames since the last after
// it, and then the head (with the super index and the open segment's opening) is
// written again in place, so a tool that is ended mid-recording leaves a file that
// plays up to its last second, also where players follow only the indexes. A segment
// that is full is closed with its indexes and the next one begins. A frame that would
// leave no room on the drive for the indexes that close the file is not written, nor
// one past the file size limit (the file system's, or the super index's room): the
// recording ends there with a complete file. A repeat is written only while the last
// picture still fits after it within those limits, so that such a file can always end
// in a whole picture. A later segment whose first write failed is left out whole: the
// file ends where it would have begun.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "avi_layout.h"

// Room kept free beyond the frame and the indexes, for the file system's own needs.
#define AVI_DISK_RESERVE (64ull * 1024)

// Writes the bytes at the offset; false, with the thread's last error set, when not all
// went out. Null: WriteFile. The tests give one that fails on cue.
typedef bool (*WriteFileAt)(HANDLE file, uint64_t offset, const void* data, size_t bytes);

struct AviWriter {
    HANDLE file;
    WriteFileAt write;
    AviStreamInfo stream;
    uint64_t segmentLimit;
    uint64_t fileLimit;
    AviFill fill;                               // the open segment, and all frames
    uint64_t end;                               // where the next chunk goes
    uint32_t firstFrames;
    uint64_t firstMoviBytes;
    bool firstClosed;
    // What the super index lists: each closed segment's index, then the open one's
    // running indexes.
    std::vector<AviSuperIndexEntry> indexes;
    std::vector<AviFrameEntry> frames;          // the open segment's, for its indexes
    std::vector<uint8_t> chunk;                 // what one frame's write puts down
    std::vector<uint8_t> picture;               // the last picture's data
    uint32_t largestFrame;
    bool endsInRepeat;
    char folder[MAX_PATH];                      // the file's folder, whose drive may fill up
};

enum AviWrite {
    AVI_WRITTEN,
    AVI_AT_LIMIT,   // the file size limit: the frame was not written
    AVI_FAILED,     // the error says why; the file still ends with the frames before it
};

// Opens the file at `path`, which must exist (the tool reserves its name by creating
// it), and empties it. fileLimit: the most bytes the file may take; the file system's
// own limit applies too.
bool OpenAviWriter(AviWriter* writer, const char* path, int width, int height, uint32_t fps,
                   uint64_t segmentLimit, uint64_t fileLimit, WriteFileAt write, char* error,
                   size_t size);
// A frame of `bytes` (0: a slot that repeats the picture before it).
AviWrite WriteAviFrame(AviWriter* writer, const void* data, DWORD bytes, char* error,
                       size_t size);
// The last picture's data when the file's last slot is a repeat (the writing ended among
// repeats: a stop's time ran out, the size limit, a failure); else empty. Written as
// the next frame, it ends the file in a whole picture.
std::vector<uint8_t> LastAviPicture(const AviWriter* writer);
// Closes the open segment with its indexes, writes the final head and closes the file.
// When an index does not fit any more, the file keeps its frames without one and this
// says why.
bool CloseAviWriter(AviWriter* writer, char* error, size_t size);
