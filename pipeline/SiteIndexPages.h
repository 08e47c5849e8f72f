#pragma once

// The site's own index pages (Sphinx's genindex, doxygen's member lists,
// DocBook's and makeinfo's index): which pages they are, and the terms
// their links give.

#include "html/PageReader.h"
#include "pipeline/LinkTarget.h"
#include "pipeline/SavedPages.h"

#include <QPair>
#include <QString>

#include <utility>
#include <vector>

namespace quorlix::pipeline {

// Whether a page may be one of the site's own index pages: most of its
// links lead to anchors, in other pages or, in a table, its own.
bool MayBeSiteIndexPage(const html::Page &page);

// The links of a page that is an index of the site, with the places they
// lead to, or none.
std::vector<std::pair<const html::Link *, LinkTarget>> SiteIndexLinks(const QString &file, const html::Page &page,
                                                                      const SavedPages &pages);

// A keyword and what tells its place apart, from an index page's link; an
// empty keyword for a link that names no term (a sentence, running text).
QPair<QString, QString> SiteIndexEntry(const html::Link &link);

// text without the colons, commas and blanks after it ("term, ").
QString WithoutTrailingPunctuation(QString text);

} // namespace quorlix::pipeline
