#include "pipeline/IndexFile.h"

#include "pipeline/Sitemap.h"
#include "pipeline/TopicNames.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace quorlix::pipeline {

namespace {

struct Keyword {
    QString text;
    QStringList places; // page or page#anchor
    QSet<QString> pages;
};

} // namespace

IndexFile MakeIndexFile(const QStringList &files, const SavedPages &pages)
{
    std::vector<Keyword> keywords;
    QHash<QString, std::size_t> byText;
    auto add = [&](const QString &text, const QString &file, const QString &place) {
        if (text.isEmpty())
            return;
        auto found = byText.constFind(text);
        if (found == byText.cend()) {
            keywords.push_back(Keyword{text, {}, {}});
            found = byText.insert(text, keywords.size() - 1);
        }
        Keyword &keyword = keywords[*found];
        if (keyword.pages.contains(file))
            return;
        keyword.pages.insert(file);
        keyword.places << place;
    };

    const TopicNames names(files, pages);
    QSet<QString> seen;
    for (const QString &file : files) {
        const auto page = pages.constFind(file);
        if (page == pages.cend() || seen.contains(file) || !html::isPageName(file.toStdString()))
            continue;
        seen.insert(file);
        add(names.title(file), file, file);
        for (const html::Heading &heading : page->headings)
            if (!heading.anchor.empty())
                add(QString::fromStdString(heading.text), file,
                    file + QLatin1Char('#') + QString::fromStdString(heading.anchor));
    }

    std::stable_sort(keywords.begin(), keywords.end(), [](const Keyword &a, const Keyword &b) {
        const int order = QString::compare(a.text, b.text, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : QString::compare(a.text, b.text, Qt::CaseSensitive) < 0;
    });

    IndexFile index;
    index.keywords = static_cast<qsizetype>(keywords.size());
    index.bytes = SitemapHead({}) + "<UL>\r\n";
    for (const Keyword &keyword : keywords) {
        // Each place as a Name/Local pair that repeats the keyword: viewers
        // take either the first or the last Name of an entry as its keyword
        // (and name the places by their topics' titles themselves).
        QList<QPair<QString, QString>> params;
        for (const QString &place : keyword.places)
            params << qMakePair(QStringLiteral("Name"), keyword.text) << qMakePair(QStringLiteral("Local"), place);
        index.bytes += SitemapEntry(params, 1);
    }
    index.bytes += "</UL>\r\n" + SitemapTail();
    return index;
}

} // namespace quorlix::pipeline
