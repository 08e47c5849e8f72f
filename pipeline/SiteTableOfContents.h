#pragma once

// The table of contents a site carries in one of its pages: nested lists of
// links that reach most of its pages (a documentation generator's contents
// page, a manual's "Table of Contents").

#include "pipeline/ContentsTree.h"
#include "pipeline/SavedPages.h"
#include "pipeline/TopicNames.h"

#include <QSet>
#include <QStringList>

namespace quorlix::pipeline {

struct SiteTableOfContents {
    QString page;                      // the page that holds it; "" when no page does
    std::vector<ContentsNode> entries; // nested as its lists are, named as its links are
    QSet<QString> reached;             // the pages its entries lead to
};

// Looks through pageFiles (relative to the output folder) for the page
// whose lists lead to the most other pages, and takes it when they are many
// and at least minShare of all pages. Entries that lead to start are left
// out: it stands above them all.
SiteTableOfContents FindSiteTableOfContents(const QStringList &pageFiles, const SavedPages &pages,
                                            const QString &start, double minShare = 0.4);

// Where no page holds such a table, the site's hub pages: each page goes
// under the first page, breadth first from start, whose lists or tables
// list it (a javadoc module lists its packages, each package its classes).
// Links found on most pages are navigation and place nothing; the pages
// they lead to, most often linked first, are further tops when start lists
// nothing (a start page that only redirects). Entries keep the hubs' order
// and names (a top, which no link names, is named by names); a page is
// listed once.
SiteTableOfContents FindSiteHubContents(const QStringList &pageFiles, const SavedPages &pages, const QString &start,
                                        const TopicNames &names);

} // namespace quorlix::pipeline
