// The recording tool's pure logic, table by table: field parsing, region check and
// cut, the region mapped into the screen's pixels, file names, frame pacing and the
// clock's stalls, where frames go in the file and failed captures.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include "avi_layout.h"
#include "recorder_logic.h"

namespace {

struct ParseCase {
    const char* text;
    bool ok;
    int32_t value;
};

TEST(ParseFieldInteger, Table)
{
    const ParseCase cases[] = {
        {"0", true, 0},
        {"800", true, 800},
        {"-5", true, -5},
        {"+7", true, 7},
        {" 42 ", true, 42},
        {"\t12", true, 12},
        {"007", true, 7},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"-", false, 0},
        {"+", false, 0},
        {"12px", false, 0},
        {"1 2", false, 0},
        {"0x10", false, 0},
        {"1e3", false, 0},
        {"1.5", false, 0},
        {"--1", false, 0},
        {"abc", false, 0},
    };
    for (const ParseCase& c : cases) {
        int32_t value = 0;
        EXPECT_EQ(ParseFieldInteger(c.text, &value), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(value, c.value) << '"' << c.text << '"';
        }
    }
    int32_t value = 0;
    EXPECT_FALSE(ParseFieldInteger(nullptr, &value));
}

// The fields read and cut to the screen, as the tool does where no scaling applies.
RegionCheck CheckRegion(const char* const texts[FIELD_COUNT], RecordRegion screen)
{
    const RegionCheck read = ReadRegion(texts);
    return read.status == REGION_OK ? CutRegion(EdgesOf(read.region), screen) : read;
}

struct RegionCase {
    const char* texts[FIELD_COUNT];
    RegionStatus status;
    RegionField field;
    RecordRegion region;
};

TEST(CheckRegion, Table)
{
    const RecordRegion screen = {0, 0, 1920, 1080};
    const RegionCase cases[] = {
        {{"0", "1", "800", "600"}, REGION_OK, FIELD_LEFT, {0, 1, 800, 600}},
        {{"0", "0", "1920", "1080"}, REGION_OK, FIELD_LEFT, {0, 0, 1920, 1080}},
        {{"1800", "1000", "400", "300"}, REGION_OK, FIELD_LEFT, {1800, 1000, 120, 80}},
        {{"-100", "-50", "300", "200"}, REGION_OK, FIELD_LEFT, {0, 0, 200, 150}},
        {{"-10", "-10", "5000", "5000"}, REGION_OK, FIELD_LEFT, {0, 0, 1920, 1080}},
        {{"1919", "1079", "1", "1"}, REGION_OK, FIELD_LEFT, {1919, 1079, 1, 1}},
        {{"2147483647", "0", "2147483647", "10"}, REGION_OFF_SCREEN, FIELD_LEFT, {}},
        {{"-2147483648", "0", "2147483647", "10"}, REGION_OFF_SCREEN, FIELD_LEFT, {}},
        {{"1920", "0", "10", "10"}, REGION_OFF_SCREEN, FIELD_LEFT, {}},
        {{"0", "1080", "10", "10"}, REGION_OFF_SCREEN, FIELD_LEFT, {}},
        {{"-10", "0", "10", "10"}, REGION_OFF_SCREEN, FIELD_LEFT, {}},
        {{"0", "-10", "10", "10"}, REGION_OFF_SCREEN, FIELD_LEFT, {}},
        {{"0", "0", "0", "10"}, REGION_EMPTY_SIZE, FIELD_WIDTH, {}},
        {{"0", "0", "10", "-1"}, REGION_EMPTY_SIZE, FIELD_HEIGHT, {}},
        {{"2500", "0", "-580", "100"}, REGION_EMPTY_SIZE, FIELD_WIDTH, {}},
        {{"x", "0", "0", "0"}, REGION_NOT_INTEGER, FIELD_LEFT, {}},
        {{"0", "", "10", "10"}, REGION_NOT_INTEGER, FIELD_TOP, {}},
        {{"0", "0", "10.0", "10"}, REGION_NOT_INTEGER, FIELD_WIDTH, {}},
        {{"0", "0", "10", "ten"}, REGION_NOT_INTEGER, FIELD_HEIGHT, {}},
    };
    for (const RegionCase& c : cases) {
        RegionCheck check = CheckRegion(c.texts, screen);
        std::string label = std::string(c.texts[0]) + "," + c.texts[1] + "," + c.texts[2] + "," +
                            c.texts[3];
        EXPECT_EQ(check.status, c.status) << label;
        if (c.status == REGION_OK) {
            EXPECT_EQ(check.region.left, c.region.left) << label;
            EXPECT_EQ(check.region.top, c.region.top) << label;
            EXPECT_EQ(check.region.width, c.region.width) << label;
            EXPECT_EQ(check.region.height, c.region.height) << label;
        } else if (c.status != REGION_OFF_SCREEN) {
            EXPECT_EQ(check.field, c.field) << label;
        }
    }
}

