// bridge-host's command line and the texts it prints.
#pragma once

#include <string>

#define HOST_MAX_SECONDS 86400

enum HostCommand { HOST_RECORD, HOST_WINDOWS };

enum BridgeShow { BRIDGE_SHOW_HIDDEN, BRIDGE_SHOW_NORMAL, BRIDGE_SHOW_MINIMIZED };

struct HostOptions {
    bool help;
    bool version;
    HostCommand command;
    std::string title;
    std::string toolFolder; // empty: the package's tool folder beside bridge-host.exe
    std::string bridgePath; // empty: the bridge beside bridge-host.exe
    std::string output;     // empty: the current folder
    int seconds;            // 0 with untilEnter
    bool untilEnter;        // Enter (or the end of standard input) stops, as Ctrl+C does
    BridgeShow show;        // how the bridge shows its own window
};

// argv[0] is the program; the arguments are UTF-8. False with a one-line reason on any
// bad or missing option.
bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options,
                      std::string& error);

const char* HostUsage();

// "mm:ss.t" for the updating elapsed-time line.
std::string FormatElapsed(unsigned long milliseconds);
