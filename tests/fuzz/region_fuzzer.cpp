// Region clamp and format against a 64-bit model of the clamp rules, whose
// differences are compared modulo 2^32, and a hand-written decimal formatter.
#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "capture_region.h"
#include "fuzz_check.h"

namespace {

const size_t FIELD_COUNT = 6;
const size_t MAX_DECIMAL_LENGTH = 11;

uint32_t Low32(int64_t value)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(value));
}

std::string ModelDecimal(int32_t value)
{
    int64_t magnitude = value;
    const bool negative = magnitude < 0;
    if (negative) {
        magnitude = -magnitude;
    }
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    return negative ? "-" + digits : digits;
}

void CheckFormat(int32_t value)
{
    // Exact-size heap buffer so AddressSanitizer sees a write past the sixteenth byte.
    std::unique_ptr<char[]> storage(new char[REGION_TEXT_SIZE]);
    memset(storage.get(), 'x', REGION_TEXT_SIZE);
    char (&text)[REGION_TEXT_SIZE] = *reinterpret_cast<char (*)[REGION_TEXT_SIZE]>(storage.get());
    FormatRegionValue(value, text);

    const void* terminator = memchr(text, '\0', REGION_TEXT_SIZE);
    FUZZ_CHECK(terminator != nullptr);
    const size_t length = static_cast<const char*>(terminator) - text;
    FUZZ_CHECK(length <= REGION_TEXT_SIZE - 1);
    FUZZ_CHECK(length <= MAX_DECIMAL_LENGTH);
    FUZZ_CHECK(ModelDecimal(value) == text);

    errno = 0;
    char* parsedEnd = nullptr;
    const long long parsed = strtoll(text, &parsedEnd, 10);
    FUZZ_CHECK(errno == 0);
    FUZZ_CHECK(parsedEnd == text + length);
    FUZZ_CHECK(parsed == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int32_t field[FIELD_COUNT];
    for (size_t i = 0; i < FIELD_COUNT; ++i) {
        field[i] = ReadValue(data, size, i);
    }
    const int32_t screenWidth = field[0], screenHeight = field[1];
    const int32_t left = field[2], top = field[3], right = field[4], bottom = field[5];

    const CaptureRegion region =
        ClampRegion(screenWidth, screenHeight, left, top, right, bottom);

    const int64_t modelRight = right > screenWidth ? screenWidth : right;
    const int64_t modelBottom = bottom > screenHeight ? screenHeight : bottom;
    const int64_t modelLeft = left < 0 ? 0 : left;
    const int64_t modelTop = top < 0 ? 0 : top;
    const int64_t modelWidth = modelRight - modelLeft;
    const int64_t modelHeight = modelBottom - modelTop;

    FUZZ_CHECK(region.left >= 0 && region.top >= 0);
    FUZZ_CHECK(region.left == modelLeft && region.top == modelTop);
    FUZZ_CHECK(static_cast<uint32_t>(region.width) == Low32(modelWidth));
    FUZZ_CHECK(static_cast<uint32_t>(region.height) == Low32(modelHeight));
    // left + width and top + height land on the clamped right and bottom edges.
    FUZZ_CHECK(Low32(static_cast<int64_t>(region.left) + region.width) == Low32(modelRight));
    FUZZ_CHECK(Low32(static_cast<int64_t>(region.top) + region.height) == Low32(modelBottom));

    CheckFormat(region.left);
    CheckFormat(region.top);
    CheckFormat(region.width);
    CheckFormat(region.height);
    for (size_t i = 0; i < FIELD_COUNT; ++i) {
        CheckFormat(field[i]);
    }
    return 0;
}
