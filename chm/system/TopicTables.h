#pragma once

// #TOPICS, #URLTBL and #URLSTR: one topic per page, which the search index
// and viewers use to go from a topic number to the page's title and name.
//
//   #TOPICS  16 bytes per topic: #TOCIDX offset, #STRINGS offset of the title
//            (0xffffffff: none), #URLTBL offset, a word of flags, a zero word.
//   #URLTBL  12 bytes per topic: the key of its name (urlHash), the topic
//            number, the #URLSTR offset; sorted by key, 341 entries to a
//            4096-byte block, whose last 4 bytes hold 4096.
//   #URLSTR  a zero byte, then per topic: two zero dwords (remote URL and
//            frame name, which local pages lack) and the page's name.

#include <cstdint>
#include <string>
#include <vector>

namespace quorlix::chm {

class StringsFile;

struct TopicRow {
    std::string url;         // stored name without the leading slash: "site/a.html"
    std::string title;       // in the help file's code page; empty when there is none
    bool inContents = true;  // false for the contents and index files themselves
};

struct TopicTables {
    std::vector<std::uint8_t> topics;     // #TOPICS
    std::vector<std::uint8_t> urlTable;   // #URLTBL
    std::vector<std::uint8_t> urlStrings; // #URLSTR
};

inline constexpr std::size_t kTopicEntrySize = 16;
inline constexpr std::size_t kUrlTableEntrySize = 12;
inline constexpr std::size_t kUrlTableBlockSize = 4096;
inline constexpr std::size_t kUrlTableBlockEntries = kUrlTableBlockSize / kUrlTableEntrySize; // 341

// Titles go into strings; rows keep their order as topic numbers.
TopicTables buildTopicTables(const std::vector<TopicRow> &rows, StringsFile &strings);

} // namespace quorlix::chm
