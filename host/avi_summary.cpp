#include "avi_summary.h"

#include <string.h>

#define CHUNK_HEADER_SIZE 8
#define LIST_HEADER_SIZE 12
#define MAIN_HEADER_WIDTH_OFFSET 32
#define MAIN_HEADER_HEIGHT_OFFSET 36
#define MAIN_HEADER_SIZE 40
#define STREAM_HEADER_SCALE_OFFSET 20
#define STREAM_HEADER_RATE_OFFSET 24
#define STREAM_HEADER_LENGTH_OFFSET 32
#define STREAM_HEADER_SIZE 36
#define AVI_INDEX_ENTRY_SIZE 16
#define INDEX_OFFSET_OFFSET 8
#define INDEX_SIZE_OFFSET 12

struct Chunk {
    char id[4];
    uint32_t size;
    uint32_t data; // offset of the data, after id and size
};

static uint32_t Le32(const unsigned char* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

static bool IdIs(const char* id, const char* expected)
{
    return memcmp(id, expected, 4) == 0;
}

static bool ReadChunk(const AviSource& source, uint32_t offset, uint32_t end, Chunk& chunk)
{
    unsigned char header[CHUNK_HEADER_SIZE];
    if (offset > end || end - offset < CHUNK_HEADER_SIZE ||
        !source.read(source.context, offset, header, CHUNK_HEADER_SIZE)) {
        return false;
    }
    memcpy(chunk.id, header, 4);
    chunk.size = Le32(header + 4);
    chunk.data = offset + CHUNK_HEADER_SIZE;
    return true;
}

// The next chunk starts after the data, padded to an even offset.
static uint32_t NextChunk(const Chunk& chunk)
{
    uint64_t next = static_cast<uint64_t>(chunk.data) + chunk.size + (chunk.size & 1);
    return next > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(next);
}

static bool ReadListType(const AviSource& source, const Chunk& chunk, char (&type)[4])
{
    return chunk.size >= 4 && source.read(source.context, chunk.data, type, 4);
}

static bool FindVideoHeader(const AviSource& source, const Chunk& hdrl, AviSummary& summary,
                            std::string& error)
{
    uint32_t end = NextChunk(hdrl);
    bool haveMain = false;
    for (uint32_t at = hdrl.data + 4;;) {
        Chunk chunk;
        if (!ReadChunk(source, at, end, chunk)) {
            break;
        }
        char type[4];
        if (IdIs(chunk.id, "avih") && chunk.size >= MAIN_HEADER_SIZE) {
            unsigned char main[MAIN_HEADER_SIZE];
            if (!source.read(source.context, chunk.data, main, MAIN_HEADER_SIZE)) {
                break;
            }
            summary.width = static_cast<int32_t>(Le32(main + MAIN_HEADER_WIDTH_OFFSET));
            summary.height = static_cast<int32_t>(Le32(main + MAIN_HEADER_HEIGHT_OFFSET));
            haveMain = true;
        } else if (IdIs(chunk.id, "LIST") && ReadListType(source, chunk, type) &&
                   IdIs(type, "strl")) {
            Chunk strh;
            unsigned char header[STREAM_HEADER_SIZE];
            if (ReadChunk(source, chunk.data + 4, NextChunk(chunk), strh) &&
                IdIs(strh.id, "strh") && strh.size >= STREAM_HEADER_SIZE &&
                source.read(source.context, strh.data, header, STREAM_HEADER_SIZE) &&
                memcmp(header, "vids", 4) == 0) {
                uint32_t scale = Le32(header + STREAM_HEADER_SCALE_OFFSET);
                uint32_t rate = Le32(header + STREAM_HEADER_RATE_OFFSET);
                if (scale == 0 || rate == 0) {
                    error = "the video stream's header gives no frame rate";
                    return false;
                }
                summary.frames = Le32(header + STREAM_HEADER_LENGTH_OFFSET);
                summary.framesPerSecond = static_cast<double>(rate) / scale;
                summary.seconds = summary.frames / summary.framesPerSecond;
                if (haveMain) {
                    return true;
                }
            }
        }
        at = NextChunk(chunk);
    }
    error = haveMain ? "no video stream in the header list" : "no main header in the header list";
    return false;
}

// Video chunks are named by stream number and "db" (uncompressed) or "dc" (compressed).
static bool IsVideoChunk(const char* id)
{
    return (id[2] == 'd' && id[3] == 'b') || (id[2] == 'd' && id[3] == 'c');
}

static uint32_t CountVideoChunks(const AviSource& source, const Chunk& movi)
{
    uint32_t count = 0;
    uint32_t end = NextChunk(movi);
    for (uint32_t at = movi.data + 4;;) {
        Chunk chunk;
        if (!ReadChunk(source, at, end, chunk) || NextChunk(chunk) > end) {
            return count;
        }
        char type[4];
        if (IdIs(chunk.id, "LIST") && ReadListType(source, chunk, type) && IdIs(type, "rec ")) {
            at = chunk.data + 4;
            continue;
        }
        // A writer ended early can leave a frame's header without all of its data.
        if (IsVideoChunk(chunk.id) &&
            static_cast<uint64_t>(chunk.data) + chunk.size <= source.size) {
            ++count;
        }
        at = NextChunk(chunk);
    }
}

// The index's video entries when every one leads to a video chunk of its id and size,
// else 0: players find the frames through it. Offsets count from the frame list's type
// field, or, with some writers, from the start of the file.
static uint32_t CountIndexedFrames(const AviSource& source, const Chunk& idx1, uint32_t moviType)
{
    uint32_t frames = 0;
    uint32_t base = moviType;
    for (uint32_t at = idx1.data; idx1.data + idx1.size - at >= AVI_INDEX_ENTRY_SIZE;
         at += AVI_INDEX_ENTRY_SIZE) {
        unsigned char entry[AVI_INDEX_ENTRY_SIZE];
        if (!source.read(source.context, at, entry, sizeof entry)) {
            return 0;
        }
        const char* id = reinterpret_cast<const char*>(entry);
        if (!IsVideoChunk(id)) {
            continue;
        }
        uint32_t offset = Le32(entry + INDEX_OFFSET_OFFSET);
        Chunk chunk;
        if (frames == 0 && (!ReadChunk(source, base + offset, source.size, chunk) ||
                            !IdIs(chunk.id, id))) {
            base = 0;
        }
        if (!ReadChunk(source, base + offset, source.size, chunk) || !IdIs(chunk.id, id) ||
            chunk.size != Le32(entry + INDEX_SIZE_OFFSET) ||
            static_cast<uint64_t>(chunk.data) + chunk.size > source.size) {
            return 0;
        }
        ++frames;
    }
    return frames;
}

bool ReadAviSummary(const AviSource& source, AviSummary& summary, std::string& error)
{
    summary = AviSummary{0, 0, 0, 0, 0.0, 0.0, false, 0};
    uint32_t moviType = 0;
    Chunk riff;
    char form[4];
    if (!ReadChunk(source, 0, source.size, riff) || !IdIs(riff.id, "RIFF") ||
        !ReadListType(source, riff, form) || !IdIs(form, "AVI ")) {
        error = "not an AVI file (no RIFF 'AVI ' header)";
        return false;
    }
    // A writer ended early leaves the RIFF size short of or beyond the real end.
    uint32_t end = NextChunk(riff) < source.size ? NextChunk(riff) : source.size;
    bool haveHeader = false;
    bool haveMovi = false;
    for (uint32_t at = riff.data + 4;;) {
        Chunk chunk;
        if (!ReadChunk(source, at, end, chunk)) {
            break;
        }
        char type[4];
        if (IdIs(chunk.id, "LIST") && ReadListType(source, chunk, type)) {
            if (IdIs(type, "hdrl")) {
                if (!FindVideoHeader(source, chunk, summary, error)) {
                    return false;
                }
                haveHeader = true;
            } else if (IdIs(type, "movi")) {
                summary.moviFrames = CountVideoChunks(source, chunk);
                moviType = chunk.data;
                haveMovi = true;
            }
        } else if (IdIs(chunk.id, "idx1")) {
            summary.indexed = NextChunk(chunk) <= end;
            summary.indexFrames = summary.indexed && haveMovi
                                      ? CountIndexedFrames(source, chunk, moviType)
                                      : 0;
        }
        at = NextChunk(chunk);
    }
    if (!haveHeader) {
        error = "no header list";
        return false;
    }
    if (!haveMovi) {
        error = "no frame list";
        return false;
    }
    return true;
}

bool AviComplete(const AviSummary& summary)
{
    return summary.indexed && summary.frames > 0 && summary.frames == summary.moviFrames &&
           summary.frames == summary.indexFrames;
}

static bool ReadFromString(void* context, uint32_t offset, void* into, uint32_t count)
{
    const std::string* bytes = static_cast<const std::string*>(context);
    if (offset > bytes->size() || bytes->size() - offset < count) {
        return false;
    }
    memcpy(into, bytes->data() + offset, count);
    return true;
}

bool ReadAviSummaryFromBytes(const std::string& bytes, AviSummary& summary, std::string& error)
{
    AviSource source = {ReadFromString, const_cast<std::string*>(&bytes),
                        static_cast<uint32_t>(bytes.size())};
    return ReadAviSummary(source, summary, error);
}
