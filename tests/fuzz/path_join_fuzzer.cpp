// Path join: the input's first terminator separates folder from name, and the
// result must be their bytes back to back, nothing inserted or normalised.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "fuzz_check.h"
#include "path_join.h"

namespace {

// Exact-size heap copy of one terminated part, for AddressSanitizer's sake.
std::string TakePart(const uint8_t*& data, size_t& size, std::unique_ptr<char[]>& part)
{
    const char* text = reinterpret_cast<const char*>(data);
    const size_t length = strnlen(text, size);
    part.reset(new char[length + 1]);
    memcpy(part.get(), text, length);
    part[length] = '\0';
    const size_t used = length < size ? length + 1 : length;
    data += used;
    size -= used;
    return std::string(part.get(), length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<char[]> folderText;
    std::unique_ptr<char[]> nameText;
    const std::string folder = TakePart(data, size, folderText);
    const std::string name = TakePart(data, size, nameText);

    char* joined = JoinPath(folderText.get(), nameText.get());

    FUZZ_CHECK(joined != nullptr);
    FUZZ_CHECK(strlen(joined) == folder.size() + name.size());
    FUZZ_CHECK(joined == folder + name);
    free(joined);
    return 0;
}
