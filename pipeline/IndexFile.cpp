#include "pipeline/IndexFile.h"

#include "pipeline/Sitemap.h"
#include "pipeline/TopicNames.h"

#include <QSet>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <utility>
#include <vector>

namespace quorlix::pipeline {

namespace {

// Where a keyword leads: a page, or a heading's anchor in it. Pointers into
// the caller's lists, so that a large site's hundred thousand keywords cost
// a few dozen bytes each until they are written.
struct Place {
    const QString *file;
    const html::Heading *heading; // nullptr: the page itself
};

// A keyword at one place. The keywords are these sorted by their text,
// those of the same text one after another in the order they were found.
struct Mention {
    QString text;
    Place place;
};

QString placeName(const Place &place)
{
    return place.heading ? *place.file + QLatin1Char('#') + QString::fromStdString(place.heading->anchor)
                         : *place.file;
}

} // namespace

IndexFile MakeIndexFile(const QStringList &files, const SavedPages &pages)
{
    QByteArray bytes;
    IndexFile index = MakeIndexFile(files, pages, [&bytes](const QByteArray &piece) {
        bytes += piece;
        return true;
    });
    index.bytes = std::move(bytes);
    return index;
}

IndexFile MakeIndexFile(const QStringList &files, const SavedPages &pages,
                        const std::function<bool(const QByteArray &)> &write)
{
    // Room for a mention of every title and heading at once, rather than
    // copies of a growing list.
    std::size_t most = 0;
    for (const html::Page &page : pages)
        most += 1 + page.headings.size();
    std::vector<Mention> mentions;
    mentions.reserve(most);
    {
        const TopicNames names(files, pages);
        QSet<QString> seen;
        auto add = [&mentions](const QString &text, const Place &place) {
            if (!text.isEmpty())
                mentions.push_back(Mention{text, place});
        };
        for (const QString &file : files) {
            const auto page = pages.constFind(file);
            if (page == pages.cend() || seen.contains(file) || !html::isPageName(file.toStdString()))
                continue;
            seen.insert(file);
            add(names.title(file), Place{&file, nullptr});
            for (const html::Heading &heading : page->headings)
                if (!heading.anchor.empty())
                    add(QString::fromStdString(heading.text), Place{&file, &heading});
        }
    }

    // Their order is sorted rather than the mentions themselves: a stable
    // sort of a large site's mentions would take a copy of them all. Equal
    // texts end up next to each other, in the order they were found.
    std::vector<std::uint32_t> order(mentions.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&mentions](std::uint32_t left, std::uint32_t right) {
        const QString &a = mentions[left].text;
        const QString &b = mentions[right].text;
        const int unlike = QString::compare(a, b, Qt::CaseInsensitive);
        return unlike != 0 ? unlike < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });

    IndexFile index;
    // Handed on in pieces of about a megabyte.
    constexpr qsizetype kPiece = 1 << 20;
    QByteArray piece = SitemapHead({}) + "<UL>\r\n";
    piece.reserve(kPiece + 64 * 1024);
    for (std::size_t first = 0; first < order.size();) {
        // One keyword: the mentions of one text. A page is listed once
        // under it; its mentions are next to each other.
        const QString &text = mentions[order[first]].text;
        // Each place as a Name/Local pair that repeats the keyword: viewers
        // take either the first or the last Name of an entry as its keyword
        // (and name the places by their topics' titles themselves).
        QList<QPair<QString, QString>> params;
        const QString *lastFile = nullptr;
        std::size_t next = first;
        for (; next < order.size() && mentions[order[next]].text == text; ++next) {
            const Place &place = mentions[order[next]].place;
            if (place.file == lastFile)
                continue;
            lastFile = place.file;
            params << qMakePair(QStringLiteral("Name"), text) << qMakePair(QStringLiteral("Local"), placeName(place));
        }
        first = next;
        ++index.keywords;
        piece += SitemapEntry(params, 1);
        if (piece.size() >= kPiece) {
            if (!write(piece))
                return index;
            piece.resize(0);
        }
    }
    piece += "</UL>\r\n" + SitemapTail();
    write(piece);
    return index;
}

} // namespace quorlix::pipeline
