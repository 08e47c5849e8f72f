#include "mirror/LinkSearch.h"

#include "html/Charset.h"
#include "html/EarlyReading.h"
#include "html/PageRecord.h"
#include "mirror/ReadingHandover.h"

#include <algorithm>
#include <cstdio>

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

void LinkSearch::run()
{
    std::string content;
    read = readFileStart(path, content, kMaxParsedBytes);
    if (read) {
        size = content.size();
        if (css) {
            findCssLinks(content, 0, found.links);
        } else if (handover && html::readsAsUtf8AsIs(content)) {
            // The window would read these very bytes: one parse for both.
            html::EarlyPageReading reading(content, stop);
            found = findHtmlLinks(content, stop, &reading);
            if (std::optional<html::EarlyReading> early = reading.finish())
                readingAt = handover->handEarly(html::recordOfEarlyReading(*early));
        } else {
            found = findHtmlLinks(content, stop);
        }
        if (keepRecord)
            record = recordOfLinks(found.links);
    }
    ready.store(true);
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
        search->run();
        if (search->bytes >= kLargeBytes) {
            {
                std::lock_guard<std::mutex> hold(mLock);
                mLargeUnderWay = false;
            }
            mWake.notify_all();
        }
        mOnReady();
    }
}

} // namespace quorlix::mirror
