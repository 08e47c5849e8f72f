#pragma once

// #STRINGS: the zero-terminated strings that other tables (#TOPICS, #IDXHDR)
// point at by offset. Offset 0 is the empty string.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorlix::chm {

class StringsFile {
public:
    // Readers fetch #STRINGS in 4096-byte blocks and read a string from within
    // one block, so no string may cross a block's end.
    static constexpr std::size_t kBlockSize = 4096;

    StringsFile();

    // The offset of text (already in the help file's code page), added once;
    // the same text always gives the same offset. Text longer than a block
    // allows is cut; a zero byte ends it early.
    std::uint32_t add(std::string_view text);

    const std::vector<std::uint8_t> &bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::unordered_map<std::string, std::uint32_t> offsets_;
};

} // namespace quorlix::chm
