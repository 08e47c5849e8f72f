#pragma once

// Numbers of the LZX bit stream as compiled help files use it: a 64 KiB
// window, hence 32 position slots and a main alphabet of 256 literals plus
// 8 length headers for every slot.

#include <array>
#include <cstdint>

namespace quorlix::chm::lzx {

inline constexpr unsigned kWindowSize = 0x10000;
inline constexpr unsigned kPositionSlots = 32;
inline constexpr unsigned kLiterals = 256;
inline constexpr unsigned kMainSymbols = kLiterals + kPositionSlots * 8;  // 512
inline constexpr unsigned kLengthSymbols = 249;
inline constexpr unsigned kPretreeSymbols = 20;
inline constexpr unsigned kMaxCodeLength = 16;
inline constexpr unsigned kMaxPretreeCodeLength = 15; // stored in 4 bits
inline constexpr unsigned kMinMatch = 2;
inline constexpr unsigned kMaxMatch = 257;
inline constexpr unsigned kPrimaryLengths = 7; // length header 7 means "read the length tree"
// The largest distance a 64 KiB window can express: formatted offsets (distance + 2) stop at 65535.
inline constexpr unsigned kMaxDistance = kWindowSize - 3;

enum BlockType : unsigned { kVerbatimBlock = 1, kAlignedBlock = 2, kUncompressedBlock = 3 };

inline constexpr unsigned extraBits(unsigned slot)
{
    return slot < 4 ? 0 : slot / 2 - 1;
}

inline constexpr std::array<std::uint32_t, kPositionSlots> kPositionBase = [] {
    std::array<std::uint32_t, kPositionSlots> base{};
    for (unsigned slot = 1; slot < kPositionSlots; ++slot)
        base[slot] = base[slot - 1] + (1u << extraBits(slot - 1));
    return base;
}();

// Slot of a formatted offset (a distance plus 2); slots 0-2 stand for the repeated offsets.
inline unsigned positionSlot(std::uint32_t formattedOffset)
{
    if (formattedOffset < 4)
        return formattedOffset;
    const unsigned top = 31 - static_cast<unsigned>(__builtin_clz(formattedOffset));
    return 2 * top + ((formattedOffset >> (top - 1)) & 1u);
}

} // namespace quorlix::chm::lzx
