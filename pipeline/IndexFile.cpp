#include "pipeline/IndexFile.h"

#include "pipeline/AllInOnePages.h"
#include "pipeline/KeywordTable.h"
#include "pipeline/KeywordText.h"
#include "pipeline/SiteIndexPages.h"
#include "pipeline/LinkTarget.h"
#include "pipeline/Sitemap.h"
#include "pipeline/SitemapPieces.h"
#include "pipeline/TopicNames.h"
#include "pipeline/Utf8Text.h"

#include <QSet>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorlix::pipeline {

namespace {

// The name a definition term defines: "Function: int foo (const char *s)"
// defines "foo", "pkg.mod.bar(x, y)" defines "bar" (in "pkg.mod"), and a
// term without a parameter list is itself.
QPair<QString, QString> termOf(const QString &text)
{
    const qsizetype paren = text.indexOf(QLatin1Char('('));
    if (paren <= 0)
        return {text, {}};
    QString head = text.left(paren).trimmed();
    head = head.mid(head.lastIndexOf(QLatin1Char(' ')) + 1);
    for (const QLatin1String separator : {QLatin1String("::"), QLatin1String(".")}) {
        const qsizetype at = head.lastIndexOf(separator);
        if (at > 0 && at + separator.size() < head.size())
            return {head.mid(at + separator.size()), head.left(at)};
    }
    return {head, {}};
}

// Headings and titles found on many pages ("Detailed Description",
// "Navigation") are the site's furniture, not its subjects. Known by their
// cleaned texts' hashes: a large site has 150,000 of them, each counted
// once, and only the few common ones are looked for again.
class Boilerplate {
public:
    Boilerplate(const QStringList &pageFiles, const SavedPages &pages, const TopicNames &names)
    {
        struct Seen {
            qint32 lastPage = -1;
            qint32 pages = 0;
        };
        QHash<std::size_t, Seen> seen;
        auto count = [&](const QString &text, qsizetype page) {
            Seen &entry = seen[qHash(CleanedKeyword(text))];
            if (entry.lastPage != page)
                entry.lastPage = static_cast<qint32>(page), ++entry.pages;
        };
        for (qsizetype i = 0; i < pageFiles.size(); ++i) {
            const auto page = pages.constFind(pageFiles[i]);
            if (page == pages.cend())
                continue;
            count(names.title(pageFiles[i]), i);
            for (const html::Heading &heading : page->headings)
                count(FromUtf8(heading.text()), i);
            for (const html::Term &term : page->terms)
                if (term.minorHeading)
                    count(FromUtf8(term.text), i);
        }
        for (auto it = seen.cbegin(); it != seen.cend(); ++it)
            if (FoundOnManyPages(it->pages, pageFiles.size()))
                mCommon.insert(it.key());
    }

    // text as CleanedKeyword makes it.
    bool contains(const QString &cleaned) const { return !mCommon.isEmpty() && mCommon.contains(qHash(cleaned)); }

private:
    QSet<std::size_t> mCommon;
};

void writeKeyword(const Keyword &keyword, const KeywordTable &keywords, const TopicNames &names, SitemapPieces &out)
{
    using Params = QList<QPair<QString, QString>>;
    const QString name = QStringLiteral("Name"), local = QStringLiteral("Local");
    if (keyword.first == keyword.last) {
        keywords.forEachPlace(keyword, [&](const Place &place) {
            out += SitemapEntry(Params{{name, keyword.text}, {local, keywords.local(place)}}, 1);
        });
        return;
    }
    // Several places: the keyword lists them below it by what tells them
    // apart, and leads to the first of them itself.
    std::vector<std::pair<QString, QString>> subEntries;
    keywords.forEachPlace(keyword, [&](const Place &place) {
        const QString &label = keywords.label(place);
        subEntries.emplace_back(label.isEmpty() ? names.name(keywords.file(place)) : label, keywords.local(place));
    });
    std::stable_sort(subEntries.begin(), subEntries.end(),
                     [](const auto &a, const auto &b) { return NaturalCompare(a.first, b.first) < 0; });
    out += SitemapEntry(Params{{name, keyword.text}, {local, subEntries.front().second}}, 1);
    out += "\t<UL>\r\n";
    for (const auto &[label, place] : subEntries)
        out += SitemapEntry(Params{{name, label}, {local, place}}, 2);
    out += "\t</UL>\r\n";
}

} // namespace

void LetGoOfLinksNoIndexReads(SavedPages &pages)
{
    for (html::Page &page : pages)
        if (!MayBeSiteIndexPage(page))
            std::vector<html::Link>().swap(page.links);
}

IndexFile MakeIndexFile(const QStringList &files, const SavedPages &pages)
{
    return SitemapInMemory<IndexFile>([&](const auto &write) { return MakeIndexFile(files, pages, write); });
}

