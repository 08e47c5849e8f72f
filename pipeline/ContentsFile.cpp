#include "pipeline/ContentsFile.h"

#include "pipeline/Sitemap.h"
#include "pipeline/TopicNames.h"

#include <QSet>

#include <vector>

namespace quorlix::pipeline {

namespace {

struct Entry {
    QString name;
    QString local; // empty for a book without an index page
    bool book = false;
    std::vector<int> children;
};

QString folderOf(const QString &file)
{
    const qsizetype slash = file.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : file.left(slash);
}

// The folders from the outermost down to folder itself, that hold pages.
QStringList bookFolders(const QString &folder, const QSet<QString> &withPages)
{
    QStringList chain;
    for (QString at = folder; !at.isEmpty(); at = folderOf(at))
        if (withPages.contains(at))
            chain.prepend(at);
    return chain;
}

void write(const std::vector<Entry> &entries, const std::vector<int> &list, int depth, QByteArray &out)
{
    const QByteArray indent(depth, '\t');
    out += indent + "<UL>\r\n";
    for (int index : list) {
        const Entry &entry = entries[static_cast<std::size_t>(index)];
        QList<QPair<QString, QString>> params{{QStringLiteral("Name"), entry.name}};
        if (!entry.local.isEmpty())
            params.append({QStringLiteral("Local"), entry.local});
        out += SitemapEntry(params, depth + 1);
        if (!entry.children.empty())
            write(entries, entry.children, depth + 1, out);
    }
    out += indent + "</UL>\r\n";
}

} // namespace

ContentsFile MakeContentsFile(const QStringList &files, const SavedPages &pages)
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

    const TopicNames names(pageFiles, pages);
    std::vector<Entry> entries(1); // entries[0]: the top level
    QHash<QString, int> books;
    for (const QString &file : pageFiles) {
        int parent = 0;
        for (const QString &folder : bookFolders(folderOf(file), withPages)) {
            auto found = books.constFind(folder);
            if (found == books.cend()) {
                Entry book;
                book.name = folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1);
                book.book = true;
                entries.push_back(std::move(book));
                const int index = static_cast<int>(entries.size()) - 1;
                entries[static_cast<std::size_t>(parent)].children.push_back(index);
                found = books.insert(folder, index);
            }
            parent = *found;
        }
        Entry &holder = entries[static_cast<std::size_t>(parent)];
        if (holder.book && holder.local.isEmpty() && IsFolderIndexPage(file)) {
            // Named by the page, or by the folder rather than "index.html".
            holder.local = file;
            const auto page = pages.constFind(file);
            if (page != pages.cend() && (!page->title.empty() || !page->firstHeading.empty()))
                holder.name = names.name(file);
            continue;
        }
        entries.push_back(Entry{names.name(file), file, false, {}});
        entries[static_cast<std::size_t>(parent)].children.push_back(static_cast<int>(entries.size()) - 1);
    }

    ContentsFile contents;
    contents.topics = pageFiles.size();
    contents.bytes = SitemapHead("\t<param name=\"ImageType\" value=\"Folder\">\r\n");
    write(entries, entries[0].children, 0, contents.bytes);
    contents.bytes += SitemapTail();
    return contents;
}

} // namespace quorlix::pipeline
