#include "pipeline/ContentsFile.h"

#include "pipeline/ContentsTree.h"
#include "pipeline/IndexTopic.h"
#include "pipeline/KeywordText.h"
#include "pipeline/SiteTableOfContents.h"
#include "pipeline/Sitemap.h"
#include "pipeline/SitemapPieces.h"
#include "pipeline/TopicNames.h"
#include "pipeline/Utf8Text.h"

#include <QSet>

#include <algorithm>
#include <iterator>

#include <vector>

namespace quorlix::pipeline {

namespace {

// A page this large gets its own headings as entries below it.
constexpr std::size_t kLargePage = 100 * 1024;
constexpr std::size_t kFewestHeadingsOfALargePage = 3;

QString folderOf(const QString &file)
{
    const qsizetype slash = file.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : file.left(slash);
}

bool isWithin(const QString &folder, const QString &base)
{
    return base.isEmpty() || folder == base || folder.startsWith(base + QLatin1Char('/'));
}

// One topic per page, one book per folder that holds pages, nested as the
// folders are below base, at the place of its first page.
class FolderTree {
public:
    FolderTree(const QString &base, const QSet<QString> &withPages, const TopicNames &names, const SavedPages &pages)
        : mBase(base), mWithPages(withPages), mNames(names), mPages(pages)
    {
        mNodes.emplace_back(); // the top level
    }

    void add(const QString &file)
    {
        int parent = 0;
        for (const QString &folder : bookFolders(folderOf(file))) {
            auto found = mBooks.constFind(folder);
            if (found == mBooks.cend()) {
                mNodes.push_back(Node{folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1), {}, true, {}});
                const int index = static_cast<int>(mNodes.size()) - 1;
                mNodes[static_cast<std::size_t>(parent)].children.push_back(index);
                found = mBooks.insert(folder, index);
            }
            parent = *found;
        }
        Node &holder = mNodes[static_cast<std::size_t>(parent)];
        if (holder.book && holder.local.isEmpty() && IsFolderIndexPage(file)) {
            // Named by the page, or by the folder rather than "index.html".
            holder.local = file;
            const auto page = mPages.constFind(file);
            if (page != mPages.cend() && (!page->title.empty() || !page->firstHeading.empty()))
                holder.name = mNames.name(file);
            return;
        }
        mNodes.push_back(Node{mNames.name(file), file, false, {}});
        mNodes[static_cast<std::size_t>(parent)].children.push_back(static_cast<int>(mNodes.size()) - 1);
    }

    std::vector<ContentsNode> take() const { return tree(0); }

private:
    struct Node {
        QString name;
        QString local;
        bool book;
        std::vector<int> children;
    };

    // The folders below base, from the outermost down to folder itself, that hold pages.
    QStringList bookFolders(const QString &folder) const
    {
        QStringList chain;
        for (QString at = folder; !at.isEmpty() && at != mBase; at = folderOf(at))
            if (mWithPages.contains(at))
                chain.prepend(at);
        return chain;
    }

    std::vector<ContentsNode> tree(int index) const
    {
        std::vector<ContentsNode> out;
        for (int child : mNodes[static_cast<std::size_t>(index)].children) {
            const Node &node = mNodes[static_cast<std::size_t>(child)];
            out.push_back(ContentsNode{node.name, node.local, tree(child)});
        }
        return out;
    }

    const QString mBase;
    const QSet<QString> &mWithPages;
    const TopicNames &mNames;
    const SavedPages &mPages;
    std::vector<Node> mNodes;
    QHash<QString, int> mBooks;
};

// The site's index pages last in each level the folders make, as the crawl
// reaches them early, through every page's header. A folder that holds other
// pages stays in its place, and an index page's parts keep their order
// below it.
void putIndexPagesLast(std::vector<ContentsNode> &nodes, const SavedPages &pages)
{
    std::vector<ContentsNode> kept, last;
    for (ContentsNode &node : nodes) {
        const auto page = pages.constFind(node.local);
        const bool index = !node.local.isEmpty() && !(IsFolderIndexPage(node.local) && !node.children.empty())
                           && IsSiteIndexTopic(node.name, node.local, page == pages.cend() ? nullptr : &*page);
        if (!index)
            putIndexPagesLast(node.children, pages);
        (index ? last : kept).push_back(std::move(node));
    }
    std::move(last.begin(), last.end(), std::back_inserter(kept));
    nodes = std::move(kept);
}

// The headings of a large page, nested by their levels, as entries below it.
// A page that holds most of the site (a manual in one page) counts as large.
void addHeadings(ContentsNode &node, const SavedPages &pages, std::size_t siteBytes)
{
    const auto page = pages.constFind(node.local);
    if (page == pages.cend() || (page->size < kLargePage && page->size * 2 <= siteBytes))
        return;
    std::vector<const html::Heading *> anchored;
    // A sidebar's headings ("Methods", "Included Modules") are on every page.
    for (const html::Heading &heading : page->headings)
        if (!heading.anchor().empty() && !heading.navigation)
            anchored.push_back(&heading);
    // The h1s before any other heading name the page itself (a manual's
    // title and its top node).
    const auto titles = std::find_if(page->headings.cbegin(), page->headings.cend(),
                                     [](const html::Heading &heading) { return heading.level != 1; })
                        - page->headings.cbegin();
    std::erase_if(anchored, [&](const html::Heading *heading) { return heading - page->headings.data() < titles; });
    if (anchored.size() < kFewestHeadingsOfALargePage)
        return;
    std::vector<std::pair<int, std::vector<ContentsNode> *>> open{{0, &node.children}};
    for (const html::Heading *heading : anchored) {
        const QString name = CleanedKeyword(FromUtf8(heading->text()));
        if (name.isEmpty())
            continue;
        while (open.size() > 1 && open.back().first >= heading->level)
            open.pop_back();
        std::vector<ContentsNode> *siblings = open.back().second;
        // Overloads one after another ("Formatter" fourteen times) once.
        if (!siblings->empty() && siblings->back().name == name && siblings->back().children.empty()) {
            open.emplace_back(heading->level, &siblings->back().children);
            continue;
        }
        siblings->push_back(ContentsNode{name, node.local + QLatin1Char('#') + FromUtf8(heading->anchor()), {}});
        open.emplace_back(heading->level, &siblings->back().children);
    }
}

void addHeadingsOfLargePages(std::vector<ContentsNode> &nodes, const SavedPages &pages, std::size_t siteBytes)
{
    for (ContentsNode &node : nodes) {
        if (node.children.empty() && !node.local.isEmpty() && !node.local.contains(QLatin1Char('#')))
            addHeadings(node, pages, siteBytes);
        else
            addHeadingsOfLargePages(node.children, pages, siteBytes);
    }
}

void write(const std::vector<ContentsNode> &nodes, int depth, SitemapPieces &out)
{
    const QByteArray indent(depth, '\t');
    out += indent + "<UL>\r\n";
    for (const ContentsNode &node : nodes) {
        QList<QPair<QString, QString>> params{{QStringLiteral("Name"), node.name}};
        if (!node.local.isEmpty())
            params.append({QStringLiteral("Local"), node.local});
        out += SitemapEntry(params, depth + 1);
        if (!node.children.empty())
            write(node.children, depth + 1, out);
    }
    out += indent + "</UL>\r\n";
}

} // namespace

