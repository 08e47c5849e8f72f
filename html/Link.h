#pragma once

#include "html/PackedTexts.h"

#include <string_view>

namespace quorlix::html {

// A link in a list item, a table cell or a definition term, as tables of
// contents and index pages hold them.
class Link {
public:
    Link() = default;
    Link(std::string_view href, std::string_view text, std::string_view lead, std::string_view outer)
        : mTexts({href, text, lead, outer})
    {
    }

    std::string_view href() const { return mTexts[0]; } // as written
    std::string_view text() const { return mTexts[1]; }
    // The item's text before this link ("name() : " in "name() : <a>Class</a>"),
    // or the first link's text for the links after it; "" for the item's first link.
    std::string_view lead() const { return mTexts[2]; }
    // What the item this one is nested in starts with; "" when not nested.
    std::string_view outer() const { return mTexts[3]; }

    bool outerLinked = false; // outer is that item's first link, not text before it
    bool leadLinked = false;  // lead is the item's first link's text
    bool first = false;       // the item's first link
    bool navigation = false;  // inside a page's navigation, header, footer or sidebar (nav, header, footer, aside)
    int list = 0;             // which outermost list or table on the page holds it, counting from 1
    int depth = 0;            // how many lists (ul, ol) hold it

private:
    PackedTexts<4> mTexts;
};

// An h1-h4 heading. anchor is the id a link can point at (the heading's own,
// that of the section it heads, or of an anchor in or right before it); ""
// when there is none.
class Heading {
public:
    Heading() = default;
    Heading(int level, std::string_view text, std::string_view anchor) : level(level), mTexts({text, anchor}) {}

    std::string_view text() const { return mTexts[0]; }
    std::string_view anchor() const { return mTexts[1]; }

    int level = 0;
    bool navigation = false; // inside the page's navigation, header, footer or sidebar

private:
    PackedTexts<2> mTexts;
};

} // namespace quorlix::html
