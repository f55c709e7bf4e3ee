// A Motion-JPEG video stream in an AVI file through the platform's AVIFile API: each
// sample is one whole JPEG image, a key frame, at a fixed frame rate.
#pragma once

#include <windows.h>
#include <vfw.h>

#include <stddef.h>
#include <stdint.h>

struct AviWriter {
    PAVIFILE file;
    PAVISTREAM stream;
    LONG frames;
    uint64_t dataBytes;   // file bytes taken by the samples (chunk headers included)
};

bool OpenAviWriter(AviWriter* writer, const char* path, int width, int height, uint32_t fps,
                   char* error, size_t size);
bool WriteAviFrame(AviWriter* writer, const void* data, DWORD bytes, char* error, size_t size);
// Writes the headers and the index; the file is complete when this returns.
bool CloseAviWriter(AviWriter* writer, char* error, size_t size);
