// The host's AVI summary reader on two kinds of input. Bytes that begin "RIFF" go to
// it as they are (a real recording is among the kept inputs). Anything else makes a
// file: either as the tool's own writer lays it out (avi_layout: OpenDML segments of a
// chosen number of frames, empty repeats among them), or as a model of the
// platform's writer and of others (RIFF 'AVI ', hdrl with avih and one Motion-JPEG strl,
// JUNK up to the padding granularity, movi of '00db' chunks, idx1, and the few zero
// bytes the platform's writer leaves after the RIFF) varies it; the rest of the input
// then cuts it short as a crash does, changes inside frame data only, or damages it
// anywhere.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "avi_layout.h"
#include "avi_summary.h"
#include "fuzz_check.h"
#include "tool_file.h"

namespace {

// The reader walks headers only: no read is bigger than the main header, each read
// moves it on by at least four bytes, and besides an index's entry is read once, and
// the chunk header it leads to (an OpenDML standard index has 8-byte entries).
const uint32_t LARGEST_HEADER_READ = 56;
const uint32_t READS_PER_BYTE_DIVISOR = 2;
const uint32_t READS_AT_ENDS = 8;

const uint32_t PADDING_GRANULARITY = 2048;
const uint32_t AVIIF_KEYFRAME = 0x10;
const size_t MAX_FRAMES = 64;
const size_t MAX_FRAME_BYTES = 48;
const size_t MAX_TRAILING_BYTES = 32;
const size_t MAX_EDITS = 8;
const uint8_t MAX_SEGMENT_FRAMES = 8;

struct Range {
    uint32_t begin;
    uint32_t end;
};

struct ModelFile {
    std::string bytes;
    uint32_t riffEnd;                  // the last RIFF's
    uint32_t indexEnd;                 // the first RIFF's, after its legacy index
    std::vector<Range> payload;        // bytes the reader has no reason to look at
    std::vector<uint32_t> frameEnds;   // where each frame's data ends
};

struct Parameters {
    uint32_t width;
    uint32_t height;
    uint32_t scale;
    uint32_t rate;
    std::vector<uint32_t> frameSizes;
    bool compressedName;   // '00dc' rather than the '00db' the platform's writer uses
    bool junk;
    bool audioFirst;       // an audio stream before the video, interleaved in movi
    bool openDml;          // the extended header list some writers add to hdrl
    bool info;             // a LIST 'INFO' between the headers and the frames
    uint8_t recordGroup;   // frames per LIST 'rec ', 0 for none
    uint32_t trailing;
    bool toolWriter;       // laid out by the tool's own writer; the variations above unused
    uint8_t segmentFrames; // the tool's: frames a segment holds
};

void Put32(std::string& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>(value >> (8 * i) & 0xff);
    }
}

void Put16(std::string& bytes, uint16_t value)
{
    bytes += static_cast<char>(value & 0xff);
    bytes += static_cast<char>(value >> 8);
}

// Chunks are appended in file order; lists get their size when they close.
size_t OpenList(ModelFile& file, const char* id, const char* type)
{
    const size_t start = file.bytes.size();
    file.bytes.append(id, 4);
    Put32(file.bytes, 0);
    file.bytes.append(type, 4);
    return start;
}

void CloseList(ModelFile& file, size_t start)
{
    std::string size;
    Put32(size, static_cast<uint32_t>(file.bytes.size() - start - 8));
    file.bytes.replace(start + 4, 4, size);
}

void AddChunk(ModelFile& file, const char* id, const std::string& data, bool payload)
{
    file.bytes.append(id, 4);
    Put32(file.bytes, static_cast<uint32_t>(data.size()));
    const uint32_t begin = static_cast<uint32_t>(file.bytes.size());
    file.bytes += data;
    if (payload) {
        file.payload.push_back({begin, begin + static_cast<uint32_t>(data.size())});
    }
    if (data.size() & 1) {
        file.bytes += '\0';
    }
}