IndexFile MakeIndexFile(const QStringList &files, const SavedPages &pages,
                        const std::function<bool(const QByteArray &)> &write)
{
    QStringList pageFiles;
    QSet<QString> seen;
    for (const QString &file : files) {
        if (seen.contains(file) || !pages.contains(file) || !html::isPageName(file.toStdString()))
            continue;
        seen.insert(file);
        pageFiles << file;
    }
    const TopicNames names(pageFiles, pages);
    const Boilerplate common(pageFiles, pages, names);
    KeywordTable keywords(pageFiles);
    QSet<QString> indexed; // places the site's own index names
    // A page that holds many others (a one-page edition of the manual)
    // would give each of their headings a second place: its own are taken
    // last, and only where no other page has them.
    const std::vector<bool> allInOne = AllInOnePages(pageFiles, pages);

    // Titles and the headings a link can reach.
    const auto addTitleAndHeadings = [&](qsizetype i) {
        const QString &file = pageFiles[i];
        const auto number = static_cast<std::uint32_t>(i);
        const html::Page &page = *pages.constFind(file);
        // Each cleaned once, for both the look at the furniture and the keyword.
        const QString title = CleanedKeyword(names.title(file));
        if (!common.contains(title))
            keywords.addCleaned(title, number, {});
        const auto addHeading = [&](const QString &raw, std::string_view anchor) {
            const QString text = CleanedKeyword(raw);
            if (!common.contains(text) && !(allInOne[i] && keywords.leadsElsewhere(text, number)))
                keywords.addCleaned(text, number, anchor);
        };
        for (const html::Heading &heading : page.headings)
            if (!heading.anchor().empty())
                addHeading(FromUtf8(heading.text()), heading.anchor());
        for (const html::Term &term : page.terms)
            if (term.minorHeading)
                addHeading(FromUtf8(term.text), term.anchor);
    };
    for (qsizetype i = 0; i < pageFiles.size(); ++i)
        if (!allInOne[i])
            addTitleAndHeadings(i);
    for (qsizetype i = 0; i < pageFiles.size(); ++i)
        if (allInOne[i])
            addTitleAndHeadings(i);
    // The terms of the site's own index pages.
    QSet<QString> indexPages, linkedTerms;
    for (const QString &file : pageFiles)
        for (const auto &[link, target] : SiteIndexLinks(file, *pages.constFind(file), pages)) {
            const auto [term, label] = SiteIndexEntry(*link);
            keywords.add(term, keywords.fileNumber(target.file), keywords.keep(target.fragment), label);
            indexed.insert(target.place());
            indexPages.insert(file);
            linkedTerms.insert(term);
        }
    // The terms pages define, where no index page names them. An index
    // page's own anchored term whose links made it a keyword already
    // (DocBook's "term, <a>Title</a>, <a>Title</a>") would only lead a
    // reader back to the index, named with the links' titles.
    for (qsizetype i = 0; i < pageFiles.size(); ++i) {
        const QString &file = pageFiles[i];
        for (const html::Term &term : pages.constFind(file)->terms) {
            if (term.minorHeading || indexed.contains(file + QLatin1Char('#') + QString::fromStdString(term.anchor)))
                continue;
            const QString head = QString::fromStdString(term.text).section(QLatin1String(", "), 0, 0);
            if (indexPages.contains(file) && linkedTerms.contains(WithoutTrailingPunctuation(head)))
                continue;
            const auto [text, qualifier] = termOf(CleanedKeyword(QString::fromStdString(term.text)));
            if (allInOne[i] && keywords.leadsElsewhere(text, static_cast<std::uint32_t>(i)))
                continue;
            keywords.add(text, static_cast<std::uint32_t>(i), term.anchor,
                         qualifier.isEmpty() ? QString()
                                             : names.name(file) + QLatin1String(" (") + qualifier + QLatin1Char(')'));
        }
    }

    // A keyword that leads to many pages ("module", above every module's
    // page) sends a reader to a list as long as the contents.
    std::deque<Keyword> &all = keywords.all();
    const auto tooCommon = [&](const Keyword &keyword) {
        if (!FoundOnManyPages(keywords.placeCount(keyword), pageFiles.size()))
            return false;
        QSet<std::uint32_t> files;
        keywords.forEachPlace(keyword, [&files](const Place &place) { files.insert(place.file); });
        return FoundOnManyPages(files.size(), pageFiles.size());
    };
    // Their order is sorted, not the keywords themselves: no second copy.
    std::vector<std::uint32_t> order;
    order.reserve(all.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        if (!tooCommon(all[i]))
            order.push_back(static_cast<std::uint32_t>(i));
    std::stable_sort(order.begin(), order.end(), [&all](std::uint32_t left, std::uint32_t right) {
        const Keyword &a = all[left], &b = all[right];
        // Folded as compared: a sort key for each would be ten megabytes
        // on a large site.
        const int order = NaturalCompareFolded(a.text, b.text);
        return order != 0 ? order < 0 : QString::compare(a.text, b.text, Qt::CaseSensitive) < 0;
    });

    IndexFile index;
    index.keywords = static_cast<qsizetype>(order.size());
    SitemapPieces out(write);
    out += SitemapHead({}) + "<UL>\r\n";
    for (const std::uint32_t at : order)
        writeKeyword(all[at], keywords, names, out);
    out += "</UL>\r\n" + SitemapTail();
    out.flush();
    return index;
}

} // namespace quorlix::pipeline
