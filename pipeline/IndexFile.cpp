#include "pipeline/IndexFile.h"

#include "pipeline/KeywordText.h"
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

// A page is the site's own index when it holds at least this many links to
// anchors in other pages, and they are most of its links.
constexpr qsizetype kFewestLinksOfAnIndexPage = 10;
// Longer texts are sentences, not keywords; an index's terms are shorter.
constexpr qsizetype kLongestKeyword = 120;
constexpr qsizetype kLongestTerm = 60;

// A place a keyword leads to: a page, by its number among the pages, and
// an anchor in it. A large site's index has a place for every heading, so
// a place holds no text of its own: the anchor is the page's own (or one
// kept by the keywords), and the label is one of few.
struct Place {
    std::uint32_t file = 0;
    std::uint32_t label = 0; // what tells this place from the keyword's others; 0: none, the page's name
    std::uint32_t next = 0;  // the keyword's next place, by its number plus one; 0: none
    std::string_view fragment; // the anchor in file, UTF-8; "" for the page itself
};

// The length of the sign before a method's name ("#each", "::new",
// ".method"); 0 when there is none.
qsizetype sigilLength(const QString &text)
{
    for (const QLatin1String sigil : {QLatin1String("::"), QLatin1String("#"), QLatin1String(".")})
        if (text.startsWith(sigil) && text.size() > sigil.size()
            && (text[sigil.size()].isLetter() || text[sigil.size()] == QLatin1Char('_')))
            return sigil.size();
    return 0;
}

struct Keyword {
    QString text;
    std::uint32_t first = 0, last = 0; // its places, in the order they were added
};

class Keywords {
public:
    explicit Keywords(const QStringList &files) : mFiles(files) { mLabels.emplace_back(); }

    void add(const QString &rawText, std::uint32_t file, std::string_view fragment, const QString &label = {})
    {
        addCleaned(CleanedKeyword(rawText), file, fragment, label);
    }

    // The same for a text CleanedKeyword has made already.
    void addCleaned(const QString &text, std::uint32_t file, std::string_view fragment, const QString &label = {})
    {
        // A letter's heading ("- a -", "B") names no subject.
        if (text.size() > kLongestKeyword
            || std::count_if(text.cbegin(), text.cend(), [](QChar c) { return c.isLetterOrNumber(); }) < 2)
            return;
        addOne(text, file, fragment, label);
        // "ns::Name rest" is also found as "Name rest", and a method's
        // "#each", "::new" or ".method" as "each", "new", "method": readers
        // type the name, not the scope or the sign a generator puts before it.
        const qsizetype scope = text.left(text.indexOf(QLatin1Char(' '))).lastIndexOf(QLatin1String("::"));
        if (scope > 0 && scope + 2 < text.size() && text[scope + 2] != QLatin1Char(' '))
            addOne(text.mid(scope + 2), file, fragment, label);
        else if (const qsizetype sigil = sigilLength(text); sigil > 0)
            addOne(text.mid(sigil), file, fragment, label);
        // "Chapter 5. Variables" is also found as "Variables".
        if (const QString title = WithoutNumberedLabel(text); !title.isEmpty())
            addOne(title, file, fragment, label);
    }

    // An anchor the pages do not hold as it is (one worked out from a
    // link), kept as long as the keywords.
    std::string_view keep(const QString &fragment)
    {
        if (fragment.isEmpty())
            return {};
        return mKeptFragments.emplace_back(fragment.toStdString());
    }

    // The page a link leads to, by its number.
    std::uint32_t fileNumber(const QString &file)
    {
        if (mFileNumbers.isEmpty())
            for (qsizetype i = 0; i < mFiles.size(); ++i)
                mFileNumbers.insert(mFiles[i], static_cast<std::uint32_t>(i));
        const auto found = mFileNumbers.constFind(file);
        if (found != mFileNumbers.cend())
            return *found;
        mFiles << file;
        return *mFileNumbers.insert(file, static_cast<std::uint32_t>(mFiles.size() - 1));
    }

    // The keywords, once all are added; the lookup by text is let go.
    std::deque<Keyword> &all()
    {
        std::vector<std::uint32_t>().swap(mSlots);
        return mKeywords;
    }

