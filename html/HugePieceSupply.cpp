#include "html/HugePieceSupply.h"

#include <cstdint>
#include <system_error>

#include <sys/mman.h>
#include <unistd.h>

namespace quorlix::html {

void *mapHugePiece()
{
    void *mapped = mmap(nullptr, 2 * kHugePieceSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePieceSize - 1) & ~(std::uintptr_t(kHugePieceSize) - 1);
    if (aligned > start)
        munmap(mapped, aligned - start);
    if (const std::uintptr_t after = start + 2 * kHugePieceSize - (aligned + kHugePieceSize))
        munmap(reinterpret_cast<void *>(aligned + kHugePieceSize), after);
    auto *piece = reinterpret_cast<void *>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(piece, kHugePieceSize, MADV_HUGEPAGE);
#endif
    return piece;
}

void releaseHugePiece(void *piece)
{
    munmap(piece, kHugePieceSize);
}

namespace {

// Faults the piece in; a kernel without MADV_POPULATE_WRITE is touched a
// page at a time instead.
void faultIn(void *piece)
{
#ifdef MADV_POPULATE_WRITE
    if (madvise(piece, kHugePieceSize, MADV_POPULATE_WRITE) == 0)
        return;
#endif
    const auto pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    auto *bytes = static_cast<volatile char *>(piece);
    for (std::size_t at = 0; at < kHugePieceSize; at += pageSize)
        bytes[at] = 0;
}

} // namespace

HugePieceSupply::HugePieceSupply(std::size_t most, unsigned ahead) : mMost(most), mAhead(ahead)
{
    try {
        mThread = std::thread(&HugePieceSupply::supply, this);
    } catch (const std::system_error &) {
        mDone = true; // no thread: the parse maps its own pieces
    }
}

HugePieceSupply::~HugePieceSupply()
{
    stop();
    for (void *piece : mReady)
        releaseHugePiece(piece);
}

void *HugePieceSupply::take(bool wait)
{
    std::unique_lock hold(mLock);
    if (wait)
        mChanged.wait(hold, [this] { return !mReady.empty() || mDone; });
    if (mReady.empty())
        return nullptr;
    void *piece = mReady.front();
    mReady.pop_front();
    mChanged.notify_all();
    return piece;
}

void HugePieceSupply::stop()
{
    {
        std::lock_guard hold(mLock);
        mStopping = true;
    }
    mChanged.notify_all();
    if (mThread.joinable())
        mThread.join();
}

void HugePieceSupply::supply()
{
    for (;;) {
        {
            std::unique_lock hold(mLock);
            mChanged.wait(hold, [this] { return mStopping || mReady.size() < mAhead; });
            if (mStopping || mMade + kHugePieceSize > mMost)
                break;
            mMade += kHugePieceSize;
        }
        void *piece = mapHugePiece();
        if (!piece)
            break;
        faultIn(piece);
        std::lock_guard hold(mLock);
        mReady.push_back(piece);
        mChanged.notify_all();
    }
    std::lock_guard hold(mLock);
    mDone = true;
    mChanged.notify_all();
}

} // namespace quorlix::html
