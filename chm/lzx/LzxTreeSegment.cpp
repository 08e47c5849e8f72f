#include "chm/lzx/LzxTreeSegment.h"

#include "chm/lzx/LzxBitWriter.h"
#include "chm/lzx/LzxFormat.h"
#include "chm/lzx/LzxHuffman.h"

#include <algorithm>
#include <cassert>

namespace quorlix::chm {

LzxTreeSegment::LzxTreeSegment(std::span<const std::uint8_t> lengths, std::span<const std::uint8_t> previous)
{
    assert(lengths.size() == previous.size());
    const std::size_t count = lengths.size();
    auto change = [&](std::size_t x, std::uint8_t value) {
        return static_cast<std::uint8_t>((previous[x] + 17 - value) % 17);
    };
    for (std::size_t x = 0; x < count;) {
        const std::uint8_t value = lengths[x];
        std::size_t run = 1;
        while (x + run < count && lengths[x + run] == value)
            ++run;
        if (value == 0 && run >= 4) {
            while (run >= 4) {
                std::size_t n;
                if (run >= 20) {
                    n = std::min<std::size_t>(run, 51);
                    items_.push_back({18, 5, static_cast<std::uint8_t>(n - 20)});
                } else {
                    n = std::min<std::size_t>(run, 19);
                    items_.push_back({17, 4, static_cast<std::uint8_t>(n - 4)});
                }
                x += n;
                run -= n;
            }
        } else if (run >= 4) {
            // Every length of the run becomes value; the change is taken against the first one's old length.
            const std::size_t n = std::min<std::size_t>(run, 5);
            items_.push_back({19, 1, static_cast<std::uint8_t>(n - 4)});
            items_.push_back({change(x, value), 0, 0});
            x += n;
        } else {
            items_.push_back({change(x, value), 0, 0});
            ++x;
        }
    }

    std::array<std::uint32_t, 20> frequencies{};
    for (const Item& item : items_)
        ++frequencies[item.symbol];
    buildHuffmanLengths(frequencies, lzx::kMaxPretreeCodeLength, pretreeLengths_);
    buildHuffmanCodes(pretreeLengths_, pretreeCodes_);
    bits_ = 20 * 4;
    for (const Item& item : items_)
        bits_ += pretreeLengths_[item.symbol] + item.extraBits;
}

void LzxTreeSegment::write(LzxBitWriter& out) const
{
    for (const auto length : pretreeLengths_)
        out.put(length, 4);
    for (const Item& item : items_) {
        out.put(pretreeCodes_[item.symbol], pretreeLengths_[item.symbol]);
        if (item.extraBits != 0)
            out.put(item.extra, item.extraBits);
    }
}

} // namespace quorlix::chm
