#include "pipeline/IndexFile.h"

#include "pipeline/KeywordText.h"
#include "pipeline/LinkTarget.h"
#include "pipeline/Sitemap.h"
#include "pipeline/SitemapPieces.h"
#include "pipeline/TopicNames.h"
#include "pipeline/Utf8Text.h"

#include <QSet>
#include <QVarLengthArray>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace quorlix::pipeline {

namespace {

// A page is the site's own index when it holds at least this many links to
// anchors in other pages, and they are most of its links.
constexpr qsizetype kFewestLinksOfAnIndexPage = 10;
// Longer texts are sentences, not keywords; an index's terms are shorter.
constexpr qsizetype kLongestKeyword = 120;
constexpr qsizetype kLongestTerm = 60;

struct Place {
    QString file;
    QString fragment; // the anchor in file; "" for the page itself
    QString label;    // what tells this place from the keyword's others; "" for the page's name

    // Made only as it is written: a site's index has a place for every
    // heading, and the page's name is already held.
    QString local() const { return fragment.isEmpty() ? file : file + QLatin1Char('#') + fragment; }
};

struct Keyword {
    QString text;
    QVarLengthArray<Place, 1> places; // most keywords have one place: no allocation of its own
};

class Keywords {
public:
    void add(const QString &rawText, const QString &file, const QString &fragment, const QString &label = {})
    {
        const QString text = CleanedKeyword(rawText);
        // A letter's heading ("- a -", "B") names no subject.
        if (text.size() > kLongestKeyword
            || std::count_if(text.cbegin(), text.cend(), [](QChar c) { return c.isLetterOrNumber(); }) < 2)
            return;
        addOne(text, file, fragment, label);
        // "ns::Name rest" is also found as "Name rest": readers type the name.
        const qsizetype scope = text.left(text.indexOf(QLatin1Char(' '))).lastIndexOf(QLatin1String("::"));
        if (scope > 0 && scope + 2 < text.size() && text[scope + 2] != QLatin1Char(' '))
            addOne(text.mid(scope + 2), file, fragment, label);
    }

    // The keywords, once all are added; the lookup by text is let go.
    std::deque<Keyword> &all()
    {
        mByText = {};
        return mKeywords;
    }

private:
    void addOne(const QString &text, const QString &file, const QString &fragment, const QString &label)
    {
        auto found = mByText.constFind(text);
        if (found == mByText.cend()) {
            mKeywords.push_back(Keyword{text, {}});
            found = mByText.insert(text, mKeywords.size() - 1);
        }
        Keyword &keyword = mKeywords[*found];
        // One place per page, unless the site's index names several apart
        // ("join() (Widget method)", "join() (Window method)"); most
        // keywords have one or two places.
        for (Place &place : keyword.places) {
            if (place.file != file)
                continue;
            if (place.label.isEmpty() && place.fragment == fragment)
                place.label = label; // the index page's name for it
            if (place.label.isEmpty() || label.isEmpty() || place.label == label || place.fragment == fragment)
                return;
        }
        keyword.places.push_back(Place{file, fragment, label});
    }

