// The capture region handed to the recording tool: the target window's rectangle with
// right and bottom cut at the virtual screen's size and left and top cut at zero.
#pragma once

#include <stdint.h>

#define REGION_TEXT_SIZE 16

struct CaptureRegion {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
};

// Each edge is clamped on one side only and width and height are plain differences,
// so they may come out zero or negative; a difference that leaves the 32-bit range
// wraps as it does in the platform's own 32-bit arithmetic.
CaptureRegion ClampRegion(int32_t screenWidth, int32_t screenHeight,
                          int32_t left, int32_t top, int32_t right, int32_t bottom);

// Signed decimal text, as _itoa with radix 10 writes it; at most 11 characters.
void FormatRegionValue(int32_t value, char (&text)[REGION_TEXT_SIZE]);
