#pragma once

// A mirror of a site as GNU Wget makes it with -r (and -p, -np, -k, -E,
// --restrict-file-names=windows), with up to N requests in flight.
//
// Addresses are taken from one queue, breadth first, as Wget does. Transfers
// for the next addresses run ahead of it, but each answer is taken in the
// queue's order: its file renamed into place, logged, and its links added
// to the queue. So every decision (which address is new, at what depth,
// which file a name goes to) is the one Wget makes, whatever order the
// answers arrive in. A requisite of another host that is not ready in its
// turn is taken when it comes: a slow host holds up only its own files.

#include "mirror/MirrorOptions.h"

#include <atomic>
#include <memory>

namespace quorlix::mirror {

class Mirror {
public:
    Mirror(const MirrorOptions &options, const std::atomic<bool> &cancel);
    ~Mirror();
    Mirror(const Mirror &) = delete;
    Mirror &operator=(const Mirror &) = delete;

    // Runs to the end (or the cancel); returns GNU Wget's exit status.
    int run();

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace quorlix::mirror
