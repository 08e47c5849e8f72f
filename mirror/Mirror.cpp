#include "mirror/Mirror.h"

#include "mirror/CrawlFrontier.h"
#include "mirror/EarlyConversion.h"
#include "mirror/ExitStatus.h"
#include "mirror/FinalFiles.h"
#include "mirror/HttpTransfers.h"
#include "mirror/LinkSearch.h"
#include "mirror/LocalName.h"
#include "mirror/ReadingHandover.h"
#include "mirror/RequisiteHosts.h"
#include "mirror/RobotsByHost.h"
#include "mirror/SiteConversion.h"
#include "mirror/SiteFiles.h"
#include "mirror/Url.h"
#include "mirror/WgetLog.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <set>
#include <unistd.h>

namespace quorlix::mirror {

namespace {

using Clock = std::chrono::steady_clock;

TransferSettings settingsOf(const MirrorOptions &o)
{
    TransferSettings s;
    s.userAgent = o.userAgent;
    s.timeoutSeconds = o.timeoutSeconds;
    s.checkCertificate = o.checkCertificate;
    s.caCertificate = o.caCertificate;
    s.caDirectory = o.caDirectory;
    s.tries = o.tries;
    return s;
}

} // namespace

// The run: transfers started for the frontier's window, each answer taken
// in the queue's order (saved, logged, its links added), the end.
struct Mirror::State {
    State(const MirrorOptions &o, const std::atomic<bool> &c)
        : options(o), cancel(c), log(o.quiet), parallel(o.waitSeconds > 0 ? 1 : o.parallel),
          transfers(settingsOf(o), parallel), finalFiles(o.finalFilesList)
    {
        if (options.convertLinks && options.convertEarly) {
            early = std::make_unique<EarlyConversion>(files, log, finalFiles, cancel, &handover);
            files.foreseeNames(options.adjustExtension);
            files.watchPlacing([this](const std::string &file) { early->beforePlacing(file); },
                               [this](const std::string &file, bool placed) { early->afterPlacing(file, placed); });
        }
    }

    const MirrorOptions &options;
    const std::atomic<bool> &cancel;
    WgetLog log;
    RunStatus status;
    int parallel;
    HttpTransfers transfers;
    FinalFiles finalFiles;
    ReadingHandover handover{options.pageReadings};
    // After transfers: its threads wake the transfers' wait, so it ends first.
    BackgroundLinkFinder finder{[this] { transfers.wakeUp(); }, helperThreads()};
    SiteFiles files{options.prefix, log, status};
    RobotsByHost robots{
        [this](Transfer &t, const std::string &url, TransferOwner &owner) { return begin(t, url, {}, owner); },
        [this](Transfer &t) { return robotsArrived(t); }};
    CrawlFrontier frontier{options, robots};
    RequisiteHosts requisiteHosts{[this](const Url &url) { return frontier.isStartHost(url); }};
    // After files: its thread reads them, so it ends first.
    std::unique_ptr<EarlyConversion> early;
    std::set<std::string> listedAtEnd; // saved files a rival may still replace
    Clock::time_point nextRequest{};   // --wait
    std::mt19937 random{std::random_device{}()};

