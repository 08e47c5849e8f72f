#pragma once

// A page's words as the search index takes them, split once: while a site
// downloads (kept in the prepared content) or when the compile reads the
// page, and turned into the index by FullTextIndexBuilder either way.

#include "chm/search/WordTable.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quorlix::chm {

struct PageWords {
    // Words beyond this many in one page are not indexed: a page that size
    // is data, not text, and its hits would only bloat the index.
    static constexpr std::uint32_t kMostWords = 1u << 20;

    // The title's words take the first positions, the text's follow from
    // this one on.
    std::uint32_t titleWords = 0;
    // In order of position: the word's number in its table in the high
    // half, its position in the low half.
    std::vector<std::uint64_t> hits;

    static std::uint32_t wordOf(std::uint64_t hit) { return static_cast<std::uint32_t>(hit >> 32); }
    static std::uint32_t positionOf(std::uint64_t hit) { return static_cast<std::uint32_t>(hit); }

    // The words of title and text (UTF-8), numbered in table, which gains
    // the new ones.
    void split(std::string_view title, std::string_view text, WordTable &table);

    // As bytes, and back: nothing when they are not a page's words with
    // numbers below wordCount.
    void appendTo(std::vector<std::uint8_t> &out) const;
    static std::optional<PageWords> from(std::span<const std::uint8_t> bytes, std::size_t wordCount);
};

} // namespace quorlix::chm
