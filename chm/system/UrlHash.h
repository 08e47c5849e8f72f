// The key of an address in #URLTBL: Microsoft's compiler gives every entry
// this hash of its address and sorts the table by it, and Windows' viewer
// finds a page by searching for it. #SYSTEM names the index file by it too.
//
// Each byte of the address, read as a signed char, counts a value: '/' and
// '\' (one path separator to Windows) 0x2c; a byte above 'Z' 0x20 less than
// itself, so that lower-case letters count as upper-case ones; then '0' is
// subtracted. The hash is multiplied by 43 and the value added, modulo 2^32,
// byte by byte; a hash of 0 becomes 1.
#pragma once

#include <cstdint>
#include <string_view>

namespace quorlix::chm {

// url as #URLSTR stores it: from the help file's root without the leading
// slash ("site/index.html", "output.hhk").
constexpr std::uint32_t urlHash(std::string_view url)
{
    constexpr std::uint32_t kMultiplier = 43;
    constexpr int kSeparatorValue = 0x2c;
    constexpr int kCaseShift = 'a' - 'A';
    std::uint32_t hash = 0;
    for (const char c : url) {
        int byte = static_cast<signed char>(c);
        if (byte == '/' || byte == '\\')
            byte = kSeparatorValue + '0';
        else if (byte > 'Z')
            byte -= kCaseShift;
        hash = hash * kMultiplier + static_cast<std::uint32_t>(byte - '0');
    }
    return hash == 0 ? 1 : hash;
}

} // namespace quorlix::chm
