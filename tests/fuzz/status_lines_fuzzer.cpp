// Status lines cut from pipe bytes that arrive in any chunking by the C client's
// splitter (sdk/lumaro_bridge.h): each line's text is the bytes before its line feed,
// without the carriage returns just before it, cut to the line size, and what follows
// the last line feed waits, as the whole stream cut at once at each line feed gives
// them. The first byte gives the number of chunk sizes that follow it; the rest is what
// the pipe carries, read in chunks of those sizes in turn (the low seven bits plus one).
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "bridge_contract.h"
#include "fuzz_check.h"

namespace {

const size_t MAX_CHUNK_SIZES = 16;
const uint8_t SIZE_BITS = 0x7f;

// A piece of the stream between line feeds as the splitter gives its text.
std::string TextOf(std::string piece)
{
    while (!piece.empty() && piece.back() == '\r') {
        piece.pop_back();
    }
    return piece.substr(0, LUMARO_BRIDGE_LINE_SIZE - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const size_t sizeCount = data[0] % (MAX_CHUNK_SIZES + 1);
    if (size < 1 + sizeCount) {
        return 0;
    }
    const std::vector<uint8_t> chunkSizes(data + 1, data + 1 + sizeCount);
    const std::string stream(reinterpret_cast<const char*>(data + 1 + sizeCount),
                             size - 1 - sizeCount);

    std::vector<std::string> expected;
    size_t start = 0;
    for (size_t end = stream.find('\n'); end != std::string::npos;
         start = end + 1, end = stream.find('\n', start)) {
        expected.push_back(TextOf(stream.substr(start, end - start)));
    }

    lumaro_bridge_lines lines = {};
    std::vector<std::string> texts;
    size_t at = 0;
    for (size_t chunk = 0; at < stream.size(); ++chunk) {
        const uint8_t code = sizeCount == 0 ? SIZE_BITS : chunkSizes[chunk % sizeCount];
        size_t count = (code & SIZE_BITS) + 1u;
        if (count > stream.size() - at) {
            count = stream.size() - at;
        }
        for (size_t used = 0; used < count;) {
            const size_t step = lumaro_bridge_split_line(&lines, &stream[at + used], count - used);
            FUZZ_CHECK(step > 0 && lines.complete == (stream[at + used + step - 1] == '\n'));
            FUZZ_CHECK(lines.length < LUMARO_BRIDGE_LINE_SIZE && lines.text[lines.length] == '\0');
            if (lines.complete) {
                texts.push_back(std::string(lines.text, lines.length));
            }
            used += step;
        }
        at += count;
    }
    FUZZ_CHECK(texts == expected);
    FUZZ_CHECK(lines.complete || std::string(lines.text, lines.length) == TextOf(stream.substr(start)));
    return 0;
}
