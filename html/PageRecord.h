#pragma once

// A page's reading as bytes, for the way from the downloader to the window:
// the early reading, made from the parse that found the page's links, and
// the page's conversion, named for the saved file and stamped with the file
// it left, so that the window finishes the reading (convertedReading) for
// those very bytes only. Records are checked as they are read: a record cut
// short or out of shape gives nothing, never a crash.

#include "html/EarlyReading.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct stat;

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
// What stat() or fstat() tells of a file, as its stamp.
FileStamp fileStampOf(const struct stat &info);

// A page as bytes, every part of it (equal pages, equal records).
std::string recordOfPage(const Page &page);
std::optional<Page> pageFromRecord(std::string_view record);

// A page's conversion, handed after its early reading: the saved file's
// path as the downloader lists it, the file as the conversion left it,
// where the early reading's record starts in the same file of frames, and
// what the conversion wrote into the page's links.
struct HandedConversion {
    FileStamp stamp;
    std::uint64_t readingAt = 0;
    ConvertedHrefs hrefs;
};
std::string recordOfHandedConversion(std::string_view name, const HandedConversion &conversion);
// The conversion, when the record is one made for that name.
std::optional<HandedConversion> handedConversionFromRecord(std::string_view record, std::string_view name);

enum class RecordKind { EarlyReading, HandedConversion, Unknown };
// What a record is, from its first kRecordKindBytes bytes.
RecordKind kindOfRecord(std::string_view recordStart);
inline constexpr std::size_t kRecordKindBytes = 4;
// The name a conversion's record holds, from its start (at least
// kHandedNameAt bytes of it, and the name's length more); nothing when it
// holds none.
std::optional<std::string_view> handedConversionName(std::string_view recordStart);
inline constexpr std::size_t kHandedNameAt = kRecordKindBytes + 8;

// Records handed on follow each other in one file, each as a frame: its
// record's size (8 bytes, the machine's order), then the record.
std::string frameOf(std::string_view record);
inline constexpr std::size_t kFrameHead = 8;

} // namespace quorlix::html
