#pragma once

// Writes an LZX bit stream: bits go out most significant first, packed into
// 16-bit words that are stored little-endian, which is how LZX readers fetch
// them.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorlix::chm {

class LzxBitWriter {
public:
    explicit LzxBitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    // value must fit in count bits; count at most 32.
    void put(std::uint32_t value, unsigned count)
    {
        buffer_ = (buffer_ << count) | value;
        pending_ += count;
        while (pending_ >= 16) {
            pending_ -= 16;
            const auto word = static_cast<std::uint16_t>(buffer_ >> pending_);
            out_.push_back(static_cast<std::uint8_t>(word));
            out_.push_back(static_cast<std::uint8_t>(word >> 8));
        }
    }

    // Bits written since the last 16-bit boundary.
    unsigned pendingBits() const { return pending_; }

    // Zero bits up to the next 16-bit boundary (none when already there).
    void alignToWord()
    {
        if (pending_ != 0)
            put(0, 16 - pending_);
    }

    // Raw bytes; only valid at a 16-bit boundary.
    void putBytes(const std::uint8_t* data, std::size_t size) { out_.insert(out_.end(), data, data + size); }

    std::size_t byteSize() const { return out_.size(); }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t buffer_ = 0;
    unsigned pending_ = 0;
};

} // namespace quorlix::chm
