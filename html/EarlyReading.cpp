#include "html/EarlyReading.h"

#include "html/Charset.h"
#include "html/HeadingAnchors.h"

#include <algorithm>

namespace quorlix::html {

std::optional<std::string> ConvertedHrefs::after(std::uint64_t offset, std::string_view before) const
{
    const auto found = std::lower_bound(byOffset.begin(), byOffset.end(), offset,
                                        [](const auto &entry, std::uint64_t at) { return entry.first < at; });
    if (found == byOffset.end() || found->first != offset)
        return std::string(before);
    return found->second;
}

std::optional<Page> convertedReading(EarlyReading early, std::string_view converted, const ConvertedHrefs &hrefs)
{
    Page &page = early.page;
    // The converted page must be read from the same text: no charset
    // declared anew (a longer link may push a <meta charset> past the
    // bytes a browser looks at), still UTF-8 as it is.
    if (hrefs.markupMayChange || !readsAsUtf8AsIs(converted) || declaredCharset(converted) != page.charset
        || early.linkFacts.size() != page.links.size())
        return std::nullopt;
    page.size = converted.size();
    for (const SelfLinkFacts &self : early.selfLinks) {
        const std::optional<std::string> href = hrefs.after(self.hrefAt, self.href);
        // Whether it points back at its heading was weighed on the anchor
        // it leads to: the same anchor, the same answer.
        if (!href || ownPageFragment(*href) != ownPageFragment(self.href))
            return std::nullopt;
    }
    std::vector<Link> candidates = std::move(page.links);
    page.links.clear();
    page.links.reserve(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Link &candidate = candidates[i];
        const LinkFacts &facts = early.linkFacts[i];
        const std::optional<std::string> href = hrefs.after(facts.hrefAt, candidate.href());
        if (!href)
            return std::nullopt;
        // As PageWalk keeps links once they are converted.
        const std::size_t hash = href->find('#');
        const bool cell = facts.tableCell || (facts.linkLedCell && hash != 0);
        const bool keep = (hash != std::string::npos && hash > 0) || (candidate.first && (candidate.depth > 0 || cell));
        if (keep && page.links.size() >= kMostLinks)
            page.linksCut = true;
        if (keep && !page.linksCut) {
            Link &link = page.links.emplace_back(*href, candidate.text(), candidate.lead(), candidate.outer());
            link.outerLinked = candidate.outerLinked;
            link.leadLinked = candidate.leadLinked;
            link.first = candidate.first;
            link.navigation = candidate.navigation;
            link.list = candidate.list;
            link.depth = candidate.depth;
        } else if (hash == 0) {
            ++page.ownAnchorLinks;
        }
    }
    page.links.shrink_to_fit();
    return std::move(page);
}

} // namespace quorlix::html
