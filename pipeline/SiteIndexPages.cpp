#include "pipeline/SiteIndexPages.h"

#include "pipeline/KeywordText.h"
#include "pipeline/Utf8Text.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace quorlix::pipeline {

namespace {

// A page is the site's own index when it holds at least this many links to
// anchors, and they are most of its links.
constexpr qsizetype kFewestLinksOfAnIndexPage = 10;
// An index's terms are shorter.
constexpr qsizetype kLongestTerm = 60;

// A table's link to a whole page, kept for the contents (a hub page's
// table of its pages, a navigation bar's "Next"), names no index entry.
bool isTableLinkToAPage(const html::Link &link)
{
    return link.depth == 0 && link.href().find('#') == std::string_view::npos;
}

// Every link of an item, a cell or a term, whether its anchor is in this page
// or in another: a page read before the downloader converted its links has
// its own anchors as "#name", which are only counted, and after as
// "page.html#name", which are kept. The table's links to whole pages are
// left out.
qsizetype itemLinks(const html::Page &page)
{
    const auto toPages = std::count_if(page.links.cbegin(), page.links.cend(), isTableLinkToAPage);
    return static_cast<qsizetype>(page.links.size() + page.ownAnchorLinks) - toPages;
}

bool isToAnotherPagesAnchor(const html::Link &link)
{
    const std::size_t hash = link.href().find('#');
    return hash != std::string::npos && hash > 0;
}

// A table cell's link to an anchor in its own page, as a one-page manual's
// index leads (a list's such links are the page's own outline).
bool isToOwnAnchorInATable(const html::Link &link)
{
    return link.href().starts_with('#') && link.depth == 0;
}

// Most pages are no index: a glance at their links tells. Those of an index
// are most of its links, to anchors in other pages, or in a one-page
// manual to its own.
} // namespace

bool MayBeSiteIndexPage(const html::Page &page)
{
    for (const auto entryLink : {isToAnotherPagesAnchor, isToOwnAnchorInATable}) {
        const auto entries = std::count_if(page.links.cbegin(), page.links.cend(), entryLink);
        if (entries >= kFewestLinksOfAnIndexPage && entries * 2 >= itemLinks(page))
            return true;
    }
    return false;
}

// The links of a page that is an index of the site, or none.
std::vector<std::pair<const html::Link *, LinkTarget>> SiteIndexLinks(const QString &file, const html::Page &page,
                                                                      const SavedPages &pages)
{
    std::vector<std::pair<const html::Link *, LinkTarget>> links;
    if (!MayBeSiteIndexPage(page))
        return links;
    qsizetype toAnchors = 0;
    for (const html::Link &link : page.links) {
        // The navigation bar's "modules", "next" name no term.
        if (isTableLinkToAPage(link) || link.navigation)
            continue;
        LinkTarget target = ResolvedLink(file, link.href());
        if (target.file.isEmpty() || !pages.contains(target.file)
            || (target.file == file && (target.fragment.isEmpty() || !isToOwnAnchorInATable(link))))
            continue;
        if (!target.fragment.isEmpty())
            ++toAnchors;
        links.emplace_back(&link, std::move(target));
    }
    if (toAnchors < kFewestLinksOfAnIndexPage || toAnchors * 2 < itemLinks(page))
        links.clear();
    return links;
}

QString WithoutTrailingPunctuation(QString text)
{
    while (!text.isEmpty()
           && (text.back() == QLatin1Char(':') || text.back() == QLatin1Char(',') || text.back().isSpace()))
        text.chop(1);
    return text;
}

// A keyword and what tells its place apart, from an index page's link:
// "name() : <a>Class</a>" (the term before the link), "<a>join() (in module
// os.path)</a>", "(str method)" below an entry it belongs to, or a link
// below a term that is no link.
QPair<QString, QString> SiteIndexEntry(const html::Link &link)
{
    // A further link of an entry ("[1]") is another place of the entry's first.
    const bool further = link.leadLinked;
    const std::string_view linkText = further ? link.lead() : link.text();
    const std::string_view lead = further ? std::string_view() : link.lead();
    // A sentence (a description, "More...") is no term.
    if (linkText.ends_with('.') && (lead.empty() || lead.ends_with('.')))
        return {};
    const QString text = FromUtf8(linkText);
    if (lead.ends_with('.'))
        return {};
    if (!lead.empty()) {
        // Running text cut at a link ("A new function was added to the
        // <a>os</a> module", a changelog's list) names no term.
        QString term = WithoutTrailingPunctuation(FromUtf8(lead));
        if (IsRunningText(term, true))
            return {};
        // A sub-term below its term ("bugs" › "reporting, <a>Title</a>")
        // is a place of the term, told apart by the sub-term.
        if (!link.outer().empty() && !link.outerLinked) {
            const QString outer = WithoutTrailingPunctuation(FromUtf8(link.outer()));
            if (outer.size() <= kLongestTerm && !outer.endsWith(QLatin1Char('.')) && !IsRunningText(outer, true))
                return {outer, term};
        }
        return {std::move(term), text};
    }
    if (text.startsWith(QLatin1Char('(')) && !link.outer().empty()) {
        const QPair<QString, QString> outer = SplitQualifier(FromUtf8(link.outer()));
        return {outer.first, SplitQualifier(QStringLiteral("x ") + text).second};
    }
    // "term" with its places in a list below it, named by their links; a
    // sentence with examples below it is no term.
    if (!link.outer().empty() && !link.outerLinked) {
        const QString outer = WithoutTrailingPunctuation(FromUtf8(link.outer()));
        if (outer.size() > kLongestTerm || outer.endsWith(QLatin1Char('.')))
            return {};
        return {outer, text};
    }
    return SplitQualifier(text);
}

} // namespace quorlix::pipeline
