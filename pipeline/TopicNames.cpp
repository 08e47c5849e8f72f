#include "pipeline/TopicNames.h"

#include <QSet>

namespace quorlix::pipeline {

namespace {

// The separators titles put before the site's name, and the ending that
// begins with the last of them.
QString endingOf(const QString &title)
{
    static const QStringList separators{QStringLiteral(" \u2014 "), QStringLiteral(" \u2013 "), QStringLiteral(" - "),
                                        QStringLiteral(" | "), QStringLiteral(" \u00b7 "), QStringLiteral(" :: "),
                                        QStringLiteral(" \u00bb ")};
    qsizetype last = -1;
    for (const QString &separator : separators)
        last = std::max(last, title.lastIndexOf(separator));
    // A manual's name and version in parentheses: "Options (GNU Foo 2.1)".
    if (title.endsWith(QLatin1Char(')')))
        last = std::max(last, title.lastIndexOf(QLatin1String(" (")));
    return last > 0 ? title.mid(last) : QString();
}

// A library's name and a colon before the rest: "Foo: Class List".
QString beginningOf(const QString &title)
{
    const qsizetype colon = title.indexOf(QLatin1String(": "));
    return colon > 0 && colon <= 40 && colon + 2 < title.size() ? title.left(colon + 2) : QString();
}

// The most common of counted, when at least three and at least half of all
// share it.
QString mostShared(const QHash<QString, qsizetype> &counted, qsizetype all)
{
    QString shared;
    qsizetype most = 0;
    for (auto it = counted.cbegin(); it != counted.cend(); ++it)
        if (it.value() > most || (it.value() == most && it.key() < shared))
            most = it.value(), shared = it.key();
    return most < 3 || most * 2 < all ? QString() : shared;
}

} // namespace

TopicNames::TopicNames(const QStringList &files, const SavedPages &pages) : mPages(pages)
{
    QHash<QString, qsizetype> endings;
    QHash<QString, qsizetype> beginnings;
    QSet<QString> seen;
    qsizetype titled = 0;
    for (const QString &file : files) {
        const auto page = pages.constFind(file);
        if (page == pages.cend() || page->title.empty() || seen.contains(file))
            continue;
        seen.insert(file);
        ++titled;
        const QString ending = endingOf(QString::fromStdString(page->title));
        if (!ending.isEmpty())
            ++endings[ending];
        const QString beginning = beginningOf(QString::fromStdString(page->title));
        if (!beginning.isEmpty())
            ++beginnings[beginning];
    }
    mEnding = mostShared(endings, titled);
    mBeginning = mostShared(beginnings, titled);
    // By hash: a large site has tens of thousands of titles.
    QSet<std::size_t> once;
    for (const QString &file : seen) {
        const std::size_t hash = qHash(title(file));
        if (once.contains(hash))
            mSharedTitles.insert(hash);
        else
            once.insert(hash);
    }
}

QString TopicNames::title(const QString &file) const
{
    const auto page = mPages.constFind(file);
    if (page == mPages.cend())
        return {};
    QString title = QString::fromStdString(page->title);
    if (!mEnding.isEmpty() && title.size() > mEnding.size() && title.endsWith(mEnding))
        title.chop(mEnding.size());
    if (!mBeginning.isEmpty() && title.size() > mBeginning.size() && title.startsWith(mBeginning))
        title.remove(0, mBeginning.size());
    return title;
}

QString TopicNames::name(const QString &file) const
{
    QString name = title(file);
    const auto page = mPages.constFind(file);
    const QString heading = page != mPages.cend() ? QString::fromStdString(page->firstHeading) : QString();
    if (!name.isEmpty() && (heading.isEmpty() || heading == name || !mSharedTitles.contains(qHash(name))))
        return name;
    if (!heading.isEmpty())
        return heading;
    return file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace quorlix::pipeline