std::string StreamHeader(const char* type, const char* handler, uint32_t scale, uint32_t rate,
                         uint32_t length, const Parameters& p)
{
    std::string header(type, 4);
    header.append(handler, 4);
    for (uint32_t value : {0u, 0u, 0u, scale, rate, 0u, length, 0u, 0xffffffffu, 0u}) {
        Put32(header, value);
    }
    for (uint32_t edge : {0u, 0u, p.width, p.height}) {
        Put16(header, static_cast<uint16_t>(edge));
    }
    return header;
}

ModelFile WriteModel(const Parameters& p)
{
    ModelFile file;
    const uint32_t frames = static_cast<uint32_t>(p.frameSizes.size());
    const size_t riff = OpenList(file, "RIFF", "AVI ");
    const size_t hdrl = OpenList(file, "LIST", "hdrl");
    std::string main;
    for (uint32_t value : {1000000u, 0u, PADDING_GRANULARITY, 0x810u, frames, 0u,
                           p.audioFirst ? 2u : 1u, 0u, p.width, p.height, 0u, 0u, 0u, 0u}) {
        Put32(main, value);
    }
    AddChunk(file, "avih", main, false);
    if (p.audioFirst) {
        const size_t strl = OpenList(file, "LIST", "strl");
        AddChunk(file, "strh", StreamHeader("auds", "\0\0\0\0", 1, 44100, frames, p), false);
        AddChunk(file, "strf", std::string(18, '\x01'), true);
        CloseList(file, strl);
    }
    const size_t strl = OpenList(file, "LIST", "strl");
    AddChunk(file, "strh", StreamHeader("vids", "MJPG", p.scale, p.rate, frames, p), false);
    std::string format;
    for (uint32_t value : {40u, p.width, p.height, 0x180001u, 0x47504a4du, p.width * p.height * 3,
                           0u, 0u, 0u, 0u}) {
        Put32(format, value);
    }
    AddChunk(file, "strf", format, true);
    CloseList(file, strl);
    if (p.openDml) {
        // The extended header's total frames; the rest of it is reserved.
        const size_t odml = OpenList(file, "LIST", "odml");
        std::string extended;
        Put32(extended, frames);
        extended.append(244, '\x02');
        AddChunk(file, "dmlh", extended, false);
        const uint32_t reserved = static_cast<uint32_t>(file.bytes.size()) - 244;
        file.payload.push_back({reserved, reserved + 244});
        CloseList(file, odml);
    }
    CloseList(file, hdrl);
    if (p.info) {
        const size_t info = OpenList(file, "LIST", "INFO");
        AddChunk(file, "ISFT", "model writer", true);
        CloseList(file, info);
    }
    // The platform's writer pads with JUNK so that the first frame starts on the
    // padding granularity.
    const uint32_t moviData = static_cast<uint32_t>(file.bytes.size()) + 8 + 12;
    if (p.junk && moviData < PADDING_GRANULARITY) {
        AddChunk(file, "JUNK", std::string(PADDING_GRANULARITY - moviData, '\0'), true);
    }
    const size_t movi = OpenList(file, "LIST", "movi");
    const char* video = p.audioFirst ? (p.compressedName ? "01dc" : "01db")
                                     : (p.compressedName ? "00dc" : "00db");
    std::string index;
    size_t group = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        if (p.recordGroup != 0 && i % p.recordGroup == 0) {
            group = OpenList(file, "LIST", "rec ");
        }
        const uint32_t at = static_cast<uint32_t>(file.bytes.size() - movi - 8);
        AddChunk(file, video, std::string(p.frameSizes[i], static_cast<char>(0xd8 + i)), true);
        file.frameEnds.push_back(static_cast<uint32_t>(file.bytes.size()) -
                                 (p.frameSizes[i] & 1));
        index.append(video, 4);
        Put32(index, AVIIF_KEYFRAME);
        Put32(index, at);
        Put32(index, p.frameSizes[i]);
        if (p.audioFirst) {
            AddChunk(file, "00wb", std::string(1 + i % 5, '\x03'), true);
        }
        if (p.recordGroup != 0 && (i % p.recordGroup == p.recordGroup - 1u || i + 1 == frames)) {
            CloseList(file, group);
        }
    }
    CloseList(file, movi);
    // Readers find the frames through the index, so it is no payload.
    AddChunk(file, "idx1", index, false);
    CloseList(file, riff);
    file.riffEnd = static_cast<uint32_t>(file.bytes.size());
    file.indexEnd = file.riffEnd;
    const uint32_t trailingBegin = file.riffEnd;
    file.bytes.append(p.trailing, '\0');
    file.payload.push_back({trailingBegin, static_cast<uint32_t>(file.bytes.size())});
    return file;
}

