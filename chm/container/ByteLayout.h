// The byte layouts of a compiled help file's tables, written one way
// everywhere: little-endian integers, appended or put in place; ENCINTs
// (7 bits a byte, most significant group first, high bit on all but the
// last byte); and the search index's counts (7 bits a byte, least
// significant group first, high bit on all but the last byte).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quorlix::chm {

inline void appendLe16(std::vector<std::uint8_t> &out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void appendLe32(std::vector<std::uint8_t> &out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void appendLe64(std::vector<std::uint8_t> &out, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void appendBytes(std::vector<std::uint8_t> &out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// The text and a terminating zero byte.
inline void appendTerminated(std::vector<std::uint8_t> &out, std::string_view text)
{
    appendBytes(out, text);
    out.push_back(0);
}

inline void putLe16(std::uint8_t *at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void putLe32(std::uint8_t *at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void appendEncint(std::vector<std::uint8_t> &out, std::uint64_t value)
{
    std::uint8_t bytes[10];
    std::size_t count = 0;
    do {
        bytes[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value);
    while (count > 1)
        out.push_back(bytes[--count] | 0x80);
    out.push_back(bytes[0]);
}

inline void appendCount(std::vector<std::uint8_t> &out, std::uint32_t value)
{
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

// A count as appendCount writes it, from bytes[at] on, at moved past it;
// false when the bytes end first or it passes 32 bits.
inline bool takeCount(std::span<const std::uint8_t> bytes, std::size_t &at, std::uint32_t &value)
{
    value = 0;
    for (int shift = 0; shift < 35 && at < bytes.size(); shift += 7) {
        const std::uint8_t byte = bytes[at++];
        if (shift == 28 && byte > 0x0F)
            return false;
        value |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

} // namespace quorlix::chm
