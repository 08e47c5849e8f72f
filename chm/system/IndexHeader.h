#pragma once

// #IDXHDR: a 4096-byte header that Microsoft's viewer reads for the
// navigation pane: a signature, the number of topics, and #STRINGS offsets of
// the contents' image list, font, frame and window names and merged files.
// This compiler sets none of those, so they stay zero.

#include <cstdint>
#include <vector>

namespace quorlix::chm {

inline constexpr std::size_t kIndexHeaderSize = 4096;

std::vector<std::uint8_t> buildIndexHeader(std::uint32_t topicCount);

} // namespace quorlix::chm
