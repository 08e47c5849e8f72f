#include "pipeline/IndexTopic.h"

#include "pipeline/LinkTarget.h"
#include "pipeline/SiteIndexPages.h"

#include <QSet>

#include <string_view>

namespace quorlix::pipeline {

namespace {

// "Index", "… Index", or "Index" and a separator before what part of it
// the page holds ("Index – A", "Index: Symbols"); not "Index of /pub",
// a server's folder listing.
bool namedAsAnIndex(const QString &name)
{
    const QString index = QStringLiteral("index");
    if (name.compare(index, Qt::CaseInsensitive) == 0 || name.endsWith(QLatin1Char(' ') + index, Qt::CaseInsensitive))
        return true;
    if (!name.startsWith(index, Qt::CaseInsensitive))
        return false;
    for (qsizetype i = index.size(); i < name.size(); ++i) {
        if (name[i].isSpace())
            continue;
        return name[i] == QLatin1Char(':') || name[i].category() == QChar::Punctuation_Dash;
    }
    return false;
}

// An index of terms leads from page to page as its entries come, to several
// places in most of them, where a table of contents or a class's page keeps
// one page's anchors together, a namespace's page leads to its own and to
// one place (its description) in each class's.
bool leadsFromPageToPage(const QString &file, const html::Page &page)
{
    constexpr qsizetype kFewestPages = 3;
    qsizetype toAnchors = 0, changes = 0;
    QString last;
    QSet<QString> linked;
    for (const html::Link &link : page.links) {
        if (!link.first || link.href().find('#') == std::string_view::npos)
            continue;
        const LinkTarget target = ResolvedLink(file, link.href());
        if (target.file.isEmpty() || target.file == file || target.fragment.isEmpty())
            continue;
        ++toAnchors;
        if (target.file != last)
            ++changes, last = target.file;
        linked.insert(target.file);
    }
    return linked.size() >= kFewestPages && changes * 2 >= toAnchors && toAnchors * 2 >= linked.size() * 3;
}

} // namespace

bool IsSiteIndexTopic(const QString &name, const QString &file, const html::Page *page)
{
    return namedAsAnIndex(name.trimmed()) || (page && MayBeSiteIndexPage(*page) && leadsFromPageToPage(file, *page));
}

} // namespace quorlix::pipeline
