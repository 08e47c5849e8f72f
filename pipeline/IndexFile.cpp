#include "pipeline/IndexFile.h"

#include "pipeline/Sitemap.h"
#include "pipeline/TopicNames.h"

#include <QSet>

#include <algorithm>
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

    const TopicNames names(files, pages);
    QSet<QString> seen;
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

    std::stable_sort(keywords.begin(), keywords.end(), [](const Keyword &a, const Keyword &b) {
        const int order = QString::compare(a.text, b.text, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : QString::compare(a.text, b.text, Qt::CaseSensitive) < 0;
    });

    IndexFile index;
    index.keywords = static_cast<qsizetype>(keywords.size());
    index.bytes = SitemapHead({}) + "<UL>\r\n";
    // Room for the whole file at once: growing it step by step would hold
    // two copies of tens of megabytes at the end.
    qsizetype room = index.bytes.size() + 64;
    for (const Keyword &keyword : keywords) {
        room += 64;
        for (const Place &place : keyword.places)
            room += 72 + keyword.text.size() + place.file->size()
                    + (place.heading ? qsizetype(place.heading->anchor.size()) : 0);
    }
    index.bytes.reserve(room);
    for (const Keyword &keyword : keywords) {
        // Each place as a Name/Local pair that repeats the keyword: viewers
        // take either the first or the last Name of an entry as its keyword
        // (and name the places by their topics' titles themselves).
        QList<QPair<QString, QString>> params;
        for (const Place &place : keyword.places)
            params << qMakePair(QStringLiteral("Name"), keyword.text)
                   << qMakePair(QStringLiteral("Local"), placeName(place));
        index.bytes += SitemapEntry(params, 1);
    }
    index.bytes += "</UL>\r\n" + SitemapTail();
    return index;
}

} // namespace quorlix::pipeline
