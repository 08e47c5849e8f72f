#include "mirror/SiteConversion.h"

#include "mirror/FileStore.h"
#include "mirror/LinkSearch.h"
#include "mirror/PageLinks.h"
#include "mirror/ReadingHandover.h"
#include "mirror/WgetLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace quorlix::mirror {

namespace {

constexpr std::size_t kMaxParsedBytes = LinkSearch::kMaxParsedBytes;

} // namespace

namespace {

// Where the page's early reading was handed on: a large page's is made
// after its links were found, perhaps while it is converted.
std::optional<std::uint64_t> readingAt(const Document &document)
{
    return document.readingAt ? document.readingAt->wait() : std::nullopt;
}

} // namespace

Conversion convertDocument(const ConversionJob &job, const SavedFileLookup &lookup, const WgetLog &log,
                           std::string &error, const std::function<bool()> &mayRewrite, const ReadingHandover *handover)
{
    const Document &document = *job.document;
    std::string content;
    if (!readFileStart(job.source(), content, kMaxParsedBytes))
        return Conversion::Unread;
    if (content.size() >= kMaxParsedBytes)
        return Conversion::Unchanged;
    const auto url = Url::parse(document.url);
    std::vector<PageLink> links;
    std::string record;
    const bool kept = !document.linksRecord.empty() && content.size() == document.size
                      && readFileStart(document.linksRecord, record, kMaxParsedBytes * 4)
                      && linksFromRecord(record, links);
    ConvertedHrefs hrefs;
    const std::string rewritten = kept ? convertFoundLinks(content, std::move(links), *url, document.file, lookup,
                                                           nullptr, &hrefs)
                                       : convertLinks(content, document.css, *url, document.file, lookup);
    // Bytes kept aside are the page's as saved: written back even when
    // nothing changes.
    if (rewritten == content && job.kept.empty()) {
        if (handover)
            handover->hand(document.file, kept ? readingAt(document) : std::nullopt, rewritten, hrefs);
        return Conversion::Unchanged;
    }
    if (mayRewrite && !mayRewrite())
        return Conversion::Held;
    if (rewriteFile(document.file, rewritten)) {
        if (handover)
            handover->hand(document.file, kept ? readingAt(document) : std::nullopt, rewritten, hrefs);
        return Conversion::Rewritten;
    }
    error = "Cannot write to " + log.quoted(document.file) + " (" + std::strerror(errno) + ").";
    return Conversion::Failed;
}

void convertSite(const std::vector<ConversionJob> &jobs, int filesShown, const SavedFileLookup &lookup,
                 const std::atomic<bool> &cancel, WgetLog &log, RunStatus &status, bool verbose,
                 const std::function<void(const std::string &file)> &final, const ReadingHandover *handover)
{
    const auto started = std::chrono::steady_clock::now();
    std::atomic<std::size_t> next{0};
    std::mutex errorsLock;
    std::vector<std::string> errors;
    auto work = [&] {
        std::string error;
        for (std::size_t i; !cancel.load() && (i = next.fetch_add(1)) < jobs.size();) {
            const Conversion result = convertDocument(jobs[i], lookup, log, error, {}, handover);
            if (result == Conversion::Failed) {
                std::lock_guard<std::mutex> hold(errorsLock);
                errors.push_back(error);
            }
            if (result != Conversion::Unread && final)
                final(jobs[i].document->file);
        }
    };
    std::vector<std::thread> workers;
    for (unsigned int i = 1; i < helperThreads() && i < jobs.size(); ++i)
        workers.emplace_back(work);
    work();
    for (std::thread &worker : workers)
        worker.join();
    if (cancel.load())
        return;
    for (const std::string &error : errors)
        log.line(error);
    if (!errors.empty())
        status.note(IoError);
    // As in GNU Wget, a -nv log has no line for the conversion.
    if (verbose)
        log.converted(filesShown, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

} // namespace quorlix::mirror
