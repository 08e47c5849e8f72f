#pragma once

// Documentation sites built by real generators (tests/fixtures/generators),
// read as a conversion reads them, and the index written from them read
// back as a reader uses it: typing a name into the Index tab.

#include "html/PageReader.h"
#include "pipeline/KeywordText.h"
#include "pipeline/SavedPages.h"

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <array>
#include <iterator>

namespace quorlix::testing {

// The fixtures under tests/fixtures/generators, a folder each.
inline const QStringList kGeneratedSites{"doxygen", "sphinx", "sphinx-releases", "texinfo", "texinfo-single", "docbook", "javadoc", "rdoc"};

struct ReadSite {
    QStringList files; // relative to the folder above the site, the start page first
    pipeline::SavedPages pages;
};

// Every file of the site in root, as if saved into "<host>/" beside it.
inline ReadSite readSite(const QString &root, const QString &host = QStringLiteral("site"))
{
    ReadSite site;
    QStringList rest;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = it.next().mid(root.size() + 1);
        (relative == QLatin1String("index.html") ? site.files : rest) << host + QLatin1Char('/') + relative;
    }
    rest.sort();
    site.files << rest;
    for (const QString &file : site.files) {
        if (!html::isPageName(file.toStdString()))
            continue;
        QFile in(root + file.mid(host.size()));
        if (!in.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = in.readAll();
        site.pages.insert(file, html::readPage(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
    }
    return site;
}

// A sitemap value as text: its character references decoded (numeric ones,
// the markup signs and the typographic signs it writes by name).
inline QString sitemapText(const QString &value)
{
    static const QHash<QString, QString> named{
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"mdash", "\u2014"}, {"ndash", "\u2013"},
        {"hellip", "\u2026"}, {"lsquo", "\u2018"}, {"rsquo", "\u2019"}, {"ldquo", "\u201c"}, {"rdquo", "\u201d"}};
    static const QRegularExpression reference(QStringLiteral("&(#\\d+|[A-Za-z]+);"));
    QString out;
    qsizetype at = 0;
    for (auto it = reference.globalMatch(value); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += value.mid(at, match.capturedStart() - at);
        const QString name = match.captured(1);
        if (name.startsWith(QLatin1Char('#')))
            out += QString::fromUcs4(std::array<char32_t, 1>{char32_t(name.mid(1).toUInt())}.data(), 1);
        else
            out += named.value(name, match.captured(0));
        at = match.capturedEnd();
    }
    return out + value.mid(at);
}

// The sitemap's entries, a line each: depth, name and place.
struct SitemapLine {
    int depth;
    QString name;
    QString local;
};

inline QList<SitemapLine> sitemapLines(const QByteArray &bytes)
{
    static const QRegularExpression param(QStringLiteral("<param name=\"(Name|Local)\" value=\"([^\"]*)\">"));
    QList<SitemapLine> lines;
    int depth = -1;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line == QLatin1String("<UL>"))
            ++depth;
        else if (line == QLatin1String("</UL>"))
            --depth;
        else if (line.startsWith(QLatin1String("<LI>")))
            lines.append({depth, {}, {}});
        else if (const auto match = param.match(line); match.hasMatch() && !lines.isEmpty()) {
            const QString value = sitemapText(match.captured(2));
            if (match.captured(1) == QLatin1String("Name") && lines.last().name.isEmpty())
                lines.last().name = value;
            else if (match.captured(1) == QLatin1String("Local") && lines.last().local.isEmpty())
                lines.last().local = value;
        }
    }
    return lines;
}

// The share of names that some keyword of the index starts with (without
// regard to case), and the names that none does.
inline double findableShare(const QByteArray &index, const QStringList &names, QStringList *missing = nullptr)
{
    QStringList keywords;
    for (const SitemapLine &line : sitemapLines(index))
        if (line.depth == 0)
            keywords << line.name;
    qsizetype found = 0;
    for (const QString &name : names) {
        const bool hit = std::any_of(keywords.cbegin(), keywords.cend(), [&](const QString &keyword) {
            return keyword.startsWith(name, Qt::CaseInsensitive);
        });
        found += hit;
        if (!hit && missing)
            *missing << name;
    }
    return names.isEmpty() ? 1.0 : double(found) / double(names.size());
}

inline QStringList sampledNames(const QString &path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList names = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return names;
}

// The site's own table of contents, as the fixture's rebuild script read it
// from the site (contents.txt): each place it lists (a page, or an anchor in
// one) with the place it is nested under, or the page that lists it.
struct SiteEntry {
    QString place;
    QString parent;
};

inline QList<SiteEntry> siteContents(const QString &path, const QString &host = QStringLiteral("site"))
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QList<SiteEntry> entries;
    for (const QString &line : QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        entries.append({host + QLatin1Char('/') + line.section(QLatin1Char('\t'), 0, 0),
                        host + QLatin1Char('/') + line.section(QLatin1Char('\t'), 1, 1)});
    return entries;
}

