#include "mirror/SiteConversion.h"

#include "mirror/FileStore.h"
#include "mirror/LinkSearch.h"
#include "mirror/PageLinks.h"
#include "mirror/WgetLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace quorlix::mirror {

namespace {

constexpr std::size_t kMaxParsedBytes = LinkSearch::kMaxParsedBytes;

// Rewrites one saved page or sheet; false when it cannot be written.
bool convertOne(const Document &document, const SavedFileLookup &lookup, const WgetLog &log, std::string &error)
{
    std::string content;
    if (!readFileStart(document.file, content, kMaxParsedBytes) || content.size() >= kMaxParsedBytes)
        return true;
    const auto url = Url::parse(document.url);
    std::vector<PageLink> links;
    std::string record;
    const bool kept = !document.linksRecord.empty() && content.size() == document.size
                      && readFileStart(document.linksRecord, record, kMaxParsedBytes * 4)
                      && linksFromRecord(record, links);
    const std::string rewritten = kept ? convertFoundLinks(content, std::move(links), *url, document.file, lookup)
                                       : convertLinks(content, document.css, *url, document.file, lookup);
    if (rewritten == content || rewriteFile(document.file, rewritten))
        return true;
    error = "Cannot write to " + log.quoted(document.file) + " (" + std::strerror(errno) + ").";
    return false;
}

} // namespace

void convertSite(const std::vector<Document> &documents, const SavedFileLookup &lookup, const std::atomic<bool> &cancel,
                 WgetLog &log, RunStatus &status, bool verbose)
{
    const auto started = std::chrono::steady_clock::now();
    std::atomic<std::size_t> next{0};
    std::mutex errorsLock;
    std::vector<std::string> errors;
    auto work = [&] {
        std::string error;
        for (std::size_t i; !cancel.load() && (i = next.fetch_add(1)) < documents.size();) {
            if (!convertOne(documents[i], lookup, log, error)) {
                std::lock_guard<std::mutex> hold(errorsLock);
                errors.push_back(error);
            }
        }
    };
    std::vector<std::thread> workers;
    for (unsigned int i = 1; i < helperThreads(); ++i)
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
        log.converted(static_cast<int>(documents.size()),
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

} // namespace quorlix::mirror
