#pragma once

// The anchor a link reaches a heading or a definition term by, wherever the
// page's generator put it: the element's own id, the section it opens, an
// id inside it or an empty anchor right before it.

#include <gumbo.h>

#include <string>
#include <string_view>

namespace quorlix::html {

// "" when there is none.
std::string anchorOfHeading(const GumboNode *heading);
std::string anchorOfTerm(const GumboNode *term);

// The link a heading or a term ends with that leads to the element itself
// (its own anchor, one inside it, or that of the section it heads): a
// permalink sign ("#", "¶"), whatever it shows and however it is classed.
// nullptr when there is none, or when the link is all the element shows.
const GumboNode *trailingSelfLink(const GumboNode *element);

// What trailingSelfLink weighs: the link the element ends with (through
// inline wrappers; nullptr for none), and the anchor an href leads to in
// its own page ("#name", or "page.html#name" as the downloader writes it
// once it converts the links; "" for none).
const GumboNode *endingLink(const GumboNode *element);
std::string_view ownPageFragment(std::string_view href);

} // namespace quorlix::html
