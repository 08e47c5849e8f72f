#pragma once

// The anchor a link reaches a heading or a definition term by, wherever the
// page's generator put it: the element's own id, the section it opens, an
// id inside it or an empty anchor right before it.

#include <gumbo.h>

#include <string>

namespace quorlix::html {

// "" when there is none.
std::string anchorOfHeading(const GumboNode *heading);
std::string anchorOfTerm(const GumboNode *term);

} // namespace quorlix::html
