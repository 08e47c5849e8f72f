#pragma once

// The keywords of an index file (.hhk): the sitemap's entries, in file
// order, each with the places it leads to. A nested entry is a sub-keyword:
// its text carries its parents' ("Parent, Child"), as the binary index
// stores it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorlix::chm {

struct IndexKeyword {
    std::string text;                 // UTF-8
    std::uint16_t depth = 0;          // 0 for a top-level keyword
    std::uint32_t lastLevelAt = 0;    // UTF-16 offset of the last level's text; 0 at the top
    std::vector<std::string> places;  // each "Local" as written: "site/a.html#part"
};

// bytes: the index file as saved, in UTF-8 or the charset it declares.
std::vector<IndexKeyword> readIndexKeywords(std::string_view bytes);
// The same, already in UTF-8, always through the full HTML parser.
std::vector<IndexKeyword> parsedIndexKeywords(std::string_view utf8);

// A keyword named name, under parent (or at the top when null).
IndexKeyword makeIndexKeyword(const IndexKeyword *parent, std::string_view name);

// text in UTF-16 code units (little-endian order is the writer's business).
std::u16string utf16(std::string_view utf8);

} // namespace quorlix::chm