// The share of the site's pages that the contents put under the same
// parent: some entry of the contents leads to the place, below an entry
// leading to its parent. A page that lists entries without being listed
// itself (the start page's table of contents, a module's list of packages)
// may be stood for by the contents' top entry.
inline double sameParentShare(const QByteArray &contents, const QList<SiteEntry> &site, QStringList *misplaced = nullptr)
{
    const QList<SitemapLine> lines = sitemapLines(contents);
    QMultiHash<QString, QString> parentsOf; // place -> the place of the entry above it ("" for the top)
    QList<int> above{-1};
    for (int i = 0; i < lines.size(); ++i) {
        above.resize(lines[i].depth + 1);
        const int parent = above.value(lines[i].depth);
        parentsOf.insert(lines[i].local, parent < 0                    ? QString()
                                         : lines[parent].depth == 0 ? QStringLiteral("\n") + lines[parent].local
                                                                    : lines[parent].local);
        above << i;
    }
    QSet<QString> listed;
    for (const SiteEntry &entry : site)
        listed.insert(entry.place);
    // Pages; the sections of a page only on a site of one page.
    QList<SiteEntry> pages;
    std::copy_if(site.cbegin(), site.cend(), std::back_inserter(pages),
                 [](const SiteEntry &entry) { return !entry.place.contains(QLatin1Char('#')); });
    if (pages.isEmpty())
        pages = site;
    qsizetype same = 0;
    for (const SiteEntry &entry : pages) {
        const QStringList parents = parentsOf.values(entry.place);
        const bool found = std::any_of(parents.cbegin(), parents.cend(), [&](const QString &parent) {
            const bool top = parent.startsWith(QLatin1Char('\n'));
            return (top ? parent.mid(1) : parent) == entry.parent || (top && !listed.contains(entry.parent));
        });
        same += found;
        if (!found && misplaced)
            *misplaced << entry.place.section(QLatin1Char('/'), 1);
    }
    return pages.isEmpty() ? 1.0 : double(same) / double(pages.size());
}

// What a reader meets in the Index and the Contents beyond finding names.
struct IndexFigures {
    qsizetype keywords = 0;
    qsizetype toIndexPageOnly = 0; // keywords that lead nowhere but to a page of the site's own index
    qsizetype sentences = 0;       // keywords that are running text, not terms
    qsizetype broad = 0;           // keywords leading to more than a tenth of the pages (and two)
    qsizetype longestList = 0;     // the most entries side by side in the contents
    QStringList examples;          // a few of the keywords counted above
};

// A page of the site's own index, by its title: Sphinx's "Index", Texinfo's
// "Concept Index", javadoc's "Index", Doxygen's "Class Index" and "Class
// Members". The start page is none, even when it holds the index too.
inline QSet<QString> indexPages(const ReadSite &site)
{
    static const QRegularExpression index(QStringLiteral("\\b(Index|Members)\\b"));
    QSet<QString> pages;
    for (auto it = site.pages.cbegin(); it != site.pages.cend(); ++it)
        if (it.key() != site.files.first() && index.match(QString::fromStdString(it->title)).hasMatch())
            pages.insert(it.key());
    return pages;
}

inline IndexFigures indexFigures(const QByteArray &index, const QByteArray &contents, const ReadSite &site)
{
    IndexFigures figures;
    const QSet<QString> ownIndex = indexPages(site);
    QHash<QString, QSet<QString>> pagesOf; // keyword -> pages, itself and its entries together
    QStringList order;
    QString keyword;
    for (const SitemapLine &line : sitemapLines(index)) {
        if (line.depth == 0) {
            keyword = line.name;
            if (!pagesOf.contains(keyword))
                order << keyword;
        }
        pagesOf[keyword].insert(line.local.section(QLatin1Char('#'), 0, 0));
    }
    // Two pages are not many, however small the site (a method of two classes).
    const qsizetype limit = std::max<qsizetype>(2, site.pages.size() / 10);
    for (const QString &name : order) {
        const QSet<QString> &pages = pagesOf[name];
        // The index page's own title ("Concept Index") and headings ("Index – A") may lead to it.
        const bool onlyIndex = !pages.isEmpty() && std::all_of(pages.cbegin(), pages.cend(), [&](const QString &page) {
            const html::Page read = site.pages.value(page);
            return ownIndex.contains(page) && !QString::fromStdString(read.title).contains(name, Qt::CaseInsensitive)
                && std::none_of(read.headings.cbegin(), read.headings.cend(), [&](const html::Heading &heading) {
                       return pipeline::CleanedKeyword(QString::fromUtf8(heading.text().data(), qsizetype(heading.text().size())))
                           == name;
                   });
        });
        const bool sentence = pipeline::IsRunningText(name, true); // over 12 words, or ending in "the", "of" ...
        const bool broad = pages.size() > limit;
        figures.toIndexPageOnly += onlyIndex;
        figures.sentences += sentence;
        figures.broad += broad;
        if ((onlyIndex || sentence || broad) && figures.examples.size() < 6)
            figures.examples << name;
    }
    figures.keywords = order.size();
    QHash<QString, qsizetype> siblings; // by depth and the line above
    QList<int> above{-1};
    const QList<SitemapLine> lines = sitemapLines(contents);
    for (int i = 0; i < lines.size(); ++i) {
        above.resize(lines[i].depth + 1);
        figures.longestList = std::max(figures.longestList,
                                       ++siblings[QStringLiteral("%1/%2").arg(lines[i].depth).arg(above.value(lines[i].depth))]);
        above << i;
    }
    return figures;
}

// Named character references other than the four markup signs: Windows'
// viewer may show them as written.
inline QStringList otherNamedReferences(const QByteArray &sitemap)
{
    static const QRegularExpression named(QStringLiteral("&([A-Za-z][A-Za-z0-9]*);"));
    QStringList found;
    for (auto it = named.globalMatch(QString::fromLatin1(sitemap)); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (name != QLatin1String("amp") && name != QLatin1String("lt") && name != QLatin1String("gt")
            && name != QLatin1String("quot") && !found.contains(name))
            found << name;
    }
    return found;
}

} // namespace quorlix::testing
