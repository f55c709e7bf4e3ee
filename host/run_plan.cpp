#include "run_plan.h"

#include "bridge_contract.h"
#include "bridge_host.h"
#include "code_page.h"
#include "run_files.h"

#define LONGEST_PATH 32768

std::wstring OwnFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(NULL, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            return L"";
        }
        if (length < path.size()) {
            path.resize(length);
            return path.substr(0, path.find_last_of(L"\\/") + 1);
        }
        if (path.size() >= LONGEST_PATH) {
            return L"";
        }
        path.resize(path.size() * 2);
    }
}

// The tool folder in the ANSI code page, since the bridge takes it so; a folder whose
// name the code page cannot carry goes by its short name, which it can, where the
// volume keeps one.
static bool AnsiToolFolder(const std::string& folder, std::string& ansi, std::string& error)
{
    std::string missing;
    if (AnsiFromUtf8(folder, ansi, missing)) {
        return true;
    }
    std::wstring wide = WideFromUtf8(folder);
    std::wstring shortName(LONGEST_PATH, L'\0');
    DWORD length = GetShortPathNameW(wide.c_str(), &shortName[0], LONGEST_PATH);
    std::string unused;
    if (length > 0 && length < LONGEST_PATH) {
        shortName.resize(length);
        if (AnsiFromUtf8(Utf8FromWide(shortName), ansi, unused)) {
            return true;
        }
    }
    error = "the tool folder " + folder + " holds characters the system code page cannot carry (" +
            missing + ") and has no short name that it can; the bridge takes the folder in "
            "that code page: put the tool (or the whole package) in a folder named without them";
    return false;
}

int PlanRun(const HostOptions& options, RunPlan& plan, std::string& error)
{
    std::string own = Utf8FromWide(OwnFolder());
    plan.bridge = options.bridgePath.empty() ? own + BRIDGE_EXE : options.bridgePath;
    plan.guard = own + GUARD_EXE;
    std::string missing;
    if (!AnsiFromUtf8(options.title, plan.title, missing)) {
        error = "the title holds characters the system code page cannot carry (" + missing +
                "), and the bridge takes the title in that code page";
        return EXIT_BAD_OPTIONS;
    }
    bool given = !options.toolFolder.empty();
    if (!AnsiToolFolder(given ? options.toolFolder : own + PACKAGE_TOOL_FOLDER, plan.toolFolder,
                        error)) {
        return given ? EXIT_BAD_OPTIONS : EXIT_RECORDING_FAILED;
    }
    const char* bad = lumaro_bridge_check_command_line(plan.title.c_str(), plan.toolFolder.c_str());
    if (bad != NULL) {
        error = bad;
        if (plan.title.find(COMMAND_LINE_SEPARATOR) != std::string::npos) {
            error += ": such a window cannot be recorded; give it a title without '#' (a "
                     "document saved under a name without it, say)";
        }
        return EXIT_BAD_OPTIONS;
    }
    std::string path = Utf8FromWide(FullPath(WideFromUtf8(options.output.empty() ? "."
                                                                                  : options.output)));
    return PlanOutput(path, KindOfPath, NULL, plan.output, error) ? 0 : EXIT_BAD_OPTIONS;
}

std::wstring InToolWorkDir(const RunPlan& plan, const std::string& relative)
{
    return FullPath(WideFromAnsi(plan.toolFolder + TOOL_WORKDIR "\\" + relative));
}
