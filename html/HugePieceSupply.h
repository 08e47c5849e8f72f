#pragma once

// Large aligned pieces of memory for a large page's tree, mapped and
// faulted in ahead of the parse on a thread of its own. A fresh page of
// memory costs the parse a fault and the kernel's zeroing of it, which in a
// virtual machine was a third of parsing an 8.5 MB page; the other core is
// mostly idle while a download waits for its answers.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

namespace quorlix::html {

// A piece of kHugePieceSize aligned to its size, so that the kernel may back
// it with one large page; nullptr when the system gives none. Unmapped with
// releaseHugePiece.
inline constexpr std::size_t kHugePieceSize = 2u << 20;
void *mapHugePiece();
void releaseHugePiece(void *piece);

class HugePieceSupply {
public:
    // Maps and faults in at most most bytes of pieces, staying at most ahead
    // pieces in front of those taken. The thread takes the caller's
    // priority.
    HugePieceSupply(std::size_t most, unsigned ahead);
    // Stops, and unmaps every piece not taken.
    ~HugePieceSupply();
    HugePieceSupply(const HugePieceSupply &) = delete;
    HugePieceSupply &operator=(const HugePieceSupply &) = delete;

    // A piece faulted in, now the caller's; nullptr when none is ready (or,
    // waiting, once no more will come).
    void *take(bool wait = false);
    // No more pieces are made; the thread has ended on return.
    void stop();

private:
    void supply();

    const std::size_t mMost;
    const unsigned mAhead;
    std::mutex mLock;
    std::condition_variable mChanged;
    std::deque<void *> mReady;
    std::size_t mMade = 0;
    bool mStopping = false;
    bool mDone = false; // the thread makes no more
    std::thread mThread;
};

} // namespace quorlix::html
