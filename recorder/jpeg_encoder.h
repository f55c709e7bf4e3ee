// JPEG frames through the platform's imaging component (WIC), written into one
// reusable memory buffer so that no frame allocates.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <stddef.h>

#include <vector>

struct JpegEncoder {
    IWICImagingFactory* factory;
    IWICStream* stream;
    std::vector<BYTE> buffer;
};

// The calling thread must have COM initialised; all calls stay on that thread.
bool OpenJpegEncoder(JpegEncoder* encoder, UINT width, UINT height, char* error, size_t size);
// Pixels are 24-bit BGR rows, top row first; quality runs from 0 to 1. On success
// `data` points into the encoder's buffer, valid until the next call.
bool EncodeJpeg(JpegEncoder* encoder, const BYTE* pixels, UINT width, UINT height, UINT stride,
                float quality, const BYTE** data, DWORD* bytes, char* error, size_t size);
void CloseJpegEncoder(JpegEncoder* encoder);
