// bridge-host's options on two kinds of argument list. An input that starts with
// byte 1 lays out a well-formed record command in an order, with title, tool folder,
// bridge path and seconds taken from the input, and must be accepted with exactly
// those values, whatever they look like; its -o, planned on a disk drawn from the input,
// is refused in one line or is a folder or an .avi file that overwrites nothing. Any
// other input is split at its zero bytes into arguments, and what the parser makes of
// them must agree with them: accepted values follow their option; a refusal is one line.
#include <ctype.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "host_options.h"
#include "output_plan.h"

namespace {

const char PROGRAM[] = "bridge-host";
const uint8_t LAID_OUT = 1;
const size_t MAX_ARGUMENTS = 64;

struct Parsed {
    bool ok;
    HostOptions options;
    std::string error;
};

Parsed Parse(const std::vector<std::string>& arguments)
{
    std::vector<const char*> argv;
    argv.push_back(PROGRAM);
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    Parsed parsed;
    parsed.ok = ParseHostOptions(static_cast<int>(argv.size()), argv.data(), parsed.options,
                                 parsed.error);
    if (!parsed.ok) {
        FUZZ_CHECK(!parsed.error.empty());
        FUZZ_CHECK(parsed.error.find_first_of("\r\n") == std::string::npos);
    }
    return parsed;
}

// The documented rule: a trailing backslash is added when missing.
std::string WithFolderEnd(const std::string& folder)
{
    return folder.empty() || folder.back() == '\\' ? folder : folder + '\\';
}

bool ValueFollows(const std::vector<std::string>& arguments, const char* option,
                  const std::string& value)
{
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == option && arguments[i + 1] == value) {
            return true;
        }
    }
    return false;
}

bool HasArgument(const std::vector<std::string>& arguments, const char* name)
{
    return std::find(arguments.begin(), arguments.end(), name) != arguments.end();
}

// What strtol takes as a whole number: leading white space, a sign, digits, nothing after.
bool WholeNumberText(const std::string& text, long value)
{
    size_t at = 0;
    while (at < text.size() && isspace(static_cast<unsigned char>(text[at]))) {
        ++at;
    }
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        ++at;
    }
    if (at == text.size() ||
        text.find_first_not_of("0123456789", at) != std::string::npos) {
        return false;
    }
    return strtol(text.c_str(), nullptr, 10) == value;
}

// A folder's -o as cmd hands it over when quoted: its trailing backslash taken as
// escaping the closing quote.
std::string QuoteEnded(const std::string& output)
{
    return output.empty() || output.back() != '\\' ? output
                                                   : output.substr(0, output.size() - 1) + '"';
}

void CheckAsGiven(const std::vector<std::string>& arguments)
{
    const Parsed parsed = Parse(arguments);
    if (!arguments.empty()) {
        const std::string& first = arguments[0];
        if (first == "--help" || first == "-h" || first == "/?") {
            FUZZ_CHECK(parsed.ok && parsed.options.help);
        } else if (first == "--version") {
            FUZZ_CHECK(parsed.ok && parsed.options.version);
        }
    }
    if (!parsed.ok) {
        return;
    }
    const HostOptions& o = parsed.options;
    if (o.help || o.version) {
        FUZZ_CHECK(!(o.help && o.version));
        FUZZ_CHECK(o.help ? arguments.empty() || HasArgument(arguments, "--help") ||
                                HasArgument(arguments, "-h") || HasArgument(arguments, "/?")
                          : HasArgument(arguments, "--version"));
        return;
    }
    if (o.command == HOST_WINDOWS) {
        FUZZ_CHECK(arguments == std::vector<std::string>{"windows"});
        return;
    }
    FUZZ_CHECK(HasArgument(arguments, "record"));
    FUZZ_CHECK(ValueFollows(arguments, "--title", o.title));
    bool folderGiven = o.toolFolder.empty();
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        folderGiven |= arguments[i] == "--tool-folder" &&
                       WithFolderEnd(arguments[i + 1]) == o.toolFolder;
    }
    FUZZ_CHECK(folderGiven);
    FUZZ_CHECK(o.output.empty() || ValueFollows(arguments, "-o", QuoteEnded(o.output)) ||
               ValueFollows(arguments, "--output", QuoteEnded(o.output)) ||
               ValueFollows(arguments, "-o", o.output) ||
               ValueFollows(arguments, "--output", o.output));
    FUZZ_CHECK(o.untilEnter != (o.seconds != 0));
    if (!o.untilEnter) {
        FUZZ_CHECK(o.seconds >= 1 && o.seconds <= HOST_MAX_SECONDS);
        bool secondsGiven = false;
        for (size_t i = 0; i + 1 < arguments.size(); ++i) {
            secondsGiven |= arguments[i] == "--seconds" &&
                            WholeNumberText(arguments[i + 1], o.seconds);
        }
        FUZZ_CHECK(secondsGiven);
    }
}

// A disk on which each path is a file, a folder or nothing, by its hash and the seed.
PathKind DrawnDisk(const std::string& path, void* seed)
{
    return static_cast<PathKind>((std::hash<std::string>()(path) ^ *static_cast<size_t*>(seed)) % 3);
}

bool EndsInAvi(const std::string& path)
{
    std::string end = path.size() < 4 ? path : path.substr(path.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(), ::tolower);
    return end == RECORDING_ENDING;
}

