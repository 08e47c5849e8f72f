#include "pipeline/SiteTableOfContents.h"

#include "pipeline/IndexTopic.h"
#include "pipeline/KeywordText.h"
#include "pipeline/LinkTarget.h"
#include "pipeline/Utf8Text.h"

#include <QHash>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>

namespace quorlix::pipeline {

namespace {

// Lists that lead to fewer pages are navigation bars, breadcrumbs or a
// page's own outline.
constexpr qsizetype kFewestPagesOfAList = 5;

// The lists of a page (by their number) that lead to many pages through
// links to whole pages; an index page's links, which lead to anchors, do not
// count, nor, unless withNavigation, those of its header, nav or sidebar.
QSet<int> contentsLists(const QString &file, const html::Page &page, const QSet<QString> &pageSet,
                        QSet<QString> *reached, bool withNavigation)
{
    std::map<int, QSet<QString>> byList;
    for (const html::Link &link : page.links) {
        if (!link.first || link.depth == 0 || (link.navigation && !withNavigation))
            continue;
        const LinkTarget target = ResolvedLink(file, link.href());
        if (target.fragment.isEmpty() && target.file != file && pageSet.contains(target.file))
            byList[link.list].insert(target.file);
    }
    QSet<int> lists;
    for (const auto &[list, files] : byList)
        if (files.size() >= kFewestPagesOfAList) {
            lists.insert(list);
            if (reached)
                reached->unite(files);
        }
    return lists;
}

} // namespace

SiteTableOfContents FindSiteTableOfContents(const QStringList &pageFiles, const SavedPages &pages,
                                            const QString &start, double minShare)
{
    const QSet<QString> pageSet(pageFiles.cbegin(), pageFiles.cend());
    // A page's content first: the pickers in a page's header (Node.js's
    // "Table of contents", "Index", "Options") list the site as well, and
    // win by a link or two. A table that only a sidebar holds counts when
    // no content does.
    QString best;
    bool withNavigation = false;
    for (const bool navigation : {false, true}) {
        qsizetype bestCount = 0;
        for (const QString &file : pageFiles) {
            const auto page = pages.constFind(file);
            if (page == pages.cend() || page->links.size() < static_cast<std::size_t>(kFewestPagesOfAList))
                continue;
            QSet<QString> reached;
            contentsLists(file, *page, pageSet, &reached, navigation);
            if (reached.size() > bestCount)
                best = file, bestCount = reached.size();
        }
        withNavigation = navigation;
        if (bestCount >= kFewestPagesOfAList
            && static_cast<double>(bestCount) >= minShare * static_cast<double>(pageSet.size()))
            break;
        best.clear();
    }
    SiteTableOfContents contents;
    if (best.isEmpty())
        return contents;

    contents.page = best;
    const html::Page &page = *pages.constFind(best);
    const QSet<int> lists = contentsLists(best, page, pageSet, nullptr, withNavigation);
    // The entries in document order; each nests under the last one with
    // fewer lists around it.
    std::vector<std::pair<int, std::vector<ContentsNode> *>> open{{0, &contents.entries}};
    QSet<QString> placed;
    for (const html::Link &link : page.links) {
        if (!link.first || !lists.contains(link.list) || (link.navigation && !withNavigation))
            continue;
        const LinkTarget target = ResolvedLink(best, link.href());
        if (!pageSet.contains(target.file) || (target.file == start && target.fragment.isEmpty()))
            continue;
        const QString place = target.place();
        if (placed.contains(place))
            continue;
        placed.insert(place);
        contents.reached.insert(target.file);
        QString name = CleanedKeyword(FromUtf8(link.text()));
        if (const auto linked = pages.constFind(target.file); name.isEmpty() && linked != pages.cend())
            name = QString::fromStdString(linked->title); // an image's link: the page's own title
        if (name.isEmpty())
            name = target.file.mid(target.file.lastIndexOf(QLatin1Char('/')) + 1);
        while (open.size() > 1 && open.back().first >= link.depth)
            open.pop_back();
        std::vector<ContentsNode> *siblings = open.back().second;
        siblings->push_back(ContentsNode{name, place, {}});
        open.emplace_back(link.depth, &siblings->back().children);
    }
    return contents;
}

SiteTableOfContents FindSiteHubContents(const QStringList &pageFiles, const SavedPages &pages, const QString &start,
                                        const TopicNames &names)
{
    // Pages by their numbers, as a large site's hubs list a hundred
    // thousand pages: each page's entries (the pages its lists and tables
    // lead to, in order, named by their links) and how often the pages'
    // navigation leads to each.
    constexpr std::uint32_t kNone = UINT32_MAX;
    QHash<QString, std::uint32_t> numberOf;
    numberOf.reserve(pageFiles.size());
    for (qsizetype i = 0; i < pageFiles.size(); ++i)
        numberOf.insert(pageFiles[i], static_cast<std::uint32_t>(i));
    const auto count = static_cast<std::size_t>(pageFiles.size());
    struct Entry {
        std::uint32_t page;
        std::string_view text;
    };
    std::vector<std::vector<Entry>> entriesOf(count);
    std::vector<std::uint32_t> navigatedTo(count, 0), seenOn(count, kNone);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> firstNavigated(count, {kNone, kNone}); // page, place in it
    for (std::uint32_t number = 0; number < count; ++number) {
        const QString &file = pageFiles[number];
        const auto page = pages.constFind(file);
        if (page == pages.cend())
            continue;
        std::uint32_t place = 0;
        for (const html::Link &link : page->links) {
            if (!link.first || link.href().find('#') != std::string_view::npos)
                continue;
            const LinkTarget target = ResolvedLink(file, link.href());
            const std::uint32_t linked = target.fragment.isEmpty() ? numberOf.value(target.file, kNone) : kNone;
            if (linked == kNone || linked == number || seenOn[linked] == number)
                continue;
            seenOn[linked] = number;
            // A link with no text of its own (an arrow, a house) is a
            // button of the page's navigation bar, whatever holds it.
            if (link.navigation || (link.text().empty() && link.lead().empty())) {
                ++navigatedTo[linked];
                if (firstNavigated[linked].first == kNone)
                    firstNavigated[linked] = {number, place};
                ++place;
            } else {
                entriesOf[number].push_back(Entry{linked, link.text()});
            }
        }
        entriesOf[number].shrink_to_fit();
    }
    const std::uint32_t startNumber = numberOf.value(start, kNone);
    if (startNumber == kNone)
        return {};
    // The tops: start, or, when it lists nothing (it only redirects), the
    // pages the navigation leads to, the most often first, in its order;
    // the site's own index pages last.
    std::vector<std::uint32_t> tops{startNumber};
    if (entriesOf[startNumber].empty()) {
        for (std::uint32_t number = 0; number < count; ++number)
            if (navigatedTo[number] > 0 && number != startNumber)
                tops.push_back(number);
        // Each looked at once: a sidebar may lead to thousands of pages.
        std::vector<bool> isIndex(count, false);
        for (std::size_t i = 1; i < tops.size(); ++i) {
            const auto page = pages.constFind(pageFiles[tops[i]]);
            isIndex[tops[i]] = IsSiteIndexTopic(names.name(pageFiles[tops[i]]), pageFiles[tops[i]],
                                                page == pages.cend() ? nullptr : &*page);
        }
        std::sort(tops.begin() + 1, tops.end(), [&](std::uint32_t a, std::uint32_t b) -> bool {
            if (isIndex[a] != isIndex[b])
                return isIndex[b];
            return navigatedTo[a] != navigatedTo[b] ? navigatedTo[a] > navigatedTo[b]
                                                    : firstNavigated[a] < firstNavigated[b];
        });
    }

    SiteTableOfContents contents;
    std::vector<bool> placed(count, false);
    placed[startNumber] = true;
    std::size_t placedCount = 1;
    const auto nameOf = [&](std::uint32_t number, std::string_view text) {
        QString name = CleanedKeyword(FromUtf8(text));
        return name.isEmpty() ? names.name(pageFiles[number]) : name;
    };
    // Breadth first from each top in turn. A hub's entries are all added
    // before any of them is looked into, so the vectors the queue points
    // into do not grow while it does.
    for (const std::uint32_t top : tops) {
        if (top != startNumber && placed[top])
            continue;
        std::vector<ContentsNode> *below = &contents.entries;
        if (top != startNumber) {
            placed[top] = true, ++placedCount;
            contents.entries.push_back(ContentsNode{names.name(pageFiles[top]), pageFiles[top], {}});
            below = &contents.entries.back().children;
        }
        std::deque<std::pair<std::uint32_t, std::vector<ContentsNode> *>> queue{{top, below}};
        while (!queue.empty()) {
            const auto [hub, children] = queue.front();
            queue.pop_front();
            const std::size_t first = children->size();
            for (const Entry &entry : entriesOf[hub]) {
                if (placed[entry.page])
                    continue;
                placed[entry.page] = true, ++placedCount;
                children->push_back(ContentsNode{nameOf(entry.page, entry.text), pageFiles[entry.page], {}});
            }
            for (std::size_t i = first; i < children->size(); ++i) {
                ContentsNode &child = (*children)[i];
                if (const std::uint32_t number = numberOf.value(child.local); !entriesOf[number].empty())
                    queue.emplace_back(number, &child.children);
            }
        }
    }
    // Hubs that place only a few pages are no structure of the site.
    if (placedCount * 2 <= count)
        return {};
    for (std::uint32_t number = 0; number < count; ++number)
        if (placed[number])
            contents.reached.insert(pageFiles[number]);
    return contents;
}

} // namespace quorlix::pipeline
