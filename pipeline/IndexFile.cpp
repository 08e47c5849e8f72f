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
#include <future>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quorlix::pipeline {

namespace {

// A stable sort, a large list's halves sorted side by side and then merged:
// a large site's index sorts some 150,000 keywords with a costly comparison
// while the other core has nothing to do.
template <typename Less>
void StableSortOnTwoCores(std::vector<std::uint32_t> &items, Less less)
{
    constexpr std::size_t kWorthAThread = 20000;
    if (items.size() < kWorthAThread || std::thread::hardware_concurrency() < 2) {
        std::stable_sort(items.begin(), items.end(), less);
        return;
    }
    const auto middle = items.begin() + static_cast<std::ptrdiff_t>(items.size() / 2);
    // The future waits for its half also when this one throws.
    std::future<void> firstHalf = std::async(std::launch::async,
                                             [&] { std::stable_sort(items.begin(), middle, less); });
    std::stable_sort(middle, items.end(), less);
    firstHalf.get();
    std::inplace_merge(items.begin(), middle, items.end(), less);
}

// The name a definition term defines: "Function: int foo (const char *s)"
// defines "foo", "pkg.mod.bar(x, y)" defines "bar" in "pkg.mod" (its
// path), and a term without a parameter list is itself, its path the
// names it ends in after at most two words of its kind ("class ast.Pass",
// "sys.ps1").
struct TermName {
    QString name;
    QString scope;
    QString path; // "" when the term writes no scope
};

// A decorator's or a pointer's sign is no part of a name ("@functools.cache").
QString withoutSign(QString name)
{
    while (name.size() > 1 && QStringView(u"@*&").contains(name.front()))
        name.remove(0, 1);
    return name;
}

TermName termOf(const QString &text)
{
    const qsizetype paren = text.indexOf(QLatin1Char('('));
    if (paren <= 0) {
        const QStringList words = text.split(QLatin1Char(' '));
        const QString last = withoutSign(words.back());
        const bool kinds = words.size() <= 3 && std::all_of(words.cbegin(), words.cend() - 1, [](const QString &word) {
                               return std::all_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLower(); });
                           });
        const bool path = kinds && (IsPathOfNames(last) || last.indexOf(QLatin1String("::")) > 0);
        return {text, {}, path ? last : QString()};
    }
    QString head = text.left(paren).trimmed();
    head = withoutSign(head.mid(head.lastIndexOf(QLatin1Char(' ')) + 1));
    for (const QLatin1String separator : {QLatin1String("::"), QLatin1String(".")}) {
        const qsizetype at = head.lastIndexOf(separator);
        if (at > 0 && at + separator.size() < head.size())
            return {head.mid(at + separator.size()), head.left(at), head};
    }
    return {head, {}, {}};
}

// The anchors of a page's headings and terms, made when a name needs them.
class PageAnchors {
public:
    explicit PageAnchors(const html::Page &page) : mPage(page) {}

    bool contains(std::string_view anchor)
    {
        if (!std::exchange(mMade, true)) {
            for (const html::Heading &heading : mPage.headings)
                mAnchors.insert(heading.anchor());
            for (const html::Term &term : mPage.terms)
                mAnchors.insert(term.anchor);
        }
        return mAnchors.contains(anchor);
    }

private:
    const html::Page &mPage;
    std::unordered_set<std::string_view> mAnchors; // the page's own texts
    bool mMade = false;
};

