// Little helpers for the byte layouts of a compiled help file: ENCINTs
// (7 bits a byte, most significant group first, high bit set on all but the
// last byte) and little-endian integers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quorlix::chm {

inline std::size_t encintSize(std::uint64_t value)
{
    std::size_t size = 1;
    while (value >>= 7)
        ++size;
    return size;
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

} // namespace quorlix::chm
