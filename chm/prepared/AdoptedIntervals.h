// Which intervals of prepared content a compile takes. Files that changed
// or were dropped after they were prepared leave dead bytes in it: the
// intervals that hold mostly those are left out (their live files are
// compiled afresh), so that the help file stays as small as one compiled
// from scratch, within 1.5 % of the bytes taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorlix::chm {

struct PreparedSpan {
    std::uint64_t offset = 0, size = 0; // a live file's place in the prepared stream
};

class AdoptedIntervals {
public:
    // intervals: how many the prepared stream has; streamBytes: where its
    // files end (the zeros after them pad the last interval).
    AdoptedIntervals(std::size_t intervals, std::uint64_t streamBytes, const std::vector<PreparedSpan> &live);

    // The prepared intervals to take, in the order they go into the new stream.
    const std::vector<std::size_t> &taken() const { return taken_; }
    // Where a live span lies in the new stream; nothing when its intervals
    // are not taken.
    std::optional<std::uint64_t> placed(const PreparedSpan &span) const;

private:
    std::vector<std::size_t> taken_;
    std::vector<std::int64_t> newIndex_; // per prepared interval: its place in the new stream, or -1
};

} // namespace quorlix::chm
