#include "mirror/Mirror.h"

#include "mirror/FileStore.h"
#include "mirror/HttpTransfers.h"
#include "mirror/LinkConversion.h"
#include "mirror/LinkSearch.h"
#include "mirror/LocalName.h"
#include "mirror/PageLinks.h"
#include "mirror/RobotsRules.h"
#include "mirror/Url.h"
#include "mirror/WgetLog.h"

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <algorithm>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace quorlix::mirror {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kInfinite = -1;
// How far the transfers may run ahead of the answer taken next.
constexpr std::size_t kWindow = 256;

// GNU Wget's exit statuses; the lowest non-zero one met is returned.
enum ExitStatus { Success = 0, IoError = 3, NetworkFailure = 4, SslFailure = 5, ServerError = 8 };

ContentKind kindOf(const std::string &contentType)
{
    if (contentType == "text/html" || contentType == "application/xhtml+xml")
        return ContentKind::Html;
    if (contentType == "text/css")
        return ContentKind::Css;
    return ContentKind::Other;
}

bool transient(int code)
{
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_BAD_CONTENT_ENCODING:
        return true;
    default:
        return false;
    }
}

// "a" is a folder of "b" (or the same): Wget's -np test.
bool isSubfolder(const std::string &folder, const std::string &path)
{
    if (folder.empty())
        return true;
    if (path.compare(0, folder.size(), folder) != 0)
        return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
}

} // namespace

struct Mirror::State {
    struct Item {
        std::string url;
        std::string referer;
        int depth = 0;
        bool htmlAllowed = true;
        bool cssAllowed = false;
        int root = 0;
    };
    struct Ticket {
        Item item;
        Transfer transfer;
        bool started = false;
        bool done = false;
        bool reuse = false;     // saved already when it came up
        bool committed = false; // saved and logged; links still to add
        int attempt = 1;
        Clock::time_point retryAt{};
        Clock::time_point startedAt{};
        std::string savedAs;
        Url finalUrl;
        ContentKind kind = ContentKind::Other;
        std::shared_ptr<LinkSearch> search; // its links, found off this thread
        bool searchAsked = false;
    };
    struct Robots {
        bool ready = false;
        RobotsRules rules;
        std::unique_ptr<Transfer> transfer;
        int attempt = 1;
        Clock::time_point retryAt{};
    };
    struct Document {
        std::string file;
        std::string url;
        bool css = false;
        std::string linksRecord; // its links as found during the download, if kept
        std::size_t size = 0;    // of the file they were found in
    };

    State(const MirrorOptions &o, const std::atomic<bool> &c)
        : options(o), cancel(c), log(o.quiet), transfers(settingsOf(o), o.waitSeconds > 0 ? 1 : o.parallel),
          parallel(o.waitSeconds > 0 ? 1 : o.parallel)
    {
    }

    static TransferSettings settingsOf(const MirrorOptions &o)
    {
        TransferSettings s;
        s.userAgent = o.userAgent;
        s.timeoutSeconds = o.timeoutSeconds;
        s.checkCertificate = o.checkCertificate;
        s.caCertificate = o.caCertificate;
        s.caDirectory = o.caDirectory;
        return s;
    }

    const MirrorOptions &options;
    const std::atomic<bool> &cancel;
    WgetLog log;
    HttpTransfers transfers;
    // After transfers: its threads wake the transfers' wait, so it ends first.
    BackgroundLinkFinder finder{[this] { transfers.wakeUp(); },
                                std::clamp(std::thread::hardware_concurrency(), 1u, 4u)};
    int parallel;
    int depthLimit = 5;

    std::vector<Url> roots;
    std::deque<Item> queue;
    std::deque<std::unique_ptr<Ticket>> window;
    std::unordered_set<std::string> blacklist;
    std::unordered_map<std::string, std::string> savedFiles; // address -> file
    std::vector<Document> documents;
    std::unordered_map<std::string, std::size_t> documentIndex; // file -> documents[]
    std::map<std::string, Robots> robots; // "scheme-free host:port"

    std::string tempFolder;
    int tempFolderError = 0; // why it could not be made
    std::unordered_set<std::string> madeFolders;
    unsigned long tempCounter = 0;
    int exitStatus = Success;
    bool aborted = false;
    int files = 0;
    long long bytes = 0;
    Clock::time_point nextRequest{}; // --wait
    std::mt19937 random{std::random_device{}()};

