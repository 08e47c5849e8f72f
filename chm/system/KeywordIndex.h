#pragma once

// The binary keyword index that Windows' viewer reads in place of the index
// file: $WWKeywordLinks/BTree (the keywords in 2048-byte blocks, sorted,
// each with the topic numbers it leads to, and index blocks above them),
// Data, Map (the first keyword of each listing block) and Property.

#include <cstdint>
#include <string>
#include <vector>

namespace quorlix::chm {

struct BinaryKeyword {
    std::u16string text;  // with its parents' for a sub-keyword: "Parent, Child"
    std::uint16_t depth = 0;
    std::uint32_t lastLevelAt = 0;
    std::vector<std::uint32_t> topics; // #TOPICS numbers
};

struct KeywordIndexFiles {
    std::vector<std::uint8_t> tree, data, map, property;
};

inline constexpr std::size_t kKeywordBlockSize = 2048;

// keywords in any order; they are stored sorted without regard to case.
// codePage and languageId are the help file's.
KeywordIndexFiles buildKeywordIndex(std::vector<BinaryKeyword> keywords, std::uint32_t codePage,
                                    std::uint32_t languageId);

} // namespace quorlix::chm
