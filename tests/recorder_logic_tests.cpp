// The recording tool's pure logic, table by table: field parsing, region check and
// cut, file names, frame pacing, the AVI size limit, JPEG quality and failed captures.
#include <gtest/gtest.h>

#include <string.h>

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
    };
    for (const PlanCase& c : cases) {
        SlotPlan plan = PlanSlot(c.now, start, frequency, 15, c.nextSlot);
        EXPECT_EQ(plan.waitTicks, c.wait) << c.now << " " << c.nextSlot;
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

TEST(FrameFitsSizeLimit, Table)
{
    const uint64_t limit = AVI_HEADER_RESERVE + 1000;
    const struct {
        uint64_t dataBytes, frames, frameBytes;
        bool fits;
    } cases[] = {
        {0, 0, 976, true},     // 8 + 976 + 16 = 1000
        {0, 0, 977, false},    // odd sizes are padded: 8 + 978 + 16
        {0, 0, 975, true},     // padded to 976
        {500, 10, 300, true},  // 500 + 308 + 176 = 984
        {500, 10, 316, true},  // 500 + 324 + 176 = 1000
        {500, 10, 318, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FrameFitsSizeLimit(c.dataBytes, c.frames, c.frameBytes, limit), c.fits)
            << c.dataBytes << " " << c.frames << " " << c.frameBytes;
    }
    EXPECT_EQ(FrameChunkBytes(1), 10u);
    EXPECT_EQ(FrameChunkBytes(2), 10u);
}

TEST(FrameFitsSizeLimit, TenMinutesAt720pFit)
{
    // The rate measured at 1280x720 leaves ample room: 15 fps for ten minutes with
    // frames of 100 KB still fits a classic AVI file.
    const uint64_t frames = 15 * 600;
    EXPECT_TRUE(FrameFitsSizeLimit((frames - 1) * FrameChunkBytes(100 * 1024), frames - 1,
                                   100 * 1024, AVI_SIZE_LIMIT));
}

} // namespace

namespace {

TEST(NextJpegQuality, Table)
{
    const uint64_t budget = 1000;
    const struct {
        int quality;
        uint64_t bytes;
        int next;
    } cases[] = {
        {75, 1001, 70},   // over budget: down a step
        {75, 1000, 75},   // at budget: kept
        {50, 750, 50},    // between three quarters and the budget: kept
        {50, 749, 51},    // well under: up a small step
        {75, 10, 75},     // never above the maximum
        {27, 5000, 25},   // never below the minimum
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NextJpegQuality(c.quality, c.bytes, budget), c.next)
            << c.quality << " " << c.bytes;
    }
}

TEST(FrameByteBudget, TenMinutesOfBudgetFramesFitTheLimit)
{
    for (uint32_t fps : {1u, 15u, 30u, 60u}) {
        uint64_t budget = FrameByteBudget(fps, AVI_SIZE_LIMIT);
        uint64_t frames = static_cast<uint64_t>(BUDGET_SECONDS) * fps;
        EXPECT_TRUE(FrameFitsSizeLimit((frames - 1) * FrameChunkBytes(budget), frames - 1, budget,
                                       AVI_SIZE_LIMIT))
            << fps;
        // and leave little of the file unused.
        EXPECT_GT(frames * FrameChunkBytes(budget), AVI_SIZE_LIMIT / 100 * 99) << fps;
    }
}

} // namespace
