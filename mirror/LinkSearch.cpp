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

void LinkSearch::findLinks()
{
    std::string content;
    read = readFileStart(path, content, kMaxParsedBytes);
    std::optional<std::uint64_t> handedAt;
    if (read) {
        size = content.size();
        const bool readsPage = handover && !css && html::readsAsUtf8AsIs(content);
        std::optional<PageLinks> scanned;
        if (css) {
            findCssLinks(content, 0, found.links);
        } else if (content.size() >= kScannedFrom && (scanned = scanHtmlLinks(content, stop))) {
            found = std::move(*scanned);
            if (readsPage) {
                mScannedLinks = found.links;
                mDeferred = std::move(content);
            }
        } else if (readsPage) {
            // The window would read these very bytes: one parse for both.
            html::EarlyPageReading reading(content, stop);
            found = findHtmlLinks(content, stop, &reading);
            handedAt = handOn(reading, *handover);
        } else {
            found = findHtmlLinks(content, stop);
        }
        if (keepRecord)
            record = recordOfLinks(found.links);
    }
    if (readingAt && mDeferred.empty())
        readingAt->set(handedAt);
    ready.store(true);
}

void LinkSearch::readPage()
{
    if (mDeferred.empty())
        return;
    std::optional<std::uint64_t> handedAt;
    try {
        html::EarlyPageReading reading(mDeferred, stop);
        const PageLinks parsed = findHtmlLinks(mDeferred, stop, &reading);
        // Handed on only where the parse finds what the tags showed: the
        // page is converted by the links from its tags, and the window
        // finishes this reading from that conversion. Else it parses the
        // page itself.
        if (parsed.noFollow == found.noFollow && sameLinks(parsed.links, mScannedLinks))
            handedAt = handOn(reading, *handover);
    } catch (const std::exception &) {
        // Out of memory: the window reads the page itself.
    }
    std::string().swap(mDeferred);
    std::vector<PageLink>().swap(mScannedLinks);
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
        search->findLinks();
        mOnReady();
        const bool large = search->bytes >= kLargeBytes;
        if (search->readsLater()) {
            // The crawl takes the links while the page is read for the
            // window, on a thread of its own behind the crawl, as the
            // conversions are. Large pages are read one at a time: the
            // readers before it have ended, and are let go.
            std::vector<std::thread> earlier;
            {
                std::lock_guard<std::mutex> hold(mLock);
                earlier.swap(mReaders);
                mReaders.emplace_back([this, search, large] {
                    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBehindTheCrawl);
                    search->readPage();
                    if (large)
                        largeDone();
                });
            }
            for (std::thread &reader : earlier)
                reader.join();
            continue;
        }
        if (large)
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