    void noteStatus(int status)
    {
        if (status != Success && (exitStatus == Success || status < exitStatus))
            exitStatus = status;
    }

    // A name inside the download folder, as Wget writes it ("-P ." adds nothing).
    std::string inPrefix(const std::string &name) const
    {
        if (options.prefix == ".")
            return name;
        return options.prefix == "/" ? "/" + name : options.prefix + "/" + name;
    }

    std::string tempPath()
    {
        if (tempFolder.empty()) {
            makeFolders(options.prefix, ownedFrom());
            tempFolder = makePrivateFolder(options.prefix, tempFolderError);
        }
        return tempFolder + "/" + std::to_string(++tempCounter) + ".part";
    }

    // Where the names of the mirror's own folders start in a saved name.
    std::size_t ownedFrom() const { return options.prefix == "." ? 0 : options.prefix.size(); }

    // --wait: the pause before the next request, random with --random-wait.
    bool waitingBetweenRequests() const
    {
        return options.waitSeconds > 0 && Clock::now() < nextRequest;
    }

    bool begin(Transfer &transfer, const std::string &url, const std::string &referer)
    {
        transfer = Transfer();
        transfer.url = url;
        transfer.referer = referer;
        transfer.bodyPath = tempPath();
        if (options.waitSeconds > 0) {
            double wait = options.waitSeconds;
            if (options.randomWait)
                wait *= std::uniform_real_distribution<double>(0.5, 1.5)(random);
            nextRequest = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wait));
        }
        if (transfers.start(transfer))
            return true;
        if (tempFolderError != 0)
            transfer.writeErrno = tempFolderError;
        return false;
    }

    // Takes the next addresses off the queue while there is room.
    void dispatch()
    {
        for (auto &ticket : window) {
            if (!ticket->started && !ticket->done && ticket->retryAt <= Clock::now()
                && transfers.running() < static_cast<std::size_t>(parallel) && !waitingBetweenRequests()) {
                ticket->started = true;
                ticket->startedAt = Clock::now();
                if (!begin(ticket->transfer, ticket->item.url, ticket->item.referer))
                    ticket->done = true;
            }
        }
        while (!queue.empty() && window.size() < kWindow) {
            auto ticket = std::make_unique<Ticket>();
            ticket->item = std::move(queue.front());
            queue.pop_front();
            if (savedFiles.count(ticket->item.url)) {
                ticket->reuse = true;
                ticket->done = true;
            }
            window.push_back(std::move(ticket));
            Ticket &t = *window.back();
            if (!t.done && transfers.running() < static_cast<std::size_t>(parallel) && !waitingBetweenRequests()) {
                t.started = true;
                t.startedAt = Clock::now();
                if (!begin(t.transfer, t.item.url, t.item.referer))
                    t.done = true;
            }
        }
    }

    std::string failureLine(const Transfer &t, const Url &url)
    {
        switch (t.curlCode) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "wget: unable to resolve host address " + log.quoted(url.host);
        case CURLE_COULDNT_CONNECT:
            if (t.osErrno != 0)
                return std::string("failed: ") + std::strerror(static_cast<int>(t.osErrno)) + ".";
            return "failed: " + WgetLog::shown(t.curlError) + ".";
        case CURLE_OPERATION_TIMEDOUT:
            return "failed: Connection timed out (" + WgetLog::shown(t.curlError) + "). Giving up.";
        case CURLE_TOO_MANY_REDIRECTS:
            return "20 redirections exceeded.";
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            return "ERROR: cannot verify " + WgetLog::shown(url.host) + "'s certificate (" + WgetLog::shown(t.curlError)
                   + ").\nTo connect to " + WgetLog::shown(url.host) + " insecurely, use `--no-check-certificate'.";
        case CURLE_SSL_CONNECT_ERROR:
            return "Unable to establish SSL connection to " + WgetLog::shown(url.host) + " (" + WgetLog::shown(t.curlError)
                   + ").";
        default:
            return "ERROR: " + WgetLog::shown(t.curlError) + ". Giving up.";
        }
    }

    int statusOf(int curlCode)
    {
        switch (curlCode) {
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CONNECT_ERROR:
            return SslFailure;
        case CURLE_WRITE_ERROR:
            return IoError;
        case CURLE_TOO_MANY_REDIRECTS: // GNU Wget counts a redirect loop as the server's error
        case CURLE_FILESIZE_EXCEEDED:  // a decompression bomb
            return ServerError;
        default:
            return NetworkFailure;
        }
    }

    // A transfer that ended: retried when the fault may pass (--tries).
    bool retryLater(Transfer &transfer, int &attempt, Clock::time_point &retryAt)
    {
        if (!transient(transfer.curlCode) || transfer.writeErrno != 0)
            return false;
        if (options.tries != 0 && attempt >= options.tries)
            return false;
        ::unlink(transfer.bodyPath.c_str());
        // Wget waits 1 s, then 2 s, ... up to 10 s between tries.
        retryAt = Clock::now() + std::chrono::seconds(std::min(attempt, 10));
        ++attempt;
        return true;
    }

    void ended(Transfer *transfer)
    {
        for (auto &ticket : window) {
            if (&ticket->transfer == transfer) {
                if (retryLater(*transfer, ticket->attempt, ticket->retryAt))
                    ticket->started = false;
                else
                    ticket->done = true;
                return;
            }
        }
        for (auto &[key, entry] : robots) {
            if (entry.transfer && entry.transfer.get() == transfer) {
                if (retryLater(*transfer, entry.attempt, entry.retryAt)) {
                    robotsFailedTransfer(entry);
                    return;
                }
                robotsArrived(entry);
                return;
            }
        }
    }

    void robotsFailedTransfer(Robots &entry)
    {
        // Started again once retryAt has come (see pumpRobots).
        entry.transfer->easy = nullptr;
        entry.transfer->bodyPath.clear();
    }

    void pumpRobots()
    {
        for (auto &[key, entry] : robots) {
            if (!entry.ready && entry.transfer && entry.transfer->bodyPath.empty() && entry.retryAt <= Clock::now()) {
                const std::string url = entry.transfer->url;
                if (!begin(*entry.transfer, url, std::string()))
                    robotsArrived(entry);
            }
        }
    }

    void robotsArrived(Robots &entry)
    {
        Transfer &t = *entry.transfer;
        entry.ready = true;
        const auto url = Url::parse(t.url);
        if (t.curlCode == CURLE_OK && t.status >= 200 && t.status < 300) {
            const std::string file = inPrefix(localName(*url));
            if (place(t.bodyPath, file, t.url)) {
                log.saved(t.effectiveUrl.empty() ? t.url : t.effectiveUrl, t.bytes, t.contentLength, file);
                ++files;
                bytes += t.bytes;
                std::string text;
                readFileStart(file, text, 1 << 20);
                entry.rules = RobotsRules::parse(text);
            }
        } else {
            // A site without robots.txt is the usual case: GNU Wget logs the
            // failure but does not let it change the exit status.
            reportFailure(t, *url, false);
        }
        ::unlink(t.bodyPath.c_str());
        entry.transfer.reset();
    }

    void reportFailure(const Transfer &t, const Url &url, bool countsForExit = true)
    {
        const auto count = [this, countsForExit](int status) {
            if (countsForExit)
                noteStatus(status);
        };
        if (t.writeErrno != 0) {
            log.failure(t.url, "Cannot write to " + log.quoted(localName(url)) + " (" + std::strerror(t.writeErrno) + ").");
            count(IoError);
            if (t.writeErrno == ENOSPC || t.writeErrno == EDQUOT || t.writeErrno == EROFS)
                aborted = true;
            return;
        }
        if (t.curlCode != CURLE_OK) {
            const std::string line = failureLine(t, url);
            if (t.curlCode == CURLE_COULDNT_RESOLVE_HOST)
                log.line(line);
            else
                log.failure(t.effectiveUrl.empty() || t.curlCode == CURLE_TOO_MANY_REDIRECTS ? t.url : t.effectiveUrl, line);
            count(statusOf(t.curlCode));
            return;
        }
        log.httpError(t.effectiveUrl.empty() ? t.url : t.effectiveUrl, t.status, t.reason);
        count(ServerError);
    }

    // Moves a finished body to its name; false (logged) when it cannot be.
    bool place(const std::string &temp, const std::string &file, const std::string &url)
    {
        const std::size_t slash = file.rfind('/');
        // Folders made once are not asked for again (a syscall for each of
        // their parents per file otherwise).
        if (slash != std::string::npos && !madeFolders.count(file.substr(0, slash))) {
            makeFolders(file.substr(0, slash), ownedFrom(), file.substr(0, slash) != options.prefix);
            madeFolders.insert(file.substr(0, slash));
        }
        int error = 0;
        const Placing placing = placeFile(temp, file, error);
        if (placing == Placing::Placed)
            return true;
        if (placing == Placing::ReadOnly) {
            log.permissionDenied(file);
            noteStatus(IoError);
            return false;
        }
        log.failure(url, "Cannot write to " + log.quoted(file) + " (" + std::strerror(error) + ").");
        noteStatus(IoError);
        if (error == ENOSPC || error == EDQUOT || error == EROFS)
            aborted = true;
        return false;
    }

    // Wget's test of whether a link found on a page is fetched.
    bool wanted(const Url &child, const Url &parent, int root, bool isInline, bool &needsRobots)
    {
        needsRobots = false;
        const std::string text = child.text();
        if (blacklist.count(text))
            return false;
        const Url &start = roots[static_cast<std::size_t>(root)];
        // http and https, the only schemes taken, count as one here, as in Wget.
        if (options.noParent && child.host == start.host
            && (child.scheme != start.scheme || child.port == start.port) && !(options.pageRequisites && isInline)) {
            if (!isSubfolder(start.folder(), child.folder()))
                return false;
        }
        if (child.host != parent.host)
            return false;
        if (options.robots) {
            auto found = robots.find(robotsKey(child));
            if (found == robots.end() || !found->second.ready) {
                needsRobots = true;
                if (found == robots.end())
                    fetchRobots(child);
                return false;
            }
            if (!found->second.rules.allows(child.path))
                return false;
        }
        return true;
    }

    static std::string robotsKey(const Url &url) { return url.host + ":" + std::to_string(url.port); }

    void fetchRobots(const Url &child)
    {
        Robots &entry = robots[robotsKey(child)];
        Url address = child;
        address.path = "robots.txt";
        address.query.reset();
        entry.transfer = std::make_unique<Transfer>();
        if (!begin(*entry.transfer, address.text(), std::string()))
            robotsArrived(entry);
    }

    // Takes the answer at the head of the queue: saves and logs its file,
    // then adds its links. False while it waits for a robots.txt.
    bool take(Ticket &t)
    {
        Item &item = t.item;
        if (searching(t))
            return false;
        if (!t.committed) {
            t.committed = true;
            const auto original = Url::parse(item.url);
            if (t.reuse || savedFiles.count(item.url)) {
                if (t.started)
                    ::unlink(t.transfer.bodyPath.c_str());
                t.reuse = true;
                t.savedAs = savedFiles[item.url];
                t.finalUrl = *original;
                const auto document = documentIndex.find(t.savedAs);
                t.kind = document == documentIndex.end() ? ContentKind::Other
                         : documents[document->second].css ? ContentKind::Css
                                                           : ContentKind::Html;
                if (!(t.kind == ContentKind::Html && item.htmlAllowed))
                    return true;
            } else {
                Transfer &tr = t.transfer;
                if (tr.curlCode != CURLE_OK || tr.status < 200 || tr.status >= 300 || tr.writeErrno != 0) {
                    reportFailure(tr, *original);
                    ::unlink(tr.bodyPath.c_str());
                    return true;
                }
                const auto final = Url::parse(tr.redirects == 0 || tr.effectiveUrl.empty() ? item.url : tr.effectiveUrl);
                t.finalUrl = final ? *final : *original;
                const bool redirected = t.finalUrl.text() != item.url;
                // The start address of a folder without its slash: the
                // mirror is the one of the folder, as if typed with it.
                const bool startFolder = redirected && item.depth == 0 && !original->query
                                         && t.finalUrl.text() == item.url + "/";
                if (startFolder) {
                    roots[static_cast<std::size_t>(item.root)] = t.finalUrl;
                }
                t.kind = kindOf(tr.contentType);
                std::string name = localName(startFolder ? t.finalUrl : *original);
                if (options.adjustExtension)
                    name = withAdjustedExtension(name, t.kind);
                const std::string file = inPrefix(name);
                if (!place(tr.bodyPath, file, tr.effectiveUrl)) {
                    ::unlink(tr.bodyPath.c_str());
                    return true;
                }
                log.saved(t.finalUrl.text(), tr.bytes, tr.contentLength, file);
                ++files;
                bytes += tr.bytes;
                t.savedAs = file;
                savedFiles[item.url] = file;
                if (redirected)
                    savedFiles[t.finalUrl.text()] = file;
                if (const auto known = documentIndex.find(file); known != documentIndex.end()) {
                    // Saved again: the links found in the earlier body no longer hold.
                    Document &document = documents[known->second];
                    if (!document.linksRecord.empty())
                        ::unlink(document.linksRecord.c_str());
                    document.linksRecord.clear();
                } else if (t.kind == ContentKind::Html || t.kind == ContentKind::Css) {
                    documentIndex.emplace(file, documents.size());
                    documents.push_back({file, t.finalUrl.text(), t.kind == ContentKind::Css, {}, 0});
                }
                if (redirected && startFolder)
                    blacklist.insert(t.finalUrl.text());
            }
        }
        return addLinks(t);
    }

    // Whether the links of an answer of this kind are followed (as Wget
    // decides by its type, -p and the depth), whether it is read as a style
    // sheet, and whether only its inline links are (a leaf past the depth).
    bool descends(const Ticket &t, ContentKind kind, bool &isCss, bool &leaf) const
    {
        const Item &item = t.item;
        bool descend = false;
        isCss = false;
        leaf = false;
        if (item.htmlAllowed && kind == ContentKind::Html)
            descend = true;
        if (!t.reuse && (kind == ContentKind::Css || item.cssAllowed)) {
            descend = true;
            isCss = true;
        }
        if (descend && depthLimit != kInfinite && item.depth >= depthLimit) {
            if (options.pageRequisites && (item.depth == depthLimit || item.depth == depthLimit + 1))
                leaf = true;
            else
                descend = false;
        }
        return descend;
    }

    // The bodies near the head of the window that came whole: their links
    // are looked for on the finder's threads while the crawl goes on, so
    // they are at hand when their turn comes. Only so far ahead that the
    // links held wait a short while.
    static constexpr std::size_t kSearchAhead = 24;

    void searchAhead()
    {
        const std::size_t ahead = std::min(window.size(), kSearchAhead);
        for (std::size_t i = 0; i < ahead; ++i) {
            Ticket &t = *window[i];
            if (t.done && !t.searchAsked && !t.reuse && t.started) {
                t.searchAsked = true;
                searchLinks(t);
            }
        }
    }

    void searchLinks(Ticket &t)
    {
        const Transfer &tr = t.transfer;
        if (tr.curlCode != CURLE_OK || tr.status < 200 || tr.status >= 300 || tr.writeErrno != 0)
            return;
        bool isCss = false;
        bool leaf = false;
        if (!descends(t, kindOf(tr.contentType), isCss, leaf))
            return;
        std::shared_ptr<LinkSearch> search = newSearch(tr.bodyPath, isCss);
        search->bytes = static_cast<std::size_t>(tr.bytes);
        t.search = search;
        finder.submit(std::move(search));
    }

    std::shared_ptr<LinkSearch> newSearch(const std::string &path, bool isCss)
    {
        auto search = std::make_shared<LinkSearch>();
        search->path = path;
        search->css = isCss;
        search->keepRecord = options.convertLinks;
        search->stop = &cancel;
        return search;
    }

    // Its links are still being looked for: its turn waits.
    static bool searching(const Ticket &t) { return t.search && !t.search->ready.load(); }

    bool addLinks(Ticket &t)
    {
        const Item &item = t.item;
        bool isCss = false;
        bool leaf = false;
        if (!descends(t, t.kind, isCss, leaf))
            return true;
        const auto original = Url::parse(item.url);
        if (!t.reuse && t.finalUrl.text() != item.url && !(item.depth == 0 && t.finalUrl.text() == item.url + "/")) {
            bool needsRobots = false;
            if (!wanted(t.finalUrl, *original, item.root, false, needsRobots))
                return !needsRobots;
            blacklist.insert(t.finalUrl.text());
        }

        // Found while the body waited its turn; else (a file saved earlier)
        // looked for now.
        if (t.reuse || !t.search || t.search->css != isCss) {
            t.search = newSearch(t.savedAs, isCss);
            t.search->run();
        }
        if (!t.search->read)
            return true;
        const PageLinks &found = t.search->found;
        keepLinks(t.savedAs, isCss, *t.search);
        if (options.robots && found.noFollow)
            return true;
        // All robots.txt files these links need, before any link is taken,
        // so the queue gets them in the page's order.
        Url base = t.finalUrl;
        std::vector<std::pair<Url, const PageLink *>> candidates;
        for (const PageLink &link : found.links) {
            if (link.isBase) {
                if (auto resolved = Url::resolve(t.finalUrl, link.text))
                    base = *resolved;
                continue;
            }
            if (!link.followed || (leaf && !link.isInline))
                continue;
            if (auto child = Url::resolve(base, link.text))
                candidates.emplace_back(std::move(*child), &link);
        }
        bool waiting = false;
        for (auto &[child, link] : candidates) {
            bool needsRobots = false;
            wanted(child, t.finalUrl, item.root, link->isInline, needsRobots);
            waiting = waiting || needsRobots;
        }
        if (waiting)
            return false;
        for (auto &[child, link] : candidates) {
            bool needsRobots = false;
            if (!wanted(child, t.finalUrl, item.root, link->isInline, needsRobots))
                continue;
            std::string text = child.text();
            blacklist.insert(text);
            queue.push_back({std::move(text), t.finalUrl.text(), item.depth + 1, link->expectsHtml, link->expectsCss,
                             item.root});
        }
        return true;
    }

    static constexpr std::size_t kMaxParsedBytes = LinkSearch::kMaxParsedBytes;

    // The links of a saved page, kept on disk for the conversion at the end.
    void keepLinks(const std::string &file, bool isCss, LinkSearch &search)
    {
        if (!options.convertLinks)
            return;
        const auto known = documentIndex.find(file);
        if (known == documentIndex.end() || documents[known->second].css != isCss
            || !documents[known->second].linksRecord.empty())
            return;
        const std::string path = tempPath() + ".links";
        std::string record = std::move(search.record);
        if (record.empty())
            record = recordOfLinks(search.found.links);
        FILE *f = std::fopen(path.c_str(), "wb");
        bool ok = f && std::fwrite(record.data(), 1, record.size(), f) == record.size();
        if (f)
            ok = std::fclose(f) == 0 && ok;
        if (!ok) {
            ::unlink(path.c_str());
            return;
        }
        documents[known->second].linksRecord = path;
        documents[known->second].size = search.size;
    }

    void cleanUp()
    {
        for (auto &ticket : window) {
            if (ticket->started && !ticket->done)
                transfers.abandon(ticket->transfer);
            if (ticket->started && !ticket->committed)
                ::unlink(ticket->transfer.bodyPath.c_str());
        }
        for (auto &[key, entry] : robots) {
            if (entry.transfer) {
                if (entry.transfer->easy)
                    transfers.abandon(*entry.transfer);
                if (!entry.transfer->bodyPath.empty())
                    ::unlink(entry.transfer->bodyPath.c_str());
            }
        }
    }

    void removeTemporaryFiles()
    {
        for (Document &document : documents) {
            if (!document.linksRecord.empty())
                ::unlink(document.linksRecord.c_str());
            document.linksRecord.clear();
        }
        if (!tempFolder.empty())
            ::rmdir(tempFolder.c_str());
    }

    // Rewrites one saved page or sheet; false when it cannot be written.
    bool convertOne(const Document &document, const SavedFileLookup &lookup, std::string &error) const
    {
        std::string content;
        if (!readFileStart(document.file, content, kMaxParsedBytes) || content.size() >= kMaxParsedBytes)
            return true;
        const auto url = Url::parse(document.url);
        std::vector<PageLink> links;
        std::string record;
        const bool kept = !document.linksRecord.empty() && content.size() == document.size
                          && readFileStart(document.linksRecord, record, kMaxParsedBytes * 4) && linksFromRecord(record, links);
        const std::string rewritten = kept ? convertFoundLinks(content, std::move(links), *url, document.file, lookup)
                                           : convertLinks(content, document.css, *url, document.file, lookup);
        if (rewritten == content || rewriteFile(document.file, rewritten))
            return true;
        error = "Cannot write to " + log.quoted(document.file) + " (" + std::strerror(errno) + ").";
        return false;
    }

    // The pages are independent of each other: converted on every core.
    void convert()
    {
        const auto started = Clock::now();
        const SavedFileLookup lookup = [this](const std::string &address) -> const std::string * {
            auto found = savedFiles.find(address);
            return found == savedFiles.end() ? nullptr : &found->second;
        };
        std::atomic<std::size_t> next{0};
        std::mutex errorsLock;
        std::vector<std::string> errors;
        auto work = [&] {
            std::string error;
            for (std::size_t i; !cancel.load() && (i = next.fetch_add(1)) < documents.size();) {
                if (!convertOne(documents[i], lookup, error)) {
                    std::lock_guard<std::mutex> hold(errorsLock);
                    errors.push_back(error);
                }
            }
        };
        const unsigned int threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        std::vector<std::thread> workers;
        for (unsigned int i = 1; i < threads; ++i)
            workers.emplace_back(work);
        work();
        for (std::thread &worker : workers)
            worker.join();
        if (cancel.load())
            return;
        for (const std::string &error : errors)
            log.line(error);
        if (!errors.empty())
            noteStatus(IoError);
        // As in GNU Wget, a -nv log has no line for the conversion.
        if (options.verbose)
            log.converted(static_cast<int>(documents.size()), std::chrono::duration<double>(Clock::now() - started).count());
    }
};

