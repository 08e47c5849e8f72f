#include "mirror/CrawlFrontier.h"

#include "mirror/RobotsByHost.h"

#include <algorithm>

namespace quorlix::mirror {

namespace {

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

CrawlFrontier::CrawlFrontier(const MirrorOptions &options, RobotsByHost &robots)
    : mOptions(options), mRobots(robots), mDepthLimit(!options.recursive   ? 0
                                                      : options.level == 0 ? kInfinite
                                                                           : options.level),
      mTrackPending((options.convertLinks && options.convertEarly) || !options.finalFilesList.empty())
{
}

void CrawlFrontier::addRoot(const Url &url)
{
    mRoots.push_back(url);
    mSeen.insert(url.text());
    addPending(url.text(), 0);
    mQueue.push_back({url.text(), std::string(), 0, true, false, static_cast<int>(mRoots.size() - 1)});
}

void CrawlFrontier::refill(const std::function<bool(const std::string &url)> &isSaved)
{
    while (!mQueue.empty() && mWindow.size() < kWindow) {
        auto ticket = std::make_unique<Ticket>();
        ticket->item = std::move(mQueue.front());
        mQueue.pop_front();
        if (isSaved(ticket->item.url)) {
            ticket->reuse = true;
            ticket->done = true;
        }
        mWindow.push_back(std::move(ticket));
    }
}

void CrawlFrontier::forEach(const std::function<void(Ticket &)> &visit)
{
    for (auto &ticket : mAside)
        visit(*ticket);
    for (auto &ticket : mWindow)
        visit(*ticket);
}

void CrawlFrontier::takeAnswers(const std::function<bool(Ticket &)> &take,
                                const std::function<void(const std::string &url)> &taken)
{
    auto done = [&](Ticket &t) {
        removePending(t.item.url, t.item.depth);
        taken(t.item.url);
    };
    for (auto it = mAside.begin(); it != mAside.end();) {
        if ((*it)->done && take(**it)) {
            done(**it);
            it = mAside.erase(it);
        } else {
            ++it;
        }
    }
    while (!mWindow.empty()) {
        Ticket &head = *mWindow.front();
        if (head.done && take(head)) {
            done(head);
        } else {
            if (!head.item.elsewhere)
                return;
            mAside.push_back(std::move(mWindow.front()));
        }
        mWindow.pop_front();
    }
}

namespace {

// Every name an address may be saved under: its own, with -E an extension
// added, and for a start address its folder's (typed without the slash).
std::vector<std::string> possibleNames(const std::string &address, int depth, bool adjustExtension)
{
    std::vector<std::string> names;
    const auto url = Url::parse(address);
    if (!url)
        return names;
    auto add = [&](const std::string &name) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    std::vector<std::string> bases{localName(*url)};
    if (depth == 0)
        if (const auto folder = Url::parse(address + "/"))
            bases.push_back(localName(*folder));
    for (const std::string &base : bases) {
        add(base);
        if (adjustExtension) {
            add(withAdjustedExtension(base, ContentKind::Html));
            add(withAdjustedExtension(base, ContentKind::Css));
        }
    }
    return names;
}

} // namespace

void CrawlFrontier::addPending(const std::string &url, int depth)
{
    if (!mTrackPending)
        return;
    const std::size_t key = addressKey(url);
    ++mPending[key];
    for (const std::string &name : possibleNames(url, depth, mOptions.adjustExtension))
        mPendingNames.emplace(addressKey(name), key);
}

void CrawlFrontier::removePending(const std::string &url, int depth)
{
    const std::size_t key = addressKey(url);
    const auto pending = mPending.find(key);
    if (pending == mPending.end())
        return;
    if (--pending->second == 0)
        mPending.erase(pending);
    for (const std::string &name : possibleNames(url, depth, mOptions.adjustExtension)) {
        auto [from, to] = mPendingNames.equal_range(addressKey(name));
        for (auto it = from; it != to; ++it)
            if (it->second == key) {
                mPendingNames.erase(it);
                break;
            }
    }
}

std::vector<std::size_t> CrawlFrontier::pendingUnder(const std::string &name) const
{
    std::vector<std::size_t> keys;
    auto [from, to] = mPendingNames.equal_range(addressKey(name));
    for (auto it = from; it != to; ++it)
        keys.push_back(it->second);
    return keys;
}

bool CrawlFrontier::isStartHost(const Url &url) const
{
    return std::any_of(mRoots.begin(), mRoots.end(), [&url](const Url &root) { return root.host == url.host; });
}

CrawlFrontier::Admission CrawlFrontier::admits(const Ticket &t)
{
    if (!t.item.elsewhere || !mOptions.robots)
        return Admission::Start;
    switch (mRobots.allows(*Url::parse(t.item.url))) {
    case RobotsByHost::Answer::Allowed:
        return Admission::Start;
    case RobotsByHost::Answer::Refused:
        return Admission::Refused;
    default:
        return Admission::Wait;
    }
}

bool CrawlFrontier::wanted(const Url &child, const Url &parent, int root, const PageLink *link, bool &needsRobots)
{
    needsRobots = false;
    const bool isInline = link && link->isInline;
    if (mSeen.count(child.text()))
        return false;
    const Url &start = mRoots[static_cast<std::size_t>(root)];
    // http and https, the only schemes taken, count as one here, as in Wget.
    if (mOptions.noParent && child.host == start.host && (child.scheme != start.scheme || child.port == start.port)
        && !(mOptions.pageRequisites && isInline)) {
        if (!isSubfolder(start.folder(), child.folder()))
            return false;
    }
    // Another host serves a requisite only (see the header).
    if (child.host != parent.host && !(mOptions.pageRequisites && isInline && !link->expectsHtml))
        return false;
    if (mOptions.robots) {
        const RobotsByHost::Answer answer = mRobots.allows(child);
        // Another host's robots.txt holds up only its own requisites (admits).
        if (answer == RobotsByHost::Answer::Waiting && link && !isStartHost(child))
            return true;
        needsRobots = answer == RobotsByHost::Answer::Waiting;
        return answer == RobotsByHost::Answer::Allowed;
    }
    return true;
}

bool CrawlFrontier::descends(const Ticket &t, ContentKind kind, bool &isCss, bool &leaf) const
{
    const CrawlItem &item = t.item;
    bool descend = false;
    isCss = false;
    leaf = false;
    if (item.htmlAllowed && kind == ContentKind::Html)
        descend = true;
    if (!t.reuse && (kind == ContentKind::Css || item.cssAllowed)) {
        descend = true;
        isCss = true;
    }
    if (descend && mDepthLimit != kInfinite && item.depth >= mDepthLimit) {
        if (mOptions.pageRequisites && (item.depth == mDepthLimit || item.depth == mDepthLimit + 1))
            leaf = true;
        else
            descend = false;
    }
    return descend;
}

bool CrawlFrontier::wantsFinalAddress(const Ticket &t, bool &waiting)
{
    waiting = false;
    const CrawlItem &item = t.item;
    const std::string final = t.finalUrl.text();
    if (t.reuse || final == item.url || (item.depth == 0 && final == item.url + "/"))
        return true;
    if (!wanted(t.finalUrl, *Url::parse(item.url), item.root, nullptr, waiting))
        return false;
    mSeen.insert(final);
    return true;
}

bool CrawlFrontier::follow(const Ticket &t, const PageLinks &found, bool leaf)
{
    const CrawlItem &item = t.item;
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
        wanted(child, t.finalUrl, item.root, link, needsRobots);
        waiting = waiting || needsRobots;
    }
    if (waiting)
        return false;
    for (auto &[child, link] : candidates) {
        bool needsRobots = false;
        if (!wanted(child, t.finalUrl, item.root, link, needsRobots))
            continue;
        std::string text = child.text();
        mSeen.insert(text);
        addPending(text, item.depth + 1);
        const bool elsewhere = !isStartHost(child);
        mQueue.push_back({std::move(text), t.finalUrl.text(), item.depth + 1, link->expectsHtml, link->expectsCss,
                          item.root, elsewhere});
    }
    return true;
}

} // namespace quorlix::mirror
