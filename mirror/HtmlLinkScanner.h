#pragma once

// A large page's links read from its tags alone, without gumbo's tree: the
// tree of an 8 MB page takes half a second and a hundred megabytes to build,
// which the crawl would wait for; its tags are read in a few hundredths.
// The scanner follows the HTML tokenizer (comments, raw text and its end,
// attribute quoting, the first of two attributes of one name) and finds what
// the parse finds in every page a documentation generator writes. Where a
// page holds what only the parse reads right (a character reference beyond
// the few it knows, script that hides an end tag in a comment, CDATA, an
// <image> tag), it gives nothing and the page is parsed.

#include "mirror/PageLinks.h"

#include <atomic>
#include <cstddef>
#include <optional>
#include <string_view>

namespace quorlix::mirror {

// From this size on a page's links are read from its tags: a parse of it
// takes long enough for the crawl, or the conversion at its end, to notice.
inline constexpr std::size_t kScannedFrom = 1024 * 1024;

// Nothing also when stop was set.
std::optional<PageLinks> scanHtmlLinks(std::string_view page, const std::atomic<bool> *stop = nullptr);

} // namespace quorlix::mirror
