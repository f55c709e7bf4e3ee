// Command-line split against a model built from std::string and against the C
// library's strtok_r, which shares strtok_s's contract.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "command_line.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The command line ends at its first terminator; an exact-size heap copy lets
    // AddressSanitizer see any read or write past it.
    const std::string input(reinterpret_cast<const char*>(data),
                            strnlen(reinterpret_cast<const char*>(data), size));
    std::unique_ptr<char[]> text(new char[input.size() + 1]);
    memcpy(text.get(), input.c_str(), input.size() + 1);
    char* const begin = text.get();
    char* const end = begin + input.size();

    const CommandLineParts parts = SplitCommandLine(begin);

    FUZZ_CHECK(parts.folder != nullptr);
    FUZZ_CHECK(parts.folder >= begin && parts.folder <= end);

    const size_t leading = input.find_first_not_of('#');
    if (leading == std::string::npos) {
        FUZZ_CHECK(parts.title == nullptr);
        FUZZ_CHECK(*parts.folder == '\0');
        FUZZ_CHECK(memcmp(begin, input.data(), input.size() + 1) == 0);
    } else {
        const std::string rest = input.substr(leading);
        FUZZ_CHECK(parts.title == begin + leading);
        const size_t hash = rest.find('#');
        if (hash == std::string::npos) {
            FUZZ_CHECK(rest == parts.title);
            FUZZ_CHECK(*parts.folder == '\0');
            FUZZ_CHECK(memcmp(begin, input.data(), input.size() + 1) == 0);
        } else {
            const std::string title = parts.title;
            const std::string folder = parts.folder;
            FUZZ_CHECK(title.find('#') == std::string::npos);
            FUZZ_CHECK(title + "#" + folder == rest);
            FUZZ_CHECK(parts.folder == begin + leading + hash + 1);
            // Exactly one character changes: the '#' that ends the title.
            std::string expected = input;
            expected[leading + hash] = '\0';
            FUZZ_CHECK(memcmp(begin, expected.data(), expected.size() + 1) == 0);
        }
    }

    std::string other = input;
    char* context = nullptr;
    const char* token = strtok_r(&other[0], "#", &context);
    FUZZ_CHECK((token == nullptr) == (parts.title == nullptr));
    if (token != nullptr) {
        FUZZ_CHECK(token - other.data() == parts.title - begin);
    }
    FUZZ_CHECK(context - other.data() == parts.folder - begin);
    return 0;
}
