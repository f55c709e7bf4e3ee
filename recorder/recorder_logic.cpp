#include "recorder_logic.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

// The most of a field text that a message quotes.
#define QUOTED_TEXT_MAX 40

static const char* const FIELD_NAMES[FIELD_COUNT] = {"left", "top", "width", "height"};

static bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool ParseFieldInteger(const char* text, int32_t* value)
{
    if (text == nullptr) {
        return false;
    }
    const char* p = text;
    while (IsBlank(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (*p < '0' || *p > '9') {
        return false;
    }
    int64_t magnitude = 0;
    while (*p >= '0' && *p <= '9') {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > 2147483648LL) {
            return false;
        }
        ++p;
    }
    while (IsBlank(*p)) {
        ++p;
    }
    if (*p != '\0') {
        return false;
    }
    int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) {
        return false;
    }
    *value = static_cast<int32_t>(result);
    return true;
}

RegionCheck ReadRegion(const char* const texts[FIELD_COUNT])
{
    RegionCheck check = {REGION_OK, FIELD_LEFT, {0, 0, 0, 0}};
    int32_t values[FIELD_COUNT];
    for (int i = 0; i < FIELD_COUNT; ++i) {
        if (!ParseFieldInteger(texts[i], &values[i])) {
            check.status = REGION_NOT_INTEGER;
            check.field = static_cast<RegionField>(i);
            return check;
        }
    }
    for (int i = FIELD_WIDTH; i <= FIELD_HEIGHT; ++i) {
        if (values[i] <= 0) {
            check.status = REGION_EMPTY_SIZE;
            check.field = static_cast<RegionField>(i);
            return check;
        }
    }
    check.region = {values[FIELD_LEFT], values[FIELD_TOP], values[FIELD_WIDTH],
                    values[FIELD_HEIGHT]};
    return check;
}

RegionEdges EdgesOf(RecordRegion region)
{
    return {region.left, region.top, static_cast<int64_t>(region.left) + region.width,
            static_cast<int64_t>(region.top) + region.height};
}

static int64_t Saturated(int64_t value)
{
    return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : value;
}

// pixelsStart + (edge - seenStart) * pixelsSize / seenSize, rounded down or up. The
// offset stays below 2^33 and the size below 2^31, so the product's magnitude fits 64
// bits unsigned; a quotient that large saturates anyway.
static int64_t MapEdge(int64_t edge, int32_t seenStart, int32_t seenSize, int32_t pixelsStart,
                       int32_t pixelsSize, bool roundUp)
{
    const int64_t offset = edge - seenStart;
    const uint64_t magnitude = static_cast<uint64_t>(offset < 0 ? -offset : offset) *
                               static_cast<uint64_t>(pixelsSize);
    const uint64_t quotient = magnitude / static_cast<uint64_t>(seenSize);
    if (quotient > UINT32_MAX) {
        return offset < 0 ? INT32_MIN : INT32_MAX;
    }
    const bool exact = magnitude % static_cast<uint64_t>(seenSize) == 0;
    int64_t scaled = static_cast<int64_t>(quotient);
    if (offset < 0) {
        scaled = -scaled - (roundUp || exact ? 0 : 1);
    } else if (roundUp && !exact) {
        ++scaled;
    }
    return Saturated(pixelsStart + scaled);
}

RegionEdges RegionInPixels(RecordRegion region, const MonitorMapping& monitor)
{
    const RecordRegion& seen = monitor.seen;
    const RecordRegion& pixels = monitor.pixels;
    RegionEdges edges = EdgesOf(region);
    if (seen.width <= 0 || seen.height <= 0 || pixels.width <= 0 || pixels.height <= 0) {
        return edges;
    }
    return {MapEdge(edges.left, seen.left, seen.width, pixels.left, pixels.width, false),
            MapEdge(edges.top, seen.top, seen.height, pixels.top, pixels.height, false),
            MapEdge(edges.right, seen.left, seen.width, pixels.left, pixels.width, true),
            MapEdge(edges.bottom, seen.top, seen.height, pixels.top, pixels.height, true)};
}

RegionCheck CutRegion(const RegionEdges& edges, RecordRegion screen)
{
    RegionCheck check = {REGION_OK, FIELD_LEFT, {0, 0, 0, 0}};
    const int64_t left = std::max<int64_t>(edges.left, screen.left);
    const int64_t top = std::max<int64_t>(edges.top, screen.top);
    const int64_t right =
        std::min<int64_t>(edges.right, static_cast<int64_t>(screen.left) + screen.width);
    const int64_t bottom =
        std::min<int64_t>(edges.bottom, static_cast<int64_t>(screen.top) + screen.height);
    if (right <= left || bottom <= top) {
        check.status = REGION_OFF_SCREEN;
        return check;
    }
    check.region = {static_cast<int32_t>(left), static_cast<int32_t>(top),
                    static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top)};
    return check;
}

