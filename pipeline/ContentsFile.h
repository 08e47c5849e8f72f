#pragma once

// The contents file (output.hhc): the tree a viewer shows in its Contents tab.

#include "pipeline/SavedPages.h"

#include <QByteArray>
#include <QStringList>

namespace quorlix::pipeline {

struct ContentsFile {
    QByteArray bytes;
    qsizetype topics = 0;
};

// One topic for every page among files (paths relative to the output folder,
// in the order they were saved), named from what pages holds for it; one book
// for every folder that holds pages, nested as the folders are, at the place
// of its first page. A folder's index page is its book's own topic; a folder
// without pages of its own adds no level.
ContentsFile MakeContentsFile(const QStringList &files, const SavedPages &pages);

} // namespace quorlix::pipeline
