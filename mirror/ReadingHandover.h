#pragma once

// Hands each page's reading on to the window (QUORLIX_PAGE_READINGS names
// the file), so the window need not parse the page again: the early reading
// as the parse that found the page's links made it, then, once the page is
// converted, what the conversion wrote into its links, from which the
// window finishes the reading (html/EarlyReading.h). Both go into one file
// of frames (html/PageRecord.h), each appended whole; a conversion's before
// its page is listed as final, stamped with the page's file as it now
// stands: a conversion the window finds for other bytes is passed over.

#include "html/EarlyReading.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace quorlix::mirror {

// Where a page's early reading was handed on (nothing when it was not),
// known once the parse that makes it has ended: a large page's links are
// found before it, and its conversion waits for it.
class HandedReadingAt {
public:
    void set(std::optional<std::uint64_t> at);
    std::optional<std::uint64_t> wait() const;

private:
    mutable std::mutex mLock;
    mutable std::condition_variable mSet;
    bool mDone = false;
    std::optional<std::uint64_t> mAt;
};

class ReadingHandover {
public:
    // An empty path, or one that cannot be opened: nothing is handed on.
    explicit ReadingHandover(const std::string &path);
    ~ReadingHandover();
    ReadingHandover(const ReadingHandover &) = delete;
    ReadingHandover &operator=(const ReadingHandover &) = delete;

    // Whether readings are handed on at all: when not, no page need be
    // read for them.
    bool takesReadings() const { return mFd >= 0; }

    // An early reading's record; where its frame starts, or nothing when
    // it was not handed on. Safe from any thread.
    std::optional<std::uint64_t> handEarly(std::string_view record) const;

    // The page saved as file now holds bytes, converted so (hrefs) from the
    // bytes whose early reading was handed at readingAt. Safe from any
    // thread.
    void hand(const std::string &file, std::optional<std::uint64_t> readingAt, std::string_view bytes,
              const html::ConvertedHrefs &hrefs) const;

private:
    std::optional<std::uint64_t> append(const std::string &frame) const;

    int mFd = -1;
    mutable std::mutex mWriting; // frames are written one after another, each whole
    mutable std::uint64_t mEnd = 0;
    mutable bool mFailed = false;
};

} // namespace quorlix::mirror
