// The bridge's pure logic, table by table: command-line split, region clamp and
// format, path join.
#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include <string>
#include <vector>

#include "capture_region.h"
#include "command_line.h"
#include "path_join.h"

namespace {

struct SplitCase {
    const char* text;
    const char* title; // null: no title token
    const char* folder;
};

TEST(SplitCommandLine, Table)
{
    const SplitCase cases[] = {
        {"Chart#D:\\rec\\", "Chart", "D:\\rec\\"},
        {"##Chart#D:\\rec\\#x", "Chart", "D:\\rec\\#x"},
        {"Chart", "Chart", ""},
        {"", nullptr, ""},
        {"#", nullptr, ""},
        {"####", nullptr, ""},
        {"Chart#", "Chart", ""},
        {"Chart##", "Chart", "#"},
        {"\"Chart#D:\\rec\\\"", "\"Chart", "D:\\rec\\\""},
        {"My Chart - 1#C:\\Program Files\\tool\\", "My Chart - 1", "C:\\Program Files\\tool\\"},
        {" #x", " ", "x"},
    };
    for (const SplitCase& c : cases) {
        std::string text = c.text;
        CommandLineParts parts = SplitCommandLine(&text[0]);
        if (c.title == nullptr) {
            EXPECT_EQ(parts.title, nullptr) << c.text;
        } else {
            ASSERT_NE(parts.title, nullptr) << c.text;
            EXPECT_STREQ(parts.title, c.title) << c.text;
        }
        EXPECT_STREQ(parts.folder, c.folder) << c.text;
    }
}

TEST(SplitCommandLine, MatchesRuntimeStrtokS)
{
    const char* inputs[] = {"a#b", "##a##b#c", "#", "", "abc", "a#", "#a", "a#b#", "##"};
    for (const char* input : inputs) {
        std::string mine = input;
        std::string theirs = input;
        CommandLineParts parts = SplitCommandLine(&mine[0]);
        char* context = nullptr;
        char* token = strtok_s(&theirs[0], "#", &context);
        EXPECT_EQ(parts.title == nullptr, token == nullptr) << input;
        if (token != nullptr && parts.title != nullptr) {
            EXPECT_STREQ(parts.title, token) << input;
        }
        EXPECT_STREQ(parts.folder, context ? context : "") << input;
    }
}

TEST(SplitCommandLine, TitleIsInPlaceAndLongTextsSplit)
{
    std::string text = std::string(20000, 'T') + "#" + std::string(11999, 'F');
    ASSERT_EQ(text.size(), 32000u);
    CommandLineParts parts = SplitCommandLine(&text[0]);
    EXPECT_EQ(parts.title, &text[0]);
    EXPECT_EQ(strlen(parts.title), 20000u);
    EXPECT_EQ(strlen(parts.folder), 11999u);
    EXPECT_EQ(parts.folder, &text[20001]);
}

struct RegionCase {
    int32_t screenWidth, screenHeight;
    int32_t left, top, right, bottom;
    const char* texts[4];
};

TEST(ClampRegion, Table)
{
    const RegionCase cases[] = {
        // a maximised window overhangs the screen by its frame
        {1920, 1080, -8, -8, 1928, 1048, {"0", "0", "1920", "1048"}},
        {1920, 1080, 0, 0, 1280, 720, {"0", "0", "1280", "720"}},
        // wholly left of the zero line: left is cut, right is not
        {1920, 1080, -500, 100, -100, 300, {"0", "100", "-100", "200"}},
        // wholly right of the screen: left is not cut, right is
        {1920, 1080, 2500, 10, 2900, 50, {"2500", "10", "-580", "40"}},
        {1920, 1080, 100, 900, 500, 1300, {"100", "900", "400", "180"}},
        {1920, 1080, 1800, 10, 2100, 20, {"1800", "10", "120", "10"}},
        {1920, 1080, 5, 5, 5, 5, {"5", "5", "0", "0"}},
        {1920, 1080, INT_MIN, INT_MIN, INT_MAX, INT_MAX, {"0", "0", "1920", "1080"}},
        {1920, 1080, INT_MAX, INT_MAX, INT_MAX, INT_MAX, {"2147483647", "2147483647", "-2147481727", "-2147482567"}},
        // differences beyond the 32-bit range wrap, as 32-bit arithmetic does
        {INT_MAX, INT_MAX, 0, 0, INT_MIN, INT_MIN, {"0", "0", "-2147483648", "-2147483648"}},
        {INT_MIN, INT_MIN, 1, 1, 0, 0, {"1", "1", "2147483647", "2147483647"}},
    };
    for (const RegionCase& c : cases) {
        CaptureRegion region =
            ClampRegion(c.screenWidth, c.screenHeight, c.left, c.top, c.right, c.bottom);
        const int32_t values[4] = {region.left, region.top, region.width, region.height};
        for (int i = 0; i < 4; ++i) {
            char text[REGION_TEXT_SIZE];
            memset(text, 'x', sizeof text);
            FormatRegionValue(values[i], text);
            EXPECT_STREQ(text, c.texts[i]) << "case " << c.left << "," << c.top << " value " << i;
        }
    }
}

TEST(FormatRegionValue, MatchesRuntimeItoa)
{
    const int32_t values[] = {0, 1, -1, 9, 10, -10, 1048, -580, INT_MAX, INT_MIN, INT_MIN + 1};
    for (int32_t value : values) {
        char mine[REGION_TEXT_SIZE];
        char theirs[34];
        FormatRegionValue(value, mine);
        _itoa(value, theirs, 10);
        EXPECT_STREQ(mine, theirs);
        EXPECT_LE(strlen(mine), 11u);
    }
}

TEST(JoinPath, PlainConcatenation)
{
    EXPECT_EQ(JoinPath("D:\\rec\\tool\\", "LUMARO_VideoTool.exe"), "D:\\rec\\tool\\LUMARO_VideoTool.exe");
    EXPECT_EQ(JoinPath("D:\\rec\\tool\\", "..\\.."), "D:\\rec\\tool\\..\\..");
    EXPECT_EQ(JoinPath("", "..\\.."), "..\\..");
    EXPECT_EQ(JoinPath("D:\\rec\\tool", "LUMARO_VideoTool.exe"), "D:\\rec\\toolLUMARO_VideoTool.exe");
}

} // namespace
