#include "chm/container/DirectoryChunks.h"

#include "chm/container/ByteLayout.h"

#include <cstring>
#include <stdexcept>

namespace quorlix::chm {

namespace {

constexpr std::uint32_t kListingChunkHeaderSize = 0x14;
constexpr std::uint32_t kIndexChunkHeaderSize = 0x08;
constexpr std::uint32_t kEntriesPerQuickref = 1 + (1u << kQuickrefDensity);

// Bytes the end of a chunk needs for n entries: the entry count and one
// quickref slot per group of entries (the first group's is implied, but
// readers check room for it too).
std::uint32_t tailSize(std::uint32_t entryCount)
{
    return 2 + 2 * ((entryCount + kEntriesPerQuickref - 1) / kEntriesPerQuickref);
}

// Fills chunks of one kind (listing or index) from encoded entries.
class ChunkFiller {
public:
    ChunkFiller(bool listing, std::uint32_t firstNumber)
        : listing_(listing), headerSize_(listing ? kListingChunkHeaderSize : kIndexChunkHeaderSize),
          firstNumber_(firstNumber)
    {
    }

    // Returns true when the entry starts a new chunk.
    bool add(const std::vector<std::uint8_t> &entry)
    {
        if (entry.size() + headerSize_ + tailSize(1) > kDirectoryChunkSize)
            throw std::length_error("a name is too long for the help file's directory");
        bool started = false;
        if (chunks_.empty() || headerSize_ + used_ + entry.size() + tailSize(count_ + 1) > kDirectoryChunkSize) {
            if (!chunks_.empty())
                close();
            chunks_.emplace_back(kDirectoryChunkSize, 0);
            used_ = 0;
            count_ = 0;
            quickrefs_.clear();
            started = true;
        }
        if (count_ % kEntriesPerQuickref == 0)
            quickrefs_.push_back(static_cast<std::uint16_t>(used_));
        std::memcpy(chunks_.back().data() + headerSize_ + used_, entry.data(), entry.size());
        used_ += static_cast<std::uint32_t>(entry.size());
        ++count_;
        return started;
    }

    std::vector<std::vector<std::uint8_t>> finish()
    {
        if (!chunks_.empty())
            close();
        return std::move(chunks_);
    }

private:
    void close()
    {
        std::uint8_t *chunk = chunks_.back().data();
        const std::uint32_t number = firstNumber_ + static_cast<std::uint32_t>(chunks_.size() - 1);
        std::memcpy(chunk, listing_ ? "PMGL" : "PMGI", 4);
        putLe32(chunk + 4, kDirectoryChunkSize - headerSize_ - used_); // free space and quickrefs
        if (listing_) {
            putLe32(chunk + 8, 0);
            // Links to the neighbours; the last chunk's next link is fixed up
            // once all are known.
            putLe32(chunk + 0x0C, chunks_.size() == 1 ? 0xFFFFFFFFu : number - 1);
            putLe32(chunk + 0x10, number + 1);
        }
        putLe16(chunk + kDirectoryChunkSize - 2, static_cast<std::uint16_t>(count_));
        for (std::size_t m = 1; m < quickrefs_.size(); ++m)
            putLe16(chunk + kDirectoryChunkSize - 2 - 2 * m, quickrefs_[m]);
    }

    bool listing_;
    std::uint32_t headerSize_;
    std::uint32_t firstNumber_;
    std::vector<std::vector<std::uint8_t>> chunks_;
    std::uint32_t used_ = 0;
    std::uint32_t count_ = 0;
    std::vector<std::uint16_t> quickrefs_;
};

struct FirstName {
    std::string name;
    std::uint32_t chunk;
};

} // namespace

DirectoryChunks buildDirectoryChunks(const std::vector<DirectoryEntry> &entries)
{
    std::vector<std::vector<std::uint8_t>> chunks;
    std::vector<FirstName> level; // the first name of every chunk of the level below

    ChunkFiller listing(true, 0);
    std::vector<std::uint8_t> encoded;
    for (const DirectoryEntry &entry : entries) {
        encoded.clear();
        appendEncint(encoded, entry.name.size());
        appendBytes(encoded, entry.name);
        appendEncint(encoded, entry.section);
        appendEncint(encoded, entry.offset);
        appendEncint(encoded, entry.length);
        if (listing.add(encoded))
            level.push_back({entry.name, static_cast<std::uint32_t>(level.size())});
    }
    chunks = listing.finish();
    if (chunks.empty()) { // no entries at all: one empty listing chunk
        chunks.emplace_back(kDirectoryChunkSize, 0);
        std::uint8_t *chunk = chunks.back().data();
        std::memcpy(chunk, "PMGL", 4);
        putLe32(chunk + 4, kDirectoryChunkSize - kListingChunkHeaderSize);
        putLe32(chunk + 0x0C, 0xFFFFFFFFu);
    }
    DirectoryChunks result;
    result.lastListingChunk = static_cast<std::uint32_t>(chunks.size() - 1);
    putLe32(chunks.back().data() + 0x10, 0xFFFFFFFFu);

    // Index levels until one chunk covers the whole level below it.
    while (level.size() > 1) {
        ChunkFiller index(false, static_cast<std::uint32_t>(chunks.size()));
        std::vector<FirstName> above;
        const auto firstNumber = static_cast<std::uint32_t>(chunks.size());
        std::uint32_t made = 0;
        for (const FirstName &first : level) {
            encoded.clear();
            appendEncint(encoded, first.name.size());
            appendBytes(encoded, first.name);
            appendEncint(encoded, first.chunk);
            if (index.add(encoded))
                above.push_back({first.name, firstNumber + made++});
        }
        for (auto &chunk : index.finish())
            chunks.push_back(std::move(chunk));
        level = std::move(above);
        ++result.depth;
    }
    if (result.depth > 1)
        result.indexRoot = static_cast<std::int32_t>(chunks.size() - 1);

    result.chunkCount = static_cast<std::uint32_t>(chunks.size());
    result.bytes.reserve(chunks.size() * kDirectoryChunkSize);
    for (const auto &chunk : chunks)
        result.bytes.insert(result.bytes.end(), chunk.begin(), chunk.end());
    return result;
}

} // namespace quorlix::chm
