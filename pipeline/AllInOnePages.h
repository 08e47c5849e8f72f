#pragma once

// Pages that hold many other pages of the site whole: a manual's one-page
// edition saved beside its pages (Node.js's all.html), a printable copy of
// a whole part.

#include "pipeline/SavedPages.h"

#include <QStringList>

#include <vector>

namespace quorlix::pipeline {

// For each of files, whether it repeats the headings of several others:
// most of the headings of at least three pages, headings found on no page
// but the two. Known by shape, whatever the page is called.
std::vector<bool> AllInOnePages(const QStringList &files, const SavedPages &pages);

} // namespace quorlix::pipeline