// A refused text is quoted with its control characters shown as '?', so that a line
// feed set into a field cannot break the label's or the log's one line.
static void QuoteFieldText(const char* text, char (&quoted)[QUOTED_TEXT_MAX + 1])
{
    size_t length = 0;
    for (; length < QUOTED_TEXT_MAX && text[length] != '\0'; ++length) {
        unsigned char c = static_cast<unsigned char>(text[length]);
        quoted[length] = c < 0x20 || c == 0x7f ? '?' : text[length];
    }
    quoted[length] = '\0';
}

void DescribeRegionCheck(const RegionCheck& check, const char* const texts[FIELD_COUNT],
                         char* message, size_t size)
{
    const char* text = texts[check.field] ? texts[check.field] : "";
    char quoted[QUOTED_TEXT_MAX + 1];
    switch (check.status) {
    case REGION_OK:
        snprintf(message, size, "Region %ld,%ld %ldx%ld", static_cast<long>(check.region.left),
                 static_cast<long>(check.region.top), static_cast<long>(check.region.width),
                 static_cast<long>(check.region.height));
        break;
    case REGION_NOT_INTEGER:
        QuoteFieldText(text, quoted);
        snprintf(message, size, "%s \"%s\" is not a whole number",
                 FIELD_NAMES[check.field], quoted);
        break;
    case REGION_EMPTY_SIZE:
        snprintf(message, size, "%s %.*s must be greater than 0",
                 FIELD_NAMES[check.field], QUOTED_TEXT_MAX, text);
        break;
    case REGION_OFF_SCREEN:
        snprintf(message, size, "the region lies wholly outside the screen");
        break;
    }
}

void FormatRecordingName(const RecordingTime& time, unsigned attempt, char* name, size_t size)
{
    char suffix[16] = "";
    if (attempt > 1) {
        snprintf(suffix, sizeof suffix, "_%u", attempt);
    }
    snprintf(name, size, RECORDING_PREFIX "%04d%02d%02d_%02d%02d%02d%s" RECORDING_EXTENSION,
             time.year, time.month, time.day, time.hour, time.minute, time.second, suffix);
}

int64_t SlotDueTicks(int64_t start, int64_t frequency, uint32_t fps, uint64_t slot)
{
    return start + static_cast<int64_t>(slot) * frequency / fps;
}

SlotPlan PlanSlot(int64_t now, int64_t start, int64_t frequency, uint32_t fps, uint64_t nextSlot)
{
    int64_t due = SlotDueTicks(start, frequency, fps, nextSlot);
    if (now < due) {
        return {nextSlot, 0, due - now, 0};
    }
    if (now - due >= CLOCK_STALL_MS * frequency / 1000) {
        return {nextSlot, 0, 0, now - due};
    }
    uint64_t current = static_cast<uint64_t>((now - start) * fps / frequency);
    if (current < nextSlot) {
        current = nextSlot;
    }
    return {current, current - nextSlot, 0, 0};
}

uint32_t EncoderThreadCount(uint32_t processors)
{
    if (processors <= 2) {
        return 1;
    }
    return processors - 1 < ENCODER_THREADS_MAX ? processors - 1 : ENCODER_THREADS_MAX;
}

uint32_t CaptureBufferCount(uint32_t encoders, uint64_t pictureBytes)
{
    const uint64_t wanted = static_cast<uint64_t>(encoders) + 3;
    const uint64_t fit = pictureBytes > 0 ? PICTURES_IN_FLIGHT_BYTES / pictureBytes : wanted;
    const uint64_t count = wanted < fit ? wanted : fit;
    return count < 2 ? 2 : static_cast<uint32_t>(count);
}

uint64_t FileSystemSizeLimit(const char* fileSystem)
{
    if (strncmp(fileSystem, "FAT", 3) == 0) {
        return UINT32_MAX;
    }
    return UINT64_MAX;
}

CaptureVerdict TrackCapture(CaptureFailures* failures, bool captured, int64_t now,
                            int64_t frequency, uint32_t limitMs)
{
    if (captured) {
        bool recovered = failures->inRow > 0;
        failures->inRow = 0;
        return recovered ? CAPTURE_RECOVERED : CAPTURE_OK;
    }
    if (failures->inRow++ == 0) {
        failures->since = now;
    }
    if ((now - failures->since) * 1000 >= static_cast<int64_t>(limitMs) * frequency) {
        return CAPTURE_GIVE_UP;
    }
    return failures->inRow == 1 ? CAPTURE_FAILING : CAPTURE_STILL_FAILING;
}
