#pragma once

// The crawl's frontier, as GNU Wget keeps it: the queue of addresses breadth
// first, the window of the next ones whose transfers run ahead, the
// addresses seen, and the rules of what is fetched (-np, one host, robots,
// the depth) and whose links are followed.
//
// Unlike GNU Wget, a page's requisites (-p: style sheets, images, fonts,
// scripts, icons; not frames) are fetched from whatever host serves them, as
// a browser shows the page: most sites load some of them from another host.
// That host is never crawled: only a style sheet's own requisites are taken
// from what it serves. Nor does it hold up the crawl: its robots.txt is
// waited for by its own requisites alone, and one of them that is not ready
// when its turn comes is set aside and taken whenever it is.

#include "mirror/HttpTransfers.h"
#include "mirror/LinkSearch.h"
#include "mirror/LocalName.h"
#include "mirror/MirrorOptions.h"
#include "mirror/PageLinks.h"
#include "mirror/Url.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quorlix::mirror {

class RobotsByHost;

inline std::size_t addressKey(const std::string &text)
{
    return std::hash<std::string>()(text);
}

struct CrawlItem {
    std::string url;
    std::string referer;
    int depth = 0;
    bool htmlAllowed = true;
    bool cssAllowed = false;
    int root = 0;           // the start address it was found from
    bool elsewhere = false; // a requisite on a host other than the start addresses'
};

// An address in the window: its transfer, then what came of it.
struct Ticket : TransferOwner {
    CrawlItem item;
    Transfer transfer;
    bool started = false;
    bool done = false;
    bool reuse = false;     // saved already when it came up
    bool committed = false; // saved and logged; links still to add
    std::string savedAs;
    Url finalUrl;
    ContentKind kind = ContentKind::Other;
    std::shared_ptr<LinkSearch> search; // its links, found off the crawl's thread
    bool searchAsked = false;
    bool excluded = false; // its host's robots.txt, come late, refuses it

    void ended(Transfer &, bool retry) override
    {
        if (retry)
            started = false;
        else
            done = true;
    }
    // Its links are still being looked for: its turn waits.
    bool searching() const { return search && !search->ready.load(); }
};

class CrawlFrontier {
public:
    static constexpr int kInfinite = -1;
    // How far the transfers may run ahead of the answer taken next.
    static constexpr std::size_t kWindow = 256;

    CrawlFrontier(const MirrorOptions &options, RobotsByHost &robots);

    // A start address, at depth 0.
    void addRoot(const Url &url);
    // The start address of a folder typed without its slash becomes the
    // folder's (the mirror is the one of the folder).
    void moveRoot(int root, const Url &url) { mRoots[static_cast<std::size_t>(root)] = url; }
    void markSeen(const std::string &url) { mSeen.insert(url); }

    // Addresses queued, in the window or set aside, not yet taken, are
    // known by their addressKey() (kept only for the conversion during the
    // crawl or the list of final files; two addresses of one key are rare
    // and only make a page wait longer).
    bool isPending(const std::string &url) const { return mPending.count(addressKey(url)) > 0; }
    bool isSeen(const std::string &url) const { return mSeen.count(url) > 0; }
    // Those that may be saved under this name (relative to the download
    // folder): the file may be written again.
    std::vector<std::size_t> pendingUnder(const std::string &name) const;

    // Moves addresses from the queue into the window while there is room;
    // one saved already is done at once (isSaved).
    void refill(const std::function<bool(const std::string &url)> &isSaved);
    std::deque<std::unique_ptr<Ticket>> &window() { return mWindow; }
    bool empty() const { return mWindow.empty() && mQueue.empty() && mAside.empty(); }
    // Every ticket under way: those set aside (the older), then the window's.
    void forEach(const std::function<void(Ticket &)> &visit);
    // Takes the answers in turn (take: false while one must wait): those
    // set aside whenever they are ready, then the window's head in the
    // queue's order. A requisite of another host that is not ready at the
    // head is set aside: it holds up nothing. taken is told each address
    // whose answer was taken.
    void takeAnswers(const std::function<bool(Ticket &)> &take,
                     const std::function<void(const std::string &url)> &taken);

    // The host of one of the start addresses (any port).
    bool isStartHost(const Url &url) const;
    enum class Admission { Start, Wait, Refused };
    // Whether a ticket's transfer may start as far as robots.txt goes: a
    // requisite of another host queued before that host's robots.txt came
    // waits for it here, not before it is queued.
    Admission admits(const Ticket &t);

    // Whether the links of an answer of this kind are followed (as Wget
    // decides by its type, -p and the depth), whether it is read as a style
    // sheet, and whether only its inline links are (a leaf past the depth).
    bool descends(const Ticket &t, ContentKind kind, bool &isCss, bool &leaf) const;
    // A redirected answer's own address is weighed as a link would be: false
    // when it is not wanted (waiting: until a robots.txt comes).
    bool wantsFinalAddress(const Ticket &t, bool &waiting);
    // Adds the wanted links of a page to the queue, in the page's order;
    // false while robots.txt files they need are on their way.
    bool follow(const Ticket &t, const PageLinks &found, bool leaf);

private:
    // Wget's test of whether a link found on a page is fetched (link: null
    // for a redirect's target).
    bool wanted(const Url &child, const Url &parent, int root, const PageLink *link, bool &needsRobots);
    void addPending(const std::string &url, int depth);
    void removePending(const std::string &url, int depth);

    const MirrorOptions &mOptions;
    RobotsByHost &mRobots;
    int mDepthLimit;
    std::vector<Url> mRoots;
    std::deque<CrawlItem> mQueue;
    std::deque<std::unique_ptr<Ticket>> mWindow;
    std::deque<std::unique_ptr<Ticket>> mAside; // another host's requisites, taken when ready
    std::unordered_set<std::string> mSeen;
    bool mTrackPending;
    std::unordered_map<std::size_t, unsigned> mPending; // address key -> how many
    // Each name's key, with the key of an address that may be saved under
    // it before its type is known.
    std::unordered_multimap<std::size_t, std::size_t> mPendingNames;
};

} // namespace quorlix::mirror
