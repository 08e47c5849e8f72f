#pragma once

// A page's reading as bytes, for the way from the downloader to the window:
// the early reading kept on disk from the page's parse to its conversion,
// and the finished reading of the converted page, named for the saved file
// and stamped with the file it was made for, so that the window takes it
// only for those very bytes. Records are checked as they are read: a
// record cut short or out of shape gives nothing, never a crash.

#include "html/EarlyReading.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorlix::html {

std::string recordOfEarlyReading(const EarlyReading &early);
std::optional<EarlyReading> earlyReadingFromRecord(std::string_view record);

// What a saved file was when its reading was made.
struct FileStamp {
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    std::int64_t size = -1;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp &) const = default;
};

// name: the saved file's path as the downloader lists it.
std::string recordOfHandedReading(std::string_view name, const FileStamp &stamp, const Page &page);
// The page, when the record is one made for that name and stamp.
std::optional<Page> handedReadingFromRecord(std::string_view record, std::string_view name, const FileStamp &stamp);
// The name of a handed reading's file in the folder where they are handed:
// the same for the same saved name, on both sides.
std::string handedReadingFileName(std::string_view name);

} // namespace quorlix::html
