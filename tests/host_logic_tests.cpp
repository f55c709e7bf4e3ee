// The host's pure logic, table by table: status lines cut from pipe bytes by the C
// client's splitter, bridge-host's options, the AVI summary, what the tool's log says of
// one instance and the choice of the window to record.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "avi_summary.h"
#include "bridge_contract.h"
#include "bridge_host.h"
#include "host_options.h"
#include "output_plan.h"
#include "run_verdict.h"
#include "stand_in_tool.h"
#include "tool_log.h"
#include "watch_verdict.h"
#include "window_choice.h"

#include "fuzz/tool_file.h"

namespace {

// The C client's splitter (sdk/lumaro_bridge.h): a line's text without its line feed
// and the carriage returns before it, cut to the line size; the rest waits. The same
// whether the bytes come at once or one by one.
TEST(LumaroBridgeLines, TextWithoutItsEndCutToSizeWhateverTheChunking)
{
    const std::string longLine(300, 'x');
    const struct {
        std::string bytes;
        std::vector<std::string> texts;
        std::string pending;
    } cases[] = {
        {"startcapture\r\nExit", {"startcapture"}, "Exit"},
        {"a\r\r\nb\rc\n", {"a", "b\rc"}, ""},
        {std::string("a\0b\n", 4), {std::string("a\0b", 3)}, ""},
        {longLine + "\r\n", {longLine.substr(0, LUMARO_BRIDGE_LINE_SIZE - 1)}, ""},
        {"\n\r\n\r", {"", ""}, ""},
    };
    for (const auto& c : cases) {
        for (size_t chunk : {c.bytes.size(), size_t(1)}) {
            lumaro_bridge_lines lines = {};
            std::vector<std::string> texts;
            for (size_t at = 0; at < c.bytes.size();) {
                at += lumaro_bridge_split_line(&lines, &c.bytes[at],
                                               std::min(chunk, c.bytes.size() - at));
                if (lines.complete) {
                    texts.push_back(std::string(lines.text, lines.length));
                }
            }
            EXPECT_EQ(texts, c.texts) << c.bytes << " in chunks of " << chunk;
            EXPECT_EQ(lines.complete ? "" : std::string(lines.text, lines.length), c.pending);
        }
    }
}

struct OptionCase {
    std::vector<const char*> args;
    const char* problem; // a word of the error; null when accepted
    int seconds;
    bool untilEnter;
    BridgeShow show;
    bool version = false; // the row asks for the version; nothing else is read
    const char* output = "x.avi"; // what -o (the args' sixth) becomes
};

TEST(ParseHostOptions, Table)
{
    const OptionCase cases[] = {
        {{"record", "--title", "Chart", "--tool-folder", "C:\\t\\", "--seconds", "5"},
         nullptr, 5, false, BRIDGE_SHOW_HIDDEN},
        {{"--title", "Chart", "record", "--until-enter", "--tool-folder", "C:\\t\\", "--show",
          "minimized"},
         nullptr, 0, true, BRIDGE_SHOW_MINIMIZED},
        {{"record", "--title", "Chart", "--tool-folder", "C:\\t", "--seconds", "86400",
          "--show", "normal"},
         nullptr, 86400, false, BRIDGE_SHOW_NORMAL},
        {{"record", "--tool-folder", "C:\\t\\", "--seconds", "5"}, "--title", 0, false,
         BRIDGE_SHOW_HIDDEN},
        // Neither stop given: until Enter (or Ctrl+C).
        {{"record", "--title", "Chart", "--tool-folder", "C:\\t\\", "-o", "x.avi"}, nullptr, 0,
         true, BRIDGE_SHOW_HIDDEN},
        {{"record", "--title", "C", "--tool-folder", "C:\\t\\", "--seconds", "5",
          "--until-enter"},
         "not both", 0, false, BRIDGE_SHOW_HIDDEN},
        {{"record", "--title", "C", "--output", ""}, "--output", 0, false, BRIDGE_SHOW_HIDDEN},
        // cmd hands "C:\My Clips\" over with the backslash taken as escaping the quote.
        {{"record", "--title", "Chart", "--tool-folder", "C:\\t\\", "-o", "C:\\My Clips\"",
          "--seconds", "5"},
         nullptr, 5, false, BRIDGE_SHOW_HIDDEN, false, "C:\\My Clips\\"},
        {{"record", "--title", "C", "-o", "C:\\My Clips\" --seconds 5"}, "put -o last", 0, false,
         BRIDGE_SHOW_HIDDEN},
        {{"windows", "--title", "C"}, "takes no options", 0, false, BRIDGE_SHOW_HIDDEN},
        {{"record", "--title", "C", "--tool-folder", "C:\\t\\", "--seconds", "0"}, "--seconds",
         0, false, BRIDGE_SHOW_HIDDEN},
        {{"record", "--title", "C", "--tool-folder", "C:\\t\\", "--seconds", "86401"},
         "--seconds", 0, false, BRIDGE_SHOW_HIDDEN},
        {{"record", "--title", "C", "--tool-folder", "C:\\t\\", "--seconds", "5s"}, "--seconds",
         0, false, BRIDGE_SHOW_HIDDEN},
        {{"record", "--title", "C", "--tool-folder", "C:\\t\\", "--seconds", "-1"}, "--seconds",
         0, false, BRIDGE_SHOW_HIDDEN},
        {{"record", "--title", "C", "--tool-folder", "C:\\t\\", "--seconds"}, "needs a value",
         0, false, BRIDGE_SHOW_HIDDEN},
        {{"record", "--title", "C", "--tool-folder", "C:\\t\\", "--until-enter", "--show",
          "max"},
         "--show", 0, false, BRIDGE_SHOW_HIDDEN},
        {{"record", "record", "--title", "C"}, "unknown", 0, false, BRIDGE_SHOW_HIDDEN},
        {{"play", "--title", "C"}, "unknown", 0, false, BRIDGE_SHOW_HIDDEN},
        {{"record", "--title", "C", "--tool-folder", "C:\\t\" --seconds 5"}, "took in the quote",
         0, false, BRIDGE_SHOW_HIDDEN},
        {{"--version"}, nullptr, 0, false, BRIDGE_SHOW_HIDDEN, true},
        {{"--version", "record", "--seconds", "x"}, nullptr, 0, false, BRIDGE_SHOW_HIDDEN, true},
    };
    for (const OptionCase& c : cases) {
        std::vector<const char*> argv = {"bridge-host.exe"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        HostOptions options;
        std::string error;
        bool parsed = ParseHostOptions(static_cast<int>(argv.size()), argv.data(), options, error);
        std::string shown = c.args.empty() ? "(none)" : c.args[0];
        if (c.version) {
            ASSERT_TRUE(parsed) << error;
            EXPECT_TRUE(options.version) << shown;
            EXPECT_FALSE(options.help) << shown;
        } else if (c.problem == nullptr) {
            ASSERT_TRUE(parsed) << error;
            EXPECT_FALSE(options.version) << shown;
            EXPECT_EQ(options.command, HOST_RECORD);
            EXPECT_EQ(options.title, "Chart");
            EXPECT_EQ(options.toolFolder, "C:\\t\\");
            bool output = c.args.size() > 5 && strcmp(c.args[5], "-o") == 0;
            EXPECT_EQ(options.output, output ? c.output : "");
            EXPECT_EQ(options.seconds, c.seconds);
            EXPECT_EQ(options.untilEnter, c.untilEnter);
            EXPECT_EQ(options.show, c.show);
        } else {
            EXPECT_FALSE(parsed) << shown;
            EXPECT_NE(error.find(c.problem), std::string::npos) << error;
        }
    }
}

TEST(ParseHostOptions, HelpNamesEveryOption)
{
    HostOptions options;
    std::string error;
    const char* windows[] = {"bridge-host.exe", "windows"};
    ASSERT_TRUE(ParseHostOptions(2, windows, options, error));
    EXPECT_EQ(options.command, HOST_WINDOWS);
    // Also Windows' own way of asking, and nothing at all.
    for (const char* asked : {"--help", "/?", ""}) {
        const char* help[] = {"bridge-host.exe", asked};
        ASSERT_TRUE(ParseHostOptions(*asked ? 2 : 1, help, options, error));
        EXPECT_TRUE(options.help) << asked;
    }
    for (const char* option : {"--title", "--tool-folder", "--seconds", "--until-enter",
                               "--bridge", "--show", "--help", "--version", "record", "-o",
                               "--output", "windows", "Exit codes: 0"}) {
        EXPECT_NE(strstr(HostUsage(), option), nullptr) << option;
    }
}

// One line of the tool's log as the tool writes it.
std::string LogLine(unsigned long processId, const std::string& text)
{
    char line[512];
    snprintf(line, sizeof line, LOG_LINE_FORMAT, 2026, 12, 8, 13, 23, 37, processId, text.c_str());
    return line;
}

TEST(ReadToolOutcome, EachInstanceByItsOwnLines)
{
    const std::string log =
        LogLine(7, LOG_RECORDING "64x48 at 0,0" LOG_INTO "recordings\\old.avi") +
        LogLine(12, LOG_NOT_RECORDING "width -580 must be greater than 0") +
        LogLine(7, LOG_SAVED "recordings\\old.avi: 15 frames, 1.0 s, 0 dropped") +
        LogLine(112, LOG_RECORDING "64x48 at 0,0" LOG_INTO "recordings\\new.avi") +
        LogLine(112, LOG_FAILED "recordings\\new.avi: 9 frames, 0.6 s, 0 dropped: disk full") +
        LogLine(20, LOG_RECORDING "64x48 at 0,0" LOG_INTO "recordings\\cut.avi") +
        LogLine(21, LOG_RECORDING "64x48 at 0,0" LOG_INTO "recordings\\limit.avi") +
        LogLine(20, LOG_SAVED "recordings\\other.avi: 1 frames, 0.1 s, 0 dropped") +
        LogLine(21, LOG_SAVED_AT_LIMIT "recordings\\limit.avi: 9000 frames, 600.0 s, 0 dropped") +
        LogLine(30, LOG_RECORDING "64x48 at 0,0" LOG_INTO "recordings\\gone.avi") +
        LogLine(30, LOG_NOT_RECORDING "the encoder did not start within 10000 ms") +
        LogLine(40, LOG_RECORDING "64x48 at 0,0" LOG_INTO "recordings\\slept.avi") +
        LogLine(40, LOG_CLOCK_GAP "3600.0 s (sleep or a suspended system)") +
        LogLine(40, LOG_SAVED "recordings\\slept.avi: 9 frames, 0.6 s, 0 dropped") +
        "2026-12-08 13:23:37 pid 020: " LOG_NOT_RECORDING "not of 20\r\n" +
        LogLine(2020, LOG_NOT_RECORDING "not of 20 either");
    const struct {
        unsigned long processId;
        ToolEnd end;
        const char* path;
        const char* says;
        const char* gap = "";
    } cases[] = {
        {7, TOOL_SAVED, "recordings\\old.avi", "15 frames"},
        {12, TOOL_REFUSED, "", "width -580"},
        {112, TOOL_FAILED, "recordings\\new.avi", "disk full"},
        {20, TOOL_RECORDING, "recordings\\cut.avi", "64x48"},
        {21, TOOL_SAVED_AT_LIMIT, "recordings\\limit.avi", "9000 frames"},
        {30, TOOL_REFUSED, "", "encoder"},
        {40, TOOL_SAVED, "recordings\\slept.avi", "9 frames",
         LOG_CLOCK_GAP "3600.0 s (sleep or a suspended system)"},
        {2, TOOL_SILENT, "", ""},
    };
    for (const auto& c : cases) {
        ToolOutcome outcome = ReadToolOutcome(log, c.processId);
        EXPECT_EQ(outcome.end, c.end) << c.processId;
        EXPECT_EQ(outcome.path, c.path) << c.processId;
        EXPECT_NE(outcome.text.find(c.says), std::string::npos) << outcome.text;
        EXPECT_EQ(outcome.text.find('\r'), std::string::npos) << c.processId;
        EXPECT_EQ(outcome.gap, c.gap) << c.processId;
        // The C client's reader (sdk/lumaro_bridge.h), a line at a time, agrees.
        lumaro_tool_outcome inC = {};
        lumaro_bridge_lines lines = {};
        for (size_t at = 0; at < log.size();) {
            at += lumaro_bridge_split_line(&lines, &log[at], log.size() - at);
            if (lines.complete) {
                lumaro_tool_read_log_line(&inC, lines.text, c.processId);
            }
        }
        EXPECT_EQ(static_cast<int>(inC.end), static_cast<int>(outcome.end)) << c.processId;
        EXPECT_EQ(inC.path, outcome.path);
        EXPECT_EQ(inC.text, outcome.text);
        EXPECT_EQ(inC.gap, outcome.gap);
    }
}

TEST(JudgeRun, ExitCodeAndReasonFromTheRunTheLogAndTheFile)
{
    const ToolOutcome saved = {TOOL_SAVED, "r.avi", "Saved r.avi: 9 frames"};
    const ToolOutcome limit = {TOOL_SAVED_AT_LIMIT, "r.avi", "Stopped at the limit; saved r.avi"};
    const ToolOutcome silent = {TOOL_SILENT, "", ""};
    const ToolOutcome refused = {TOOL_REFUSED, "", "Not recording: width -4"};
    const ToolOutcome unlogged = {TOOL_RECORDING, "r.avi", "Recording 9x9 into r.avi"};
    const ToolOutcome failed = {TOOL_FAILED, "r.avi", "Recording failed; kept r.avi: x"};
    const ToolOutcome slept = {TOOL_SAVED, "r.avi", "Saved r.avi", "The clock stood still"};
    const struct {
        bool asAsked;
        const char* problem;
        ToolOutcome tool;
        bool complete;
        int exitCode;
        const char* says;
    } cases[] = {
        {true, "", saved, true, EXIT_RECORDED, ""},
        {false, "", limit, true, EXIT_RECORDING_SHORT, "reported \"Stopped at the limit"},
        {true, "", limit, true, EXIT_RECORDING_SHORT, "Stopped at the limit"},
        {false, "the bridge ended", saved, true, EXIT_RECORDING_SHORT, "the bridge ended"},
        {false, "", saved, true, EXIT_RECORDING_SHORT, "before the stop"},
        {false, "the bridge ended", saved, false, EXIT_RECORDING_FAILED,
         "the bridge ended; its recording is incomplete: not closed"},
        {true, "", saved, false, EXIT_RECORDING_FAILED, "not closed"},
        {true, "", silent, false, EXIT_RECORDING_FAILED, "logged no recording in log.txt"},
        {false, "stopped", silent, false, EXIT_RECORDING_FAILED, "stopped"},
        {true, "", refused, false, EXIT_RECORDING_FAILED, "did not record: Not recording"},
        {true, "", unlogged, true, EXIT_RECORDING_SHORT,
         "the tool's end was never logged, but the file is whole"},
        {false, "the bridge ended", unlogged, true, EXIT_RECORDING_SHORT,
         "the bridge ended; the tool's end was never logged, but the file is whole"},
        {true, "", failed, true, EXIT_RECORDING_SHORT, "reported \"Recording failed; kept"},
        {true, "", slept, true, EXIT_RECORDING_SHORT, "reported \"The clock stood still\""},
    };
    for (const auto& c : cases) {
        RunFacts facts = {c.asAsked, c.problem, c.tool, "C:\\r.avi", "log.txt", c.complete,
                          "not closed"};
        RunVerdict verdict = JudgeRun(facts);
        EXPECT_EQ(verdict.exitCode, c.exitCode) << c.says;
        EXPECT_NE(verdict.reason.find(c.says), std::string::npos) << verdict.reason;
        EXPECT_EQ(verdict.reason.empty(), c.exitCode == EXIT_RECORDED) << verdict.reason;
    }
}

TEST(FormatElapsed, Table)
{
    const struct {
        unsigned long milliseconds;
        const char* text;
    } cases[] = {
        {0, "00:00.0"},   {99, "00:00.0"},     {100, "00:00.1"},     {5000, "00:05.0"},
        {59999, "00:59.9"}, {60000, "01:00.0"}, {3599900, "59:59.9"}, {6000000, "100:00.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatElapsed(c.milliseconds), c.text) << c.milliseconds;
    }
}

// A disk with a few folders and files, looked at as the platform does: a trailing
// backslash is no part of a name, save a drive's root.
PathKind FakeDisk(const std::string& given, void*)
{
    std::string path = given.size() > 3 && given.back() == '\\' ? given.substr(0, given.size() - 1)
                                                                 : given;
    bool folder = path == "C:\\" || path == "C:\\Videos" || path == "C:\\v1.2";
    bool file = path == "C:\\Videos\\taken.avi" || path == "C:\\notes";
    return folder ? PATH_FOLDER : file ? PATH_FILE : PATH_MISSING;
}

TEST(PlanOutput, FolderOrAviFileElseWhatToWrite)
{
    const struct {
        const char* path;
        const char* to; // null: refused
        const char* says;
    } cases[] = {
        {"C:\\Videos", "C:\\Videos\\", ""},
        {"C:\\Videos\\", "C:\\Videos\\", ""},
        {"C:\\v1.2", "C:\\v1.2\\", ""},
        {"C:\\", "C:\\", ""},
        {"C:\\Videos\\talk.avi", "C:\\Videos\\talk.avi", ""},
        {"C:\\Videos\\TALK.AVI", "C:\\Videos\\TALK.AVI", ""},
        // A new folder is made when its parent is there.
        {"C:\\Videos\\new\\", "C:\\Videos\\new\\", ""},
        {"C:\\Videos\\new/", "C:\\Videos\\new/", ""},
        {"C:\\nowhere\\new\\", nullptr, "there is no folder C:\\nowhere\\ to make it in"},
        {"C:\\Clips", nullptr, "C:\\Clips is no folder: for a new folder write C:\\Clips\\ (with "
                              "the backslash), for a file C:\\Clips.avi"},
        {"C:\\Videos\\.avi", nullptr, "is no folder"},
        {"C:\\Videos\\clip.mp4", nullptr, "Motion-JPEG AVI, so its name ends in .avi: write "
                                       "C:\\Videos\\clip.avi"},
        {"C:\\nowhere\\talk.avi", nullptr, "talk.avi: there is no folder C:\\nowhere\\"},
        {"C:\\Videos\\taken.avi", nullptr, "taken.avi exists, and bridge-host never overwrites"},
        {"C:\\notes", nullptr, "never overwrites"},
        {"C:\\Videos\\taken.avi\\", nullptr, "never overwrites"},
        {"talk.avi", nullptr, "there is no folder"},
        {"C:\\nowhere\\line\nfeed.avi", nullptr, "line?feed.avi: there is no folder"},
    };
    for (const auto& c : cases) {
        std::string to;
        std::string error;
        bool planned = PlanOutput(c.path, FakeDisk, nullptr, to, error);
        EXPECT_EQ(planned, c.to != nullptr) << c.path << ": " << error;
        EXPECT_EQ(to, c.to != nullptr ? c.to : "") << c.path;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(ReadMoveNote, WhatWasWrittenAndAppendedElseNothing)
{
    const MoveNote written = {"C:\\My Clips\\", 12345678901ull, 0};
    const std::string text = MoveNoteText(written);
    const struct {
        std::string text;
        bool read;
        unsigned long toolId;
    } cases[] = {
        {text, true, 0},
        {text + MoveNoteToolLine(4242), true, 4242},
        // The writer ended inside the tool's line: the line was never written.
        {text + "tool 42", true, 0},
        {text + "tool 4294967296\n", false, 0},
        {"log 5\n", false, 0},
        {"to C:\\x\\\n", false, 0},
        {"to C:\\x\\\nlog -5\n", false, 0},
    };
    for (const auto& c : cases) {
        MoveNote note;
        EXPECT_EQ(ReadMoveNote(c.text, note), c.read) << c.text;
        if (c.read) {
            EXPECT_EQ(note.to, written.to);
            EXPECT_EQ(note.logStart, written.logStart);
            EXPECT_EQ(note.toolId, c.toolId) << c.text;
        }
    }
}

// A minimal AVI as a writer that closes its file properly lays it out.
struct AviShape {
    uint32_t width = 640;
    uint32_t height = 360;
    uint32_t scale = 1;
    uint32_t rate = 15;
    uint32_t headerFrames = 45;
    uint32_t fileFrames = 45;
    bool index = true;
    uint32_t indexedFrames = 45;
    // Where the index's entries count from, or how its last one misses its frame.
    enum { ENTRY_TRUE, ENTRY_ABSOLUTE, LAST_AT_ZERO, LAST_OTHER_ID, LAST_OTHER_SIZE } entry =
        ENTRY_TRUE;
    bool audioFirst = false;
};

void Put32(std::string& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>(value >> (8 * i) & 0xff);
    }
}

std::string ChunkBytes(const char* id, const std::string& data)
{
    std::string bytes(id, 4);
    Put32(bytes, static_cast<uint32_t>(data.size()));
    bytes += data;
    if (data.size() & 1) {
        bytes += '\0';
    }
    return bytes;
}

std::string ListBytes(const char* type, const std::string& data)
{
    return ChunkBytes("LIST", std::string(type, 4) + data);
}

std::string StreamList(const char* type, const AviShape& shape)
{
    std::string header(type, 4);
    header += "MJPG";
    for (uint32_t value : {0u, 0u, 0u, shape.scale, shape.rate, 0u, shape.headerFrames}) {
        Put32(header, value);
    }
    header.resize(56, '\0');
    return ListBytes("strl",
                     ChunkBytes("strh", header) + ChunkBytes("strf", std::string(40, '\0')));
}

std::string BuildAvi(const AviShape& shape)
{
    std::string main(32, '\0');
    Put32(main, shape.width);
    Put32(main, shape.height);
    main.resize(56, '\0');
    std::string streams = shape.audioFirst ? StreamList("auds", shape) : "";
    std::string hdrl =
        ListBytes("hdrl", ChunkBytes("avih", main) + streams + StreamList("vids", shape));
    std::string frames;
    // Entries of other streams are passed over.
    std::string index = shape.audioFirst ? std::string("00wb") + std::string(12, '\0') : "";
    for (uint32_t i = 0; i < shape.fileFrames; ++i) {
        std::string frame = ChunkBytes("00dc", std::string(i % 2 ? 7 : 10, 'x'));
        if (i < shape.indexedFrames) {
            bool last = i + 1 == shape.indexedFrames;
            // From the frame list's type field, or from the start of the file.
            uint32_t offset = 4 + static_cast<uint32_t>(frames.size()) +
                              (shape.entry == AviShape::ENTRY_ABSOLUTE ? 20 + hdrl.size() : 0);
            index += last && shape.entry == AviShape::LAST_OTHER_ID ? "00db" : "00dc";
            Put32(index, 0x10);
            Put32(index, last && shape.entry == AviShape::LAST_AT_ZERO ? 0 : offset);
            Put32(index, (i % 2 ? 7 : 10) + (last && shape.entry == AviShape::LAST_OTHER_SIZE));
        }
        frames += frame;
    }
    std::string body = hdrl + ListBytes("movi", frames);
    if (shape.index) {
        body += ChunkBytes("idx1", index);
    }
    return ChunkBytes("RIFF", "AVI " + body);
}

bool Summarise(const std::string& bytes, AviSummary& summary, std::string& error)
{
    return ReadAviSummaryFromBytes(bytes, summary, error);
}

TEST(ReadAviSummary, ShapesOfFiles)
{
    AviShape closed;
    AviShape unindexed;
    unindexed.index = false;
    AviShape headerBehind;
    headerBehind.headerFrames = 0;
    AviShape ntsc;
    ntsc.scale = 1001;
    ntsc.rate = 30000;
    ntsc.headerFrames = ntsc.fileFrames = ntsc.indexedFrames = 300;
    AviShape indexShort;
    indexShort.indexedFrames = 44;
    AviShape absolute;
    absolute.entry = AviShape::ENTRY_ABSOLUTE;
    AviShape lastAtZero;
    lastAtZero.entry = AviShape::LAST_AT_ZERO;
    AviShape lastOtherId;
    lastOtherId.entry = AviShape::LAST_OTHER_ID;
    AviShape lastOtherSize;
    lastOtherSize.entry = AviShape::LAST_OTHER_SIZE;
    AviShape withAudio;
    withAudio.audioFirst = true;
    const struct {
        AviShape shape;
        bool complete;
        double seconds;
    } cases[] = {
        {closed, true, 3.0},
        {unindexed, false, 3.0},
        {indexShort, false, 3.0},
        {absolute, true, 3.0},
        {lastAtZero, false, 3.0},
        {lastOtherId, false, 3.0},
        {lastOtherSize, false, 3.0},
        {headerBehind, false, 0.0},
        {ntsc, true, 10.01},
        {withAudio, true, 3.0},
    };
    for (const auto& c : cases) {
        AviSummary summary;
        std::string error;
        ASSERT_TRUE(Summarise(BuildAvi(c.shape), summary, error)) << error;
        EXPECT_EQ(summary.width, 640);
        EXPECT_EQ(summary.height, 360);
        EXPECT_EQ(summary.moviFrames, c.shape.fileFrames);
        EXPECT_NEAR(summary.seconds, c.seconds, 0.001);
        EXPECT_EQ(AviComplete(summary), c.complete) << c.shape.headerFrames;
    }
}

TEST(ReadAviSummary, BadFilesGiveAReason)
{
    AviShape noRate;
    noRate.rate = 0;
    std::string notAvi = BuildAvi(AviShape());
    notAvi.replace(8, 4, "WAVE");
    const struct {
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"", "not an AVI"},
        {"RIFF", "not an AVI"},
        {notAvi, "not an AVI"},
        {BuildAvi(noRate), "frame rate"},
        {ChunkBytes("RIFF", "AVI "), "no header"},
        {ChunkBytes("RIFF", "AVI " + ListBytes("hdrl", "")), "no main header"},
    };
    for (const auto& c : cases) {
        AviSummary summary;
        std::string error;
        EXPECT_FALSE(Summarise(c.bytes, summary, error)) << c.reason;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

// The tool's own layout: three segments of two frames, one of them an empty repeat.
std::string ToolFile()
{
    return LayOutAsTheTool({640, 360, 15}, {10, 0, 7, 10, 0, 9}, 2).bytes;
}

// Some bytes changed where `find` first occurs from `from` on (at its start, plus `skip`).
std::string Changed(std::string bytes, const char* find, size_t from, size_t skip,
                    const std::string& with)
{
    bytes.replace(bytes.find(find, from) + skip, with.size(), with);
    return bytes;
}

TEST(ReadAviSummary, SegmentsOfTheToolsLayout)
{
    const std::string whole = ToolFile();
    const size_t second = whole.find("AVIX");
    std::string five;
    Put32(five, 5);
    const struct {
        const char* name;
        std::string bytes;
        uint64_t moviFrames;
        bool complete;
    } cases[] = {
        {"whole", whole, 6, true},
        {"extended header short", Changed(whole, "dmlh", 0, 8, five), 6, false},
        {"a later segment's index cut off", Changed(whole, "ix00", second, 0, "JUNK"), 6, false},
        // The last entry of the second segment's index: one byte off in its size.
        {"an entry's size", Changed(whole, "ix00", second, 32 + 8 + 4, "\x0b"), 6, false},
        {"the super index short", Changed(whole, "indx", 0, 12, std::string("\x02", 1)), 6, false},
        {"a segment listed twice",
         Changed(whole, "indx", 0, 32 + 16, whole.substr(whole.find("indx") + 32, 16)), 6, false},
        {"the legacy index short of the first segment",
         Changed(whole, "idx1", 0, 4, std::string("\x10", 1)), 6, false},
        {"the last segment cut short", whole.substr(0, whole.size() - 53), 5, false},
    };
    for (const auto& c : cases) {
        AviSummary summary;
        std::string error;
        ASSERT_TRUE(Summarise(c.bytes, summary, error)) << c.name << ": " << error;
        EXPECT_EQ(summary.segments, 3u) << c.name;
        EXPECT_EQ(summary.frames, 6u) << c.name;
        EXPECT_EQ(summary.moviFrames, c.moviFrames) << c.name;
        EXPECT_EQ(AviComplete(summary), c.complete) << c.name;
        if (c.complete) {
            EXPECT_EQ(summary.extendedFrames, 6u) << c.name;
        }
    }
    // A repeat (the second frame) is no key frame in either index, so that a seek lands
    // on a picture: the legacy index's flags, the standard index's size bit 31.
    const size_t legacy = whole.find("idx1") + 8;
    EXPECT_EQ(whole.substr(legacy + 4, 4), std::string("\x10\0\0\0", 4));
    EXPECT_EQ(whole.substr(legacy + 16 + 4, 4), std::string(4, '\0'));
    const size_t standard = whole.find("ix00") + 32;
    EXPECT_EQ(whole.substr(standard + 8 + 4, 4), std::string("\0\0\0\x80", 4));
}

// A still recording's tiny chunks cost a read of the file per block, not several a
// frame; past the end, or where the source fails (it claims more than it has), a read
// fails, also when asked again.
int g_sourceReads;

bool CountedRead(void* context, uint64_t offset, void* into, uint32_t count)
{
    ++g_sourceReads;
    const std::string& bytes = *static_cast<const std::string*>(context);
    return offset + count <= bytes.size() && memcpy(into, bytes.data() + offset, count);
}

TEST(ReadAviSummary, ReadsTheFileInBlocks)
{
    std::vector<uint32_t> sizes(20000, 0);
    sizes[0] = 700;
    std::string bytes = LayOutAsTheTool({64, 48, 15}, sizes, 6000).bytes;
    AviBlockCache cache;
    AviSummary summary;
    std::string error;
    EXPECT_TRUE(ReadAviSummary(CachedAviSource(cache, {CountedRead, &bytes, bytes.size()}),
                               summary, error) && AviComplete(summary) && summary.frames == 20000);
    EXPECT_LE(g_sourceReads, static_cast<int>(3 * bytes.size() / AVI_CACHE_BLOCK_BYTES + 8));
    char byte = 0;
    for (uint64_t claimed : {bytes.size(), bytes.size() + 10}) {
        const AviSource cached = CachedAviSource(cache, {CountedRead, &bytes, claimed});
        for (int again = 0; again < 2; ++again) {
            EXPECT_FALSE(cached.read(cached.context, bytes.size() + 5, &byte, 1) ||
                         cached.read(cached.context, claimed + AVI_CACHE_BLOCK_BYTES, &byte, 1));
        }
    }
}

// A writer ended at any moment leaves a prefix of the file: every prefix, and every
// prefix with one size field smashed, reads without a crash or an endless walk.
TEST(ReadAviSummary, EveryTruncationAndSmashedSizeIsSafe)
{
    std::string whole = BuildAvi(AviShape());
    for (size_t length = 0; length <= whole.size(); ++length) {
        AviSummary summary;
        std::string error;
        if (Summarise(whole.substr(0, length), summary, error) && length < whole.size()) {
            EXPECT_FALSE(AviComplete(summary)) << length;
        }
    }
    for (size_t at = 0; at + 4 <= 400 && at + 4 <= whole.size(); ++at) {
        std::string smashed = whole;
        smashed.replace(at, 4, "\xff\xff\xff\xff", 4);
        AviSummary summary;
        std::string error;
        Summarise(smashed, summary, error);
    }
}

TEST(CloseTitles, CaseThenEditsThenHoldingBestFirst)
{
    const std::vector<std::string> windows = {
        "Unbenannt - Editor", "Chart", "Bridge Demo Chart", "chart", "Chart",
        "Untitled - Notepad", "Calculator", "CalcuXXXlater", "Colcolotor", "Charts",
        "\xC3\xA4\xC3\xB6\xC3\xBC", "X", ""};
    const struct {
        std::string title;
        std::vector<std::string> close;
    } cases[] = {
        {"CHART", {"Chart", "chart", "Charts"}},
        {"Chrat", {"Chart", "chart"}},
        {"Demo Chart", {"Chart", "chart", "Bridge Demo Chart"}},
        {"Editor", {"Unbenannt - Editor"}},
        {"Untitled - Notpad", {"Untitled - Notepad"}},
        // Within a third of the length (3), not beyond.
        {"Calculater", {"Calculator", "CalcuXXXlater"}},
        // Compared and folded by code point, not by byte.
        {"\xC3\x84\xC3\x96\xC3\x9C", {"\xC3\xA4\xC3\xB6\xC3\xBC"}},
        {"Ch", {}},
        {"x", {"X"}},
        {"", {}},
        {"Paint", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CloseTitles(c.title, windows), c.close) << c.title;
    }
    // Titles are compared by their first TITLE_COMPARE_LENGTH code points.
    const std::string longTitle(100000, 'x');
    const std::string sameStart = std::string(TITLE_COMPARE_LENGTH, 'x') + std::string(50000, 'y');
    EXPECT_EQ(CloseTitles(longTitle, {sameStart}), std::vector<std::string>{sameStart});
}

TEST(JudgeArea, CutAsTheBridgeCutsIt)
{
    const ScreenSize screen = {1920, 1080};
    const struct {
        WindowRect rect;
        AreaFit fit;
        unsigned sides;
        CaptureRegion region;
    } cases[] = {
        {{100, 100, 740, 460}, AREA_INSIDE, 0, {100, 100, 640, 360}},
        {{0, 0, 1920, 1080}, AREA_INSIDE, 0, {0, 0, 1920, 1080}},
        {{-100, 100, 540, 460}, AREA_PARTLY_OUTSIDE, SIDE_LEFT, {0, 100, 540, 360}},
        {{1800, 1000, 2440, 1360}, AREA_PARTLY_OUTSIDE, SIDE_RIGHT | SIDE_BELOW,
         {1800, 1000, 120, 80}},
        {{INT32_MIN, 0, INT32_MAX, 10}, AREA_PARTLY_OUTSIDE, SIDE_LEFT | SIDE_RIGHT,
         {0, 0, 1920, 10}},
        {{2500, 100, 2600, 200}, AREA_OUTSIDE, SIDE_RIGHT, {2500, 100, -580, 100}},
        {{1920, 0, 2020, 100}, AREA_OUTSIDE, SIDE_RIGHT, {1920, 0, 0, 100}},
        {{100, 1200, 300, 1300}, AREA_OUTSIDE, SIDE_BELOW, {100, 1200, 200, -120}},
        {{-32000, -32000, -31840, -31972}, AREA_OUTSIDE, SIDE_LEFT | SIDE_ABOVE,
         {0, 0, -31840, -31972}},
        {{10, 10, 10, 50}, AREA_NO_SIZE, 0, {10, 10, 0, 40}},
        {{10, 60, 50, 10}, AREA_NO_SIZE, 0, {10, 60, 40, -50}},
    };
    for (const auto& c : cases) {
        AreaVerdict verdict = JudgeArea(c.rect, screen);
        SCOPED_TRACE(testing::Message() << c.rect.left << "," << c.rect.top);
        EXPECT_EQ(verdict.fit, c.fit);
        EXPECT_EQ(verdict.sides, c.sides);
        EXPECT_EQ(verdict.region.left, c.region.left);
        EXPECT_EQ(verdict.region.top, c.region.top);
        EXPECT_EQ(verdict.region.width, c.region.width);
        EXPECT_EQ(verdict.region.height, c.region.height);
    }
}

TEST(CheckTarget, EachVerdictSaysWhyAndWhatToDo)
{
    const ScreenSize screen = {1920, 1080};
    const std::vector<std::string> others = {"Chart", "Bridge Demo Chart"};
    const struct {
        std::string title;
        TargetState target;
        TargetVerdict verdict;
        const char* line;
    } cases[] = {
        {"Chart", {true, false, true, {100, 100, 740, 460}, false, 1, "c.exe"}, TARGET_OK,
         "\"Chart\" (640x360 at 100,100) will be recorded whole"},
        {"Chart", {true, false, true, {-10, -10, 2440, 1360}, false, 2, "c.exe"}, TARGET_WARNING,
         "\"Chart\" (2450x1370 at -10,-10) is partly outside the area that can be recorded (left "
         "of and above the main screen's origin and past the virtual screen's width and height, "
         "1920x1080): only 1920x1080 at 0,0 will be recorded; move it onto the main screen to "
         "record it whole"},
        {"Chart", {true, false, true, {100, -10, 300, 1300}, false, 1, "c.exe"}, TARGET_WARNING,
         "\"Chart\" (200x1310 at 100,-10) is partly outside the area that can be recorded (above "
         "the main screen's origin and past the virtual screen's height, 1080): only 200x1080 at "
         "100,0 will be recorded; move it onto the main screen to record it whole"},
        {"Chart", {true, false, true, {2500, 100, 2600, 200}, false, 1, "c.exe"}, TARGET_REFUSED,
         "\"Chart\" (100x100 at 2500,100) lies wholly outside the area that can be recorded "
         "(past the virtual screen's width, 1920): move it onto the main screen"},
        {"Chart", {true, false, true, {10, 10, 10, 50}, false, 1, "c.exe"}, TARGET_REFUSED,
         "\"Chart\" (0x40 at 10,10) has no size: make it larger or choose another window"},
        {"Chart", {true, true, true, {-32000, -32000, -31840, -31972}, false, 1, "c.exe"}, TARGET_REFUSED,
         "\"Chart\" is minimised: restore it and keep it uncovered while recording"},
        {"Chart", {true, false, false, {100, 100, 740, 460}, false, 1, "c.exe"}, TARGET_REFUSED,
         "\"Chart\" is hidden: show it and keep it uncovered while recording (run bridge-host "
         "windows to list the windows shown)"},
        {"Chart", {true, false, true, {100, 100, 740, 460}, true, 1, "c.exe"}, TARGET_REFUSED,
         "\"Chart\" is on another virtual desktop (the system cloaks it): switch to that desktop, "
         "or move the window to this one (Task View, right-click it, Move to), and record it "
         "there"},
        {"Chart", {true, false, true, {100, 100, 740, 460}, false, 2, "c.exe"}, TARGET_OK,
         "\"Chart\" (640x360 at 100,100) will be recorded whole"},
        {"Demo Chart", {false, false, false, {}, false, 1, "c.exe"}, TARGET_REFUSED,
         "no window is titled \"Demo Chart\"; close titles: \"Chart\", \"Bridge Demo Chart\" "
         "(run bridge-host windows to list them)"},
        {"Paint\r\n", {false, false, false, {}, false, 1, "c.exe"}, TARGET_REFUSED,
         "no window is titled \"Paint??\" (run bridge-host windows to list the windows that can "
         "be recorded)"},
    };
    for (const auto& c : cases) {
        TargetCheck check = CheckTarget(c.title, c.target, screen, others);
        EXPECT_EQ(check.verdict, c.verdict) << check.line;
        EXPECT_EQ(check.line, c.line);
        EXPECT_EQ(check.sameTitle.empty(), c.target.sameTitles < 2) << check.sameTitle;
    }
    TargetState twins = {true, false, true, {100, 100, 740, 460}, false, 2, "c.exe"};
    EXPECT_EQ(CheckTarget("Chart", twins, screen, others).sameTitle,
              "2 windows are titled \"Chart\": the one in front will be recorded, c.exe at "
              "100,100  640x360");
}

// The runtime's rules as the platform's own parser applies them; they agree on text
// with no doubled quotes, which quoting never writes.
std::string FirstArgument(const std::string& line)
{
    std::wstring wide = L"x " + std::wstring(line.begin(), line.end());
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(wide.c_str(), &count);
    std::wstring first = count > 1 ? argv[1] : L"";
    LocalFree(argv);
    return std::string(first.begin(), first.end());
}

TEST(FormatWindowLine, QuotedTitleFirstThenProgramPlaceAndMarks)
{
    const ScreenSize screen = {1920, 1080};
    const WindowRect at = {120, 80, 1146, 849};
    const struct {
        WindowEntry window;
        const char* line;
    } cases[] = {
        {{"Untitled - Notepad", true, "notepad.exe", at, false, false, SAME_TITLE_NONE},
         "\"Untitled - Notepad\"  notepad.exe  at 120,80  1026x769"},
        {{"a\\\"b C:\\dir\\", true, "?", at, false, false, SAME_TITLE_NONE},
         "\"a\\\\\\\"b C:\\dir\\\\\"  ?  at 120,80  1026x769"},
        {{"Tab\there\x7f", true, "t\n.exe", at, false, false, SAME_TITLE_NONE},
         "\"Tab?here?\"  t?.exe  at 120,80  1026x769"},
        {{"Chart", true, "c.exe", {-32000, -32000, -31840, -31972}, true, false, SAME_TITLE_NONE},
         "\"Chart\"  c.exe  at -32000,-32000  160x28  minimised"},
        {{"Chart", true, "c.exe", {-50, 80, 150, 230}, false, false, SAME_TITLE_NONE},
         "\"Chart\"  c.exe  at -50,80  200x150  partly outside the recordable area"},
        {{"Chart", true, "c.exe", {2500, 80, 2700, 230}, false, false, SAME_TITLE_NONE},
         "\"Chart\"  c.exe  at 2500,80  200x150  outside the recordable area"},
        {{"Chart", true, "c.exe", {5, 5, 5, 5}, false, false, SAME_TITLE_NONE}, "\"Chart\"  c.exe  at 5,5  0x0  no size"},
        {{"Issue #7", true, "c.exe", at, false, false, SAME_TITLE_NONE},
         "\"Issue #7\"  c.exe  at 120,80  1026x769  cannot be recorded: the window title "
         "contains '#', which the bridge takes as the end of the title"},
        {{"Chart \xCE\xA9", false, "c.exe", at, false, false, SAME_TITLE_NONE},
         "\"Chart \xCE\xA9\"  c.exe  at 120,80  1026x769  cannot be recorded: the title has "
         "characters outside the system code page"},
        {{"Chart", true, "c.exe", at, false, true, SAME_TITLE_NONE},
         "\"Chart\"  c.exe  at 120,80  1026x769  cloaked: on another virtual desktop"},
        {{"Chart", true, "c.exe", at, false, false, SAME_TITLE_FRONT},
         "\"Chart\"  c.exe  at 120,80  1026x769  same title as a window behind it; this one is "
         "recorded"},
        {{"Chart", true, "c.exe", at, false, false, SAME_TITLE_BEHIND},
         "\"Chart\"  c.exe  at 120,80  1026x769  same title as a window in front of it, which is "
         "recorded"},
    };
    for (const auto& c : cases) {
        std::string line = FormatWindowLine(c.window, screen);
        EXPECT_EQ(line, c.line);
        if (c.window.title.find_first_of("\t\xCE") == std::string::npos) {
            EXPECT_EQ(FirstArgument(line), c.window.title) << line;
        }
    }
}

TEST(MarkSameTitles, TheFrontOneOfEachTitleIsRecorded)
{
    std::vector<WindowEntry> windows(5);
    const char* titles[] = {"A", "B", "A", "C", "A"};
    for (size_t i = 0; i < windows.size(); ++i) {
        windows[i].title = titles[i];
    }
    MarkSameTitles(windows);
    const SameTitle marks[] = {SAME_TITLE_FRONT, SAME_TITLE_NONE, SAME_TITLE_BEHIND,
                               SAME_TITLE_NONE, SAME_TITLE_BEHIND};
    for (size_t i = 0; i < windows.size(); ++i) {
        EXPECT_EQ(windows[i].sameTitle, marks[i]) << i;
    }
}

// Looks at the window, from a recording of 100,100 640x360, and everything the watch
// says: its lines, "STOP " before the stop's, "summary: " before the summary's.
TEST(WatchTarget, EachTroubleStartsAndEndsOnceTheCloseStopsTheSummarySumsUp)
{
    const WindowRect at = {100, 100, 740, 460};
    const WindowRect iconic = {-32000, -32000, -31840, -31972};
    const struct {
        std::vector<WatchSample> looks; // atMs, closed, minimised, covered, rect
        uint32_t endMs;
        const char* said;
    } cases[] = {
        {{{1000, false, false, false, at}, {2000, false, false, false, at}}, 3000, ""},
        {{{1000, false, false, true, at}, {2000, false, false, true, at},
          {5100, false, false, false, at}, {6000, false, false, true, at}},
         8000,
         "the window was covered by another window at 1.0 s\n"
         "the window is uncovered at 5.1 s, after 4.1 s\n"
         "the window was covered by another window at 6.0 s\n"
         "summary: the window was covered for 6.1 s of 8.0 s\n"},
        {{{1000, false, true, true, iconic}, {3000, false, false, false, at}}, 4000,
         "the window was minimised at 1.0 s\n"
         "the window is restored at 3.0 s, after 2.0 s\n"
         "summary: the window was minimised for 2.0 s of 4.0 s\n"},
        {{{1000, false, false, false, {200, 100, 840, 460}},
          {2000, false, false, false, {100, 100, 900, 500}}, {3500, false, false, false, at},
          {4000, false, false, false, {100, 100, 740, 500}},
          {5000, false, false, false, {0, 0, 100, 100}}},
         6000,
         "the window was moved at 1.0 s (now 200,100 640x360); the recording keeps to 100,100 "
         "640x360\n"
         "the window is back in its place at 3.5 s, after 2.5 s\n"
         "the window was resized at 4.0 s (now 100,100 640x400); the recording keeps to 100,100 "
         "640x360\n"
         "summary: the window was out of its place for 4.5 s of 6.0 s\n"},
        {{{1000, false, false, false, {0, 0, 100, 100}}}, 2000,
         "the window was moved and resized at 1.0 s (now 0,0 100x100); the recording keeps to "
         "100,100 640x360\n"
         "summary: the window was out of its place for 1.0 s of 2.0 s\n"},
        {{{1000, false, false, true, at}, {12390, true, false, false, {}}}, 12390,
         "the window was covered by another window at 1.0 s\n"
         "STOP the window was closed after 12.3 s\n"
         "summary: the window was covered for 11.3 s of 12.3 s\n"},
    };
    for (const auto& c : cases) {
        WatchState state = StartWatch(at);
        std::string said;
        for (const WatchSample& look : c.looks) {
            WatchStep step = WatchTarget(state, look);
            for (const std::string& line : step.lines) {
                said += (step.stop ? "STOP " : "") + line + "\n";
            }
        }
        for (const std::string& line : WatchSummary(state, c.endMs)) {
            said += "summary: " + line + "\n";
        }
        EXPECT_EQ(said, c.said);
    }
}

} // namespace
