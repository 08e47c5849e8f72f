#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace quorlix::html {

// A link in a list item, a table cell or a definition term, as tables of
// contents and index pages hold them. A large site's pages hold hundreds of
// thousands of them until its contents and index are written, so the four
// texts share one piece of memory of exactly their length.
class Link {
public:
    Link() = default;
    Link(std::string_view href, std::string_view text, std::string_view lead, std::string_view outer);
    Link(const Link &other);
    Link &operator=(const Link &other);
    Link(Link &&) noexcept = default;
    Link &operator=(Link &&) noexcept = default;

    std::string_view href() const { return part(0); } // as written
    std::string_view text() const { return part(1); }
    // The item's text before this link ("name() : " in "name() : <a>Class</a>"),
    // or the first link's text for the links after it; "" for the item's first link.
    std::string_view lead() const { return part(2); }
    // What the item this one is nested in starts with; "" when not nested.
    std::string_view outer() const { return part(3); }

    bool outerLinked = false; // outer is that item's first link, not text before it
    bool leadLinked = false;  // lead is the item's first link's text
    bool first = false;       // the item's first link
    int list = 0;             // which outermost list or table on the page holds it, counting from 1
    int depth = 0;            // how many lists (ul, ol) hold it

private:
    std::string_view part(int index) const
    {
        const std::uint32_t begin = index == 0 ? 0 : mEnds[index - 1];
        return {mChars.get() + begin, mEnds[index] - begin};
    }

    std::unique_ptr<char[]> mChars;
    // Where each text ends in mChars. A page is read up to 64 MB, so no
    // text of it comes near 4 GB.
    std::uint32_t mEnds[4] = {};
};

} // namespace quorlix::html
