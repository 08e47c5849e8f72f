#pragma once

// Links converted while the crawl goes on. A saved page or style sheet is
// converted, on threads of their own, as soon as the fate of every address
// its links point to is known or foreseen: saved, taken from the queue and
// not saved, never queued (refused, not followed), or still queued or in
// flight with a name that can be told before its answer (SiteFiles::
// foresee: its own name, or with -E one whose ending its type keeps). An
// address queued whose name cannot be told keeps it waiting; what waits at
// the end is converted then.
//
// What it writes is what the conversion at the end alone would write. What
// a later answer can still change is the file an address is saved as: one
// foreseen that fails or gets another name (a 404, -E adding ".html", a
// redirect that ends on an address saved before), or a requisite fetched
// after a page's plain link to it. Such a change is noticed (SiteFiles
// tracks the addresses looked up here), and the pages linking there are
// converted again at the end from their bytes as saved, kept aside until
// then in the private folder (a hard link: nothing is copied).

#include "mirror/LocalName.h"
#include "mirror/PageLinks.h"
#include "mirror/SiteConversion.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quorlix::mirror {

class FinalFiles;
class ReadingHandover;
class SiteFiles;
class WgetLog;

class EarlyConversion {
public:
    // handover, when given, is handed each converted page's reading.
    EarlyConversion(SiteFiles &files, const WgetLog &log, const FinalFiles &final, const std::atomic<bool> &cancel,
                    const ReadingHandover *handover = nullptr);
    ~EarlyConversion();
    EarlyConversion(const EarlyConversion &) = delete;
    EarlyConversion &operator=(const EarlyConversion &) = delete;

    // The links of a saved page or sheet have been followed (or refused):
    // it waits for the addresses among them that pending says are queued
    // and whose names cannot be foreseen (answered: the kind of one whose
    // answer has come, if any), and for rivals, those queued that may be
    // saved under its name (all known by their addressKey()).
    void linksFollowed(const std::string &file, bool isCss, const std::vector<PageLink> &links,
                       const std::function<bool(const std::string &url)> &pending,
                       const std::function<std::optional<ContentKind>(const std::string &url)> &answered,
                       const std::vector<std::size_t> &rivals);
    // An address has left the crawl's queue: saved or not, its fate is known.
    void settled(const std::string &url);

    // Around every file put in place (SiteFiles::watchPlacing): no
    // conversion writes over a new body, and a page saved again waits anew.
    void beforePlacing(const std::string &file);
    void afterPlacing(const std::string &file, bool placed);

    // Ends the conversions under way; returns what the end converts: every
    // page and sheet not converted here, and those converted here that link
    // to an address whose file changed since.
    std::vector<ConversionJob> finish();
    // The bytes kept aside, removed (after finish()).
    void removeKeptBytes();

private:
    enum class State { Unassessed, Waiting, Queued, Running, Converted, AtEnd };
    struct Entry {
        State state = State::Unassessed;
        unsigned generation = 0; // one more each time its file is saved again
        std::size_t waitingFor = 0;
        std::string kept; // its bytes as saved, when rewritten here
    };
    struct Job {
        std::size_t index;
        unsigned generation;
        // Left as it is while queued or converted: a file saved again is
        // taken off the queue, or waits for its conversion, first.
        const Document *document;
    };

    Entry &entry(std::size_t index); // under mLock
    void enqueue(std::size_t index); // under mLock
    bool linksChanged(const Document &document) const;
    void work();
    bool runs(const std::string &placing) const; // under mLock
    void stop();

    SiteFiles &mFiles;
    const WgetLog &mLog;
    const FinalFiles &mFinal;
    const ReadingHandover *mHandover;
    const std::atomic<bool> &mCancel;
    // Pages waiting, by the key of the address they wait for: the crawl's
    // thread alone.
    std::unordered_map<std::size_t, std::vector<std::pair<std::size_t, unsigned>>> mWaiters;

    std::mutex mLock;
    std::condition_variable mChange;
    std::vector<Entry> mEntries; // by document index
    std::deque<Job> mQueue;
    std::vector<std::string> mRunning; // the files being converted
    std::string mPlacing;              // the file being put in place
    bool mStopping = false;
    std::vector<std::thread> mThreads;
};

} // namespace quorlix::mirror
