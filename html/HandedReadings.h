#pragma once

// The readings a downloader hands on while it runs, taken by the window's
// page reader: one file of frames (html/PageRecord.h), appended to as pages
// are parsed (their early readings) and converted (what the conversion
// wrote into their links). A conversion's frame is written whole before its
// page is listed as final, so it is there when the page is read; the
// newest for a name holds. A file cut short or out of shape gives no more
// readings, never a crash: the pages are then parsed.

#include "html/PageRecord.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorlix::html {

class HandedReadings {
public:
    explicit HandedReadings(std::string path) : mPath(std::move(path)) {}
    ~HandedReadings();
    HandedReadings(const HandedReadings &) = delete;
    HandedReadings &operator=(const HandedReadings &) = delete;

    // The reading of the file listed as name, which holds bytes (as stamp
    // finds it), when a conversion was handed for that very file and its
    // reading can be finished. Each is given once. Safe from any thread.
    std::optional<Page> take(std::string_view name, const FileStamp &stamp, std::string_view bytes);

private:
    // Looks at the frames appended since the last time.
    void catchUp();
    bool readAt(std::uint64_t offset, std::size_t size, std::string &out) const;
    // The record of the frame at offset, when it lies whole before end.
    bool readFrame(std::uint64_t offset, std::uint64_t end, std::string &record) const;
    // size bytes at offset, from the piece last read when it holds them;
    // else a new piece is read from there (up to end, or as many).
    std::optional<std::string_view> bytesAt(std::uint64_t offset, std::size_t size, std::uint64_t end);

    const std::string mPath;
    std::mutex mMutex;
    int mFd = -1;
    std::uint64_t mIndexed = 0; // frames before this offset are in mFrames
    bool mBroken = false;       // a frame out of shape: nothing after it is read
    std::string mPiece;         // the bytes last read from mPieceAt on
    std::uint64_t mPieceAt = 0;
    // Each early reading's frame: where it starts, its record's size; in
    // the order of the file.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mEarlyReadings;
    // A conversion's frame for each name: where its record starts, its size.
    std::unordered_map<std::string, std::pair<std::uint64_t, std::uint64_t>> mFrames;
};

} // namespace quorlix::html
