#pragma once

// The bit-packed integers of the search index's word location codes: each is
// written "scale 2, root r": a run of 1 bits, a 0 bit and then the low bits of
// the value, most significant first. A value below 2^r is 0 and r bits; one
// with b > r significant bits is (b - r) 1 bits, a 0 and its b - 1 low bits.

#include <array>
#include <cstdint>
#include <vector>

namespace quorlix::chm {

class ScaleRootEncoder {
public:
    // Appends to out; out must outlive the encoder.
    explicit ScaleRootEncoder(std::vector<std::uint8_t> &out) : out_(out) {}

    void put(std::uint32_t value, unsigned root);
    // Pads the last byte with 0 bits; readers start each document's entry on a byte.
    void alignToByte();

    // Bits value takes with this root.
    static unsigned bitsFor(std::uint32_t value, unsigned root);
    static unsigned significantBits(std::uint32_t value);

    // The root that packs values tightest, given how many values have each
    // number of significant bits (index 0..32).
    using BitLengthCounts = std::array<std::uint64_t, 33>;
    static unsigned bestRoot(const BitLengthCounts &counts);

private:
    void putBits(std::uint32_t bits, unsigned count);

    std::vector<std::uint8_t> &out_;
    unsigned used_ = 0; // bits used in the last byte of out_, 0 when it is full or absent
};

} // namespace quorlix::chm
