#pragma once

// A fast reading of an index file written as sitemap files are: nothing but
// lists of list items with their sitemap objects and parameters, quoted
// values, the few character references such files use. The full HTML parser
// takes about 0.1 s a megabyte, and a large site's index comes to
// megabytes. Anything else (another element, a reference it does not know,
// markup the HTML parser would rearrange) makes it give up, and the caller
// reads the file with the parser instead: where it answers, its answer is
// the parser's.

#include "chm/system/IndexKeywords.h"

#include <optional>
#include <string_view>
#include <vector>

namespace quorlix::chm {

// utf8: the index file already in UTF-8.
std::optional<std::vector<IndexKeyword>> readPlainIndexKeywords(std::string_view utf8);

} // namespace quorlix::chm
