#pragma once

// The site's own index pages among the contents' entries: an index of terms
// (Sphinx's genindex, javadoc's index-all), or a page named as one ("Index",
// "Python Module Index", "Index – A"). A reader turns to them last, so the
// contents put them at the end of their level.

#include "html/PageReader.h"

#include <QString>

namespace quorlix::pipeline {

// Whether the entry named name that leads to file, read as page (null when
// it was not read), is one of the site's index pages.
bool IsSiteIndexTopic(const QString &name, const QString &file, const html::Page *page);

} // namespace quorlix::pipeline
