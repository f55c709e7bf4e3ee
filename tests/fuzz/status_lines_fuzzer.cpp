// Status lines cut from pipe bytes that arrive in any chunking: the lines taken and the
// rest still pending give back the bytes exactly, and each line's text and status
// agree. The first byte gives the number of chunk sizes that follow it; the rest is
// what the pipe carries, read in chunks of those sizes in turn: the low seven bits
// plus one, with the high bit leaving the lines waiting until a later chunk, as a
// reader busy elsewhere would. The C client's splitter (sdk/lumaro_bridge.h) takes the
// same chunks and must give each line's text, cut to its size, as the host's does.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "bridge_contract.h"
#include "fuzz_check.h"
#include "status_lines.h"

namespace {

const size_t MAX_CHUNK_SIZES = 16;
const uint8_t LEAVE_PENDING = 0x80;
const uint8_t SIZE_BITS = 0x7f;

const char* const STATUSES[] = {STATUS_STARTED, STATUS_EXIT_SUCCESS, STATUS_EXIT_FAILED,
                                STATUS_RECORDER_NOT_FOUND, STATUS_TARGET_NOT_FOUND};

// Each status as it arrives on the wire and bare, as its line may end either way.
const std::string WIRE_LINES[] = {WIRE_STARTED, WIRE_EXIT_SUCCESS, WIRE_EXIT_FAILED,
                                  WIRE_RECORDER_NOT_FOUND, WIRE_TARGET_NOT_FOUND};
const std::string BARE_LINES[] = {
    STATUS_STARTED STATUS_LINE_END,          STATUS_EXIT_SUCCESS STATUS_LINE_END,
    STATUS_EXIT_FAILED STATUS_LINE_END,      STATUS_RECORDER_NOT_FOUND STATUS_LINE_END,
    STATUS_TARGET_NOT_FOUND STATUS_LINE_END,
};
const size_t STATUS_COUNT = sizeof STATUSES / sizeof STATUSES[0];

void CheckLine(const std::string& line, const std::vector<std::string>& texts, size_t& split)
{
    FUZZ_CHECK(split < texts.size());
    FUZZ_CHECK(texts[split++] == LineText(line).substr(0, LUMARO_BRIDGE_LINE_SIZE - 1));

    FUZZ_CHECK(!line.empty() && line.back() == '\n');
    FUZZ_CHECK(line.find('\n') == line.size() - 1);

    const std::string text = LineText(line);
    FUZZ_CHECK(line.compare(0, text.size(), text) == 0);
    FUZZ_CHECK(line.find_first_not_of("\r\n", text.size()) == std::string::npos);
    FUZZ_CHECK(text.empty() || text.back() != '\r');

    size_t matches = 0;
    for (size_t i = 0; i < STATUS_COUNT; ++i) {
        const bool exact = line == WIRE_LINES[i] || line == BARE_LINES[i];
        FUZZ_CHECK(IsStatusLine(line, STATUSES[i]) == exact);
        if (exact) {
            FUZZ_CHECK(text == STATUSES[i]);
            ++matches;
        }
    }
    FUZZ_CHECK(matches <= 1);
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
    const char* stream = reinterpret_cast<const char*>(data + 1 + sizeCount);
    const size_t streamSize = size - 1 - sizeCount;

    LineBuffer buffer;
    lumaro_bridge_lines lines = {};
    std::vector<std::string> texts;
    size_t splitTexts = 0;
    std::string taken;
    std::string line;
    size_t at = 0;
    for (size_t chunk = 0; at < streamSize; ++chunk) {
        const uint8_t code = sizeCount == 0 ? SIZE_BITS : chunkSizes[chunk % sizeCount];
        size_t count = (code & SIZE_BITS) + 1u;
        if (count > streamSize - at) {
            count = streamSize - at;
        }
        AppendBytes(buffer, stream + at, count);
        for (size_t used = 0; used < count;) {
            const size_t step = lumaro_bridge_split_line(&lines, stream + at + used, count - used);
            FUZZ_CHECK(step > 0 && lines.complete == (stream[at + used + step - 1] == '\n'));
            FUZZ_CHECK(lines.text[lines.length] == '\0');
            if (lines.complete) {
                texts.push_back(std::string(lines.text, lines.length));
            }
            used += step;
        }
        at += count;
        if (code & LEAVE_PENDING) {
            continue;
        }
        while (TakeLine(buffer, line)) {
            CheckLine(line, texts, splitTexts);
            taken += line;
        }
        FUZZ_CHECK(!TakeLine(buffer, line));
        FUZZ_CHECK(taken.size() + buffer.pending.size() == at);
    }
    while (TakeLine(buffer, line)) {
        CheckLine(line, texts, splitTexts);
        taken += line;
    }
    FUZZ_CHECK(taken + buffer.pending == std::string(stream, streamSize));
    FUZZ_CHECK(splitTexts == texts.size());
    return 0;
}
