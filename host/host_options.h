// bridge-host's command line and the texts it prints.
#pragma once

#include <string>

#define HOST_MAX_SECONDS 86400

enum BridgeShow { BRIDGE_SHOW_HIDDEN, BRIDGE_SHOW_NORMAL, BRIDGE_SHOW_MINIMIZED };

struct HostOptions {
    bool help;
    bool version;
    std::string title;
    std::string toolFolder;
    std::string bridgePath; // empty: the bridge beside bridge-host.exe
    int seconds;            // 0 with untilEnter
    bool untilEnter;
    BridgeShow show;        // how the bridge shows its own window
};

// argv[0] is the program. False with a one-line reason on any bad or missing option.
bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options,
                      std::string& error);

const char* HostUsage();

// "mm:ss.t" for the updating elapsed-time line.
std::string FormatElapsed(unsigned long milliseconds);
