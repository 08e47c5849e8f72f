#pragma once

// The contents file (output.hhc): the tree a viewer shows in its Contents tab.

#include "pipeline/SavedPages.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

namespace quorlix::pipeline {

struct ContentsFile {
    QByteArray bytes;
    qsizetype topics = 0;
};

// One topic for every page among files (paths relative to the output folder,
// in the order they were saved), below the start page (the first), which is
// named by its title. Where a page holds the site's own table of contents,
// the pages it reaches are nested as it nests them and named as it names
// them. The others are named from what pages holds for them, with one book
// for every folder that holds pages, nested as the folders are, at the place
// of its first page: a folder's index page is its book's own topic; a folder
// without pages of its own adds no level; "x-y.html" goes below "x.html".
// The site's index pages come last in such a level. A large page without
// entries below it gets its headings there; a list of more than 250
// entries is split, keeping its order (SplitLongLists).
ContentsFile MakeContentsFile(const QStringList &files, const SavedPages &pages);
// The same, handed to write piece by piece as it is made (bytes stays
// empty), so that a large site's contents are never held whole. Pieces after
// one write refuses are not handed on.
ContentsFile MakeContentsFile(const QStringList &files, const SavedPages &pages,
                              const std::function<bool(const QByteArray &)> &write);

} // namespace quorlix::pipeline
