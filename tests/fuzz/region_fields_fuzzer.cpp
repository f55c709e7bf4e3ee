// The tool's four region fields, which any process can set, against a strict model:
// a field is accepted exactly when it is a decimal integer in the 32-bit range with
// an optional sign and optional blanks around it; every refusal names its field. The
// input is the virtual screen (left, top, width, height as little-endian 32-bit
// values) followed by the field texts, each ended by a zero byte; a text the input
// does not reach is missing (null). Eight more values after the texts are a monitor as
// the fields' writer saw it and in pixels: the region maps as a 128-bit model says.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "recorder_logic.h"

namespace {

const size_t SCREEN_VALUES = 4;
const char* const FIELD_NAMES[FIELD_COUNT] = {"left", "top", "width", "height"};
const char INT32_MAX_DIGITS[] = "2147483647";
const char INT32_MIN_DIGITS[] = "2147483648";

// Decides by the digits alone, with no arithmetic that could overflow.
bool ModelParse(const char* text, int32_t& value)
{
    if (text == nullptr) {
        return false;
    }
    std::string rest = text;
    const size_t first = rest.find_first_not_of(" \t");
    const size_t last = rest.find_last_not_of(" \t");
    if (first == std::string::npos) {
        return false;
    }
    rest = rest.substr(first, last - first + 1);
    bool negative = false;
    if (rest[0] == '+' || rest[0] == '-') {
        negative = rest[0] == '-';
        rest.erase(0, 1);
    }
    if (rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const size_t nonZero = rest.find_first_not_of('0');
    const std::string digits = nonZero == std::string::npos ? "0" : rest.substr(nonZero);
    const std::string limit = negative ? INT32_MIN_DIGITS : INT32_MAX_DIGITS;
    if (digits.size() > limit.size() || (digits.size() == limit.size() && digits > limit)) {
        return false;
    }
    value = static_cast<int32_t>(strtoll(digits.c_str(), nullptr, 10) * (negative ? -1 : 1));
    return true;
}

// start + offset * to / from, rounded down or up, saturated to 32 bits.
int64_t ModelEdge(int64_t edge, int32_t seenStart, int32_t seenSize, int32_t pixelsStart,
                  int32_t pixelsSize, bool roundUp)
{
    const __int128 product = static_cast<__int128>(edge - seenStart) * pixelsSize;
    __int128 quotient = product / seenSize;
    if (product % seenSize != 0 && (product > 0) == roundUp) {
        quotient += roundUp ? 1 : -1;
    }
    const __int128 value = pixelsStart + quotient;
    return static_cast<int64_t>(
        std::min<__int128>(INT32_MAX, std::max<__int128>(INT32_MIN, value)));
}

void CheckMessage(const RegionCheck& check, const char* const texts[FIELD_COUNT])
{
    // Exact-size heap buffer, the size the tool gives it, for AddressSanitizer's sake.
    std::unique_ptr<char[]> message(new char[REGION_MESSAGE_SIZE]);
    memset(message.get(), 'x', REGION_MESSAGE_SIZE);
    DescribeRegionCheck(check, texts, message.get(), REGION_MESSAGE_SIZE);
    const void* terminator = memchr(message.get(), '\0', REGION_MESSAGE_SIZE);
    FUZZ_CHECK(terminator != nullptr);
    const std::string text(message.get());
    FUZZ_CHECK(!text.empty());
    // The label shows it and the log keeps it as one line.
    FUZZ_CHECK(text.find_first_of("\r\n") == std::string::npos);
    if (check.status == REGION_NOT_INTEGER || check.status == REGION_EMPTY_SIZE) {
        FUZZ_CHECK(text.find(FIELD_NAMES[check.field]) != std::string::npos);
    }
    // A refusal is told apart from the region it would have recorded.
    FUZZ_CHECK((check.status == REGION_OK) == (text.compare(0, 7, "Region ") == 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RecordRegion screen = {ReadValue(data, size, 0), ReadValue(data, size, 1),
                           ReadValue(data, size, 2), ReadValue(data, size, 3)};
    const size_t textsAt = SCREEN_VALUES * 4;
    const char* input = reinterpret_cast<const char*>(data);
    size_t at = textsAt < size ? textsAt : size;

    // Exact-size heap copies, so that AddressSanitizer sees a read past a terminator.
    std::unique_ptr<char[]> copies[FIELD_COUNT];
    const char* texts[FIELD_COUNT] = {};
    for (int i = 0; i < FIELD_COUNT && at < size; ++i) {
        const size_t length = strnlen(input + at, size - at);
        copies[i].reset(new char[length + 1]);
        memcpy(copies[i].get(), input + at, length);
        copies[i][length] = '\0';
        texts[i] = copies[i].get();
        at += length + 1;
    }

    int32_t values[FIELD_COUNT];
    int firstRefused = FIELD_COUNT;
    for (int i = 0; i < FIELD_COUNT; ++i) {
        const int32_t untouched = 0x5a5a5a5a;
        int32_t parsed = untouched;
        const bool accepted = ParseFieldInteger(texts[i], &parsed);
        FUZZ_CHECK(accepted == ModelParse(texts[i], values[i]));
        FUZZ_CHECK(parsed == (accepted ? values[i] : untouched));
        if (accepted) {
            FUZZ_CHECK(strtoll(texts[i], nullptr, 10) == parsed);
        } else if (firstRefused == FIELD_COUNT) {
            firstRefused = i;
        }
    }

    // The last text may end with the input rather than a zero byte.
    const size_t restAt = std::min(at, size);
    int32_t m[8]; // seen left, top, width, height, then the same in pixels
    for (size_t i = 0; i < 8; ++i) {
        m[i] = ReadValue(data + restAt, size - restAt, i);
    }
    const MonitorMapping monitor = {{m[0], m[1], m[2], m[3]}, {m[4], m[5], m[6], m[7]}};
    RegionCheck check = ReadRegion(texts);
    if (check.status == REGION_OK) {
        check = CutRegion(RegionInPixels(check.region, monitor), screen);
    }
    CheckMessage(check, texts);
    if (firstRefused < FIELD_COUNT) {
        FUZZ_CHECK(check.status == REGION_NOT_INTEGER && check.field == firstRefused);
        return 0;
    }
    if (values[FIELD_WIDTH] <= 0 || values[FIELD_HEIGHT] <= 0) {
        FUZZ_CHECK(check.status == REGION_EMPTY_SIZE);
        FUZZ_CHECK(check.field == (values[FIELD_WIDTH] <= 0 ? FIELD_WIDTH : FIELD_HEIGHT));
        return 0;
    }
    // The region in pixels, the same as written with a monitor without size.
    int64_t edges[4] = {values[FIELD_LEFT], values[FIELD_TOP],
                        static_cast<int64_t>(values[FIELD_LEFT]) + values[FIELD_WIDTH],
                        static_cast<int64_t>(values[FIELD_TOP]) + values[FIELD_HEIGHT]};
    for (int i = 0; m[2] > 0 && m[3] > 0 && m[6] > 0 && m[7] > 0 && i < 4; ++i) {
        edges[i] = ModelEdge(edges[i], m[i % 2], m[2 + i % 2], m[4 + i % 2], m[6 + i % 2], i >= 2);
    }
    // Then cut to the screen, in 64 bits.
    const int64_t left = std::max<int64_t>(edges[0], screen.left);
    const int64_t top = std::max<int64_t>(edges[1], screen.top);
    const int64_t right =
        std::min<int64_t>(edges[2], static_cast<int64_t>(screen.left) + screen.width);
    const int64_t bottom =
        std::min<int64_t>(edges[3], static_cast<int64_t>(screen.top) + screen.height);
    if (right <= left || bottom <= top) {
        FUZZ_CHECK(check.status == REGION_OFF_SCREEN);
        return 0;
    }
    FUZZ_CHECK(check.status == REGION_OK);
    FUZZ_CHECK(check.region.left == left && check.region.top == top);
    FUZZ_CHECK(check.region.width == right - left && check.region.height == bottom - top);
    return 0;
}