Mirror::Mirror(const MirrorOptions &options, const std::atomic<bool> &cancel)
    : d(std::make_unique<State>(options, cancel))
{
}

Mirror::~Mirror() = default;

int Mirror::run()
{
    State &s = *d;
    const auto started = Clock::now();
    if (!s.options.recursive)
        s.depthLimit = 0;
    else
        s.depthLimit = s.options.level == 0 ? kInfinite : s.options.level;
    for (const std::string &address : s.options.addresses) {
        std::string text = address;
        if (text.find("://") == std::string::npos)
            text = "http://" + text;
        auto url = Url::parse(text);
        if (!url) {
            s.log.line(WgetLog::shown(address) + ": Unsupported scheme.");
            s.noteStatus(1);
            continue;
        }
        s.roots.push_back(*url);
        s.blacklist.insert(url->text());
        s.queue.push_back({url->text(), std::string(), 0, true, false, static_cast<int>(s.roots.size() - 1)});
    }

    while (!s.aborted) {
        if (s.cancel.load()) {
            s.cleanUp();
            s.removeTemporaryFiles();
            return 143;
        }
        s.pumpRobots();
        s.dispatch();
        // The new requests go out before the answers in hand are taken.
        s.transfers.send();
        while (!s.window.empty() && s.window.front()->done) {
            s.searchAhead();
            if (!s.take(*s.window.front()))
                break;
            s.window.pop_front();
            if (s.aborted)
                break;
        }
        if (s.aborted)
            break;
        s.dispatch();
        bool robotsPending = false;
        for (auto &[key, entry] : s.robots)
            robotsPending = robotsPending || !entry.ready;
        if (s.window.empty() && s.queue.empty() && !robotsPending)
            break;
        // A finished search wakes the wait; with nothing under way, the
        // loop comes round often for retries and --wait.
        s.searchAhead();
        const bool headSearching = !s.window.empty() && State::searching(*s.window.front());
        const auto timeout = std::chrono::milliseconds(s.transfers.running() > 0 || headSearching ? 100 : 10);
        for (Transfer *transfer : s.transfers.wait(timeout))
            s.ended(transfer);
    }
    s.cleanUp();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (s.files > 0 || s.options.recursive)
        s.log.finished(seconds, s.files, s.bytes, seconds);
    if (s.options.convertLinks && !s.aborted && s.files > 0)
        s.convert();
    s.removeTemporaryFiles();
    if (s.cancel.load())
        return 143;
    return s.exitStatus;
}

} // namespace quorlix::mirror
