#include "pipeline/SiteTableOfContents.h"

#include "pipeline/KeywordText.h"
#include "pipeline/LinkTarget.h"
#include "pipeline/SiteIndexPages.h"
#include "pipeline/Utf8Text.h"

#include <QHash>

#include <algorithm>
#include <deque>
#include <map>

namespace quorlix::pipeline {

namespace {

// Lists that lead to fewer pages are navigation bars, breadcrumbs or a
// page's own outline.
constexpr qsizetype kFewestPagesOfAList = 5;

// The lists of a page (by their number) that lead to many pages through
// links to whole pages; an index page's links, which lead to anchors, do not
// count.
QSet<int> contentsLists(const QString &file, const html::Page &page, const QSet<QString> &pageSet,
                        QSet<QString> *reached)
{
    std::map<int, QSet<QString>> byList;
    for (const html::Link &link : page.links) {
        if (!link.first || link.depth == 0)
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
    QString best;
    qsizetype bestCount = 0;
    for (const QString &file : pageFiles) {
        const auto page = pages.constFind(file);
        if (page == pages.cend() || page->links.size() < static_cast<std::size_t>(kFewestPagesOfAList))
            continue;
        QSet<QString> reached;
        contentsLists(file, *page, pageSet, &reached);
        if (reached.size() > bestCount)
            best = file, bestCount = reached.size();
    }
    SiteTableOfContents contents;
    if (bestCount < kFewestPagesOfAList || static_cast<double>(bestCount) < minShare * static_cast<double>(pageSet.size()))
        return contents;

    contents.page = best;
    const html::Page &page = *pages.constFind(best);
    const QSet<int> lists = contentsLists(best, page, pageSet, nullptr);
    // The entries in document order; each nests under the last one with
    // fewer lists around it.
    std::vector<std::pair<int, std::vector<ContentsNode> *>> open{{0, &contents.entries}};
    QSet<QString> placed;
    for (const html::Link &link : page.links) {
        if (!link.first || !lists.contains(link.list))
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
    const QSet<QString> pageSet(pageFiles.cbegin(), pageFiles.cend());
    // Each page's entries: the pages its lists and tables lead to, in order,
    // named by their links; and how often the pages' navigation leads to each.
    struct Entry {
        QString file;
        std::string_view text;
    };
    QHash<QString, std::vector<Entry>> entriesOf;
    QHash<QString, qsizetype> navigatedTo;
    QHash<QString, std::pair<qsizetype, qsizetype>> firstNavigated; // by page number, then place in it
    for (qsizetype number = 0; number < pageFiles.size(); ++number) {
        const QString &file = pageFiles[number];
        const auto page = pages.constFind(file);
        if (page == pages.cend())
            continue;
        std::vector<Entry> entries;
        QSet<QString> seen;
        qsizetype place = 0;
        for (const html::Link &link : page->links) {
            if (!link.first || link.href().find('#') != std::string_view::npos)
                continue;
            LinkTarget target = ResolvedLink(file, link.href());
            if (target.file == file || !target.fragment.isEmpty() || !pageSet.contains(target.file)
                || seen.contains(target.file))
                continue;
            seen.insert(target.file);
            if (link.navigation) {
                ++navigatedTo[target.file];
                if (!firstNavigated.contains(target.file))
                    firstNavigated.insert(target.file, {number, place});
                ++place;
            } else {
                entries.push_back(Entry{std::move(target.file), link.text()});
            }
        }
        if (!entries.empty())
            entriesOf.insert(file, std::move(entries));
    }
    // The tops: start, or, when it lists nothing (it only redirects), the
    // pages the navigation leads to, the most often first, in its order;
    // the site's own index pages last.
    QStringList tops{start};
    if (!entriesOf.contains(start)) {
        for (auto it = navigatedTo.cbegin(); it != navigatedTo.cend(); ++it)
            if (it.key() != start)
                tops << it.key();
        const auto isIndex = [&](const QString &file) {
            const auto page = pages.constFind(file);
            return page != pages.cend() && MayBeSiteIndexPage(*page);
        };
        std::sort(tops.begin() + 1, tops.end(), [&](const QString &a, const QString &b) {
            const bool indexA = isIndex(a), indexB = isIndex(b);
            const qsizetype countA = navigatedTo.value(a), countB = navigatedTo.value(b);
            if (indexA != indexB)
                return indexB;
            return countA != countB ? countA > countB : firstNavigated.value(a) < firstNavigated.value(b);
        });
    }

    SiteTableOfContents contents;
    QSet<QString> &placed = contents.reached;
    placed.insert(start);
    const auto nameOf = [&](const QString &file, std::string_view text) {
        QString name = CleanedKeyword(FromUtf8(text));
        if (const auto page = pages.constFind(file); name.isEmpty() && page != pages.cend())
            name = CleanedKeyword(QString::fromStdString(page->title));
        return name.isEmpty() ? file.mid(file.lastIndexOf(QLatin1Char('/')) + 1) : name;
    };
    // Breadth first from each top in turn. A hub's entries are all added
    // before any of them is looked into, so the vectors the queue points
    // into do not grow while it does.
    for (const QString &top : tops) {
        if (top != start && placed.contains(top))
            continue;
        std::vector<ContentsNode> *below = &contents.entries;
        if (top != start) {
            placed.insert(top);
            contents.entries.push_back(ContentsNode{names.name(top), top, {}});
            below = &contents.entries.back().children;
        }
        std::deque<std::pair<QString, std::vector<ContentsNode> *>> queue{{top, below}};
        while (!queue.empty()) {
            const auto [hub, children] = queue.front();
            queue.pop_front();
            for (const Entry &entry : entriesOf.value(hub)) {
                if (placed.contains(entry.file))
                    continue;
                placed.insert(entry.file);
                children->push_back(ContentsNode{nameOf(entry.file, entry.text), entry.file, {}});
            }
            for (ContentsNode &child : *children)
                if (entriesOf.contains(child.local))
                    queue.emplace_back(child.local, &child.children);
        }
    }
    // Hubs that place only a few pages are no structure of the site.
    if (placed.size() * 2 <= pageSet.size())
        return {};
    return contents;
}

} // namespace quorlix::pipeline
