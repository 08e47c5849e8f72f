#pragma once

// LZX compression as compiled help files use it: a 64 KiB window, frames of
// 32 KiB of uncompressed data, and a fresh encoder state at every 64 KiB
// reset interval, so intervals compress independently (see
// LzxSectionCompressor for the whole stream).
//
// Each interval starts with the one-bit "no Intel E8 translation" header.
// Its two frames share one verbatim block when that is smaller; otherwise
// each frame is a block of its own, verbatim or uncompressed (data that does
// not shrink). Blocks end with the interval, no match reaches across a
// frame's end, and the bit stream is padded to a 16-bit boundary at the end
// of every frame, where readers realign. No frame's compressed form exceeds
// 32768 + 6144 bytes (chmlib's limit).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quorlix::chm {

inline constexpr std::size_t kLzxFrameSize = 0x8000;       // uncompressed bytes per frame
inline constexpr std::size_t kLzxResetInterval = 0x10000;  // uncompressed bytes between resets

// One reset interval compressed from a fresh state.
struct LzxInterval {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> frameStarts; // offset in bytes where each 32 KiB frame begins (first is 0)
};

// input: at most kLzxResetInterval bytes. Every frame but the last of the
// input is a whole frame; readers of help files expect whole frames
// everywhere, which LzxSectionCompressor provides by padding the stream's end.
// An empty input gives no bytes and no frames.
LzxInterval compressLzxInterval(std::span<const std::uint8_t> input);

} // namespace quorlix::chm
