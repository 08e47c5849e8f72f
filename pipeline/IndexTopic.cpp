#include "pipeline/IndexTopic.h"

#include "pipeline/SiteIndexPages.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace quorlix::pipeline {

namespace {

// "Index", "… Index", or "Index" and a separator before what part of it
// the page holds ("Index – A", "Index: Symbols"); not "Index of /pub",
// a server's folder listing.
bool namedAsAnIndex(const QString &name)
{
    const QString index = QStringLiteral("index");
    if (name.compare(index, Qt::CaseInsensitive) == 0 || name.endsWith(QLatin1Char(' ') + index, Qt::CaseInsensitive))
        return true;
    if (!name.startsWith(index, Qt::CaseInsensitive))
        return false;
    for (qsizetype i = index.size(); i < name.size(); ++i) {
        if (name[i].isSpace())
            continue;
        return name[i] == QLatin1Char(':') || name[i].category() == QChar::Punctuation_Dash;
    }
    return false;
}

// An index of terms leads from page to page as its terms come, where a
// table of contents or a class's list of inherited members keeps one
// page's anchors together.
bool leadsFromPageToPage(const html::Page &page)
{
    constexpr std::size_t kFewestPages = 3;
    std::size_t toAnchors = 0, changes = 0;
    std::string_view last;
    std::vector<std::string_view> seen;
    for (const html::Link &link : page.links) {
        const std::string_view href = link.href();
        const std::size_t hash = href.find('#');
        if (hash == std::string_view::npos || hash == 0)
            continue;
        const std::string_view linked = href.substr(0, hash);
        ++toAnchors;
        if (linked != last)
            ++changes, last = linked;
        if (seen.size() < kFewestPages && std::find(seen.cbegin(), seen.cend(), linked) == seen.cend())
            seen.push_back(linked);
    }
    return seen.size() >= kFewestPages && changes * 2 >= toAnchors;
}

} // namespace

bool IsSiteIndexTopic(const QString &name, const html::Page *page)
{
    return namedAsAnIndex(name.trimmed()) || (page && MayBeSiteIndexPage(*page) && leadsFromPageToPage(*page));
}

} // namespace quorlix::pipeline
