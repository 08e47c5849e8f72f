#pragma once

// What an element's tag and attributes say about the page's links, the
// same whichever reader found the element: gumbo's tree of the page, or
// the scanner that reads a large page's tags without building one.

#include "mirror/PageLinks.h"

#include <gumbo.h>

#include <cstddef>
#include <span>
#include <string_view>

namespace quorlix::mirror {

struct TagAttribute {
    std::string_view name;     // in lower case
    std::string_view value;    // character references decoded
    std::string_view original; // as written, quotes and all: it may not lie in the page (made up)
};

class LinkCollector {
public:
    explicit LinkCollector(std::string_view page) : mPage(page) {}

    PageLinks result;

    // An element's start tag: each attribute name once, the first kept.
    void element(GumboTag tag, std::span<const TagAttribute> attributes);
    // The text inside a <style> element, as written.
    void styleText(std::string_view original);

    // Whether the value of attribute, with its character references
    // decoded, is read from such an element (style and srcset are read as
    // written), and whether any is: what a reader that decodes values
    // itself has to decode.
    static bool readsValue(GumboTag tag, std::string_view attribute);
    static bool readsValues(GumboTag tag);

private:
    // Where bytes lie in the page, if they do.
    bool within(std::string_view bytes, std::size_t &offset) const;
    // The raw value of an attribute without its quotes, and where it starts.
    bool rawValue(const TagAttribute &attribute, std::size_t &offset, std::size_t &length) const;
    PageLink *add(const TagAttribute &attribute);
    void styleAttribute(const TagAttribute &attribute);
    void sourceSet(const TagAttribute &attribute);
    void meta(std::span<const TagAttribute> attributes);

    std::string_view mPage;
};

} // namespace quorlix::mirror
