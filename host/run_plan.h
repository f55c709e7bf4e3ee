// What a run works with, settled before anything starts: the programs, the title and
// the tool folder as the bridge takes them, and where the recording goes.
#pragma once

#include <string>

#include "host_options.h"

struct RunPlan {
    std::string bridge;     // UTF-8
    std::string guard;      // UTF-8
    std::string title;      // in the ANSI code page, as the bridge takes it
    std::string toolFolder; // likewise, with its trailing backslash
    std::string output;     // UTF-8: a folder (ending in a backslash) or a new file
};

// bridge-host's own folder, with its backslash, in full whatever characters it holds and
// however long it is; empty when the system will not say.
std::wstring OwnFolder();

// Settles the run's programs, texts and paths; the exit code of a refusal, else 0.
int PlanRun(const HostOptions& options, RunPlan& plan, std::string& error);

// Under the tool's working directory (two levels above the tool folder).
std::wstring InToolWorkDir(const RunPlan& plan, const std::string& relative);
