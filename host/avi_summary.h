// What a host wants to know about a finished recording, read from the AVI file's own
// headers and chunk list: size, frame count, frame rate, duration, and whether the
// file was closed properly. Files of more than one RIFF segment (OpenDML, AVI 2.0) are
// read across all of them; offsets are 64-bit, since such files pass 4 GiB.
#pragma once

#include <stdint.h>

#include <string>

// Reads count bytes at offset; false when they are not all there.
typedef bool (*ReadBytes)(void* context, uint64_t offset, void* into, uint32_t count);

struct AviSource {
    ReadBytes read;
    void* context;
    uint64_t size;
};

struct AviSummary {
    int32_t width;
    int32_t height;
    uint64_t frames;          // the video stream's length in its header
    uint64_t extendedFrames;  // the extended (OpenDML) header's total, 0 without one
    uint64_t moviFrames;      // video chunks actually in the file, in every segment
    double framesPerSecond;
    double seconds;
    bool indexed;             // the closing legacy index is there
    // Video entries of the index when each leads to a video chunk of its id and size:
    // with a super index, those of every standard index it lists, provided the legacy
    // index, if there, holds the first segment's frames; else those of the legacy index.
    uint64_t indexFrames;
    uint32_t segments;        // RIFF segments found one after the other
};

// A source read through a few cached blocks of it: the reader walks a long recording's
// chunks and indexes a few bytes at a time, and each block costs one read of the source
// (one system call for a file) instead of four or five a frame.
#define AVI_CACHE_BLOCKS 4
#define AVI_CACHE_BLOCK_BYTES (64u * 1024)

struct AviBlockCache {
    AviSource source;
    std::string blocks[AVI_CACHE_BLOCKS];
    uint64_t starts[AVI_CACHE_BLOCKS];
    uint64_t readAt[AVI_CACHE_BLOCKS];   // the order they were read in
    uint64_t reads;
};

// Reads through `cache`, which the returned source points to, set up for `source`.
AviSource CachedAviSource(AviBlockCache& cache, const AviSource& source);

// False with the reason when the bytes are no AVI with a video stream. A file whose
// writer was ended before it closed the file parses with indexed false.
bool ReadAviSummary(const AviSource& source, AviSummary& summary, std::string& error);

// The same for a whole file already in memory.
bool ReadAviSummaryFromBytes(const std::string& bytes, AviSummary& summary, std::string& error);

// A properly closed file: indexed, and the headers and the indexes count every frame
// in the file.
bool AviComplete(const AviSummary& summary);
