#include "mirror/EarlyConversion.h"

#include "mirror/CrawlFrontier.h"
#include "mirror/FinalFiles.h"
#include "mirror/LinkConversion.h"
#include "mirror/LinkSearch.h"
#include "mirror/SiteFiles.h"
#include "mirror/WgetLog.h"

#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>
#include <unordered_set>

namespace quorlix::mirror {

namespace {

// A conversion of `running` must end before `placing` is put in place:
// the same file, or one that goes where `running` is a folder now.
bool conflicts(const std::string &running, const std::string &placing)
{
    return !running.empty() && !placing.empty()
           && (running == placing
               || (placing.size() > running.size() && placing.compare(0, running.size(), running) == 0
                   && placing[running.size()] == '/'));
}

} // namespace

EarlyConversion::EarlyConversion(SiteFiles &files, const WgetLog &log, const FinalFiles &final,
                                 const std::atomic<bool> &cancel, const ReadingHandover *handover)
    : mFiles(files), mLog(log), mFinal(final), mHandover(handover), mCancel(cancel)
{
    mFiles.trackLookUps();
}

EarlyConversion::~EarlyConversion()
{
    stop();
}

void EarlyConversion::stop()
{
    {
        std::lock_guard<std::mutex> hold(mLock);
        mStopping = true;
    }
    mChange.notify_all();
    for (std::thread &thread : mThreads)
        thread.join();
    mThreads.clear();
}

bool EarlyConversion::runs(const std::string &placing) const
{
    for (const std::string &running : mRunning)
        if (conflicts(running, placing))
            return true;
    return false;
}

EarlyConversion::Entry &EarlyConversion::entry(std::size_t index)
{
    if (index >= mEntries.size())
        mEntries.resize(index + 1);
    return mEntries[index];
}

void EarlyConversion::enqueue(std::size_t index)
{
    Entry &e = entry(index);
    e.state = State::Queued;
    mQueue.push_back({index, e.generation, &mFiles.documents()[index]});
    // Started with the pages ready: a single file needs none.
    if (mThreads.size() < std::min<std::size_t>(helperThreads(), mQueue.size()))
        mThreads.emplace_back(&EarlyConversion::work, this);
    mChange.notify_all();
}

void EarlyConversion::linksFollowed(const std::string &file, bool isCss, const std::vector<PageLink> &links,
                                    const std::function<bool(const std::string &url)> &pending,
                                    const std::function<std::optional<ContentKind>(const std::string &url)> &answered,
                                    const std::vector<std::size_t> &rivals)
{
    const auto index = mFiles.documentIndex(file);
    if (!index)
        return;
    const Document &document = mFiles.documents()[*index];
    // Without links kept, or kept of another kind, it is read again at the end.
    if (document.linksRecord.empty() || document.css != isCss)
        return;
    {
        std::lock_guard<std::mutex> hold(mLock);
        if (entry(*index).state != State::Unassessed)
            return;
    }
    // Only this thread moves an entry on from Unassessed: no lock while the
    // links are resolved.
    std::unordered_set<std::size_t> waitFor(rivals.begin(), rivals.end());
    forEachLinkTarget(links, *Url::parse(document.url), [&](const std::string &target) {
        // One queued whose name can be told is converted to that name now;
        // should it not be saved so, the page is converted again at the end.
        if (!mFiles.savedAs(target) && pending(target) && !mFiles.foresee(target, answered(target)))
            waitFor.insert(addressKey(target));
    });
    std::lock_guard<std::mutex> hold(mLock);
    Entry &e = entry(*index);
    for (std::size_t target : waitFor)
        mWaiters[target].emplace_back(*index, e.generation);
    e.waitingFor = waitFor.size();
    e.state = State::Waiting;
    if (e.waitingFor == 0)
        enqueue(*index);
}

void EarlyConversion::settled(const std::string &url)
{
    mFiles.settle(url);
    const auto waiters = mWaiters.find(addressKey(url));
    if (waiters == mWaiters.end())
        return;
    std::lock_guard<std::mutex> hold(mLock);
    for (const auto &[index, generation] : waiters->second) {
        Entry &e = entry(index);
        if (e.generation == generation && e.state == State::Waiting && --e.waitingFor == 0)
            enqueue(index);
    }
    mWaiters.erase(waiters);
}

void EarlyConversion::beforePlacing(const std::string &file)
{
    std::unique_lock<std::mutex> hold(mLock);
    mPlacing = file;
    mChange.wait(hold, [&] { return !runs(file); });
}

void EarlyConversion::afterPlacing(const std::string &file, bool placed)
{
    std::lock_guard<std::mutex> hold(mLock);
    mPlacing.clear();
    if (const auto index = placed ? mFiles.documentIndex(file) : std::nullopt) {
        // New bytes: whatever was found or converted of the earlier ones is void.
        Entry &e = entry(*index);
        ++e.generation;
        if (!e.kept.empty())
            ::unlink(e.kept.c_str());
        e.kept.clear();
        // The queue can be long while the crawl runs ahead: looked through
        // only for a page in it.
        if (e.state == State::Queued)
            for (auto it = mQueue.begin(); it != mQueue.end();)
                it = it->index == *index ? mQueue.erase(it) : std::next(it);
        e.state = State::Unassessed;
    }
    mChange.notify_all();
}

void EarlyConversion::work()
{
    // Across a network the cores are idle anyway.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBehindTheCrawl);
    const SavedFileLookup lookup = [this](const std::string &address) -> const std::string * {
        thread_local std::string file;
        return mFiles.lookUpElsewhere(address, file) ? &file : nullptr;
    };
    std::string error;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> hold(mLock);
            auto ready = mQueue.end();
            mChange.wait(hold, [&] {
                for (ready = mQueue.begin(); ready != mQueue.end(); ++ready)
                    if (!conflicts(ready->document->file, mPlacing))
                        break;
                return mStopping || ready != mQueue.end();
            });
            if (mStopping)
                return;
            job = std::move(*ready);
            mQueue.erase(ready);
            mRunning.push_back(job.document->file);
            mEntries[job.index].state = State::Running;
        }
        const std::string &file = job.document->file;
        std::string kept;
        Conversion result = Conversion::Held;
        if (!mCancel.load())
            result = convertDocument(
                {job.document, {}}, lookup, mLog, error,
                [&] {
                    // Its bytes as saved stay at hand, should it be converted again.
                    kept = mFiles.privatePath("kept-" + std::to_string(job.index) + "-"
                                              + std::to_string(job.generation));
                    return ::link(file.c_str(), kept.c_str()) == 0;
                },
                mHandover);
        std::lock_guard<std::mutex> hold(mLock);
        Entry &e = mEntries[job.index];
        if (result == Conversion::Failed || result == Conversion::Held) {
            // The end tries again, and logs what fails then.
            if (result == Conversion::Failed)
                ::unlink(kept.c_str());
            e.state = State::AtEnd;
        } else {
            e.state = State::Converted;
            if (result == Conversion::Rewritten)
                e.kept = kept;
            // Listed before the crawl may put anything else in its place.
            if (result != Conversion::Unread)
                mFinal.add(file);
        }
        mRunning.erase(std::find(mRunning.begin(), mRunning.end(), file));
        mChange.notify_all();
    }
}

bool EarlyConversion::linksChanged(const Document &document) const
{
    const std::unordered_set<std::string> &changed = mFiles.changedAfterLookUp();
    if (changed.empty())
        return false;
    std::string record;
    std::vector<PageLink> links;
    if (!readFileStart(document.linksRecord, record, LinkSearch::kMaxParsedBytes * 4)
        || !linksFromRecord(record, links))
        return true;
    bool found = false;
    forEachLinkTarget(links, *Url::parse(document.url),
                      [&](const std::string &target) { found = found || changed.count(target) > 0; });
    return found;
}

std::vector<ConversionJob> EarlyConversion::finish()
{
    stop();
    std::vector<ConversionJob> left;
    const std::deque<Document> &documents = mFiles.documents();
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const Entry &e = entry(i);
        if (e.state != State::Converted)
            left.push_back({&documents[i], {}});
        else if (linksChanged(documents[i]))
            left.push_back({&documents[i], e.kept});
    }
    return left;
}

void EarlyConversion::removeKeptBytes()
{
    for (Entry &e : mEntries) {
        if (!e.kept.empty())
            ::unlink(e.kept.c_str());
        e.kept.clear();
    }
}

} // namespace quorlix::mirror
