#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace quorlix::html {

// A few texts of one thing held in one piece of memory of exactly their
// length: a large site's pages hold hundreds of thousands of links and
// headings until its contents and index are written, and a std::string each
// would cost 32 bytes and often an allocation of its own.
template <int Count>
class PackedTexts {
public:
    PackedTexts() = default;
    explicit PackedTexts(const std::string_view (&texts)[Count])
    {
        std::size_t length = 0;
        for (int i = 0; i < Count; ++i) {
            length += texts[i].size();
            mEnds[i] = static_cast<std::uint32_t>(length);
        }
        if (length == 0)
            return;
        mChars = std::make_unique_for_overwrite<char[]>(length);
        char *out = mChars.get();
        for (const std::string_view text : texts) {
            if (text.empty())
                continue; // an empty view may hold no pointer at all, which memcpy may not take
            std::memcpy(out, text.data(), text.size());
            out += text.size();
        }
    }
    PackedTexts(const PackedTexts &other) { *this = other; }
    PackedTexts &operator=(const PackedTexts &other)
    {
        if (this == &other)
            return *this;
        std::unique_ptr<char[]> chars;
        if (other.length() > 0) {
            chars = std::make_unique_for_overwrite<char[]>(other.length());
            std::memcpy(chars.get(), other.mChars.get(), other.length());
        }
        mChars = std::move(chars);
        std::memcpy(mEnds, other.mEnds, sizeof mEnds);
        return *this;
    }
    // Moved from, it holds empty texts rather than ends into no memory.
    PackedTexts(PackedTexts &&other) noexcept { *this = std::move(other); }
    PackedTexts &operator=(PackedTexts &&other) noexcept
    {
        if (this != &other) {
            mChars = std::move(other.mChars);
            std::memcpy(mEnds, other.mEnds, sizeof mEnds);
            std::memset(other.mEnds, 0, sizeof other.mEnds);
        }
        return *this;
    }

    std::string_view operator[](int index) const
    {
        const std::uint32_t begin = index == 0 ? 0 : mEnds[index - 1];
        return {mChars.get() + begin, mEnds[index] - begin};
    }

private:
    std::uint32_t length() const { return mEnds[Count - 1]; }

    std::unique_ptr<char[]> mChars;
    // Where each text ends in mChars. A page is read up to 64 MB, so no
    // text of it comes near 4 GB.
    std::uint32_t mEnds[Count] = {};
};

} // namespace quorlix::html
