#pragma once

// The index file (output.hhk): the keywords a viewer lists in its Index tab.

#include "pipeline/SavedPages.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

namespace quorlix::pipeline {

struct IndexFile {
    QByteArray bytes;
    qsizetype keywords = 0;
};

// A keyword for every page title and every h1-h6 heading that a link can
// reach (page#anchor), for every term of the site's own index pages (pages
// of many links to anchors in other pages, or in a one-page manual to its
// own), and for every anchored definition term no index page names;
// without section numbers and the signs around names, and without titles
// and headings found on many pages. A dotted name is a keyword by its last
// name too ("readFile" for "fs.readFile(path)"). A page that repeats many
// others (a one-page edition of the manual) adds its headings only where
// no other page has them. Sorted as people read (without regard to case, numbers by value). A
// keyword found in several pages is listed once, with an entry below it for
// each page, named by what tells them apart; one page is listed once under
// a keyword.
IndexFile MakeIndexFile(const QStringList &files, const SavedPages &pages);
// Lets go of the links of every page that is no index of the site: once
// the contents are made, only the index reads them, and on a large site
// they come to tens of megabytes. The index comes out the same.
void LetGoOfLinksNoIndexReads(SavedPages &pages);
// The same, handed to write piece by piece as it is made (bytes stays
// empty), so that a large site's index of tens of megabytes is never held
// whole. Stops at the first piece write refuses.
IndexFile MakeIndexFile(const QStringList &files, const SavedPages &pages,
                        const std::function<bool(const QByteArray &)> &write);

} // namespace quorlix::pipeline
