#include "pipeline/IndexFile.h"

#include "pipeline/Sitemap.h"
#include "pipeline/TopicNames.h"

#include <QSet>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>
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

struct Keyword {
    QString text;
    std::vector<Place> places;
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
    std::vector<Keyword> keywords;
    QHash<QString, std::size_t> byText;
    auto add = [&](const QString &text, const Place &place) {
        if (text.isEmpty())
            return;
        auto found = byText.constFind(text);
        if (found == byText.cend()) {
            keywords.push_back(Keyword{text, {}});
            found = byText.insert(text, keywords.size() - 1);
        }
        // Pages are gone through one at a time, so a page already listed
        // under the keyword is its last place.
        std::vector<Place> &places = keywords[*found].places;
        if (places.empty() || places.back().file != place.file)
            places.push_back(place);
    };

    // At most a keyword for every title and heading: room for them all at
    // once, rather than copies of a growing list.
    std::size_t most = 0;
    for (const html::Page &page : pages)
        most += 1 + page.headings.size();
    keywords.reserve(most);
    byText.reserve(qsizetype(most));

    std::optional<TopicNames> names(std::in_place, files, pages);
    QSet<QString> seen;
    for (const QString &file : files) {
        const auto page = pages.constFind(file);
        if (page == pages.cend() || seen.contains(file) || !html::isPageName(file.toStdString()))
            continue;
        seen.insert(file);
        add(names->title(file), Place{&file, nullptr});
        for (const html::Heading &heading : page->headings)
            if (!heading.anchor.empty())
                add(QString::fromStdString(heading.text), Place{&file, &heading});
    }
    // What only the gathering needed goes before the sort and the writing.
    byText = {};
    seen = {};
    names.reset();

    // Their order is sorted rather than the keywords themselves: a stable
    // sort of a large site's keywords would take a copy of them all.
    std::vector<std::uint32_t> order(keywords.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&keywords](std::uint32_t left, std::uint32_t right) {
        const QString &a = keywords[left].text;
        const QString &b = keywords[right].text;
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });

    IndexFile index;
    index.keywords = static_cast<qsizetype>(keywords.size());
    // Handed on in pieces of about a megabyte.
    constexpr qsizetype kPiece = 1 << 20;
    QByteArray piece = SitemapHead({}) + "<UL>\r\n";
    piece.reserve(kPiece + 64 * 1024);
    for (const std::uint32_t at : order) {
        const Keyword &keyword = keywords[at];
        // Each place as a Name/Local pair that repeats the keyword: viewers
        // take either the first or the last Name of an entry as its keyword
        // (and name the places by their topics' titles themselves).
        QList<QPair<QString, QString>> params;
        for (const Place &place : keyword.places)
            params << qMakePair(QStringLiteral("Name"), keyword.text)
                   << qMakePair(QStringLiteral("Local"), placeName(place));
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
