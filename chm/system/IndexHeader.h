#pragma once

// #IDXHDR: a 4096-byte header that Microsoft's viewer reads for the
// navigation pane: a signature, the number of topics, #STRINGS offsets of
// the contents' image list, font, frame and window names (-1: none), and the
// pane's window styles. #SYSTEM carries a copy.

#include <cstdint>
#include <vector>

namespace quorlix::chm {

inline constexpr std::size_t kIdxHdrFileSize = 4096;

std::vector<std::uint8_t> buildIndexHeader(std::uint32_t topicCount);

} // namespace quorlix::chm