ContentsFile MakeContentsFile(const QStringList &files, const SavedPages &pages)
{
    return SitemapInMemory<ContentsFile>([&](const auto &write) { return MakeContentsFile(files, pages, write); });
}

ContentsFile MakeContentsFile(const QStringList &files, const SavedPages &pages,
                              const std::function<bool(const QByteArray &)> &writePiece)
{
    QStringList pageFiles;
    QSet<QString> seen;
    QSet<QString> withPages;
    for (const QString &file : files) {
        if (!html::isPageName(file.toStdString()) || seen.contains(file))
            continue;
        seen.insert(file);
        pageFiles << file;
        withPages.insert(folderOf(file));
    }
    ContentsFile contents;
    contents.topics = pageFiles.size();
    SitemapPieces out(writePiece);
    out += SitemapHead("\t<param name=\"ImageType\" value=\"Folder\">\r\n");
    if (pageFiles.isEmpty()) {
        out += "<UL>\r\n</UL>\r\n" + SitemapTail();
        out.flush();
        return contents;
    }

    // The start page stands above the pages in its folder and below; pages
    // elsewhere (other hosts) follow it, in their folders.
    const TopicNames names(pageFiles, pages);
    const QString start = pageFiles.first();
    const QString base = folderOf(start);
    const auto startPage = pages.constFind(start);
    ContentsNode root{startPage != pages.cend() && !startPage->title.empty() ? QString::fromStdString(startPage->title)
                                                                               : names.name(start),
                      start, {}};

    // xchm leaves every character outside ASCII out of a name, and a top
    // entry with nothing left leaves its whole contents tree empty: a title
    // without any ASCII letter or digit (a Japanese site's) gets the site's
    // folder after it.
    if (std::none_of(root.name.cbegin(), root.name.cend(), [](QChar c) { return c.unicode() < 0x80 && c.isLetterOrNumber(); }))
        root.name += QStringLiteral(" (%1)").arg(start.section(QLatin1Char('/'), 0, 0));

    SiteTableOfContents site = FindSiteTableOfContents(pageFiles, pages, start);
    if (site.page.isEmpty())
        site = FindSiteHubContents(pageFiles, pages, start, names);
    root.children = std::move(site.entries);
    site.reached.insert(start);
    FolderTree inside(base, withPages, names, pages);
    FolderTree outside({}, withPages, names, pages);
    for (const QString &file : pageFiles)
        if (!site.reached.contains(file))
            (isWithin(folderOf(file), base) ? inside : outside).add(file);
    std::vector<ContentsNode> insideNodes = inside.take();
    NestCompanionPages(insideNodes);
    putIndexPagesLast(insideNodes, pages);

    for (ContentsNode &node : insideNodes)
        root.children.push_back(std::move(node));

    std::vector<ContentsNode> top{std::move(root)};
    std::vector<ContentsNode> outsideNodes = outside.take();
    NestCompanionPages(outsideNodes);
    putIndexPagesLast(outsideNodes, pages);
    for (ContentsNode &node : outsideNodes)
        top.push_back(std::move(node));
    std::size_t siteBytes = 0;
    for (const QString &file : pageFiles)
        if (const auto page = pages.constFind(file); page != pages.cend())
            siteBytes += page->size;
    addHeadingsOfLargePages(top, pages, siteBytes);
    SplitLongLists(top);
    write(top, 0, out);
    out += SitemapTail();
    out.flush();
    return contents;
}

} // namespace quorlix::pipeline
