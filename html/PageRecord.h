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
// The name a record's start holds (at least kHandedNameAt bytes of it, and
// the name's length more), or nothing when it holds no handed reading's.
std::optional<std::string_view> handedReadingName(std::string_view recordStart);
inline constexpr std::size_t kHandedNameAt = 4 + 8;

// Handed readings follow each other in one file, each as a frame: its
// record's size (8 bytes, the machine's order), then the record.
std::string handedReadingFrame(std::string_view name, const FileStamp &stamp, const Page &page);
inline constexpr std::size_t kFrameHead = 8;

} // namespace quorlix::html