TEST(CheckRegion, VirtualScreenWithNegativeOrigin)
{
    // A second monitor left of the primary one puts the virtual screen's origin at -1280.
    const RecordRegion screen = {-1280, 0, 3200, 1080};
    const char* inside[FIELD_COUNT] = {"-1300", "10", "100", "100"};
    RegionCheck check = CheckRegion(inside, screen);
    ASSERT_EQ(check.status, REGION_OK);
    EXPECT_EQ(check.region.left, -1280);
    EXPECT_EQ(check.region.width, 80);
    const char* outside[FIELD_COUNT] = {"1920", "10", "100", "100"};
    EXPECT_EQ(CheckRegion(outside, screen).status, REGION_OFF_SCREEN);
}

struct MappingCase {
    RecordRegion region;
    MonitorMapping monitor;
    RegionEdges pixels;
};

TEST(RegionInPixels, Table)
{
    const int32_t MAX = INT32_MAX, MIN = INT32_MIN;
    const RecordRegion main = {0, 0, 1920, 1080}, tiny = {0, 0, 1, 1};
    const RecordRegion whole = {0, 0, MAX, MAX}, huge = {MIN, MIN, MAX, MAX};
    const MappingCase cases[] = {
        // The demo window at 100,100 640x360 as an unaware program sees it at 125, 150
        // and 200 %, and the bridge's cut at the scaled screen's edge.
        {{80, 80, 512, 288}, {{0, 0, 1536, 864}, main}, {100, 100, 740, 460}},
        {{67, 67, 426, 240}, {{0, 0, 1280, 720}, main}, {100, 100, 740, 461}},
        {{50, 50, 320, 180}, {{0, 0, 960, 540}, main}, {100, 100, 740, 460}},
        {{1000, 500, 280, 220}, {{0, 0, 1280, 720}, main}, {1500, 750, 1920, 1080}},
        // Rounded outwards, past the monitor's origin too.
        {{1, 1, 1, 2}, {{0, 0, 1280, 720}, main}, {1, 1, 3, 5}},
        {{-11, -11, 10, 10}, {{0, 0, 1280, 720}, main}, {-17, -17, -1, -1}},
        // Monitors right and left of the main one.
        {{1930, 10, 100, 100}, {{1920, 0, 1280, 720}, {1920, 0, 1920, 1080}}, {1935, 15, 2085, 165}},
        {{-1275, 5, 11, 11}, {{-1280, 0, 1280, 720}, {-1920, 0, 1920, 1080}}, {-1913, 7, -1896, 24}},
        // A monitor without size changes nothing.
        {{67, 67, 426, 240}, {{0, 0, 0, 720}, main}, {67, 67, 493, 307}},
        {{67, 67, 426, 240}, {{0, 0, 1280, 0}, main}, {67, 67, 493, 307}},
        {{67, 67, 426, 240}, {{0, 0, 1280, 720}, {0, 0, 0, 1080}}, {67, 67, 493, 307}},
        {{67, 67, 426, 240}, {{0, 0, 1280, 720}, {0, 0, 1920, 0}}, {67, 67, 493, 307}},
        // At 100 % nothing moves; extremes saturate to 32 bits.
        {{MAX, MIN, MAX, MAX}, {main, main}, {MAX, MIN, MAX, -1}},
        {{MAX, MAX, 1, 1}, {main, main}, {MAX, MAX, MAX, MAX}},
        {{MIN, MIN, 1, 1}, {main, {-1, -1, 1920, 1080}}, {MIN, MIN, MIN, MIN}},
        {{MIN, 0, MAX, 1}, {tiny, whole}, {MIN, 0, -MAX, MAX}},
        {{MAX, MAX, MAX, MAX}, {{MIN, MIN, 1, 1}, whole}, {MAX, MAX, MAX, MAX}},
        {{MAX, MAX, MAX, MAX}, {huge, tiny}, {2, 2, 4, 4}},
        {{MIN, MIN, MAX, MAX}, {huge, main}, {0, 0, 1920, 1080}},
    };
    for (const MappingCase& c : cases) {
        const RegionEdges p = RegionInPixels(c.region, c.monitor);
        EXPECT_TRUE(p.left == c.pixels.left && p.top == c.pixels.top &&
                    p.right == c.pixels.right && p.bottom == c.pixels.bottom)
            << &c - cases << ": " << p.left << "," << p.top << " " << p.right << "," << p.bottom;
    }
}

