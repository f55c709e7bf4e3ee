// The bridge's pure logic, table by table: its contract's exact texts, the command
// line (split, check, build), region clamp and format, path join.
#include <gtest/gtest.h>

#include <windows.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "bridge_contract.h"
#include "capture_region.h"
#include "command_line.h"
#include "path_join.h"

namespace {

// Hosts already depend on these bytes; everything else takes them from the contract.
TEST(BridgeContract, TextsAndNumbersAreExact)
{
    const struct {
        const char* constant;
        const char* bytes;
    } texts[] = {
        {BRIDGE_NAME, "LUMARO_ScreenRecBridge"},
        {BRIDGE_EXE, "LUMARO_ScreenRecBridge.exe"},
        {WIRE_STARTED, "startcapture\r\n"},
        {WIRE_EXIT_SUCCESS, "Exit Process Success\r\n"},
        {WIRE_EXIT_FAILED, "Exit Process Failed\r\n"},
        {WIRE_RECORDER_NOT_FOUND, "Recorder Not Found\r\n"},
        {WIRE_TARGET_NOT_FOUND, "Target Window Not Found\r\n"},
        {STATUS_STARTED STATUS_LINE_END, "startcapture\n"},
        {RECORDINGS_FROM_TOOL_FOLDER, "..\\..\\recordings\\"},
    };
    for (const auto& t : texts) {
        EXPECT_STREQ(t.constant, t.bytes);
    }
    EXPECT_EQ(WM_BRIDGE_START, 0x401);
    EXPECT_EQ(WM_BRIDGE_STOP, 0x402);
}

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

// What WinMain is given by the platform's C runtime: the program name, quoted or not,
// and the blanks and control characters after it go; bytes beyond ASCII stay.
TEST(CommandLineArguments, Table)
{
    const struct {
        const char* commandLine;
        const char* arguments;
    } cases[] = {
        {"\"C:\\Program Files\\b.exe\" Chart#D:\\rec\\", "Chart#D:\\rec\\"},
        {"b.exe Chart#D:\\rec\\", "Chart#D:\\rec\\"},
        {"b.exe \t \x01" "Chart", "Chart"},
        {"\"b.exe\"\xC4rger#x", "\xC4rger#x"},
        {"b.exe \xC4rger#x", "\xC4rger#x"},
        {"\"b.exe\"   \"Chart#x\"", "\"Chart#x\""},
        {"\"b c.exe", ""},
        {"b.exe", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(CommandLineArguments(c.commandLine), c.arguments) << c.commandLine;
    }
}

struct ArgumentCase {
    const char* title;
    const char* folder;
    const char* problem; // a word of the reason; null when accepted
};

TEST(CheckCommandLineParts, Table)
{
    const ArgumentCase cases[] = {
        {"Chart", "C:\\rec\\tool\\", nullptr},
        {"My Chart - 1", "C:\\Program Files\\tool\\", nullptr},
        {"Chart", "C:\\rec\\#x\\", nullptr},
        {"", "C:\\rec\\", "empty"},
        {nullptr, "C:\\rec\\", "empty"},
        {"Chart#2", "C:\\rec\\", "'#'"},
        {"#Chart", "C:\\rec\\", "'#'"},
        {" Chart", "C:\\rec\\", "blank"},
        {"\tChart", "C:\\rec\\", "blank"},
        {"\x01" "Chart", "C:\\rec\\", "control"},
        {"\xC4rger", "C:\\rec\\", nullptr},
        {"Chart \xC4 \x7f", "C:\\rec\\", nullptr},
        {"Chart", "", "empty"},
        {"Chart", nullptr, "empty"},
        {"Chart", "C:\\rec", "backslash"},
        {"Chart", "C:\\rec/", "backslash"},
    };
    for (const ArgumentCase& c : cases) {
        const char* problem = lumaro_bridge_check_command_line(c.title, c.folder);
        if (c.problem == nullptr) {
            EXPECT_EQ(problem, nullptr) << c.title << " " << c.folder;
        } else {
            ASSERT_NE(problem, nullptr) << (c.title ? c.title : "(null)");
            EXPECT_NE(strstr(problem, c.problem), nullptr) << problem;
        }
    }
    EXPECT_TRUE(lumaro_bridge_folder_lacks_end("C:\\rec"));
    EXPECT_FALSE(lumaro_bridge_folder_lacks_end("C:\\rec\\"));
    EXPECT_FALSE(lumaro_bridge_folder_lacks_end(""));
}

// The built line, after the quoted path and its blank, is what the bridge splits.
TEST(BuildCommandLine, QuotesThePathPassesTheRestRawAndSplitsBack)
{
    const struct {
        const char* path;
        const char* title;
        const char* folder;
        const char* line;
    } cases[] = {
        {"C:\\b\\LUMARO_ScreenRecBridge.exe", "Chart", "D:\\rec\\",
         "\"C:\\b\\LUMARO_ScreenRecBridge.exe\" Chart#D:\\rec\\"},
        {"b.exe", "A \"quoted\" title", "C:\\Program Files\\t\\",
         "\"b.exe\" A \"quoted\" title#C:\\Program Files\\t\\"},
        {"b.exe", "Chart", "C:\\rec\\#x\\", "\"b.exe\" Chart#C:\\rec\\#x\\"},
    };
    for (const auto& c : cases) {
        size_t length = strlen(c.line);
        std::string line(length + 1, 'x');
        EXPECT_EQ(lumaro_bridge_build_command_line(c.path, c.title, c.folder, &line[0], length),
                  length);
        EXPECT_EQ(line, std::string(length + 1, 'x')) << "written without room";
        EXPECT_EQ(lumaro_bridge_build_command_line(c.path, c.title, c.folder, &line[0],
                                                   line.size()),
                  length);
        EXPECT_STREQ(line.c_str(), c.line);
        CommandLineParts parts = SplitCommandLine(&line[strlen(c.path) + 3]);
        ASSERT_NE(parts.title, nullptr);
        EXPECT_STREQ(parts.title, c.title);
        EXPECT_STREQ(parts.folder, c.folder);
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
    const struct {
        const char* folder;
        const char* name;
        const char* path;
    } cases[] = {
        {"D:\\rec\\tool\\", "LUMARO_VideoTool.exe", "D:\\rec\\tool\\LUMARO_VideoTool.exe"},
        {"D:\\rec\\tool\\", "..\\..", "D:\\rec\\tool\\..\\.."},
        {"", "..\\..", "..\\.."},
        {"D:\\rec\\tool", "LUMARO_VideoTool.exe", "D:\\rec\\toolLUMARO_VideoTool.exe"},
    };
    for (const auto& c : cases) {
        char* path = JoinPath(c.folder, c.name);
        ASSERT_NE(path, nullptr);
        EXPECT_STREQ(path, c.path);
        free(path);
    }
}

} // namespace
