#pragma once

// Rewrites the links of a saved page or style sheet so the mirror works
// offline: a link to a saved file becomes a relative link to it, any other
// http(s) link that was not already absolute becomes absolute. Links to
// names beyond ASCII are written as numeric character references
// ("caf&#233;.html") in pages, which every help viewer follows whatever the
// page's charset.

#include "html/EarlyReading.h"
#include "mirror/PageLinks.h"
#include "mirror/Url.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlix::mirror {

// The saved file (relative to the current folder) for an address, or
// nullptr when it was not saved.
using SavedFileLookup = std::function<const std::string *(const std::string &address)>;

using html::ConvertedHrefs;

// The content with its links converted; links counts the links rewritten.
std::string convertLinks(std::string_view content, bool isCss, const Url &address, const std::string &savedAs,
                         const SavedFileLookup &lookup, int *converted = nullptr);

// The same with the links already found (by findHtmlLinks or findCssLinks).
// hrefs, when given, is told what each rewritten attribute now holds.
std::string convertFoundLinks(std::string_view content, std::vector<PageLink> links, const Url &address,
                              const std::string &savedAs, const SavedFileLookup &lookup, int *converted = nullptr,
                              ConvertedHrefs *hrefs = nullptr);

// Calls visit with every address a conversion of these links looks up, in
// the page's order: each link resolved against the page's address, or the
// <base href> before it. (Where links overlap, the conversion may look up
// fewer.)
void forEachLinkTarget(const std::vector<PageLink> &links, const Url &address,
                       const std::function<void(const std::string &target)> &visit);

// The path from the folder of `from` to `to`, both relative to one folder.
std::string relativePath(const std::string &from, const std::string &to);

} // namespace quorlix::mirror