    const QString &file(const Place &place) const { return mFiles[place.file]; }
    const QString &label(const Place &place) const { return mLabels[place.label]; }
    QString local(const Place &place) const
    {
        return place.fragment.empty() ? file(place) : file(place) + QLatin1Char('#') + FromUtf8(place.fragment);
    }

    template<typename Visit>
    void forEachPlace(const Keyword &keyword, Visit visit) const
    {
        for (std::uint32_t at = keyword.first; at != 0; at = mPlaces[at - 1].next)
            visit(mPlaces[at - 1]);
    }
    qsizetype placeCount(const Keyword &keyword) const
    {
        qsizetype count = 0;
        forEachPlace(keyword, [&count](const Place &) { ++count; });
        return count;
    }

private:
    void addOne(const QString &text, std::uint32_t file, std::string_view fragment, const QString &label)
    {
        Keyword &keyword = mKeywords[find(text)];
        // One place per page, unless the site's index names several apart
        // ("join() (Widget method)", "join() (Window method)"); most
        // keywords have one or two places.
        for (std::uint32_t at = keyword.first; at != 0; at = mPlaces[at - 1].next) {
            Place &place = mPlaces[at - 1];
            if (place.file != file)
                continue;
            if (place.label == 0 && place.fragment == fragment)
                place.label = labelNumber(label); // the index page's name for it
            if (place.label == 0 || label.isEmpty() || mLabels[place.label] == label || place.fragment == fragment)
                return;
        }
        mPlaces.push_back(Place{file, labelNumber(label), 0, fragment});
        const auto added = static_cast<std::uint32_t>(mPlaces.size());
        (keyword.last != 0 ? mPlaces[keyword.last - 1].next : keyword.first) = added;
        keyword.last = added;
    }

    // The keyword of that text, added if new: an open table of the
    // keywords' numbers (plus one), found by the text's hash. A hash of
    // texts would hold a node for each of a large site's 150,000 keywords.
    std::size_t find(const QString &text)
    {
        if ((mKeywords.size() + 1) * 2 > mSlots.size())
            grow();
        const std::size_t mask = mSlots.size() - 1;
        for (std::size_t slot = qHash(text) & mask;; slot = (slot + 1) & mask) {
            if (mSlots[slot] == 0) {
                mKeywords.push_back(Keyword{text});
                mSlots[slot] = static_cast<std::uint32_t>(mKeywords.size());
                return mKeywords.size() - 1;
            }
            if (mKeywords[mSlots[slot] - 1].text == text)
                return mSlots[slot] - 1;
        }
    }

    void grow()
    {
        mSlots.assign(std::max<std::size_t>(1024, mSlots.size() * 2), 0);
        const std::size_t mask = mSlots.size() - 1;
        for (std::size_t i = 0; i < mKeywords.size(); ++i) {
            std::size_t slot = qHash(mKeywords[i].text) & mask;
            while (mSlots[slot] != 0)
                slot = (slot + 1) & mask;
            mSlots[slot] = static_cast<std::uint32_t>(i + 1);
        }
    }

    std::uint32_t labelNumber(const QString &label)
    {
        if (label.isEmpty())
            return 0;
        // Labels come in runs: an index page's entries, a page's terms.
        if (mLabels.back() != label)
            mLabels.push_back(label);
        return static_cast<std::uint32_t>(mLabels.size() - 1);
    }

    // Deques, as a large site has a hundred thousands keywords: a vector
    // would hold them twice while it grows.
    std::deque<Keyword> mKeywords;
    std::deque<Place> mPlaces;
    std::vector<std::uint32_t> mSlots;
    std::deque<QString> mLabels;
    std::deque<std::string> mKeptFragments;
    QStringList mFiles;
    QHash<QString, std::uint32_t> mFileNumbers; // made when a link needs it
};

// Every link of an item, a cell or a term, whether its anchor is in this page
// or in another: a page read before the downloader converted its links has
// its own anchors as "#name", which are only counted, and after as
// "page.html#name", which are kept.
// A table's link to a whole page, kept for the contents (a hub page's
// table of its pages, a navigation bar's "Next"), names no index entry.
bool isTableLinkToAPage(const html::Link &link)
{
    return link.depth == 0 && link.href().find('#') == std::string_view::npos;
}

