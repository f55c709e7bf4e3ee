// The command line's round trip: for every title and tool folder that the check
// accepts, the line a host builds, cut after the program name and split as the bridge
// does both, gives them back exactly. The input's first terminator separates title
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string title = TakePart(data, size);
    const std::string folder = TakePart(data, size);
    if (lumaro_bridge_check_command_line(title.c_str(), folder.c_str()) != nullptr) {
        return 0;
    }

    const size_t length =
        lumaro_bridge_build_command_line(BRIDGE_PATH, title.c_str(), folder.c_str(), nullptr, 0);
    // An exact-size heap buffer lets AddressSanitizer see any write past it; one byte
    // short must be left untouched.
    std::unique_ptr<char[]> line(new char[length + 1]);
    memset(line.get(), 'x', length + 1);
    FUZZ_CHECK(lumaro_bridge_build_command_line(BRIDGE_PATH, title.c_str(), folder.c_str(),
                                                line.get(), length) == length);
    FUZZ_CHECK(line[0] == 'x' && line[length] == 'x');
    FUZZ_CHECK(lumaro_bridge_build_command_line(BRIDGE_PATH, title.c_str(), folder.c_str(),
                                                line.get(), length + 1) == length);
    FUZZ_CHECK(line[length] == '\0' && strlen(line.get()) == length);

    const CommandLineParts parts = SplitCommandLine(
        line.get() + (CommandLineArguments(line.get()) - line.get()));
    FUZZ_CHECK(parts.title != nullptr);
    FUZZ_CHECK(title == parts.title);
    FUZZ_CHECK(folder == parts.folder);
    return 0;
}
