#pragma once

// Finding the links of a finished body on threads of their own, so the
// crawl's thread keeps its transfers going while a large page is parsed.
// The result depends only on the bytes, so it may be found in any order and
// taken when the crawl comes to that answer in its queue's order.

#include "mirror/PageLinks.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorlix::mirror {

class HandedReadingAt;
class ReadingHandover;

// The threads that work beside the crawl's own (finding links, converting
// them at the end): one for each core, at most kMostHelperThreads.
inline constexpr unsigned kMostHelperThreads = 4;
unsigned helperThreads();
// The niceness of work the crawl does not wait for (converting pages,
// reading them for the window): where the crawl keeps the cores busy (a site
// on this machine), it waits for a free moment.
inline constexpr int kBehindTheCrawl = 10;

// Reads at most about most bytes of a file (whole 64 kB blocks); false when
// it cannot be opened.
bool readFileStart(const std::string &file, std::string &out, std::size_t most);

struct LinkSearch {
    // Pages larger than this are saved but not read for links: a parse
    // takes many times a page's size in memory.
    static constexpr std::size_t kMaxParsedBytes = 16u << 20;

    std::string path;
    std::size_t bytes = 0; // the body's size, as far as known
    bool css = false;
    bool keepRecord = false;                 // also the links as bytes (recordOfLinks)
    const std::atomic<bool> *stop = nullptr; // the crawl's cancel
    // Where a page's reading from the same parse is handed on, if it is.
    const ReadingHandover *handover = nullptr;

    bool read = false;    // the file could be opened
    std::size_t size = 0; // of what was read
    PageLinks found;
    std::string record;
    // Where handover took the page's reading, once known (given with
    // handover). A page whose links were read from its tags (kScannedFrom)
    // is read for the window after them (readPage).
    std::shared_ptr<HandedReadingAt> readingAt;
    std::atomic<bool> ready{false};

    // Both, one after the other.
    void run();
    // The links: ready once they are found. A page whose links are read
    // from its tags (kScannedFrom) and that is read for the window calls
    // startReading, when given, before its tags are read: readPage may
    // then run on another thread at once.
    void findLinks(const std::function<void()> &startReading = {});
    // The reading of a page whose links were read from its tags, if it is
    // to be handed on; its readingAt is set then (and by findLinks for
    // every other page). Called on another thread once startReading was
    // called, else after findLinks.
    void readPage();
    bool readsLater() const { return mReadsLater; }

private:
    std::optional<std::uint64_t> settleScan(const std::string &page, bool scanned);
    std::optional<std::uint64_t> parseAndRead(std::string_view page);

    bool mReadsLater = false;
    std::shared_ptr<const std::string> mDeferred; // the page, for readPage
    bool mReadingStarted = false;
    // Between the scan and the parse beside it.
    enum class Scan { Pending, Taken, GaveUp };
    std::mutex mScanLock;
    std::condition_variable mScanSettled;
    Scan mScanned = Scan::Pending;
    std::vector<PageLink> mScannedLinks; // what the parse should find too
    bool mScannedNoFollow = false;
    std::optional<PageLinks> mParsed; // the parse's links, where the tags could not be read
    bool mParseDone = false;
};

class BackgroundLinkFinder {
public:
    // onReady is called on a finder's thread after each search.
    BackgroundLinkFinder(std::function<void()> onReady, unsigned threads);
    // Searches not begun are dropped; those under way are waited for.
    ~BackgroundLinkFinder();
    BackgroundLinkFinder(const BackgroundLinkFinder &) = delete;
    BackgroundLinkFinder &operator=(const BackgroundLinkFinder &) = delete;

    void submit(std::shared_ptr<LinkSearch> search);

    // Bodies from this size on are parsed one at a time: the parse of a
    // large page takes many times its size in memory.
    static constexpr std::size_t kLargeBytes = 1024 * 1024;

private:
    void work();
    std::shared_ptr<LinkSearch> next(); // under mLock
    std::function<void()> mOnReady;
    unsigned mThreadCount;
    std::mutex mLock;
    std::condition_variable mWake;
    std::deque<std::shared_ptr<LinkSearch>> mPending;
    bool mStopping = false;
    bool mLargeUnderWay = false;
    std::vector<std::thread> mThreads;
    std::vector<std::thread> mReaders; // large pages read for the window
    void largeDone();
};

} // namespace quorlix::mirror