TEST(DescribeRegionCheck, NamesTheFieldAndItsText)
{
    const RecordRegion screen = {0, 0, 1920, 1080};
    struct {
        const char* texts[FIELD_COUNT];
        const char* says;
    } cases[] = {
        {{"0", "abc", "1", "1"}, "top \"abc\" is not a whole number"},
        {{"0", "0", "1", "0"}, "height 0 must be greater than 0"},
        {{"9000", "0", "1", "1"}, "wholly outside the screen"},
        {{"1800", "1000", "400", "300"}, "Region 1800,1000 120x80"},
    };
    for (const auto& c : cases) {
        char message[REGION_MESSAGE_SIZE];
        DescribeRegionCheck(CheckRegion(c.texts, screen), c.texts, message, sizeof message);
        EXPECT_NE(strstr(message, c.says), nullptr) << message;
    }
    const char* longText[FIELD_COUNT] = {
        "0123456789012345678901234567890123456789012345678901234567890123456789", "0", "1", "1"};
    char message[REGION_MESSAGE_SIZE];
    DescribeRegionCheck(CheckRegion(longText, screen), longText, message, sizeof message);
    EXPECT_LT(strlen(message), sizeof message);
}

TEST(FormatRecordingName, Table)
{
    const RecordingTime time = {2024, 3, 7, 9, 5, 2};
    const struct {
        unsigned attempt;
        const char* name;
    } cases[] = {
        {1, "recording_20240307_090502.avi"},
        {2, "recording_20240307_090502_2.avi"},
        {1000, "recording_20240307_090502_1000.avi"},
    };
    for (const auto& c : cases) {
        char name[RECORDING_NAME_SIZE];
        FormatRecordingName(time, c.attempt, name, sizeof name);
        EXPECT_STREQ(name, c.name);
    }
}

struct PlanCase {
    int64_t now;
    uint64_t nextSlot;
    uint64_t slot;
    uint64_t missed;
    int64_t wait;
};

TEST(PlanSlot, Table)
{
    // 15 fps on a clock of 1500 ticks per second: a slot every 100 ticks from 1000.
    const int64_t start = 1000;
    const int64_t frequency = 1500;
    const PlanCase cases[] = {
        {1000, 0, 0, 0, 0},
        {1050, 1, 1, 0, 50},
        {1100, 1, 1, 0, 0},
        {1199, 1, 1, 0, 0},
        {1200, 1, 2, 1, 0},
        {1650, 2, 6, 4, 0},
        {1000, 3, 3, 0, 300},
        {999, 0, 0, 0, 1},
        // Late by just under the stall limit (7500 ticks): the slots between are missed.
        {1000 + 7499, 0, 74, 74, 0},
        // Late by the stall limit: a gap, and the next slot is taken as it stands.
        {1000 + 7500, 0, 0, 0, 0},
        {1000 + 7500 + 400 + 5400000, 4, 4, 0, 0},
    };
    for (const PlanCase& c : cases) {
        SlotPlan plan = PlanSlot(c.now, start, frequency, 15, c.nextSlot);
        EXPECT_EQ(plan.waitTicks, c.wait) << c.now << " " << c.nextSlot;
        const int64_t late = c.now - SlotDueTicks(start, frequency, 15, c.nextSlot);
        EXPECT_EQ(plan.gapTicks, late >= 7500 ? late : 0) << c.now << " " << c.nextSlot;
        if (c.wait == 0) {
            EXPECT_EQ(plan.slot, c.slot) << c.now << " " << c.nextSlot;
            EXPECT_EQ(plan.missed, c.missed) << c.now << " " << c.nextSlot;
        }
    }
}