    bool begin(Transfer &transfer, const std::string &url, const std::string &referer, TransferOwner &owner)
    {
        transfer = Transfer();
        transfer.url = url;
        transfer.referer = referer;
        transfer.owner = &owner;
        if (requisiteHosts.givenUp(url)) {
            transfer.hostGivenUp = true;
            return false;
        }
        transfer.bodyPath = files.tempPath();
        if (options.waitSeconds > 0) {
            double wait = options.waitSeconds;
            if (options.randomWait)
                wait *= std::uniform_real_distribution<double>(0.5, 1.5)(random);
            nextRequest = Clock::now()
                          + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wait));
        }
        if (transfers.start(transfer))
            return true;
        if (files.tempFolderError() != 0)
            transfer.writeErrno = files.tempFolderError();
        requisiteHosts.endsFor(transfer); // it ended before it began
        return false;
    }

    // Room for one more transfer, and no --wait pause under way.
    bool mayStart() const
    {
        return transfers.running() < static_cast<std::size_t>(parallel)
               && !(options.waitSeconds > 0 && Clock::now() < nextRequest);
    }

    // Takes the next addresses off the queue while there is room, and
    // starts the transfers of the window that may start.
    void dispatch()
    {
        frontier.refill([this](const std::string &url) { return files.savedAs(url) != nullptr; });
        frontier.forEach([this](Ticket &t) {
            if (t.started || t.done)
                return;
            // A request to a host given up ends at once, whatever it waits for.
            if (!(t.item.elsewhere && requisiteHosts.givenUp(t.item.url))) {
                const CrawlFrontier::Admission admission = frontier.admits(t);
                if (admission == CrawlFrontier::Admission::Refused)
                    t.done = t.excluded = true;
                if (admission != CrawlFrontier::Admission::Start || t.retryAt > Clock::now() || !mayStart()
                    || (t.item.elsewhere && !requisiteHosts.ask(t.item.url)))
                    return;
            }
            t.started = true;
            if (!begin(t.transfer, t.item.url, t.item.referer, t))
                t.done = true;
        });
    }

    void ended(Transfer &transfer)
    {
        const bool givenUp = requisiteHosts.endsFor(transfer);
        // At the first fault of its host, the transfers under way to it end.
        if (givenUp && !transfer.hostGivenUp)
            frontier.forEach([this](Ticket &t) {
                if (t.started && !t.done && t.transfer.easy && t.item.elsewhere && requisiteHosts.givenUp(t.item.url)) {
                    transfers.abandon(t.transfer);
                    t.transfer.hostGivenUp = t.done = true;
                }
            });
        transfer.owner->ended(transfer, !givenUp && transfers.retryLater(transfer, *transfer.owner));
    }

    // A robots.txt that came for good: saved and logged, its file's name
    // returned; "" when there is none.
    std::string robotsArrived(Transfer &t)
    {
        const auto url = Url::parse(t.url);
        if (!t.answered()) {
            // A site without robots.txt is the usual case: GNU Wget logs the
            // failure but does not let it change the exit status.
            reportFailure(t, *url, false);
            return {};
        }
        const std::string file = files.inPrefix(localName(*url));
        if (!files.place(t.bodyPath, file, t.url))
            return {};
        files.logSaved(t.finalUrl(), t.bytes, t.contentLength, file);
        listIfFinal(file, {});
        return file;
    }

    // Whether file, saved from the addresses own, may be saved again: by an
    // address queued (rivals, to wait for), or by one not met yet (later:
    // a folder's address and its "index.html" name one file, and a site
    // links both).
    std::vector<std::size_t> rivalsOf(const std::string &file, const std::vector<std::string> &own, bool &later)
    {
        std::vector<std::size_t> rivals = frontier.pendingUnder(files.nameOf(file));
        later = false;
        for (const std::string &address : own) {
            rivals.erase(std::remove(rivals.begin(), rivals.end(), addressKey(address)), rivals.end());
            const auto url = Url::parse(address);
            if (!url || url->query)
                continue;
            const bool folder = url->path.empty() || url->path.back() == '/';
            if (!folder && !(url->path == "index.html" || url->path.ends_with("/index.html")))
                continue;
            const auto alias = Url::resolve(*url, folder ? "index.html" : "./");
            later = later || (alias && !frontier.isSeen(alias->text()) && !files.savedAs(alias->text()));
        }
        return rivals;
    }

    // A file just saved and logged (from the addresses own) is final unless
    // its links are converted or another answer may be saved over it.
    void listIfFinal(const std::string &file, const std::vector<std::string> &own)
    {
        listedAtEnd.erase(file);
        if (options.convertLinks && files.kindOfSaved(file) != ContentKind::Other)
            return;
        bool later = false;
        if (rivalsOf(file, own, later).empty() && !later)
            finalFiles.add(file);
        else
            listedAtEnd.insert(file);
    }

    void reportFailure(const Transfer &t, const Url &url, bool countsForExit = true)
    {
        RunStatus ignored;
        RunStatus &count = countsForExit ? status : ignored;
        if (t.hostGivenUp) {
            log.givenUp(t.url);
            count.note(requisiteHosts.statusOf(t.url));
        } else if (t.writeErrno != 0) {
            files.cannotWrite(t.url, localName(url), t.writeErrno, countsForExit);
        } else if (HttpTransfers::connectionFailed(t)) {
            const HttpTransfers::Fault fault = transfers.faultOf(t, url.host, log.quoted(url.host));
            if (fault.withAddress)
                log.failure(fault.address, fault.line);
            else
                log.line(fault.line);
            count.note(fault.status);
        } else {
            log.httpError(t.finalUrl(), t.status, t.reason);
            count.note(ServerError);
        }
    }

    // The answer at the head of the queue: saved as GNU Wget names it and
    // logged; false when it is not (then it has no links to follow).
    bool save(Ticket &t)
    {
        const CrawlItem &item = t.item;
        const auto original = Url::parse(item.url);
        if (t.reuse || files.savedAs(item.url)) {
            if (t.started)
                ::unlink(t.transfer.bodyPath.c_str());
            t.reuse = true;
            t.savedAs = *files.savedAs(item.url);
            t.finalUrl = *original;
            t.kind = files.kindOfSaved(t.savedAs);
            return t.kind == ContentKind::Html && item.htmlAllowed;
        }
        Transfer &tr = t.transfer;
        if (!tr.answered()) {
            reportFailure(tr, *original);
            ::unlink(tr.bodyPath.c_str());
            return false;
        }
        const auto final = Url::parse(tr.redirects == 0 || tr.effectiveUrl.empty() ? item.url : tr.effectiveUrl);
        t.finalUrl = final ? *final : *original;
        const bool redirected = t.finalUrl.text() != item.url;
        // The start address of a folder without its slash: the mirror is
        // the one of the folder, as if typed with it.
        const bool startFolder = redirected && item.depth == 0 && !original->query
                                 && t.finalUrl.text() == item.url + "/";
        if (startFolder)
            frontier.moveRoot(item.root, t.finalUrl);
        t.kind = contentKindOf(tr.contentType);
        std::string name = localName(startFolder ? t.finalUrl : *original);
        if (options.adjustExtension)
            name = withAdjustedExtension(name, t.kind);
        const std::string file = files.inPrefix(name);
        if (!files.place(tr.bodyPath, file, tr.effectiveUrl)) {
            ::unlink(tr.bodyPath.c_str());
            return false;
        }
        files.logSaved(t.finalUrl.text(), tr.bytes, tr.contentLength, file);
        t.savedAs = file;
        files.remember(item.url, file);
        if (redirected)
            files.remember(t.finalUrl.text(), file);
        files.noteDocument(file, t.finalUrl.text(), t.kind);
        listIfFinal(file, {item.url, t.finalUrl.text()});
        if (startFolder)
            frontier.markSeen(t.finalUrl.text());
        return true;
    }

    // Takes the answer at the head of the queue: saves and logs its file,
    // then adds its links. False while it waits for its links or a robots.txt.
    bool take(Ticket &t)
    {
        if (t.searching())
            return false;
        if (t.excluded)
            return true;
        if (!t.committed) {
            t.committed = true;
            if (!save(t))
                return true;
        }
        return addLinks(t);
    }

    // The bodies near the head of the window that came whole: their links
    // are looked for on the finder's threads while the crawl goes on, so
    // they are at hand when their turn comes. Only so far ahead that the
    // links held wait a short while.
    static constexpr std::size_t kSearchAhead = 24;

    void searchAhead()
    {
        auto &window = frontier.window();
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
        bool isCss = false;
        bool leaf = false;
        if (!tr.answered() || !frontier.descends(t, contentKindOf(tr.contentType), isCss, leaf))
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
        if (options.convertLinks && !isCss && handover.takesReadings()) {
            search->handover = &handover;
            search->readingAt = std::make_shared<HandedReadingAt>();
        }
        search->stop = &cancel;
        return search;
    }

    bool addLinks(Ticket &t)
    {
        bool isCss = false;
        bool leaf = false;
        if (!frontier.descends(t, t.kind, isCss, leaf))
            return true;
        bool waiting = false;
        if (!frontier.wantsFinalAddress(t, waiting))
            return !waiting;
        // Found while the body waited its turn; else (a file saved earlier)
        // looked for now.
        if (t.reuse || !t.search || t.search->css != isCss) {
            t.search = newSearch(t.savedAs, isCss);
            t.search->run();
        }
        if (!t.search->read)
            return true;
        if (options.convertLinks)
            files.keepLinks(t.savedAs, isCss, *t.search);
        if (!(options.robots && t.search->found.noFollow) && !frontier.follow(t, t.search->found, leaf))
            return false;
        if (!early)
            return true;
        bool later = false;
        const std::vector<std::size_t> rivals = rivalsOf(t.savedAs, {t.item.url, t.finalUrl.text()}, later);
        if (!later)
            early->linksFollowed(
                t.savedAs, isCss, t.search->found.links,
                [this](const std::string &url) { return frontier.isPending(url); },
                [this](const std::string &url) { return answeredKind(url); }, rivals);
        return true;
    }

    // The kind of a queued address's answer when it has come, whole and
    // to be saved: with -E its name follows from it.
    std::optional<ContentKind> answeredKind(const std::string &url)
    {
        if (!options.adjustExtension)
            return std::nullopt;
        for (const auto &t : frontier.window())
            if (t->item.url == url)
                return t->done && t->started && !t->reuse && t->transfer.answered()
                           ? std::optional(contentKindOf(t->transfer.contentType))
                           : std::nullopt;
        return std::nullopt;
    }

    // The early conversions stopped; what the end converts.
    std::vector<ConversionJob> endEarlyConversion()
    {
        if (early)
            return early->finish();
        std::vector<ConversionJob> all;
        for (const Document &document : files.documents())
            all.push_back({&document, {}});
        return all;
    }

    void cleanUp()
    {
        frontier.forEach([this](Ticket &t) {
            if (t.started && !t.done)
                transfers.abandon(t.transfer);
            if (t.started && !t.committed)
                ::unlink(t.transfer.bodyPath.c_str());
        });
        robots.abandon(transfers);
    }

    // One turn of the loop: new requests out, the answers at the head taken,
    // then a wait for progress. False at the end.
    bool turn()
    {
        robots.pump();
        dispatch();
        // The new requests go out before the answers in hand are taken.
        transfers.send();
        frontier.takeAnswers(
            [this](Ticket &t) {
                searchAhead();
                return !files.full() && take(t);
            },
            [this](const std::string &url) {
                if (early)
                    early->settled(url);
            });
        if (files.full())
            return false;
        dispatch();
        if (frontier.empty() && !robots.pending())
            return false;
        // A finished search wakes the wait; with nothing under way, the
        // loop comes round often for retries and --wait.
        searchAhead();
        const bool headSearching = !frontier.window().empty() && frontier.window().front()->searching();
        const auto timeout = std::chrono::milliseconds(transfers.running() > 0 || headSearching ? 100 : 10);
        for (Transfer *transfer : transfers.wait(timeout))
            ended(*transfer);
        return true;
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
    for (const std::string &address : s.options.addresses) {
        std::string text = address;
        if (text.find("://") == std::string::npos)
            text = "http://" + text;
        auto url = Url::parse(text);
        if (!url) {
            s.log.line(WgetLog::shown(address) + ": Unsupported scheme.");
            s.status.note(GenericError);
            continue;
        }
        s.frontier.addRoot(*url);
    }

    while (!s.files.full()) {
        if (s.cancel.load()) {
            s.cleanUp();
            if (s.early) {
                s.early->finish();
                s.early->removeKeptBytes();
            }
            s.files.removeTemporaryFiles();
            return kCancelledStatus;
        }
        if (!s.turn())
            break;
    }
    s.cleanUp();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const std::vector<ConversionJob> left = s.endEarlyConversion();
    if (s.files.files() > 0 || s.options.recursive)
        s.log.finished(seconds, s.files.files(), s.files.bytes(), seconds);
    if (s.options.convertLinks && !s.files.full() && s.files.files() > 0) {
        const SavedFileLookup lookup = [&s](const std::string &address) { return s.files.savedAs(address); };
        convertSite(
            left, static_cast<int>(s.files.documents().size()), lookup, s.cancel, s.log, s.status, s.options.verbose,
            [&s](const std::string &file) { s.finalFiles.add(file); }, &s.handover);
    } else if (s.options.convertLinks && !s.cancel.load()) {
        // Not converted (the disk is full): final as they are.
        for (const ConversionJob &job : left)
            s.finalFiles.add(job.document->file);
    }
    if (!s.cancel.load())
        for (const std::string &file : s.listedAtEnd)
            s.finalFiles.add(file);
    if (s.early)
        s.early->removeKeptBytes();
    s.files.removeTemporaryFiles();
    if (s.cancel.load())
        return kCancelledStatus;
    return s.status.value();
}

} // namespace quorlix::mirror
