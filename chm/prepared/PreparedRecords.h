// The prepared content file, written by PreparedContentWriter while a site
// downloads and read by the compile (PreparedContent). Little-endian:
//
//   "QXPREP01"
//   records, each a tag byte and its fields:
//     'F' a file, in the order its bytes follow each other in the content
//         stream: u32 name length, name as stored ("/site/a.html"),
//         u64 offset in the stream, u64 size, 32-byte SHA-256 of its bytes,
//         u8 flags (kPageRead, kWindows1252, kStamped), then for a file
//         stamped: u64 inode, u64 device, u64 size, u64 modification time
//         in nanoseconds of the file its bytes were read from; for a page
//         read: u32 + title, u32 + first heading, u64 + its words as the
//         search index takes them (PageWords), numbered in the word list
//     'W' the word list, once, after the last file: u64 words, each u8
//         length + its bytes
//     'I' the next whole reset interval, compressed: u32 where its second
//         frame starts, u32 length, the bytes
//     'E' the end: u64 files, u64 intervals, u64 bytes of the stream (the
//         last interval is padded with zeros); a file without it is
//         unfinished
#pragma once

#include <cstdint>
#include <string_view>

namespace quorlix::chm::prepared {

inline constexpr std::string_view kMagic = "QXPREP04";
inline constexpr char kFileRecord = 'F';
inline constexpr char kIntervalRecord = 'I';
inline constexpr char kWordsRecord = 'W';
inline constexpr char kEndRecord = 'E';
inline constexpr std::uint8_t kPageRead = 1;
inline constexpr std::uint8_t kWindows1252 = 2;
inline constexpr std::uint8_t kStamped = 4;

} // namespace quorlix::chm::prepared