// The table's links to whole pages are left out.
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
bool mayBeAnIndex(const html::Page &page)
{
    for (const auto entryLink : {isToAnotherPagesAnchor, isToOwnAnchorInATable}) {
        const auto entries = std::count_if(page.links.cbegin(), page.links.cend(), entryLink);
        if (entries >= kFewestLinksOfAnIndexPage && entries * 2 >= itemLinks(page))
            return true;
    }
    return false;
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
        if (isTableLinkToAPage(link))
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
    if (!lead.empty()) {
        // Running text cut at a link ("A new function was added to the
        // <a>os</a> module", a changelog's list) names no term.
        QString term = withoutTrailingPunctuation(FromUtf8(lead));
        if (IsRunningText(term, true))
            return {};
        // A sub-term below its term ("bugs" › "reporting, <a>Title</a>")
        // is a place of the term, told apart by the sub-term.
        if (!link.outer().empty() && !link.outerLinked) {
            const QString outer = withoutTrailingPunctuation(FromUtf8(link.outer()));
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
        }
        for (auto it = seen.cbegin(); it != seen.cend(); ++it)
            if (it->pages >= 3 && it->pages * 10 > pageFiles.size())
                mCommon.insert(it.key());
    }

    // text as CleanedKeyword makes it.
    bool contains(const QString &cleaned) const { return !mCommon.isEmpty() && mCommon.contains(qHash(cleaned)); }

private:
    QSet<std::size_t> mCommon;
};

void writeKeyword(const Keyword &keyword, const Keywords &keywords, const TopicNames &names, SitemapPieces &out)
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

bool MayBeSiteIndexPage(const html::Page &page)
{
    return mayBeAnIndex(page);
}

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
    const Boilerplate common(pageFiles, pages, names);
    Keywords keywords(pageFiles);
    QSet<QString> indexed; // places the site's own index names

    // Titles and the headings a link can reach.
    for (qsizetype i = 0; i < pageFiles.size(); ++i) {
        const QString &file = pageFiles[i];
        const auto number = static_cast<std::uint32_t>(i);
        const html::Page &page = *pages.constFind(file);
        // Each cleaned once, for both the look at the furniture and the keyword.
        const QString title = CleanedKeyword(names.title(file));
        if (!common.contains(title))
            keywords.addCleaned(title, number, {});
        for (const html::Heading &heading : page.headings) {
            if (heading.anchor().empty())
                continue;
            const QString text = CleanedKeyword(FromUtf8(heading.text()));
            if (!common.contains(text))
                keywords.addCleaned(text, number, heading.anchor());
        }
    }
    // The terms of the site's own index pages.
    QSet<QString> indexPages, linkedTerms;
    for (const QString &file : pageFiles)
        for (const auto &[link, target] : indexLinks(file, *pages.constFind(file), pages)) {
            const auto [term, label] = entryOf(*link);
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
            if (indexed.contains(file + QLatin1Char('#') + QString::fromStdString(term.anchor)))
                continue;
            const QString head = QString::fromStdString(term.text).section(QLatin1String(", "), 0, 0);
            if (indexPages.contains(file) && linkedTerms.contains(withoutTrailingPunctuation(head)))
                continue;
            const auto [text, qualifier] = termOf(CleanedKeyword(QString::fromStdString(term.text)));
            keywords.add(text, static_cast<std::uint32_t>(i), term.anchor,
                         qualifier.isEmpty() ? QString()
                                             : names.name(file) + QLatin1String(" (") + qualifier + QLatin1Char(')'));
        }
    }

    // A keyword that leads to many pages ("module", above every module's
    // page) sends a reader to a list as long as the contents.
    std::deque<Keyword> &all = keywords.all();
    const auto tooCommon = [&](const Keyword &keyword) {
        const qsizetype places = keywords.placeCount(keyword);
        if (places < 3 || places * 10 <= pageFiles.size())
            return false;
        QSet<std::uint32_t> files;
        keywords.forEachPlace(keyword, [&files](const Place &place) { files.insert(place.file); });
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
        writeKeyword(all[at], keywords, names, out);
    out += "</UL>\r\n" + SitemapTail();
    out.flush();
    return index;
}

} // namespace quorlix::pipeline
