#include "host_options.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bridge_contract.h"

static const struct {
    const char* name;
    BridgeShow show;
} SHOW_NAMES[] = {
    {"hidden", BRIDGE_SHOW_HIDDEN},
    {"normal", BRIDGE_SHOW_NORMAL},
    {"minimized", BRIDGE_SHOW_MINIMIZED},
};

static const char USAGE[] =
    "usage: bridge-host record --title TITLE --tool-folder DIR (--seconds N | --until-enter)\n"
    "                          [--bridge PATH] [--show hidden|normal|minimized]\n"
    "       bridge-host --help | --version\n"
    "\n"
    "Records the window titled TITLE through the bridge and the recording tool.\n"
    "\n"
    "  record              the one command: start the bridge, start capturing, stop, report\n"
    "  --title TITLE       exact title of the window to record (no '#'; it must not start\n"
    "                      with a blank or a control character)\n"
    "  --tool-folder DIR   folder holding the recording tool (a trailing backslash is added\n"
    "                      when missing; inside quotes leave it out or double it);\n"
    "                      recordings land in DIR\\" RECORDINGS_FROM_TOOL_FOLDER "\n"
    "  --seconds N         stop after N seconds (1 to 86400)\n"
    "  --until-enter       stop when Enter is pressed (or standard input ends)\n"
    "  --bridge PATH       the bridge program (default: " BRIDGE_EXE " beside\n"
    "                      bridge-host.exe)\n"
    "  --show MODE         how the bridge shows its own window (default: hidden)\n"
    "  --help              this text\n"
    "  --version           the version of bridge-host and the programs shipped with it\n"
    "\n"
    "Prints each status line of the bridge as it arrives, the elapsed time while\n"
    "recording, and the path of the new recording. Exit code 0 on success, 1 when the\n"
    "recording failed, 2 for bad options; a failure prints one line saying why.\n";

const char* HostUsage()
{
    return USAGE;
}

// An argument quoted in a reason shows its control characters as '?', so that a line
// feed in it cannot break the reason's one line.
static std::string Shown(const std::string& argument)
{
    std::string shown = argument;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return shown;
}

static bool ParseSeconds(const char* text, int& seconds)
{
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > HOST_MAX_SECONDS) {
        return false;
    }
    seconds = static_cast<int>(value);
    return true;
}

static bool ParseShow(const char* text, BridgeShow& show)
{
    for (const auto& entry : SHOW_NAMES) {
        if (strcmp(text, entry.name) == 0) {
            show = entry.show;
            return true;
        }
    }
    return false;
}

bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options,
                      std::string& error)
{
    options = HostOptions{false, false, "", "", "", 0, false, BRIDGE_SHOW_HIDDEN};
    bool record = false;
    bool haveTitle = false;
    bool haveFolder = false;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            return true;
        }
        if (name == "--version") {
            options.version = true;
            return true;
        }
        if (name == "record" && !record) {
            record = true;
            continue;
        }
        if (name == "--until-enter") {
            options.untilEnter = true;
            continue;
        }
        if (name != "--title" && name != "--tool-folder" && name != "--seconds" &&
            name != "--bridge" && name != "--show") {
            error = "unknown argument '" + Shown(name) + "' (see --help)";
            return false;
        }
        if (i + 1 >= argc) {
            error = name + " needs a value";
            return false;
        }
        const char* value = argv[++i];
        if (name == "--title") {
            options.title = value;
            haveTitle = true;
        } else if (name == "--tool-folder") {
            // The runtime reads a backslash before a closing quote as an escaped quote:
            // "C:\tool\" --seconds 5 arrives as the one value C:\tool" --seconds 5.
            if (strchr(value, '"') != nullptr) {
                error = "--tool-folder took in the quote and what followed it ('" +
                        Shown(value) +
                        "'): inside quotes leave the trailing backslash out or double it";
                return false;
            }
            options.toolFolder = value;
            // So users may leave the trailing backslash out.
            if (lumaro_bridge_folder_lacks_end(value)) {
                options.toolFolder += TOOL_FOLDER_END;
            }
            haveFolder = true;
        } else if (name == "--bridge") {
            options.bridgePath = value;
        } else if (name == "--seconds") {
            if (!ParseSeconds(value, options.seconds)) {
                error = "--seconds takes a whole number from 1 to 86400, not '" + Shown(value) +
                        "'";
                return false;
            }
        } else if (!ParseShow(value, options.show)) {
            error = "--show takes hidden, normal or minimized, not '" + Shown(value) + "'";
            return false;
        }
    }
    if (!record) {
        error = "missing the command 'record' (see --help)";
    } else if (!haveTitle) {
        error = "missing --title";
    } else if (!haveFolder) {
        error = "missing --tool-folder";
    } else if ((options.seconds > 0) == options.untilEnter) {
        error = "give exactly one of --seconds N and --until-enter";
    } else {
        return true;
    }
    return false;
}

std::string FormatElapsed(unsigned long milliseconds)
{
    unsigned long tenths = milliseconds / 100;
    char text[32];
    snprintf(text, sizeof text, "%02lu:%02lu.%lu", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}
