#pragma once

// The distinct words of a search index, each with a number from 0 in the
// order first seen. Words are kept back to back in one buffer and found by
// open addressing: a site's hundred thousand words cost a few megabytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorlix::chm {

class WordTable {
public:
    // The word's number, adding it when it is new.
    std::uint32_t idOf(std::string_view word);

    std::string_view word(std::uint32_t id) const { return {bytes_.data() + words_[id].offset, words_[id].size}; }
    std::size_t size() const { return words_.size(); }

private:
    struct Entry {
        std::uint32_t offset;
        std::uint32_t hash;
        std::uint32_t size;
    };

    void grow();

    std::string bytes_;
    std::vector<Entry> words_;
    std::vector<std::uint32_t> slots_; // word number + 1; 0 for an empty slot
};

} // namespace quorlix::chm