TEST(TrackCapture, FailuresRepeatUntilTheyLastTheLimit)
{
    // A clock of 1000 ticks per second and a limit of 2 s.
    const struct {
        bool captured;
        int64_t now;
        CaptureVerdict verdict;
    } steps[] = {
        {true, 0, CAPTURE_OK},
        {false, 100, CAPTURE_FAILING},
        {false, 2099, CAPTURE_STILL_FAILING},
        {true, 2150, CAPTURE_RECOVERED},
        {true, 2200, CAPTURE_OK},
        {false, 3000, CAPTURE_FAILING},
        {false, 4999, CAPTURE_STILL_FAILING},
        {false, 5000, CAPTURE_GIVE_UP},
    };
    CaptureFailures failures = {0, 0};
    for (const auto& step : steps) {
        EXPECT_EQ(TrackCapture(&failures, step.captured, step.now, 1000, 2000), step.verdict)
            << "at " << step.now;
    }
    EXPECT_EQ(failures.inRow, 3u);
}

TEST(PlanSlot, TenMinutesAtAPerformanceCounterRate)
{
    const int64_t frequency = 10000000;
    const int64_t start = 123456789;
    uint64_t slot = 15 * 600;
    EXPECT_EQ(SlotDueTicks(start, frequency, 15, slot), start + 600 * frequency);
    SlotPlan plan = PlanSlot(start + 600 * frequency, start, frequency, 15, slot);
    EXPECT_EQ(plan.waitTicks, 0);
    EXPECT_EQ(plan.slot, slot);
    EXPECT_EQ(plan.missed, 0u);
}

TEST(PlanFrame, Table)
{
    // A first segment takes the head, its frames, a standard index (32 bytes and 8 a
    // frame) and the legacy index (8 and 16 a frame); a later one 24 bytes of opening,
    // its frames and a standard index. Every 15th frame carries a running index.
    const uint64_t H = AVI_HEAD_BYTES;
    const uint64_t segment = H + 1000;
    const uint64_t none = UINT64_MAX;
    const uint32_t N = AVI_SUPER_INDEX_ENTRIES;
    const struct {
        const char* name;
        AviFill fill;
        uint32_t bytes;
        uint64_t fileLimit;
        FramePlace place;
        uint64_t closedEnd;
    } cases[] = {
        {"first frame", {0, 0, 0, 0, 0}, 10, none, PLACE_IN_SEGMENT, H + 40 + 24 + 18},
        {"odd size padded", {0, 0, 0, 0, 0}, 9, none, PLACE_IN_SEGMENT, H + 40 + 24 + 18},
        {"fills the segment", {0, 0, 10, 688, 10}, 0, none, PLACE_IN_SEGMENT, H + 1000},
        {"one byte over", {0, 0, 10, 688, 10}, 1, none, PLACE_IN_NEW_SEGMENT,
         H + 40 + 240 + 688 + 24 + 10 + 40},
        {"new segment at the file limit", {0, 0, 10, 688, 10}, 1, H + 1042, PLACE_IN_NEW_SEGMENT,
         H + 1042},
        {"file limit", {0, 0, 10, 688, 10}, 1, H + 1041, PLACE_AT_LIMIT, 0},
        {"file limit inside the segment", {0, 0, 10, 600, 10}, 2, H + 913, PLACE_AT_LIMIT, 0},
        {"frame bigger than a segment", {0, 0, 0, 0, 0}, 1000, none, PLACE_AT_LIMIT, 0},
        {"later segment", {5000, 3, 2, 40, 100}, 0, none, PLACE_IN_SEGMENT, 5000 + 24 + 48 + 56},
        {"last super index entry", {5000, N - 2, 40, 960, 100}, 0, none, PLACE_IN_NEW_SEGMENT,
         5000 + 24 + 960 + 32 + 320 + 24 + 8 + 40},
        {"super index full", {5000, N - 1, 40, 960, 100}, 0, none, PLACE_AT_LIMIT, 0},
        {"frame count", {5000, 3, 2, 40, UINT32_MAX}, 0, none, PLACE_AT_LIMIT, 0},
        {"of the frames since the last", {5000, 3, 20, 400, 29, 5, 1}, 0, none, PLACE_IN_SEGMENT,
         5000 + 24 + 408 + 160 + 200},
        {"of all when the super index is full", {5000, N - 3, 20, 400, 29, 5, 3}, 0, none,
         PLACE_IN_SEGMENT, 5000 + 24 + 408 + 200 + 200},
        {"opening a segment", {0, 0, 10, 688, 14, 10, 1}, 1, none, PLACE_IN_NEW_SEGMENT, H + 1082},
    };
    for (const auto& c : cases) {
        FramePlan plan = PlanFrame(c.fill, c.bytes, c.fill.closedSegments ? 1000 : segment,
                                   c.fileLimit, 15);
        EXPECT_EQ(plan.place, c.place) << c.name;
        EXPECT_EQ(plan.closedEnd, c.closedEnd) << c.name;
        // With the frame where the plan puts it, the file closes where the plan says.
        const AviFill after = FillAfter(c.fill, plan, c.bytes);
        EXPECT_TRUE(plan.place == PLACE_AT_LIMIT ||
                    (after.segmentStart + AviSegmentBytes(after.closedSegments == 0, after.frames,
                                                          after.frameBytes) == plan.closedEnd &&
                     after.totalFrames == c.fill.totalFrames + 1)) << c.name;
    }
    // After 10 frames a repeat closes the file at H + 1000; a picture of 10 bytes adds 42.
    const AviFill ten = {0, 0, 10, 688, 10};
    EXPECT_EQ(PlanRepeat(ten, 10, none, H + 1042, 15).closedEnd, H + 1000);
    EXPECT_EQ(PlanRepeat(ten, 10, none, H + 1041, 15).place, PLACE_AT_LIMIT);
    EXPECT_EQ(PlanRepeat(ten, 0, none, H + 1000, 15).closedEnd, H + 1000);
    EXPECT_EQ(FrameChunkBytes(1), 10u);
    EXPECT_EQ(FrameChunkBytes(2), 10u);
    // A running index a second: 10 hours of a still window (a picture, then repeats) in 33
    // segments, under 35 bytes a slot; a moving 1024x768 one fills 1024 segments of ~1 GiB.
    for (const uint32_t bytes : {0u, 270000u}) {
        AviFill fill = {0, 0, 0, 0, 0};
        uint64_t end = 0;
        for (FramePlan plan; fill.totalFrames < (bytes ? none : 540000); end = plan.closedEnd) {
            const uint32_t frame = fill.totalFrames > 0 ? bytes : 270000;
            plan = PlanFrame(fill, frame, AVI_SEGMENT_LIMIT, none, 15);
            if (plan.place == PLACE_AT_LIMIT) {
                break;
            }
            fill = FillAfter(fill, plan, frame);
            ASSERT_LE(fill.closedSegments + fill.runningIndexes, N);
        }
        EXPECT_EQ(fill.closedSegments + 1, bytes ? N : 33);
        EXPECT_TRUE(bytes ? end > N * (AVI_SEGMENT_LIMIT - 540016)
                          : fill.totalFrames == 540000 && end < 270000 + 540000 * 35) << end;
    }
}

