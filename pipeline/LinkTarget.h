#pragma once

// Where a link on a saved page leads, among the saved files.

#include <QString>

#include <string_view>

namespace quorlix::pipeline {

struct LinkTarget {
    QString file;     // relative to the output folder, as the help project lists it; "" when outside
    QString fragment; // without "#"; "" when none
    // "file" or "file#fragment"
    QString place() const { return fragment.isEmpty() ? file : file + QLatin1Char('#') + fragment; }
};

// The target of href as written on the page fromFile (relative to the output
// folder). Links to other sites, to other schemes and out of the output
// folder lead nowhere: file is "". A link to the page itself names it.
LinkTarget ResolvedLink(const QString &fromFile, std::string_view href);

} // namespace quorlix::pipeline
