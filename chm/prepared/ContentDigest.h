// What identifies a file's bytes between the compile prepared during a
// download and the compile itself: SHA-256, so that a page whose bytes
// changed after it was prepared is never taken for the prepared one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quorlix::chm {

using ContentDigest = std::array<std::uint8_t, 32>;

ContentDigest digestOf(std::string_view bytes);
// The digest of what is left to read from fd; nothing on a read error.
std::optional<ContentDigest> digestOfFile(int fd);

} // namespace quorlix::chm
