#include "capture_region.h"

#include <stdio.h>

static int32_t WrappingDifference(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

CaptureRegion ClampRegion(int32_t screenWidth, int32_t screenHeight,
                          int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (right > screenWidth) {
        right = screenWidth;
    }
    if (bottom > screenHeight) {
        bottom = screenHeight;
    }
    if (left < 0) {
        left = 0;
    }
    if (top < 0) {
        top = 0;
    }
    return {left, top, WrappingDifference(right, left), WrappingDifference(bottom, top)};
}

void FormatRegionValue(int32_t value, char (&text)[REGION_TEXT_SIZE])
{
    snprintf(text, sizeof text, "%ld", static_cast<long>(value));
}