void CheckOutputPlan(const std::string& path, size_t seed)
{
    std::string to;
    std::string error;
    if (!PlanOutput(path, DrawnDisk, &seed, to, error)) {
        FUZZ_CHECK(error.rfind("--output ", 0) == 0);
        FUZZ_CHECK(error.find_first_of("\r\n") == std::string::npos);
        return;
    }
    FUZZ_CHECK(to.compare(0, path.size(), path) == 0 && to.size() <= path.size() + 1);
    PathKind kind = DrawnDisk(to, &seed);
    FUZZ_CHECK(kind == PATH_FOLDER ||
               (kind == PATH_MISSING && (to.back() == '\\' || to.back() == '/' || EndsInAvi(to))) ||
               DrawnDisk(path, &seed) == PATH_FOLDER);
}

// An argument ends at its terminator, as the runtime hands it over.
std::string TakeArgument(FuzzedDataProvider& input)
{
    const std::string text = input.ConsumeRandomLengthString();
    return text.substr(0, text.find('\0'));
}

void CheckLaidOut(FuzzedDataProvider& input)
{
    static const char* const SHOW_NAMES[] = {"hidden", "normal", "minimized"};
    static const BridgeShow SHOWS[] = {BRIDGE_SHOW_HIDDEN, BRIDGE_SHOW_NORMAL,
                                       BRIDGE_SHOW_MINIMIZED};
    const std::string title = TakeArgument(input);
    const std::string folder = TakeArgument(input);
    const std::string bridge = TakeArgument(input);
    // One past each end of the range, to see both refused.
    const int seconds = input.ConsumeIntegralInRange<int>(0, HOST_MAX_SECONDS + 1);
    const std::string output = TakeArgument(input);
    // Neither stop option: until Enter, as --until-enter.
    const int stop = input.ConsumeIntegralInRange<int>(0, 2);
    const bool untilEnter = stop != 0;
    const bool withBridge = input.ConsumeBool();
    const bool withFolder = input.ConsumeBool();
    const bool withOutput = input.ConsumeBool();
    const size_t show = input.ConsumeIntegralInRange<size_t>(0, 3);

    std::vector<std::vector<std::string>> groups = {
        {"record"},
        {"--title", title},
        stop == 2 ? std::vector<std::string>{"--until-enter"}
        : untilEnter ? std::vector<std::string>{}
                     : std::vector<std::string>{"--seconds", std::to_string(seconds)},
    };
    if (withFolder) {
        groups.push_back({"--tool-folder", folder});
    }
    if (withOutput) {
        groups.push_back({input.ConsumeBool() ? "-o" : "--output", output});
    }
    if (withBridge) {
        groups.push_back({"--bridge", bridge});
    }
    if (show < 3) {
        groups.push_back({"--show", SHOW_NAMES[show]});
    }
    for (size_t i = groups.size(); i > 1; --i) {
        std::swap(groups[i - 1], groups[input.ConsumeIntegralInRange<size_t>(0, i - 1)]);
    }
    std::vector<std::string> arguments;
    for (const auto& group : groups) {
        arguments.insert(arguments.end(), group.begin(), group.end());
    }

    const Parsed parsed = Parse(arguments);
    // A quote in the folder is what a swallowed closing quote leaves behind.
    const bool quotedFolder = withFolder && folder.find('"') != std::string::npos;
    // A trailing quote stands for the backslash before it.
    const std::string outputAsMeant =
        output.empty() || output.back() != '"' ? output : output.substr(0, output.size() - 1) + '\\';
    const bool badOutput = withOutput && (output.empty() || outputAsMeant.find('"') != std::string::npos);
    const bool badSeconds = !untilEnter && (seconds < 1 || seconds > HOST_MAX_SECONDS);
    if (quotedFolder || badSeconds || badOutput) {
        FUZZ_CHECK(!parsed.ok);
        const bool namesFolder = parsed.error.find("--tool-folder") != std::string::npos ||
                                 (badOutput && parsed.error.find("--output") != std::string::npos);
        const bool namesSeconds =
            parsed.error.find("--seconds") != std::string::npos &&
            parsed.error.find("'" + std::to_string(seconds) + "'") != std::string::npos;
        FUZZ_CHECK(((quotedFolder || badOutput) && namesFolder) || (badSeconds && namesSeconds));
        return;
    }
    FUZZ_CHECK(parsed.ok);
    const HostOptions& o = parsed.options;
    FUZZ_CHECK(!o.help && !o.version);
    FUZZ_CHECK(o.title == title);
    FUZZ_CHECK(o.toolFolder == (withFolder ? WithFolderEnd(folder) : ""));
    FUZZ_CHECK(o.output == (withOutput ? outputAsMeant : ""));
    if (withOutput) {
        CheckOutputPlan(o.output, std::hash<std::string>()(title));
    }
    FUZZ_CHECK(o.bridgePath == (withBridge ? bridge : ""));
    FUZZ_CHECK(o.untilEnter == untilEnter);
    FUZZ_CHECK(o.seconds == (untilEnter ? 0 : seconds));
    FUZZ_CHECK(o.show == (show < 3 ? SHOWS[show] : BRIDGE_SHOW_HIDDEN));
    CheckAsGiven(arguments);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0 && data[0] == LAID_OUT) {
        FuzzedDataProvider input(data + 1, size - 1);
        CheckLaidOut(input);
        return 0;
    }
    std::vector<std::string> arguments;
    const char* text = reinterpret_cast<const char*>(data);
    for (size_t at = 0; at < size && arguments.size() < MAX_ARGUMENTS;) {
        const size_t length = strnlen(text + at, size - at);
        arguments.emplace_back(text + at, length);
        at += length + 1;
    }
    CheckAsGiven(arguments);
    return 0;
}
