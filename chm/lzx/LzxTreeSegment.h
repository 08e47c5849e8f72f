#pragma once

// The code lengths of one stretch of a Huffman tree as an LZX block header
// stores them: as changes against the lengths of the previous block (all
// zero after a reset), coded with a 20-symbol pretree whose own lengths
// come first in 4 bits each. Pretree symbols 0-16 change one length,
// 17 and 18 set runs of zeros, 19 sets a run of 4 or 5 equal lengths.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quorlix::chm {

class LzxBitWriter;

class LzxTreeSegment {
public:
    LzxTreeSegment(std::span<const std::uint8_t> lengths, std::span<const std::uint8_t> previous);

    std::size_t bitSize() const { return bits_; }
    void write(LzxBitWriter& out) const;

private:
    struct Item {
        std::uint8_t symbol;
        std::uint8_t extraBits;
        std::uint8_t extra;
    };
    std::vector<Item> items_;
    std::array<std::uint8_t, 20> pretreeLengths_{};
    std::array<std::uint16_t, 20> pretreeCodes_{};
    std::size_t bits_ = 0;
};

} // namespace quorlix::chm
