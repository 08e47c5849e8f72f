#include "html/Link.h"

#include <cstring>

namespace quorlix::html {

Link::Link(std::string_view href, std::string_view text, std::string_view lead, std::string_view outer)
{
    const std::string_view parts[] = {href, text, lead, outer};
    std::size_t length = 0;
    for (int i = 0; i < 4; ++i) {
        length += parts[i].size();
        mEnds[i] = static_cast<std::uint32_t>(length);
    }
    if (length == 0)
        return;
    mChars = std::make_unique_for_overwrite<char[]>(length);
    char *out = mChars.get();
    for (const std::string_view part : parts) {
        std::memcpy(out, part.data(), part.size());
        out += part.size();
    }
}

Link::Link(const Link &other)
    : outerLinked(other.outerLinked), leadLinked(other.leadLinked), first(other.first), list(other.list),
      depth(other.depth)
{
    std::memcpy(mEnds, other.mEnds, sizeof mEnds);
    if (mEnds[3] > 0) {
        mChars = std::make_unique_for_overwrite<char[]>(mEnds[3]);
        std::memcpy(mChars.get(), other.mChars.get(), mEnds[3]);
    }
}

Link &Link::operator=(const Link &other)
{
    if (this != &other)
        *this = Link(other);
    return *this;
}

} // namespace quorlix::html
