#pragma once

// The readings a downloader hands on while it runs, read by the one who
// takes them (the window's page reader): one file of frames
// (html/PageRecord.h), appended to as pages are converted. A frame is
// written whole before its page is listed as final, so the reading of a
// listed page is there when it is asked for; the newest frame for a name
// holds. A file cut short or out of shape gives no more readings, never a
// crash: the pages are then parsed.

#include "html/PageRecord.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quorlix::html {

class HandedReadings {
public:
    explicit HandedReadings(std::string path) : mPath(std::move(path)) {}
    ~HandedReadings();
    HandedReadings(const HandedReadings &) = delete;
    HandedReadings &operator=(const HandedReadings &) = delete;

    // The reading handed for the file listed as name, when it was made for
    // the file as stamp finds it. Each is given once. Safe from any thread.
    std::optional<Page> take(std::string_view name, const FileStamp &stamp);

private:
    // Looks at the frames appended since the last time.
    void catchUp();
    bool readAt(std::uint64_t offset, std::size_t size, std::string &out) const;

    const std::string mPath;
    std::mutex mMutex;
    int mFd = -1;
    std::uint64_t mIndexed = 0; // frames before this offset are in mFrames
    bool mBroken = false;       // a frame out of shape: nothing after it is read
    std::unordered_map<std::string, std::pair<std::uint64_t, std::uint64_t>> mFrames; // name -> record's offset, size
};

} // namespace quorlix::html
