#include "chm/prepared/AdoptedIntervals.h"

#include "chm/lzx/LzxEncoder.h"

#include <algorithm>

namespace quorlix::chm {

namespace {

// The zeros that pad the last interval cost next to nothing compressed,
// but not nothing: weighed as dead bytes at this fraction of their number,
// so that a small site's one padded interval is compiled afresh.
constexpr std::uint64_t kPaddingWeight = 16;

// Dead bytes kept in the help file, at most, in thousandths of what is
// taken: a site whose downloader rewrote some pages late still has most of
// its content taken, and its help file stays within 2 % of one compiled
// from scratch (dead bytes compress about as well as live ones).
constexpr std::uint64_t kDeadPerMille = 15;

struct Chain {
    std::size_t first = 0, last = 0;    // intervals, a live file crossing each boundary between them
    std::uint64_t filled = 0, live = 0; // bytes of files in them, and of live files
    std::uint64_t padding = 0;          // zeros after the stream's end
    bool dead() const { return live == 0; }
    std::uint64_t waste() const { return filled - live + padding / kPaddingWeight; }
};

std::size_t intervalOf(std::uint64_t offset) { return static_cast<std::size_t>(offset / kLzxResetInterval); }

} // namespace

AdoptedIntervals::AdoptedIntervals(std::size_t intervals, std::uint64_t streamBytes,
                                   const std::vector<PreparedSpan> &live)
    : newIndex_(intervals, -1)
{
    std::vector<std::uint64_t> liveBytes(intervals, 0);
    std::vector<bool> joined(intervals, false); // a live file crosses the boundary after the interval
    for (const PreparedSpan &span : live) {
        if (span.size == 0 || span.offset + span.size > intervals * kLzxResetInterval)
            continue;
        const std::size_t first = intervalOf(span.offset), last = intervalOf(span.offset + span.size - 1);
        for (std::size_t i = first; i <= last; ++i) {
            const std::uint64_t from = std::max<std::uint64_t>(span.offset, i * kLzxResetInterval);
            const std::uint64_t to = std::min<std::uint64_t>(span.offset + span.size, (i + 1) * kLzxResetInterval);
            liveBytes[i] += to - from;
            if (i < last)
                joined[i] = true;
        }
    }
    std::vector<Chain> chains;
    for (std::size_t i = 0; i < intervals; ++i) {
        if (chains.empty() || !joined[i - 1])
            chains.push_back({i, i});
        Chain &chain = chains.back();
        chain.last = i;
        const std::uint64_t start = i * kLzxResetInterval;
        const std::uint64_t filled =
            streamBytes > start ? std::min<std::uint64_t>(kLzxResetInterval, streamBytes - start) : 0;
        chain.filled += filled;
        chain.padding += kLzxResetInterval - filled;
        chain.live += liveBytes[i];
    }
    // Chains mostly dead are left out; then, while dead bytes pass 1.5 % of
    // what is taken, the deadest of the rest.
    std::vector<const Chain *> kept;
    std::uint64_t filled = 0, dead = 0;
    for (const Chain &chain : chains)
        if (!chain.dead() && chain.waste() * 4 <= chain.filled) {
            kept.push_back(&chain);
            filled += chain.filled;
            dead += chain.waste();
        }
    std::vector<const Chain *> byDeadShare = kept;
    std::sort(byDeadShare.begin(), byDeadShare.end(), [](const Chain *a, const Chain *b) {
        return a->waste() * b->filled > b->waste() * a->filled;
    });
    for (const Chain *worst : byDeadShare) {
        if (dead * 1000 <= filled * kDeadPerMille)
            break;
        filled -= worst->filled;
        dead -= worst->waste();
        kept.erase(std::find(kept.begin(), kept.end(), worst));
    }
    for (const Chain *chain : kept)
        for (std::size_t i = chain->first; i <= chain->last; ++i) {
            newIndex_[i] = static_cast<std::int64_t>(taken_.size());
            taken_.push_back(i);
        }
}

std::optional<std::uint64_t> AdoptedIntervals::placed(const PreparedSpan &span) const
{
    const std::size_t first = intervalOf(span.offset);
    const std::size_t last = span.size == 0 ? first : intervalOf(span.offset + span.size - 1);
    if (last >= newIndex_.size())
        return std::nullopt;
    for (std::size_t i = first; i <= last; ++i)
        if (newIndex_[i] < 0 || newIndex_[i] != newIndex_[first] + static_cast<std::int64_t>(i - first))
            return std::nullopt;
    return static_cast<std::uint64_t>(newIndex_[first]) * kLzxResetInterval + span.offset % kLzxResetInterval;
}

} // namespace quorlix::chm
