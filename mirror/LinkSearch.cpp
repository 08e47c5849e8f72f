#include "mirror/LinkSearch.h"

#include "html/Charset.h"
#include "html/EarlyReading.h"
#include "html/PageRecord.h"
#include "mirror/HtmlLinkScanner.h"
#include "mirror/ReadingHandover.h"

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>
#include <unordered_set>

namespace quorlix::mirror {

unsigned helperThreads()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMostHelperThreads);
}

bool readFileStart(const std::string &file, std::string &out, std::size_t most)
{
    FILE *f = std::fopen(file.c_str(), "rb");
    if (!f)
        return false;
    out.clear();
    char buffer[1 << 16];
    std::size_t n;
    while (out.size() < most && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    std::fclose(f);
    return true;
}

namespace {

// The same links, but that the parse gives a link again where it made an
// element anew (an <a> left open across a paragraph): at an offset already
// listed, which adds nothing.
bool sameLinks(const std::vector<PageLink> &parsed, const std::vector<PageLink> &scanned)
{
    std::unordered_set<std::size_t> offsets;
    std::size_t next = 0;
    for (const PageLink &link : parsed) {
        if (!offsets.insert(link.offset).second)
            continue;
        if (next == scanned.size())
            return false;
        if (link != scanned[next++])
            return false;
    }
    return next == scanned.size();
}

// Where the early reading was handed on, if it was.
std::optional<std::uint64_t> handOn(html::EarlyPageReading &reading, const ReadingHandover &handover)
{
    if (std::optional<html::EarlyReading> early = reading.finish())
        return handover.handEarly(html::recordOfEarlyReading(*early));
    return std::nullopt;
}

} // namespace

void LinkSearch::run()
{
    findLinks();
    readPage();
}

void LinkSearch::findLinks(const std::function<void()> &startReading)
{
    std::string content;
    read = readFileStart(path, content, kMaxParsedBytes);
    std::optional<std::uint64_t> handedAt;
    if (read) {
        size = content.size();
        const bool readsPage = handover && !css && html::readsAsUtf8AsIs(content);
        if (css) {
            findCssLinks(content, 0, found.links);
        } else if (content.size() >= kScannedFrom) {
            // The crawl takes the links from the tags; the parse that reads
            // the page for the window starts beside the scan where it can.
            const auto page = std::make_shared<const std::string>(std::move(content));
            if (readsPage) {
                mReadsLater = true;
                mDeferred = page;
                if (startReading) {
                    mReadingStarted = true;
                    startReading();
                }
            }
            std::optional<PageLinks> scanned;
            try {
                scanned = scanHtmlLinks(*page, stop);
            } catch (const std::bad_alloc &) {
                // As where the tags cannot be read: the parse's links.
            }
            if (scanned)
                found = std::move(*scanned);
            if (readsPage)
                handedAt = settleScan(*page, scanned.has_value());
            else if (!scanned)
                found = findHtmlLinks(*page, stop);
        } else if (readsPage) {
            handedAt = parseAndRead(content);
        } else {
            found = findHtmlLinks(content, stop);
        }
        if (keepRecord)
            record = recordOfLinks(found.links);
    }
    if (readingAt && !mReadsLater)
        readingAt->set(handedAt);
    ready.store(true);
}

// The scan's outcome, for the parse that reads the page. Where the tags
// could not be read, the parse's links are the page's: taken from the
// reader when it has started, else from a parse made here (and the page is
// not read later).
std::optional<std::uint64_t> LinkSearch::settleScan(const std::string &page, bool scanned)
{
    {
        std::lock_guard<std::mutex> hold(mScanLock);
        mScanned = scanned ? Scan::Taken : Scan::GaveUp;
        if (scanned) {
            mScannedLinks = found.links;
            mScannedNoFollow = found.noFollow;
        }
    }
    mScanSettled.notify_all();
    if (scanned)
        return std::nullopt;
    if (mReadingStarted) {
        std::unique_lock<std::mutex> hold(mScanLock);
        mScanSettled.wait(hold, [this] { return mParseDone; });
        if (mParsed)
            found = std::move(*mParsed);
        else // the reader ran out of memory
            found = findHtmlLinks(page, stop);
        return std::nullopt;
    }
    mReadsLater = false;
    mDeferred.reset();
    return parseAndRead(page);
}

// The window would read these very bytes: one parse for the links and the
// reading; where it was handed on.
std::optional<std::uint64_t> LinkSearch::parseAndRead(std::string_view page)
{
    html::EarlyPageReading reading(page, stop);
    found = findHtmlLinks(page, stop, &reading);
    return handOn(reading, *handover);
}

void LinkSearch::readPage()
{
    if (!mReadsLater)
        return;
    // The page is the reader's alone from here (the scan holds its own).
    const std::shared_ptr<const std::string> page = std::move(mDeferred);
    std::optional<std::uint64_t> handedAt;
    std::optional<PageLinks> parsed;
    try {
        html::EarlyPageReading reading(*page, stop);
        parsed = findHtmlLinks(*page, stop, &reading);
        Scan scan;
        bool noFollow;
        std::vector<PageLink> scannedLinks;
        {
            std::unique_lock<std::mutex> hold(mScanLock);
            mScanSettled.wait(hold, [this] { return mScanned != Scan::Pending; });
            scan = mScanned;
            noFollow = mScannedNoFollow;
            scannedLinks.swap(mScannedLinks);
        }
        // Handed on where the page's links are the parse's own, or where
        // the parse finds what the tags showed: the page is converted by
        // the links from its tags, and the window finishes this reading
        // from that conversion. Else it parses the page itself.
        if (scan == Scan::GaveUp || (parsed->noFollow == noFollow && sameLinks(parsed->links, scannedLinks)))
            handedAt = handOn(reading, *handover);
    } catch (const std::exception &) {
        // Out of memory: the window reads the page itself.
        parsed.reset();
    }
    {
        std::lock_guard<std::mutex> hold(mScanLock);
        mParsed = std::move(parsed);
        mParseDone = true;
    }
    mScanSettled.notify_all();
    readingAt->set(handedAt);
}

BackgroundLinkFinder::BackgroundLinkFinder(std::function<void()> onReady, unsigned threads)
    : mOnReady(std::move(onReady)), mThreadCount(threads == 0 ? 1 : threads)
{
}

BackgroundLinkFinder::~BackgroundLinkFinder()
{
    {
        std::lock_guard<std::mutex> hold(mLock);
        mStopping = true;
        mPending.clear();
    }
    mWake.notify_all();
    for (std::thread &thread : mThreads)
        thread.join();
    // No finder is left to start another.
    for (std::thread &thread : mReaders)
        thread.join();
}

void BackgroundLinkFinder::submit(std::shared_ptr<LinkSearch> search)
{
    {
        std::lock_guard<std::mutex> hold(mLock);
        mPending.push_back(std::move(search));
        // Threads are started on the first page: a single file needs none.
        if (mThreads.size() < mThreadCount)
            mThreads.emplace_back(&BackgroundLinkFinder::work, this);
    }
    mWake.notify_one();
}

std::shared_ptr<LinkSearch> BackgroundLinkFinder::next()
{
    for (auto it = mPending.begin(); it != mPending.end(); ++it) {
        const bool large = (*it)->bytes >= kLargeBytes;
        if (large && mLargeUnderWay)
            continue;
        mLargeUnderWay = mLargeUnderWay || large;
        std::shared_ptr<LinkSearch> search = std::move(*it);
        mPending.erase(it);
        return search;
    }
    return nullptr;
}

void BackgroundLinkFinder::work()
{
    for (;;) {
        std::shared_ptr<LinkSearch> search;
        {
            std::unique_lock<std::mutex> hold(mLock);
            mWake.wait(hold, [&] { return mStopping || (search = next()); });
            if (mStopping)
                return;
        }
        const bool large = search->bytes >= kLargeBytes;
        // A page whose links come from its tags is read for the window on
        // a thread of its own behind the crawl, as the conversions are,
        // its parse beside the scan. Large pages are read one at a time:
        // the readers before it have ended, and are let go.
        std::vector<std::thread> earlier;
        search->findLinks([&] {
            std::lock_guard<std::mutex> hold(mLock);
            earlier.swap(mReaders);
            mReaders.emplace_back([this, search, large] {
                ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBehindTheCrawl);
                search->readPage();
                if (large)
                    largeDone();
            });
        });
        mOnReady();
        for (std::thread &reader : earlier)
            reader.join();
        if (large && !search->readsLater())
            largeDone();
    }
}

void BackgroundLinkFinder::largeDone()
{
    {
        std::lock_guard<std::mutex> hold(mLock);
        mLargeUnderWay = false;
    }
    mWake.notify_all();
}

} // namespace quorlix::mirror
