#include "pipeline/SiteTableOfContents.h"

#include "pipeline/KeywordText.h"
#include "pipeline/LinkTarget.h"
#include "pipeline/Utf8Text.h"

#include <QHash>

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

} // namespace quorlix::pipeline