    // A deque, as a large site has a hundred thousands keywords: a vector
    // would hold them twice while it grows.
    std::deque<Keyword> mKeywords;
    QHash<QString, std::size_t> mByText;
};

// Every link of an item, a cell or a term, whether its anchor is in this page
// or in another: a page read before the downloader converted its links has
// its own anchors as "#name", which are only counted, and after as
// "page.html#name", which are kept.
qsizetype itemLinks(const html::Page &page)
{
    return static_cast<qsizetype>(page.links.size() + page.ownAnchorLinks);
}

// Most pages are no index: a glance at their links tells.
bool mayBeAnIndex(const html::Page &page)
{
    const auto elsewhere = std::count_if(page.links.cbegin(), page.links.cend(), [](const html::Link &link) {
        const std::size_t hash = link.href().find('#');
        return hash != std::string::npos && hash > 0;
    });
    return elsewhere >= kFewestLinksOfAnIndexPage && elsewhere * 2 >= itemLinks(page);
}

// The links of a page that is an index of the site, or none.
std::vector<std::pair<const html::Link *, LinkTarget>> indexLinks(const QString &file, const html::Page &page,
                                                                  const SavedPages &pages)
{
    std::vector<std::pair<const html::Link *, LinkTarget>> links;
    if (!mayBeAnIndex(page))
        return links;
    qsizetype toAnchors = 0;
    for (const html::Link &link : page.links) {
        LinkTarget target = ResolvedLink(file, link.href());
        if (target.file.isEmpty() || target.file == file || !pages.contains(target.file))
            continue;
        if (!target.fragment.isEmpty())
            ++toAnchors;
        links.emplace_back(&link, std::move(target));
    }
    if (toAnchors < kFewestLinksOfAnIndexPage || toAnchors * 2 < itemLinks(page))
        links.clear();
    return links;
}

QString withoutTrailingPunctuation(QString text)
{
    while (!text.isEmpty() && (text.back() == QLatin1Char(':') || text.back() == QLatin1Char(',')
                               || text.back().isSpace()))
        text.chop(1);
    return text;
}

// A keyword and what tells its place apart, from an index page's link:
// "name() : <a>Class</a>" (the term before the link), "<a>join() (in module
// os.path)</a>", "(str method)" below an entry it belongs to, or a link
// below a term that is no link.
QPair<QString, QString> entryOf(const html::Link &link)
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
    if (!lead.empty())
        return {withoutTrailingPunctuation(FromUtf8(lead)), text};
    if (text.startsWith(QLatin1Char('(')) && !link.outer().empty()) {
        const QPair<QString, QString> outer = SplitQualifier(FromUtf8(link.outer()));
        return {outer.first, SplitQualifier(QStringLiteral("x ") + text).second};
    }
    // "term" with its places in a list below it, named by their links; a
    // sentence with examples below it is no term.
    if (!link.outer().empty() && !link.outerLinked) {
        const QString outer = withoutTrailingPunctuation(FromUtf8(link.outer()));
        if (outer.size() > kLongestTerm || outer.endsWith(QLatin1Char('.')))
            return {};
        return {outer, text};
    }
    return SplitQualifier(text);
}

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
// "Navigation") are the site's furniture, not its subjects.
QSet<QString> boilerplate(const QStringList &pageFiles, const SavedPages &pages, const TopicNames &names)
{
    struct Seen {
        qsizetype lastPage = -1;
        qsizetype pages = 0;
    };
    QHash<QString, Seen> seen;
    auto count = [&](const QString &text, qsizetype page) {
        Seen &entry = seen[CleanedKeyword(text)];
        if (entry.lastPage != page)
            entry.lastPage = page, ++entry.pages;
    };
    for (qsizetype i = 0; i < pageFiles.size(); ++i) {
        const auto page = pages.constFind(pageFiles[i]);
        if (page == pages.cend())
            continue;
        count(names.title(pageFiles[i]), i);
        for (const html::Heading &heading : page->headings)
            count(FromUtf8(heading.text()), i);
    }
    QSet<QString> common;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it)
        if (it->pages >= 3 && it->pages * 10 > pageFiles.size())
            common.insert(it.key());
    return common;
}

void writeKeyword(const Keyword &keyword, const TopicNames &names, SitemapPieces &out)
{
    using Params = QList<QPair<QString, QString>>;
    const QString name = QStringLiteral("Name"), local = QStringLiteral("Local");
    if (keyword.places.size() == 1) {
        out += SitemapEntry(Params{{name, keyword.text}, {local, keyword.places.front().local()}}, 1);
        return;
    }
    // Several places: the keyword lists them below it by what tells them
    // apart, and leads to the first of them itself.
    std::vector<std::pair<QString, QString>> subEntries;
    for (const Place &place : keyword.places)
        subEntries.emplace_back(place.label.isEmpty() ? names.name(place.file) : place.label, place.local());
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
        if (!mayBeAnIndex(page))
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
    const QSet<QString> common = boilerplate(pageFiles, pages, names);
    Keywords keywords;
    QSet<QString> indexed; // places the site's own index names

    // Titles and the headings a link can reach.
    for (const QString &file : pageFiles) {
        const html::Page &page = *pages.constFind(file);
        const QString title = names.title(file);
        if (!common.contains(CleanedKeyword(title)))
            keywords.add(title, file, {});
        for (const html::Heading &heading : page.headings) {
            const QString text = FromUtf8(heading.text());
            if (!heading.anchor().empty() && !common.contains(CleanedKeyword(text)))
                keywords.add(text, file, FromUtf8(heading.anchor()));
        }
    }
    // The terms of the site's own index pages.
    for (const QString &file : pageFiles)
        for (const auto &[link, target] : indexLinks(file, *pages.constFind(file), pages)) {
            const auto [term, label] = entryOf(*link);
            keywords.add(term, target.file, target.fragment, label);
            indexed.insert(target.place());
        }
    // The terms pages define, where no index page names them.
    for (const QString &file : pageFiles)
        for (const html::Term &term : pages.constFind(file)->terms) {
            const QString anchor = QString::fromStdString(term.anchor);
            if (indexed.contains(file + QLatin1Char('#') + anchor))
                continue;
            const auto [text, qualifier] = termOf(CleanedKeyword(QString::fromStdString(term.text)));
            keywords.add(text, file, anchor, qualifier.isEmpty() ? QString() : names.name(file) + QLatin1String(" (")
                                                                              + qualifier + QLatin1Char(')'));
        }

    // A keyword that leads to many pages ("module", above every module's
    // page) sends a reader to a list as long as the contents.
    std::deque<Keyword> &all = keywords.all();
    const auto tooCommon = [&](const Keyword &keyword) {
        if (keyword.places.size() < 3 || keyword.places.size() * 10 <= pageFiles.size())
            return false;
        QSet<QString> files;
        for (const Place &place : keyword.places)
            files.insert(place.file);
        return files.size() >= 3 && files.size() * 10 > pageFiles.size();
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
        writeKeyword(all[at], names, out);
    out += "</UL>\r\n" + SitemapTail();
    out.flush();
    return index;
}

} // namespace quorlix::pipeline
