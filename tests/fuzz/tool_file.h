// A file as the tool's own writer lays it out (avi_layout), for the AVI reader's tests
// and fuzz target: the head, then segments of up to segmentFrames frames, each ending
// in its standard index and the first also in the legacy one. Frame i's data is bytes
// of 0xd8 + i.
#pragma once

#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "avi_layout.h"

struct ToolFile {
    std::string bytes;
    std::vector<uint32_t> frameData;   // where each frame's data begins
    uint32_t indexEnd;                 // the end of the first segment's legacy index
};

inline std::string AsText(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

inline ToolFile LayOutAsTheTool(const AviStreamInfo& stream, const std::vector<uint32_t>& sizes,
                                uint32_t segmentFrames)
{
    ToolFile file;
    const uint32_t frames = static_cast<uint32_t>(sizes.size());
    std::vector<AviSuperIndexEntry> segments;
    std::string body;   // everything after the head
    uint32_t firstFrames = 0;
    uint64_t firstMoviBytes = 0;
    for (uint32_t done = 0; segments.empty() || done < frames;) {
        const bool first = segments.empty();
        const uint32_t count = std::min(segmentFrames, frames - done);
        const uint64_t start = AVI_HEAD_BYTES + body.size();
        const uint64_t chunksAt = first ? start : start + AVI_SEGMENT_HEAD_BYTES;
        std::string chunks;
        std::vector<AviFrameEntry> entries;
        for (uint32_t i = done; i < done + count; ++i) {
            uint8_t header[AVI_CHUNK_HEADER_BYTES];
            FormatFrameChunkHeader(sizes[i], header);
            entries.push_back({static_cast<uint32_t>(4 + chunks.size()), sizes[i]});
            chunks += AsText(header, sizeof header);
            file.frameData.push_back(static_cast<uint32_t>(chunksAt + chunks.size()));
            chunks.append(sizes[i], static_cast<char>(0xd8 + i));
            chunks.append(sizes[i] & 1, '\0');
        }
        std::vector<uint8_t> index(AviStandardIndexBytes(count));
        FormatAviStandardIndex(entries.data(), count,
                               first ? AVI_FIRST_MOVI_OFFSET : start + 20, index.data());
        segments.push_back({chunksAt + chunks.size(), static_cast<uint32_t>(index.size()), count});
        const uint64_t moviBytes = chunks.size() + index.size();
        if (first) {
            std::vector<uint8_t> legacy(AviIndexBytes(count));
            FormatAviIndex(entries.data(), count, legacy.data());
            body += chunks + AsText(index.data(), index.size()) +
                    AsText(legacy.data(), legacy.size());
            firstFrames = count;
            firstMoviBytes = moviBytes;
            file.indexEnd = static_cast<uint32_t>(AVI_HEAD_BYTES + body.size());
        } else {
            uint8_t head[AVI_SEGMENT_HEAD_BYTES];
            FormatAviSegmentHead(moviBytes, head);
            body += AsText(head, sizeof head) + chunks + AsText(index.data(), index.size());
        }
        done += count;
    }
    uint8_t head[AVI_HEAD_BYTES];
    FormatAviHead(stream,
                  {frames, firstFrames, firstMoviBytes, true, segments.data(),
                   static_cast<uint32_t>(segments.size()),
                   sizes.empty() ? 0 : *std::max_element(sizes.begin(), sizes.end())},
                  head);
    file.bytes = AsText(head, sizeof head) + body;
    return file;
}
