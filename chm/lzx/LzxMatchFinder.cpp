#include "chm/lzx/LzxMatchFinder.h"

#include "chm/lzx/LzxFormat.h"

#include <algorithm>
#include <cstring>

namespace quorlix::chm {

unsigned commonLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit)
{
    unsigned n = 0;
    while (n + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (const std::uint64_t diff = x ^ y)
            return n + static_cast<unsigned>(__builtin_ctzll(diff)) / 8; // little-endian loads
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

LzxMatchFinder::LzxMatchFinder(unsigned maxChain, unsigned niceLength)
    : maxChain_(maxChain), niceLength_(niceLength), head_(std::size_t{1} << kHashBits), chain_(lzx::kWindowSize)
{
}

void LzxMatchFinder::reset(const std::uint8_t* data, std::size_t size)
{
    data_ = data;
    size_ = std::min<std::size_t>(size, lzx::kWindowSize);
    std::fill(head_.begin(), head_.end(), -1);
}

LzxMatchFinder::Match LzxMatchFinder::find(std::size_t pos, unsigned maxLength) const
{
    Match best;
    if (maxLength < 3 || pos + 3 > size_)
        return best;
    const std::uint8_t* here = data_ + pos;
    const unsigned nice = std::min(niceLength_, maxLength);
    unsigned bestLength = 2;
    std::int32_t candidate = head_[hash(pos)];
    for (unsigned tries = maxChain_; candidate >= 0 && tries > 0; --tries) {
        const std::size_t distance = pos - static_cast<std::size_t>(candidate);
        if (distance > lzx::kMaxDistance)
            break;
        const std::uint8_t* there = data_ + candidate;
        // The byte that would make this candidate longer than the best is the cheapest test.
        if (there[bestLength] == here[bestLength] && there[0] == here[0] && there[1] == here[1]) {
            const unsigned length = commonLength(there, here, maxLength);
            if (length > bestLength) {
                bestLength = length;
                best.length = length;
                best.distance = static_cast<std::uint32_t>(distance);
                if (length >= nice)
                    break;
            }
        }
        candidate = chain_[static_cast<std::size_t>(candidate)];
    }
    return best;
}

} // namespace quorlix::chm