// The file the tool's own writer leaves for these numbers (tool_file.h).
ModelFile WriteAsTheTool(const Parameters& p)
{
    const ToolFile tool = LayOutAsTheTool({p.width, p.height, p.rate}, p.frameSizes,
                                          p.segmentFrames);
    ModelFile file;
    file.bytes = tool.bytes;
    file.riffEnd = static_cast<uint32_t>(tool.bytes.size());
    file.indexEnd = tool.indexEnd;
    for (size_t i = 0; i < p.frameSizes.size(); ++i) {
        file.payload.push_back({tool.frameData[i], tool.frameData[i] + p.frameSizes[i]});
        file.frameEnds.push_back(tool.frameData[i] + p.frameSizes[i]);
    }
    return file;
}

Parameters ChooseParameters(FuzzedDataProvider& input)
{
    Parameters p;
    p.width = input.ConsumeIntegral<uint32_t>();
    p.height = input.ConsumeIntegral<uint32_t>();
    p.scale = input.ConsumeIntegralInRange<uint32_t>(1, UINT32_MAX);
    p.rate = input.ConsumeIntegralInRange<uint32_t>(1, UINT32_MAX);
    const size_t frames = input.ConsumeIntegralInRange<size_t>(0, MAX_FRAMES);
    for (size_t i = 0; i < frames; ++i) {
        p.frameSizes.push_back(input.ConsumeIntegralInRange<uint32_t>(0, MAX_FRAME_BYTES));
    }
    p.compressedName = input.ConsumeBool();
    p.junk = input.ConsumeBool();
    p.audioFirst = input.ConsumeBool();
    p.openDml = input.ConsumeBool();
    p.info = input.ConsumeBool();
    p.recordGroup = input.ConsumeIntegralInRange<uint8_t>(0, 5);
    p.trailing = input.ConsumeIntegralInRange<uint32_t>(0, MAX_TRAILING_BYTES);
    p.toolWriter = input.ConsumeBool();
    p.segmentFrames = input.ConsumeIntegralInRange<uint8_t>(1, MAX_SEGMENT_FRAMES);
    if (p.toolWriter) {
        // The tool counts whole frames per second and keeps its sizes to 16 bits.
        p.scale = 1;
        p.width &= 0xffff;
        p.height &= 0xffff;
    }
    return p;
}

struct Reading {
    bool ok;
    AviSummary summary;
    std::string error;
};

struct Bytes {
    const unsigned char* data;
    uint32_t size;
    uint32_t reads;
};

bool ReadExactly(void* context, uint64_t offset, void* into, uint32_t count)
{
    Bytes* bytes = static_cast<Bytes*>(context);
    ++bytes->reads;
    FUZZ_CHECK(count > 0 && count <= LARGEST_HEADER_READ);
    if (offset > bytes->size || bytes->size - offset < count) {
        return false;
    }
    memcpy(into, bytes->data + offset, count);
    return true;
}

bool SameSummary(const AviSummary& a, const AviSummary& b)
{
    return a.width == b.width && a.height == b.height && a.frames == b.frames &&
           a.extendedFrames == b.extendedFrames && a.moviFrames == b.moviFrames &&
           a.framesPerSecond == b.framesPerSecond && a.seconds == b.seconds &&
           a.indexed == b.indexed && a.indexFrames == b.indexFrames &&
           a.segments == b.segments;
}

