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

// A keyword for every page title and every h1-h3 heading that a link can
// reach (page#anchor), sorted without regard to case. A keyword found in
// several pages is listed once with all of them; one page is listed once
// under a keyword.
IndexFile MakeIndexFile(const QStringList &files, const SavedPages &pages);
// The same, handed to write piece by piece as it is made (bytes stays
// empty), so that a large site's index of tens of megabytes is never held
// whole. Stops at the first piece write refuses.
IndexFile MakeIndexFile(const QStringList &files, const SavedPages &pages,
                        const std::function<bool(const QByteArray &)> &write);

} // namespace quorlix::pipeline
