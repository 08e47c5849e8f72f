#include "html/CollapsedText.h"

#include <utility>

namespace quorlix::html {

void CollapsedText::append(std::string_view utf8)
{
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            mBlank = !mText.empty();
            continue;
        }
        if (byte < 0x20 || byte == 0x7F)
            continue;
        if (mBlank) {
            mText += ' ';
            mBlank = false;
        }
        mText += c;
    }
}

std::string CollapsedText::take()
{
    mBlank = false;
    return std::exchange(mText, {});
}

} // namespace quorlix::html
