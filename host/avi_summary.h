// What a host wants to know about a finished recording, read from the AVI file's own
// headers and chunk list: size, frame count, frame rate, duration, and whether the
// file was closed properly.
#pragma once

#include <stdint.h>

#include <string>

// Reads count bytes at offset; false when they are not all there.
typedef bool (*ReadBytes)(void* context, uint32_t offset, void* into, uint32_t count);

struct AviSource {
    ReadBytes read;
    void* context;
    uint32_t size;
};

struct AviSummary {
    int32_t width;
    int32_t height;
    uint32_t frames;      // the video stream's length in its header
    uint32_t moviFrames;  // video chunks actually in the file
    double framesPerSecond;
    double seconds;
    bool indexed;         // the closing index is there
    uint32_t indexFrames; // its video entries, when each leads to a video chunk of its size
};

// False with the reason when the bytes are no AVI with a video stream. A file whose
// writer was ended before it closed the file parses with indexed false.
bool ReadAviSummary(const AviSource& source, AviSummary& summary, std::string& error);

// The same for a whole file already in memory.
bool ReadAviSummaryFromBytes(const std::string& bytes, AviSummary& summary, std::string& error);

// A properly closed file: indexed, and the header and the index count every frame in
// the file.
bool AviComplete(const AviSummary& summary);
