#pragma once

// The conversion at the end (-k): every saved page and style sheet has its
// links rewritten to the saved names, or to absolute addresses for what was
// not saved. The files are independent of each other: converted on every
// core.

#include "mirror/ExitStatus.h"
#include "mirror/LinkConversion.h"
#include "mirror/SiteFiles.h"

#include <atomic>
#include <vector>

namespace quorlix::mirror {

class WgetLog;

// Files that cannot be written are logged and counted as an I/O error; a
// cancel stops the conversion where it is.
void convertSite(const std::vector<Document> &documents, const SavedFileLookup &lookup, const std::atomic<bool> &cancel,
                 WgetLog &log, RunStatus &status, bool verbose);

} // namespace quorlix::mirror
