#pragma once

// Finds earlier occurrences of the bytes at a position within one reset
// interval: hash chains over 3-byte prefixes, searched to a bounded depth.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorlix::chm {

class LzxMatchFinder {
public:
    struct Match {
        unsigned length = 0; // 0: nothing of at least 3 bytes
        std::uint32_t distance = 0;
    };

    // maxChain bounds the candidates tried per position; the search stops
    // early at a match of niceLength bytes.
    LzxMatchFinder(unsigned maxChain, unsigned niceLength);

    // Starts a new interval; data must outlive the finder's use of it.
    void reset(const std::uint8_t* data, std::size_t size);

    // Longest match for position pos among the positions inserted so far,
    // at most maxLength bytes (which must not pass the end of the data).
    Match find(std::size_t pos, unsigned maxLength) const;

    // Makes pos a candidate for later positions.
    void insert(std::size_t pos)
    {
        if (pos + 3 > size_)
            return;
        const std::uint32_t h = hash(pos);
        chain_[pos] = head_[h];
        head_[h] = static_cast<std::int32_t>(pos);
    }

private:
    static constexpr unsigned kHashBits = 15;

    std::uint32_t hash(std::size_t pos) const
    {
        const std::uint32_t v = std::uint32_t{data_[pos]} << 16 | std::uint32_t{data_[pos + 1]} << 8 | data_[pos + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    unsigned maxChain_;
    unsigned niceLength_;
    std::vector<std::int32_t> head_;
    std::vector<std::int32_t> chain_;
};

// Number of equal bytes at a and b, at most limit.
unsigned commonLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit);

} // namespace quorlix::chm
