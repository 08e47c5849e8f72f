#pragma once

// Reading UTF-8 from a server's bytes, which may be anything.

#include <cstddef>
#include <string_view>

namespace quorlix::mirror {

// The length of the well-formed UTF-8 character at text[at] (2 to 4), with
// its value in code; 0 for ASCII and for bytes that are not one (a stray
// continuation byte, an overlong form, a surrogate, a cut sequence).
std::size_t utf8CharLength(std::string_view text, std::size_t at, char32_t &code);

// A character beyond ASCII that is no text to show: a C1 control, or the
// line or paragraph separator, which text views take as a line end.
inline bool isControlBeyondAscii(char32_t code)
{
    return (code >= 0x80 && code < 0xa0) || code == 0x2028 || code == 0x2029;
}

} // namespace quorlix::mirror
