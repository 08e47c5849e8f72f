#include "chm/search/ScaleRootEncoder.h"

#include <bit>

namespace quorlix::chm {

unsigned ScaleRootEncoder::significantBits(std::uint32_t value)
{
    return static_cast<unsigned>(std::bit_width(value));
}

unsigned ScaleRootEncoder::bitsFor(std::uint32_t value, unsigned root)
{
    const unsigned bits = significantBits(value);
    if (bits <= root)
        return 1 + root;
    return 2 * bits - root; // (bits - root) ones, a zero, bits - 1 low bits
}

unsigned ScaleRootEncoder::bestRoot(const BitLengthCounts &counts)
{
    unsigned best = 0;
    std::uint64_t bestTotal = UINT64_MAX;
    // Readers keep values in 32 bits; roots past 16 never pay for themselves here.
    for (unsigned root = 0; root <= 16; ++root) {
        std::uint64_t total = 0;
        for (unsigned bits = 0; bits < counts.size(); ++bits)
            total += counts[bits] * (bits <= root ? 1 + root : 2 * bits - root);
        if (total < bestTotal) {
            bestTotal = total;
            best = root;
        }
    }
    return best;
}

void ScaleRootEncoder::put(std::uint32_t value, unsigned root)
{
    const unsigned bits = significantBits(value);
    if (bits <= root) {
        putBits(0, 1);
        putBits(value, root);
        return;
    }
    const unsigned ones = bits - root;
    for (unsigned i = 0; i < ones; i += 16) {
        const unsigned n = ones - i < 16 ? ones - i : 16;
        putBits((1u << n) - 1, n);
    }
    putBits(0, 1);
    putBits(value & ((1u << (bits - 1)) - 1), bits - 1); // bits - 1 <= 31
}

void ScaleRootEncoder::alignToByte()
{
    used_ = 0;
}

void ScaleRootEncoder::putBits(std::uint32_t bits, unsigned count)
{
    while (count > 0) {
        if (used_ == 0)
            out_.push_back(0);
        const unsigned room = 8 - used_;
        const unsigned take = count < room ? count : room;
        const std::uint32_t chunk = (bits >> (count - take)) & ((1u << take) - 1);
        out_.back() |= static_cast<std::uint8_t>(chunk << (room - take));
        count -= take;
        used_ = (used_ + take) % 8;
    }
}

} // namespace quorlix::chm
