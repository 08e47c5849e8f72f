#pragma once

// Hands each converted page's reading to the window (QUORLIX_PAGE_READINGS
// names the file): made from the parse that found the page's links, and
// finished with the links as the conversion wrote them, so the window need
// not parse the page again. Each is appended whole (html/PageRecord.h's
// frames) before the page is listed as final, stamped with the page's file
// as it now stands: a reading the window finds for other bytes is passed
// over.

#include "mirror/LinkConversion.h"

#include <mutex>
#include <string>
#include <string_view>

namespace quorlix::mirror {

class ReadingHandover {
public:
    // An empty path, or one that cannot be opened: nothing is handed on.
    explicit ReadingHandover(const std::string &path);
    ~ReadingHandover();
    ReadingHandover(const ReadingHandover &) = delete;
    ReadingHandover &operator=(const ReadingHandover &) = delete;

    // The page saved as file now holds bytes, converted so (hrefs) from the
    // bytes its early reading (a record, html/EarlyReading.h) was made of.
    // Safe from any thread.
    void hand(const std::string &file, std::string_view early, std::string_view bytes,
              const ConvertedHrefs &hrefs) const;

private:
    int mFd = -1;
    mutable std::mutex mWriting; // frames are written one after another, each whole
    mutable bool mFailed = false;
};

} // namespace quorlix::mirror
