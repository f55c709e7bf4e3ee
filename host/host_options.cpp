#include "host_options.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bridge_contract.h"
#include "shown_text.h"

static const struct {
    const char* name;
    BridgeShow show;
} SHOW_NAMES[] = {
    {"hidden", BRIDGE_SHOW_HIDDEN},
    {"normal", BRIDGE_SHOW_NORMAL},
    {"minimized", BRIDGE_SHOW_MINIMIZED},
};

static const char USAGE[] =
    "usage: bridge-host record --title TITLE [--seconds N | --until-enter] [-o PATH]\n"
    "                          [--tool-folder DIR] [--bridge PATH] [--show MODE]\n"
    "       bridge-host windows\n"
    "       bridge-host --help | /? | --version\n"
    "\n"
    "  record             record the window titled TITLE through the bridge and the tool\n"
    "  --title TITLE      its exact title (bridge-host windows lists them, quoted)\n"
    "  --seconds N        stop after N seconds (1 to 86400); Ctrl+C stops sooner\n"
    "  --until-enter      stop when Enter is pressed: the default; Ctrl+C stops too\n"
    "  -o, --output PATH  where the recording goes (default: the current folder): an\n"
    "                     existing folder, or a name ending in \\ (a new folder, made if\n"
    "                     its parent exists), gets it under the tool's file name; a name\n"
    "                     ending in .avi is that file, in an existing folder; anything\n"
    "                     else is refused, and no file is overwritten.\n"
    "                     cmd: -o \"%USERPROFILE%\\Videos\"\n"
    "                     PowerShell: -o \"$env:USERPROFILE\\Videos\"\n"
    "  --tool-folder DIR  the recording tool's folder (default: " PACKAGE_TOOL_FOLDER " beside\n"
    "                     bridge-host.exe); the tool works two levels above it\n"
    "  --bridge PATH      the bridge (default: " BRIDGE_EXE "\n"
    "                     beside bridge-host.exe)\n"
    "  --show MODE        the bridge's own window: hidden (default), normal, minimized\n"
    "  windows            list the windows that can be recorded\n"
    "  --help, /?         this text (also without arguments)\n"
    "  --version          the version of bridge-host and of its programs beside it\n"
    "\n"
    "Exit codes: 0 a complete recording, as long as asked; 3 a complete recording,\n"
    "shorter than asked (the window was closed, another recording began, ...); 1 no\n"
    "complete recording; 2 bad options. With 3 and 1 a line on standard error says why;\n"
    "\"saved: PATH\" names every complete recording. 0 may come with warnings on\n"
    "standard error: the window was minimised, moved, resized or covered for part of the\n"
    "recording, so that part shows something else (a summary says for how long), or\n"
    "another window has its title (the one in front is recorded).\n";

const char* HostUsage()
{
    return USAGE;
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
    options = HostOptions{false, false, HOST_RECORD, "", "", "", "", 0, false,
                          BRIDGE_SHOW_HIDDEN};
    bool command = false;
    bool haveTitle = false;
    bool untilEnter = false;
    if (argc < 2) {
        options.help = true;
        return true;
    }
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h" || name == "/?") {
            options.help = true;
            return true;
        }
        if (name == "--version") {
            options.version = true;
            return true;
        }
        if ((name == "record" || name == "windows") && !command) {
            command = true;
            options.command = name == "record" ? HOST_RECORD : HOST_WINDOWS;
            continue;
        }
        if (name == "--until-enter") {
            untilEnter = true;
            continue;
        }
        if (name == "-o") {
            name = "--output";
        }
        if (name != "--title" && name != "--tool-folder" && name != "--seconds" &&
            name != "--bridge" && name != "--show" && name != "--output") {
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
        } else if (name == "--bridge") {
            options.bridgePath = value;
        } else if (name == "--output") {
            // cmd hands "C:\My Clips\" over as C:\My Clips": the backslash escaped the
            // closing quote; a folder was meant.
            options.output = value;
            if (!options.output.empty() && options.output.back() == '"') {
                options.output.back() = '\\';
            }
            if (*value == '\0') {
                error = "--output takes a file or a folder, not ''";
                return false;
            }
            if (options.output.find('"') != std::string::npos) {
                error = "--output took in the quote and what followed it ('" + Shown(value) +
                        "'): put -o last, or inside quotes leave the trailing backslash out";
                return false;
            }
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
    if (!command) {
        error = "missing the command 'record' or 'windows' (see --help)";
    } else if (options.command == HOST_WINDOWS && argc > 2) {
        error = "'windows' takes no options";
    } else if (options.command == HOST_WINDOWS) {
        return true;
    } else if (!haveTitle) {
        error = "missing --title (bridge-host windows lists the titles)";
    } else if (options.seconds > 0 && untilEnter) {
        error = "give one of --seconds N and --until-enter, not both";
    } else {
        options.untilEnter = options.seconds == 0;
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
