#include "html/CollapsedText.h"

#include <cstdint>
#include <utility>

namespace quorlix::html {

namespace {

// The length of the well-formed UTF-8 sequence at the start of text, 0 when
// there is none.
std::size_t sequenceLength(std::string_view text)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    std::size_t length;
    std::uint32_t code;
    std::uint32_t least;
    if (p[0] >= 0xC2 && p[0] <= 0xDF)
        length = 2, code = p[0] & 0x1F, least = 0x80;
    else if ((p[0] & 0xF0) == 0xE0)
        length = 3, code = p[0] & 0x0F, least = 0x800;
    else if (p[0] >= 0xF0 && p[0] <= 0xF4)
        length = 4, code = p[0] & 0x07, least = 0x10000;
    else
        return 0;
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    return code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? 0 : length;
}

} // namespace

// The text comes from gumbo, which is given UTF-8 but has been seen to give
// back a stray byte for an out-of-range character reference: every byte
// that is not part of a well-formed sequence becomes U+FFFD.
void CollapsedText::append(std::string_view utf8)
{
    while (!utf8.empty()) {
        const char c = utf8.front();
        const auto byte = static_cast<unsigned char>(c);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            mBlank = !mText.empty();
            utf8.remove_prefix(1);
            continue;
        }
        if (utf8.starts_with("\xC2\xA0")) {
            mBlank = !mText.empty();
            utf8.remove_prefix(2);
            continue;
        }
        if (byte < 0x20 || byte == 0x7F) {
            utf8.remove_prefix(1);
            continue;
        }
        if (mBlank) {
            mText += ' ';
            mBlank = false;
        }
        if (byte < 0x80) {
            mText += c;
            utf8.remove_prefix(1);
        } else if (const std::size_t length = sequenceLength(utf8)) {
            mText.append(utf8.substr(0, length));
            utf8.remove_prefix(length);
        } else {
            mText += "\xEF\xBF\xBD";
            utf8.remove_prefix(1);
        }
    }
}

std::string CollapsedText::take()
{
    mBlank = false;
    return std::exchange(mText, {});
}

} // namespace quorlix::html
