#pragma once

// The link conversion (-k): a saved page or style sheet has its links
// rewritten to the saved names, or to absolute addresses for what was not
// saved. Pages are converted during the crawl as soon as their links are
// settled (EarlyConversion); the rest at the end, on every core, as the
// files are independent of each other.

#include "mirror/ExitStatus.h"
#include "mirror/LinkConversion.h"
#include "mirror/SiteFiles.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace quorlix::mirror {

class ReadingHandover;
class WgetLog;

// A page or sheet to convert, and where its bytes are read from: its own
// file, or (kept) its bytes as saved, kept aside when it was converted before.
struct ConversionJob {
    const Document *document;
    std::string kept;
    const std::string &source() const { return kept.empty() ? document->file : kept; }
};

enum class Conversion {
    Unread,    // the file is no longer there
    Unchanged, // nothing to rewrite, or too large to read
    Rewritten,
    Failed, // could not be written: error says so
    Held,   // mayRewrite said no: left as it was
};

// Converts one file. mayRewrite, when given, is asked just before the file
// is written; handover, when given, is handed the page's reading once its
// bytes are final.
Conversion convertDocument(const ConversionJob &job, const SavedFileLookup &lookup, const WgetLog &log,
                           std::string &error, const std::function<bool()> &mayRewrite = {},
                           const ReadingHandover *handover = nullptr);

// The conversion at the end. Files that cannot be written are logged and
// counted as an I/O error; a cancel stops it where it is. final is told each file whose bytes
// are now final, from the conversion's threads. filesShown is the count the
// log line gives: every page and sheet of the site, wherever converted.
void convertSite(const std::vector<ConversionJob> &jobs, int filesShown, const SavedFileLookup &lookup,
                 const std::atomic<bool> &cancel, WgetLog &log, RunStatus &status, bool verbose,
                 const std::function<void(const std::string &file)> &final, const ReadingHandover *handover = nullptr);

} // namespace quorlix::mirror
