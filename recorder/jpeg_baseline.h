// A compact baseline JPEG encoder for the recording's frames: 4:2:0 chroma, the
// standard quantisation tables scaled by a quality, the standard Huffman tables. It
// reads the 32-bit BGRX pixels the screen capture gives, so no conversion pass comes
// first. No platform calls: tested directly and fuzzable natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#define JPEG_QUALITY_LOWEST 1
#define JPEG_QUALITY_HIGHEST 100
// The format's own bound on each side.
#define JPEG_SIDE_MAX 65535u

struct BgrxImage {
    const uint8_t* topRow;   // first byte of the top row
    ptrdiff_t stride;        // bytes from one row to the next one down; negative for bottom-up
    uint32_t width;
    uint32_t height;
};

// The quantisation tables for a quality (the usual scaling: 50 gives the tables as
// published, 100 all ones), in natural order.
void JpegQuantTables(int quality, uint8_t luma[64], uint8_t chroma[64]);

// Writes a complete JFIF image (SOI to EOI, tables included, as a Motion-JPEG frame
// needs) into `out`, which holds exactly the image afterwards. The vector keeps its
// capacity, so reusing one for every frame allocates nothing once it has grown.
// Refuses (false, `out` emptied) a side of 0 or over JPEG_SIDE_MAX, a null image, or a
// quality outside JPEG_QUALITY_LOWEST..JPEG_QUALITY_HIGHEST.
bool EncodeBaselineJpeg(const BgrxImage& image, int quality, std::vector<uint8_t>* out);