// The path an object's anchor gives the name its term writes, where that
// is the name's own path: the page anchors its scope too ("asyncio.Queue.join"
// for "coroutine join()" below "class asyncio.Queue"), or the term writes a
// path the anchor leads with its module ("re.Match.start" for
// "Match.start()"). A one-letter mark before a name ("c.Py_Initialize")
// is the generator's, not a scope. "" when it gives none.
QString anchorPathOf(const QString &written, std::string_view anchor, PageAnchors &anchors)
{
    if (anchor.find('.') == std::string_view::npos)
        return {};
    const QString path = FromUtf8(anchor);
    const qsizetype scope = path.size() - written.size() - 1;
    if (!IsPathOfNames(path) || scope <= 0 || !path.endsWith(written) || path[scope] != QLatin1Char('.')
        || path.indexOf(QLatin1Char('.')) == 1)
        return {};
    const bool scoped = written.contains(QLatin1Char('.')) || anchors.contains(anchor.substr(0, anchor.rfind('.')));
    return scoped ? path : QString();
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

// A place below a keyword, by what tells it from the keyword's others.
struct SubEntry {
    QString label;
    QString local;
    QString file;
};

// Where a keyword typed bare leads: where all its places are methods of
// that name of several objects ("filehandle.readFile(options)",
// "fs.readFile(path)", "fsPromises.readFile(path)"), to the one of the
// object its page is named after (fs.html), as a module's own function;
// else to the first.
QString mainPlace(const QString &text, const std::vector<SubEntry> &subEntries)
{
    const QString member = QLatin1Char('.') + text;
    // Where label names the member, the length of its object's name; else 0.
    const auto objectLength = [&member](const QString &label) -> qsizetype {
        const qsizetype at = label.indexOf(member);
        const qsizetype after = at + member.size();
        return at > 0 && (after == label.size() || label[after] == QLatin1Char('(')) ? at : 0;
    };
    const QString *modules = nullptr;
    for (const SubEntry &entry : subEntries) {
        const qsizetype object = objectLength(entry.label);
        if (object == 0)
            return subEntries.front().local;
        const QString page =
            entry.file.mid(entry.file.lastIndexOf(QLatin1Char('/')) + 1).section(QLatin1Char('.'), 0, 0);
        if (!modules && page == entry.label.left(object))
            modules = &entry.local;
    }
    return modules ? *modules : subEntries.front().local;
}

// Sub-entries sorted by label, each place once. Those of one label ("os" ›
// "module", "module") tell a reader nothing: they are told apart by their
// pages' names, as generators' own indexes do ("module (os — Miscellaneous
// operating system interfaces)"), else by their files, else by their places.
void tellApart(std::vector<SubEntry> &entries, const TopicNames &names)
{
    const auto byLabel = [](const SubEntry &a, const SubEntry &b) { return NaturalCompare(a.label, b.label) < 0; };
    bool told = false;
    for (auto run = entries.begin(); run != entries.end();) {
        auto end = std::find_if(run, entries.end(), [&](const SubEntry &entry) { return entry.label != run->label; });
        if (end - run < 2) {
            run = end;
            continue;
        }
        // The same label and place: one entry, the first.
        for (auto it = run + 1; it != end;)
            if (std::any_of(run, it, [&](const SubEntry &earlier) { return earlier.local == it->local; }))
                it = entries.erase(it), --end;
            else
                ++it;
        const auto what = [&names](const SubEntry &entry, int level) {
            if (level == 0)
                return names.name(entry.file);
            const QString &place = level == 1 ? entry.file : entry.local;
            return place.mid(place.indexOf(QLatin1Char('/')) + 1); // without the host's folder
        };
        for (int level = 0; level < 3 && end - run > 1; ++level) {
            QStringList apart;
            for (auto it = run; it != end; ++it)
                apart << what(*it, level);
            if (level < 2 && (apart.contains(run->label) || apart.removeDuplicates() > 0))
                continue;
            for (auto it = run; it != end; ++it)
                it->label += QLatin1String(" (") + what(*it, level) + QLatin1Char(')');
            told = true;
            break;
        }
        run = end;
    }
    if (told)
        std::stable_sort(entries.begin(), entries.end(), byLabel);
}

void writeKeyword(const Keyword &keyword, const KeywordTable &keywords, const TopicNames &names, SitemapPieces &out)
{
    if (keyword.first == keyword.last) {
        keywords.forEachPlace(keyword,
                              [&](const Place &place) { out.addNamedEntry(keyword.text, keywords.local(place), 1); });
        return;
    }
    // Several places: the keyword lists them below it by what tells them
    // apart, and leads to the main one of them itself.
    std::vector<SubEntry> subEntries;
    keywords.forEachPlace(keyword, [&](const Place &place) {
        const QString &label = keywords.label(place);
        const QString &file = keywords.file(place);
        subEntries.push_back({label.isEmpty() ? names.name(file) : label, keywords.local(place), file});
    });
    std::stable_sort(subEntries.begin(), subEntries.end(),
                     [](const SubEntry &a, const SubEntry &b) { return NaturalCompare(a.label, b.label) < 0; });
    const QString main = mainPlace(keyword.text, subEntries);
    tellApart(subEntries, names);
    out.addNamedEntry(keyword.text, main, 1);
    out += "\t<UL>\r\n";
    for (const SubEntry &entry : subEntries)
        out.addNamedEntry(entry.label, entry.local, 2);
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

    // A documented object's full name, where another page does not have it
    // and the page repeats no others.
    const auto addFullName = [&](const QString &full, qsizetype i, std::string_view anchor) {
        const auto number = static_cast<std::uint32_t>(i);
        if (!full.isEmpty() && !(allInOne[i] && keywords.leadsElsewhere(full, number)))
            keywords.addFullName(full, number, anchor);
    };
    // Titles and the headings a link can reach.
    const auto addTitleAndHeadings = [&](qsizetype i) {
        const QString &file = pageFiles[i];
        const auto number = static_cast<std::uint32_t>(i);
        const html::Page &page = *pages.constFind(file);
        // Each cleaned once, for both the look at the furniture and the keyword.
        const QString title = CleanedKeyword(names.title(file));
        if (!common.contains(title))
            keywords.addCleaned(title, number, {});
        PageAnchors anchors(page);
        const auto addHeading = [&](const QString &raw, std::string_view anchor) {
            const QString text = CleanedKeyword(raw);
            if (common.contains(text))
                return;
            if (!(allInOne[i] && keywords.leadsElsewhere(text, number)))
                keywords.addCleaned(text, number, anchor);
            // An object's heading that names it bare ("join()" anchored
            // "pkg.Queue.join") is found by its full name too; one that
            // writes it whole ("fs.readFile(path)") is found by it already.
            if (anchor.find('.') != std::string_view::npos) {
                const TermName named = termOf(text);
                addFullName(anchorPathOf(named.path.isEmpty() ? named.name : named.path, anchor, anchors), i, anchor);
            }
        };
        // A navigation block's headings ("Included Modules", "Methods" in
        // every class's sidebar) are the site's furniture, as in the contents.
        for (const html::Heading &heading : page.headings)
            if (!heading.anchor().empty() && !heading.navigation)
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
    // The terms pages define, where no index page names them, and by its
    // full name every object a term documents ("os.path.join", which the
    // index names as "join() (in module os.path)"). An index page's own
    // anchored term whose links made it a keyword already (DocBook's
    // "term, <a>Title</a>, <a>Title</a>") would only lead a reader back to
    // the index, named with the links' titles.
    for (qsizetype i = 0; i < pageFiles.size(); ++i) {
        const QString &file = pageFiles[i];
        const auto number = static_cast<std::uint32_t>(i);
        const html::Page &page = *pages.constFind(file);
        PageAnchors anchors(page);
        for (const html::Term &term : page.terms) {
            if (term.minorHeading)
                continue;
            const QString head = QString::fromStdString(term.text).section(QLatin1String(", "), 0, 0);
            if (indexPages.contains(file) && linkedTerms.contains(WithoutTrailingPunctuation(head)))
                continue;
            const TermName named = termOf(CleanedKeyword(QString::fromStdString(term.text)));
            const bool inIndex = indexed.contains(file + QLatin1Char('#') + QString::fromStdString(term.anchor));
            if (!inIndex && !(allInOne[i] && keywords.leadsElsewhere(named.name, number)))
                keywords.add(named.name, number, term.anchor,
                             named.scope.isEmpty()
                                 ? QString()
                                 : names.name(file) + QLatin1String(" (") + named.scope + QLatin1Char(')'));
            // As its term writes it, and as its anchor does ("sunau.AU_read.close"
            // for "AU_read.close()").
            if (inIndex || named.path != named.name)
                addFullName(named.path, i, term.anchor);
            const QString anchorPath = anchorPathOf(named.path.isEmpty() ? named.name : named.path, term.anchor,
                                                    anchors);
            if (anchorPath != named.path)
                addFullName(anchorPath, i, term.anchor);
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
    StableSortOnTwoCores(order, [&all](std::uint32_t left, std::uint32_t right) {
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