bool SameReading(const Reading& a, const Reading& b)
{
    return a.ok == b.ok && (a.ok ? SameSummary(a.summary, b.summary) : a.error == b.error);
}

// Properties every reading has, whatever the bytes.
Reading Read(const std::string& file)
{
    // An exact-size heap copy, so that AddressSanitizer sees any read past the end.
    const uint32_t size = static_cast<uint32_t>(file.size());
    std::unique_ptr<unsigned char[]> copy(new unsigned char[size]);
    memcpy(copy.get(), file.data(), size);
    Bytes bytes = {copy.get(), size, 0};
    const AviSource source = {ReadExactly, &bytes, size};
    Reading reading;
    reading.ok = ReadAviSummary(source, reading.summary, reading.error);
    FUZZ_CHECK(bytes.reads <= size / READS_PER_BYTE_DIVISOR + READS_AT_ENDS);

    Reading fromBytes;
    fromBytes.ok = ReadAviSummaryFromBytes(file, fromBytes.summary, fromBytes.error);
    FUZZ_CHECK(SameReading(reading, fromBytes));

    if (!reading.ok) {
        FUZZ_CHECK(!reading.error.empty());
        FUZZ_CHECK(reading.error.find('\n') == std::string::npos);
        return reading;
    }
    const AviSummary& s = reading.summary;
    FUZZ_CHECK(std::isfinite(s.framesPerSecond) && s.framesPerSecond > 0);
    FUZZ_CHECK(s.seconds == s.frames / s.framesPerSecond);
    // Each counted frame has its own chunk header in the file.
    FUZZ_CHECK(s.moviFrames <= size / 8);
    return reading;
}

// A file the reader calls complete carries what the tool's own writer, given its
// numbers, writes.
void CheckRoundTrip(const Reading& reading)
{
    Parameters p = {};
    p.width = static_cast<uint32_t>(reading.summary.width);
    p.height = static_cast<uint32_t>(reading.summary.height);
    p.scale = 1;
    p.rate = 1;
    p.frameSizes.assign(reading.summary.frames, 2);
    p.segmentFrames = MAX_SEGMENT_FRAMES;
    const Reading again = Read(WriteAsTheTool(p).bytes);
    FUZZ_CHECK(again.ok && AviComplete(again.summary));
    FUZZ_CHECK(again.summary.width == reading.summary.width);
    FUZZ_CHECK(again.summary.height == reading.summary.height);
    FUZZ_CHECK(again.summary.frames == reading.summary.frames);
}

Reading ReadAndRoundTrip(const std::string& file)
{
    const Reading reading = Read(file);
    if (reading.ok && AviComplete(reading.summary)) {
        CheckRoundTrip(reading);
    }
    return reading;
}

void CheckWhole(const Parameters& p, const Reading& reading)
{
    const uint32_t frames = static_cast<uint32_t>(p.frameSizes.size());
    const double fps = static_cast<double>(p.rate) / p.scale;
    FUZZ_CHECK(reading.ok);
    FUZZ_CHECK(reading.summary.width == static_cast<int32_t>(p.width));
    FUZZ_CHECK(reading.summary.height == static_cast<int32_t>(p.height));
    FUZZ_CHECK(reading.summary.frames == frames);
    FUZZ_CHECK(reading.summary.moviFrames == frames);
    FUZZ_CHECK(reading.summary.framesPerSecond == fps);
    FUZZ_CHECK(reading.summary.seconds == frames / fps);
    FUZZ_CHECK(reading.summary.indexed);
    FUZZ_CHECK(AviComplete(reading.summary) == (frames > 0));
}

// A file cut short is never complete and counts the frames whose data is all there.
void CheckCut(const Parameters& p, const ModelFile& file, uint32_t length, const Reading& reading)
{
    FUZZ_CHECK(!AviComplete(reading.summary));
    if (!reading.ok) {
        return;
    }
    uint32_t whole = 0;
    for (uint32_t end : file.frameEnds) {
        whole += end <= length;
    }
    FUZZ_CHECK(reading.summary.width == static_cast<int32_t>(p.width));
    FUZZ_CHECK(reading.summary.height == static_cast<int32_t>(p.height));
    FUZZ_CHECK(reading.summary.frames == p.frameSizes.size());
    FUZZ_CHECK(reading.summary.moviFrames == whole);
    FUZZ_CHECK(reading.summary.indexed == (length >= file.indexEnd));
}

