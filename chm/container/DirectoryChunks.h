// The directory of a help file: listing chunks (PMGL) holding every name
// with its section, offset and length, and index chunks (PMGI) above them
// that let readers find a name without reading every listing chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorlix::chm {

inline constexpr std::uint32_t kDirectoryChunkSize = 4096;
inline constexpr std::uint32_t kQuickrefDensity = 2; // a quickref every 1 + (1 << 2) entries

struct DirectoryEntry {
    std::string name;
    std::uint64_t section = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct DirectoryChunks {
    std::vector<std::uint8_t> bytes; // chunkCount chunks of kDirectoryChunkSize
    std::uint32_t chunkCount = 0;
    std::uint32_t lastListingChunk = 0; // listing chunks are 0 … lastListingChunk
    std::int32_t indexRoot = -1;        // -1 when one listing chunk holds everything
    std::uint32_t depth = 1;            // 1 + the number of index levels
};

// entries must be sorted with compareDirectoryNames and have no two equal
// names. Throws std::length_error for a name too long for a chunk.
DirectoryChunks buildDirectoryChunks(const std::vector<DirectoryEntry> &entries);

} // namespace quorlix::chm
