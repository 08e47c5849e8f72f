#pragma once

// The contents as a tree, before it is written out.

#include <QString>

#include <vector>

namespace quorlix::pipeline {

struct ContentsNode {
    QString name;
    QString local; // page or page#anchor; "" for a book that only groups others
    std::vector<ContentsNode> children;
};

// Puts a page whose file name extends a sibling's ("class-members.html"
// beside "class.html") below that sibling, at every level.
void NestCompanionPages(std::vector<ContentsNode> &nodes);

// Splits every list of more than most siblings, so that no list runs longer
// than a reader can scan, keeping its entries in their order: a list sorted
// by name into books by first letter ("A", "B", ..., "#" for the rest), a
// letter with still more into numbered parts; any other list (release notes
// newest first, chapters) into consecutive runs named by their first and
// last entry ("Release 9.0 – Release 7.2").
void SplitLongLists(std::vector<ContentsNode> &nodes, std::size_t most = 250);

} // namespace quorlix::pipeline