TEST(FileSystemSizeLimit, FatHoldsFourGibibytesLessOne)
{
    const struct {
        const char* name;
        uint64_t limit;
    } cases[] = {
        {"FAT32", 0xffffffffull}, {"FAT", 0xffffffffull}, {"FAT16", 0xffffffffull},
        {"NTFS", UINT64_MAX},     {"exFAT", UINT64_MAX},  {"", UINT64_MAX},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileSystemSizeLimit(c.name), c.limit) << c.name;
    }
}

TEST(EncoderThreads, OnePerProcessorBeyondTheCaptureWithinTheCapAndTheBytes)
{
    const uint64_t picture4k = 3840ull * 2160 * 4;
    const struct {
        uint32_t processors;
        uint64_t pictureBytes;
        uint32_t encoders, buffers;
    } cases[] = {
        {1, 640 * 480 * 4, 1, 4},   {2, picture4k, 1, 4},    {3, 1920 * 1080 * 4, 2, 5},
        {5, picture4k, 4, 7},       {64, picture4k, 4, 7},   {64, 2 * picture4k, 4, 4},
        {64, 7680ull * 4320 * 4, 4, 2}, {64, 200ull << 20, 4, 2},
    };
    for (const auto& c : cases) {
        uint32_t encoders = EncoderThreadCount(c.processors);
        EXPECT_EQ(encoders, c.encoders) << c.processors;
        EXPECT_EQ(CaptureBufferCount(encoders, c.pictureBytes), c.buffers) << c.pictureBytes;
        EXPECT_LE(c.buffers * c.pictureBytes,
                  std::max(PICTURES_IN_FLIGHT_BYTES, 2 * c.pictureBytes));
    }
}

} // namespace