enum Damage { DAMAGE_NONE, DAMAGE_CUT, DAMAGE_PAYLOAD, DAMAGE_ANYWHERE, DAMAGE_KINDS };

void Overwrite(FuzzedDataProvider& input, std::string& bytes, uint32_t at)
{
    if (at < bytes.size()) {
        bytes[at] = static_cast<char>(input.ConsumeIntegral<uint8_t>());
    }
}

// Damage anywhere: single bytes, whole 32-bit fields, and LIST headers put in front
// of any stretch so that chunks nest where no writer puts them.
void DamageAnywhere(FuzzedDataProvider& input, std::string& bytes)
{
    static const char* const LIST_TYPES[] = {"movi", "hdrl", "strl", "rec ", "INFO", "AVI "};
    const size_t edits = input.ConsumeIntegralInRange<size_t>(1, MAX_EDITS);
    for (size_t i = 0; i < edits && !bytes.empty(); ++i) {
        const uint32_t at = input.ConsumeIntegralInRange<uint32_t>(
            0, static_cast<uint32_t>(bytes.size() - 1));
        switch (input.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            Overwrite(input, bytes, at);
            break;
        case 1: {
            std::string field;
            Put32(field, input.ConsumeIntegral<uint32_t>());
            bytes.replace(at, 4, field);
            break;
        }
        default: {
            std::string header("LIST");
            Put32(header, input.ConsumeIntegral<uint32_t>());
            header += input.PickValueInArray(LIST_TYPES);
            bytes.insert(at, header);
            break;
        }
        }
    }
}

void FuzzModel(FuzzedDataProvider& input)
{
    const Parameters p = ChooseParameters(input);
    const ModelFile file = p.toolWriter ? WriteAsTheTool(p) : WriteModel(p);
    const Reading whole = ReadAndRoundTrip(file.bytes);
    CheckWhole(p, whole);

    const Damage damage =
        static_cast<Damage>(input.ConsumeIntegralInRange<int>(DAMAGE_NONE, DAMAGE_KINDS - 1));
    std::string bytes = file.bytes;
    switch (damage) {
    case DAMAGE_NONE:
        break;
    case DAMAGE_CUT: {
        const uint32_t length = input.ConsumeIntegralInRange<uint32_t>(
            0, static_cast<uint32_t>(bytes.size()));
        bytes.resize(length);
        const Reading cut = ReadAndRoundTrip(bytes);
        if (length < file.riffEnd) {
            CheckCut(p, file, length, cut);
        } else {
            CheckWhole(p, cut);
        }
        break;
    }
    case DAMAGE_PAYLOAD: {
        // Frame data, padding, the index and the format block change nothing the
        // reader reports.
        const size_t edits = input.ConsumeIntegralInRange<size_t>(1, MAX_EDITS);
        for (size_t i = 0; i < edits && !file.payload.empty(); ++i) {
            const Range range = file.payload[input.ConsumeIntegralInRange<size_t>(
                0, file.payload.size() - 1)];
            if (range.begin < range.end) {
                Overwrite(input, bytes,
                          input.ConsumeIntegralInRange<uint32_t>(range.begin, range.end - 1));
            }
        }
        FUZZ_CHECK(SameReading(ReadAndRoundTrip(bytes), whole));
        break;
    }
    case DAMAGE_ANYWHERE:
        DamageAnywhere(input, bytes);
        ReadAndRoundTrip(bytes);
        break;
    case DAMAGE_KINDS:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= 4 && memcmp(data, "RIFF", 4) == 0) {
        ReadAndRoundTrip(std::string(reinterpret_cast<const char*>(data), size));
        return 0;
    }
    FuzzedDataProvider input(data, size);
    FuzzModel(input);
    return 0;
}
