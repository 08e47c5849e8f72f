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
    return last > 0 ? title.mid(last) : QString();
}

} // namespace

TopicNames::TopicNames(const QStringList &files, const SavedPages &pages) : mPages(pages)
{
    QHash<QString, qsizetype> endings;
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
    }
    qsizetype most = 0;
    for (auto it = endings.cbegin(); it != endings.cend(); ++it)
        if (it.value() > most || (it.value() == most && it.key() < mEnding))
            most = it.value(), mEnding = it.key();
    if (most < 3 || most * 2 < titled)
        mEnding.clear();
}

QString TopicNames::title(const QString &file) const
{
    const auto page = mPages.constFind(file);
    if (page == mPages.cend())
        return {};
    QString title = QString::fromStdString(page->title);
    if (!mEnding.isEmpty() && title.size() > mEnding.size() && title.endsWith(mEnding))
        title.chop(mEnding.size());
    return title;
}

QString TopicNames::name(const QString &file) const
{
    QString name = title(file);
    if (!name.isEmpty())
        return name;
    const auto page = mPages.constFind(file);
    if (page != mPages.cend() && !page->firstHeading.empty())
        return QString::fromStdString(page->firstHeading);
    return file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace quorlix::pipeline
