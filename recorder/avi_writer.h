// The tool's AVI file on disk (layout in avi_layout.h). Every frame goes out in one
// write, and the head is written again in place about once a second, so a tool that
// is ended mid-recording leaves a file that plays up to its last second. A frame that
// would leave no room for the index is not written: the recording ends there with a
// complete file.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "avi_layout.h"

// Room kept free beyond the frame and the index, for the file system's own needs.
#define AVI_DISK_RESERVE (64ull * 1024)

struct AviWriter {
    HANDLE file;
    AviStreamInfo stream;
    LONG frames;
    uint64_t dataBytes;                // bytes the frame chunks take
    std::vector<uint32_t> frameSizes;  // each frame's data size, for the index
    std::vector<uint8_t> chunk;        // one frame chunk as it goes out
    char folder[MAX_PATH];             // the file's folder, whose drive may fill up
};

bool OpenAviWriter(AviWriter* writer, const char* path, int width, int height, uint32_t fps,
                   char* error, size_t size);
// False with the reason when the frame could not be written; the file then still ends
// with the frames before it.
bool WriteAviFrame(AviWriter* writer, const void* data, DWORD bytes, char* error, size_t size);
// Writes the index and the final head and closes the file. When the index does not fit
// any more, the file keeps its frames without one and this says why.
bool CloseAviWriter(AviWriter* writer, char* error, size_t size);
