#include "avi_summary.h"

#include <string.h>

#define CHUNK_HEADER_SIZE 8
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
// OpenDML indexes: both kinds open with the same 24 bytes after the chunk header.
#define ODML_INDEX_HEADER_SIZE 24
#define ODML_INDEX_OF_INDEXES 0
#define ODML_INDEX_OF_CHUNKS 1
#define SUPER_INDEX_ENTRY_SIZE 16
#define STD_INDEX_ENTRY_SIZE 8
#define STD_INDEX_SIZE_MASK 0x7fffffffu

struct Chunk {
    char id[4];
    uint32_t size;
    uint64_t data; // offset of the data, after id and size
};

// Where the headers point: the video stream's super index, if any, and the stream's
// chunk id that its index entries name.
struct OpenDml {
    bool haveSuperIndex;
    Chunk superIndex;
};

static uint32_t Le32(const unsigned char* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

static uint64_t Le64(const unsigned char* bytes)
{
    return Le32(bytes) | static_cast<uint64_t>(Le32(bytes + 4)) << 32;
}

static bool IdIs(const char* id, const char* expected)
{
    return memcmp(id, expected, 4) == 0;
}

static bool ReadChunk(const AviSource& source, uint64_t offset, uint64_t end, Chunk& chunk)
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
static uint64_t NextChunk(const Chunk& chunk)
{
    return chunk.data + chunk.size + (chunk.size & 1);
}

static bool ReadListType(const AviSource& source, const Chunk& chunk, char (&type)[4])
{
    return chunk.size >= 4 && source.read(source.context, chunk.data, type, 4);
}

// The video stream's list: its header and, in an OpenDML file, its super index.
static bool ReadVideoStream(const AviSource& source, const Chunk& strl, AviSummary& summary,
                            OpenDml& odml, std::string& error)
{
    Chunk strh;
    unsigned char header[STREAM_HEADER_SIZE];
    if (!ReadChunk(source, strl.data + 4, NextChunk(strl), strh) || !IdIs(strh.id, "strh") ||
        strh.size < STREAM_HEADER_SIZE ||
        !source.read(source.context, strh.data, header, STREAM_HEADER_SIZE) ||
        memcmp(header, "vids", 4) != 0) {
        return false;
    }
    uint32_t scale = Le32(header + STREAM_HEADER_SCALE_OFFSET);
    uint32_t rate = Le32(header + STREAM_HEADER_RATE_OFFSET);
    if (scale == 0 || rate == 0) {
        error = "the video stream's header gives no frame rate";
        return false;
    }
    summary.frames = Le32(header + STREAM_HEADER_LENGTH_OFFSET);
    summary.framesPerSecond = static_cast<double>(rate) / scale;
    summary.seconds = summary.frames / summary.framesPerSecond;
    for (uint64_t at = NextChunk(strh);;) {
        Chunk chunk;
        if (!ReadChunk(source, at, NextChunk(strl), chunk)) {
            return true;
        }
        if (IdIs(chunk.id, "indx")) {
            odml.haveSuperIndex = true;
            odml.superIndex = chunk;
            return true;
        }
        at = NextChunk(chunk);
    }
}

static bool FindVideoHeader(const AviSource& source, const Chunk& hdrl, AviSummary& summary,
                            OpenDml& odml, std::string& error)
{
    uint64_t end = NextChunk(hdrl);
    bool haveMain = false;
    bool haveVideo = false;
    for (uint64_t at = hdrl.data + 4;;) {
        Chunk chunk;
        if (!ReadChunk(source, at, end, chunk)) {
            break;
        }
        char type[4] = {0, 0, 0, 0};
        const bool list = IdIs(chunk.id, "LIST") && ReadListType(source, chunk, type);
        if (IdIs(chunk.id, "avih") && chunk.size >= MAIN_HEADER_SIZE) {
            unsigned char main[MAIN_HEADER_SIZE];
            if (!source.read(source.context, chunk.data, main, MAIN_HEADER_SIZE)) {
                break;
            }
            summary.width = static_cast<int32_t>(Le32(main + MAIN_HEADER_WIDTH_OFFSET));
            summary.height = static_cast<int32_t>(Le32(main + MAIN_HEADER_HEIGHT_OFFSET));
            haveMain = true;
        } else if (list && IdIs(type, "strl") && !haveVideo) {
            haveVideo = ReadVideoStream(source, chunk, summary, odml, error);
            if (!error.empty()) {
                return false;
            }
        } else if (list && IdIs(type, "odml")) {
            Chunk dmlh;
            unsigned char total[4];
            if (ReadChunk(source, chunk.data + 4, NextChunk(chunk), dmlh) &&
                IdIs(dmlh.id, "dmlh") && dmlh.size >= 4 &&
                source.read(source.context, dmlh.data, total, 4)) {
                summary.extendedFrames = Le32(total);
            }
        }
        at = NextChunk(chunk);
    }
    if (haveMain && haveVideo) {
        return true;
    }
    error = haveMain ? "no video stream in the header list" : "no main header in the header list";
    return false;
}

// Video chunks are named by stream number and "db" (uncompressed) or "dc" (compressed).
static bool IsVideoChunk(const char* id)
{
    return (id[2] == 'd' && id[3] == 'b') || (id[2] == 'd' && id[3] == 'c');
}

static uint64_t CountVideoChunks(const AviSource& source, const Chunk& movi)
{
    uint64_t count = 0;
    uint64_t end = NextChunk(movi);
    for (uint64_t at = movi.data + 4;;) {
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
        if (IsVideoChunk(chunk.id) && chunk.data + chunk.size <= source.size) {
            ++count;
        }
        at = NextChunk(chunk);
    }
}

// Whether a chunk of the id with size bytes of data is at the offset.
static bool ChunkThere(const AviSource& source, uint64_t offset, const char* id, uint32_t size)
{
    Chunk chunk;
    return ReadChunk(source, offset, source.size, chunk) && IdIs(chunk.id, id) &&
           chunk.size == size && chunk.data + chunk.size <= source.size;
}

// The index's video entries when every one leads to a video chunk of its id and size,
// else 0: players find the frames through it. Offsets count from the frame list's type
// field, or, with some writers, from the start of the file.
static uint64_t CountIndexedFrames(const AviSource& source, const Chunk& idx1, uint64_t moviType)
{
    uint64_t frames = 0;
    uint64_t base = moviType;
    for (uint64_t at = idx1.data; idx1.data + idx1.size - at >= AVI_INDEX_ENTRY_SIZE;
         at += AVI_INDEX_ENTRY_SIZE) {
        unsigned char entry[AVI_INDEX_ENTRY_SIZE];
        if (!source.read(source.context, at, entry, sizeof entry)) {
            return 0;
        }
        const char* id = reinterpret_cast<const char*>(entry);
        if (!IsVideoChunk(id)) {
            continue;
        }
        uint64_t offset = Le32(entry + INDEX_OFFSET_OFFSET);
        Chunk chunk;
        if (frames == 0 && (!ReadChunk(source, base + offset, source.size, chunk) ||
                            !IdIs(chunk.id, id))) {
            base = 0;
        }
        if (!ChunkThere(source, base + offset, id, Le32(entry + INDEX_SIZE_OFFSET))) {
            return 0;
        }
        ++frames;
    }
    return frames;
}

// The frames of one segment's standard index when every entry leads to a chunk of the
// index's id and size, else 0. Each entry holds its chunk data's offset from the
// index's base.
static uint64_t CountStandardIndex(const AviSource& source, const Chunk& ix, uint32_t frames,
                                   const unsigned char* chunkId)
{
    unsigned char header[ODML_INDEX_HEADER_SIZE];
    if (ix.size < ODML_INDEX_HEADER_SIZE ||
        !source.read(source.context, ix.data, header, sizeof header) || header[0] != 2 ||
        header[1] != 0 || header[2] != 0 || header[3] != ODML_INDEX_OF_CHUNKS ||
        Le32(header + 4) != frames || memcmp(header + 8, chunkId, 4) != 0 ||
        (ix.size - ODML_INDEX_HEADER_SIZE) / STD_INDEX_ENTRY_SIZE < frames) {
        return 0;
    }
    const char* id = reinterpret_cast<const char*>(chunkId);
    const uint64_t base = Le64(header + 12);
    uint64_t at = ix.data + ODML_INDEX_HEADER_SIZE;
    for (uint32_t i = 0; i < frames; ++i, at += STD_INDEX_ENTRY_SIZE) {
        unsigned char entry[STD_INDEX_ENTRY_SIZE];
        if (!source.read(source.context, at, entry, sizeof entry)) {
            return 0;
        }
        const uint64_t data = base + Le32(entry);
        const uint32_t size = Le32(entry + 4) & STD_INDEX_SIZE_MASK;
        if (data < base || data < CHUNK_HEADER_SIZE ||
            !ChunkThere(source, data - CHUNK_HEADER_SIZE, id, size)) {
            return 0;
        }
    }
    return frames;
}

// The frames of every standard index that the super index lists, when each is whole;
// else 0. The indexes lie after the headers, one after the other.
static uint64_t CountSuperIndexedFrames(const AviSource& source, const Chunk& indx,
                                        uint64_t firstMovi)
{
    unsigned char header[ODML_INDEX_HEADER_SIZE];
    if (indx.size < ODML_INDEX_HEADER_SIZE ||
        !source.read(source.context, indx.data, header, sizeof header) || header[0] != 4 ||
        header[1] != 0 || header[3] != ODML_INDEX_OF_INDEXES ||
        !IsVideoChunk(reinterpret_cast<const char*>(header + 8))) {
        return 0;
    }
    const uint32_t entries = Le32(header + 4);
    if ((indx.size - ODML_INDEX_HEADER_SIZE) / SUPER_INDEX_ENTRY_SIZE < entries) {
        return 0;
    }
    const char ixId[4] = {'i', 'x', static_cast<char>(header[8]), static_cast<char>(header[9])};
    uint64_t frames = 0;
    uint64_t after = firstMovi;
    uint64_t at = indx.data + ODML_INDEX_HEADER_SIZE;
    for (uint32_t i = 0; i < entries; ++i, at += SUPER_INDEX_ENTRY_SIZE) {
        unsigned char entry[SUPER_INDEX_ENTRY_SIZE];
        Chunk ix;
        if (!source.read(source.context, at, entry, sizeof entry) || Le64(entry) < after ||
            !ReadChunk(source, Le64(entry), source.size, ix) || !IdIs(ix.id, ixId) ||
            static_cast<uint64_t>(ix.size) + CHUNK_HEADER_SIZE != Le32(entry + 8) ||
            NextChunk(ix) > source.size) {
            return 0;
        }
        const uint32_t duration = Le32(entry + 12);
        if (CountStandardIndex(source, ix, duration, header + 8) != duration) {
            return 0;
        }
        frames += duration;
        after = NextChunk(ix);
    }
    return frames;
}

// The frame list inside a later segment (RIFF 'AVIX').
static uint64_t CountSegmentFrames(const AviSource& source, const Chunk& riff)
{
    const uint64_t end = NextChunk(riff) < source.size ? NextChunk(riff) : source.size;
    for (uint64_t at = riff.data + 4;;) {
        Chunk chunk;
        char type[4];
        if (!ReadChunk(source, at, end, chunk)) {
            return 0;
        }
        if (IdIs(chunk.id, "LIST") && ReadListType(source, chunk, type) && IdIs(type, "movi")) {
            return CountVideoChunks(source, chunk);
        }
        at = NextChunk(chunk);
    }
}

bool ReadAviSummary(const AviSource& source, AviSummary& summary, std::string& error)
{
    summary = AviSummary{0, 0, 0, 0, 0, 0.0, 0.0, false, 0, 0};
    uint64_t moviType = 0;
    Chunk riff;
    char form[4];
    if (!ReadChunk(source, 0, source.size, riff) || !IdIs(riff.id, "RIFF") ||
        !ReadListType(source, riff, form) || !IdIs(form, "AVI ")) {
        error = "not an AVI file (no RIFF 'AVI ' header)";
        return false;
    }
    // A writer ended early leaves the RIFF size short of or beyond the real end.
    const uint64_t end = NextChunk(riff) < source.size ? NextChunk(riff) : source.size;
    OpenDml odml = {false, {}};
    bool haveHeader = false;
    bool haveMovi = false;
    uint64_t legacyFrames = 0;
    for (uint64_t at = riff.data + 4;;) {
        Chunk chunk;
        if (!ReadChunk(source, at, end, chunk)) {
            break;
        }
        char type[4];
        if (IdIs(chunk.id, "LIST") && ReadListType(source, chunk, type)) {
            if (IdIs(type, "hdrl") && !haveHeader) {
                if (!FindVideoHeader(source, chunk, summary, odml, error)) {
                    return false;
                }
                haveHeader = true;
            } else if (IdIs(type, "movi") && !haveMovi) {
                summary.moviFrames = CountVideoChunks(source, chunk);
                moviType = chunk.data;
                haveMovi = true;
            }
        } else if (IdIs(chunk.id, "idx1")) {
            summary.indexed = NextChunk(chunk) <= end;
            legacyFrames =
                summary.indexed && haveMovi ? CountIndexedFrames(source, chunk, moviType) : 0;
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
    const uint64_t firstFrames = summary.moviFrames;
    summary.segments = 1;
    for (uint64_t at = NextChunk(riff);;) {
        Chunk segment;
        if (!ReadChunk(source, at, source.size, segment) || !IdIs(segment.id, "RIFF") ||
            !ReadListType(source, segment, form) || !IdIs(form, "AVIX")) {
            break;
        }
        summary.moviFrames += CountSegmentFrames(source, segment);
        ++summary.segments;
        at = NextChunk(segment);
    }
    summary.indexFrames = legacyFrames;
    // A file whose writer was ended in its first segment has no legacy index yet; its
    // super index lists the running indexes of the frames so far.
    if (odml.haveSuperIndex) {
        summary.indexFrames = !summary.indexed || legacyFrames == firstFrames
                                  ? CountSuperIndexedFrames(source, odml.superIndex, moviType)
                                  : 0;
    }
    return true;
}

bool AviComplete(const AviSummary& summary)
{
    return summary.indexed && summary.frames > 0 && summary.frames == summary.moviFrames &&
           summary.frames == summary.indexFrames &&
           (summary.extendedFrames == 0 || summary.extendedFrames == summary.frames);
}

// The cached block that holds the offset, read from the source in place of the one read
// longest ago when none does; null when the source cannot give it.
static const std::string* BlockAt(AviBlockCache& cache, uint64_t offset)
{
    const uint64_t start = offset - offset % AVI_CACHE_BLOCK_BYTES;
    int slot = 0;
    for (int i = 0; i < AVI_CACHE_BLOCKS; ++i) {
        if (cache.starts[i] == start && !cache.blocks[i].empty()) {
            return &cache.blocks[i];
        }
        slot = cache.readAt[i] < cache.readAt[slot] ? i : slot;
    }
    // Past the end this asks for more than the source holds, and fails.
    const uint64_t left = cache.source.size - start;
    std::string& block = cache.blocks[slot];
    block.resize(left < AVI_CACHE_BLOCK_BYTES ? left : AVI_CACHE_BLOCK_BYTES);
    cache.starts[slot] = start;
    cache.readAt[slot] = ++cache.reads;
    if (!cache.source.read(cache.source.context, start, &block[0],
                           static_cast<uint32_t>(block.size()))) {
        block.clear();
        return nullptr;
    }
    return &block;
}

static bool ReadCached(void* context, uint64_t offset, void* into, uint32_t count)
{
    AviBlockCache& cache = *static_cast<AviBlockCache*>(context);
    unsigned char* to = static_cast<unsigned char*>(into);
    while (count > 0) {
        const std::string* block = BlockAt(cache, offset);
        const uint64_t at = offset % AVI_CACHE_BLOCK_BYTES;
        if (block == nullptr || block->size() <= at) {
            return false;
        }
        const uint32_t piece = static_cast<uint32_t>(
            block->size() - at < count ? block->size() - at : count);
        memcpy(to, block->data() + at, piece);
        to += piece;
        offset += piece;
        count -= piece;
    }
    return true;
}

AviSource CachedAviSource(AviBlockCache& cache, const AviSource& source)
{
    cache.source = source;
    cache.reads = 0;
    for (int i = 0; i < AVI_CACHE_BLOCKS; ++i) {
        cache.blocks[i].clear();
        cache.starts[i] = 0;
        cache.readAt[i] = 0;
    }
    return {ReadCached, &cache, source.size};
}

static bool ReadFromString(void* context, uint64_t offset, void* into, uint32_t count)
{
    const std::string* bytes = static_cast<const std::string*>(context);
    if (offset > bytes->size() || bytes->size() - offset < count) {
        return false;
    }
    memcpy(into, bytes->data() + offset, count);
    return true;
}

// Through the cache as a file is read, so that every reading of bytes tries it too.
bool ReadAviSummaryFromBytes(const std::string& bytes, AviSummary& summary, std::string& error)
{
    AviBlockCache cache;
    AviSource source = {ReadFromString, const_cast<std::string*>(&bytes), bytes.size()};
    return ReadAviSummary(CachedAviSource(cache, source), summary, error);
}
