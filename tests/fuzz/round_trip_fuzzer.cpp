// The command line's round trip: for every title and tool folder that the check
// accepts, the line a host builds, cut as the C runtime cuts it for WinMain and split
// by the bridge, gives both back exactly. The input's first terminator separates title
// from folder.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "bridge_contract.h"
#include "command_line.h"
#include "fuzz_check.h"

namespace {

const char BRIDGE_PATH[] = "C:\\Program Files\\bridge\\" BRIDGE_EXE;

std::string TakePart(const uint8_t*& data, size_t& size)
{
    const char* text = reinterpret_cast<const char*>(data);
    const size_t length = strnlen(text, size);
    const size_t used = length < size ? length + 1 : length;
    data += used;
    size -= used;
    return std::string(text, length);
}

// The C runtime's start-up hands WinMain the line after the program name (up to the
// closing quote when it is quoted) and after the characters up to the blank that
// follow it. MinGW's compares signed characters, so bytes from 0x80 on go as well:
// "\xC4rger#x" reaches the bridge as "rger#x".
char* RuntimeArguments(char* line)
{
    char* p = line;
    if (*p == '"') {
        for (++p; *p != '\0' && *p != '"'; ++p) {
        }
        if (*p == '"') {
            ++p;
        }
    } else {
        while (static_cast<signed char>(*p) > ' ') {
            ++p;
        }
    }
    while (*p != '\0' && static_cast<signed char>(*p) <= ' ') {
        ++p;
    }
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string title = TakePart(data, size);
    const std::string folder = TakePart(data, size);
    if (CheckCommandLineParts(title.c_str(), folder.c_str()) != nullptr) {
        return 0;
    }

    const size_t length = BuildCommandLine(BRIDGE_PATH, title.c_str(), folder.c_str(), nullptr, 0);
    // An exact-size heap buffer lets AddressSanitizer see any write past it; one byte
    // short must be left untouched.
    std::unique_ptr<char[]> line(new char[length + 1]);
    memset(line.get(), 'x', length + 1);
    FUZZ_CHECK(BuildCommandLine(BRIDGE_PATH, title.c_str(), folder.c_str(), line.get(), length) ==
               length);
    FUZZ_CHECK(line[0] == 'x' && line[length] == 'x');
    FUZZ_CHECK(BuildCommandLine(BRIDGE_PATH, title.c_str(), folder.c_str(), line.get(),
                                length + 1) == length);
    FUZZ_CHECK(line[length] == '\0' && strlen(line.get()) == length);

    const CommandLineParts parts = SplitCommandLine(RuntimeArguments(line.get()));
    FUZZ_CHECK(parts.title != nullptr);
    FUZZ_CHECK(title == parts.title);
    FUZZ_CHECK(folder == parts.folder);
    return 0;
}
