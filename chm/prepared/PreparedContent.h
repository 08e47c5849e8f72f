// A prepared content file (PreparedContentWriter) as the compile reads it:
// the files it holds, where they lie in its compressed intervals, and their
// pages' titles and text. Nothing of it is trusted further than its own
// bounds: a file that is cut short, or not one, is simply not used.
#pragma once

#include "chm/lzx/LzxEncoder.h"
#include "chm/prepared/ContentDigest.h"
#include "chm/search/PageWords.h"
#include "html/PageRecord.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorlix::chm {

class PreparedContent {
public:
    struct File {
        std::uint64_t offset = 0, size = 0; // in the uncompressed stream
        ContentDigest digest{};
        bool pageRead = false, windows1252 = false;
        std::optional<html::FileStamp> stamp; // the file its bytes were read from, as it was then
        std::string title, firstHeading;
        std::uint64_t wordsAt = 0, wordsLength = 0; // where the page's words lie in the prepared file
    };

    // Nothing when path is empty, missing, unfinished or not a prepared file.
    static std::unique_ptr<PreparedContent> open(const std::filesystem::path &path);
    ~PreparedContent();

    // The file stored under name ("/site/a.html", letter case ignored); the
    // last one when it was prepared twice.
    const File *find(const std::string &name) const;
    std::size_t intervals() const { return intervals_.size(); }
    // The bytes of the stream the files fill; the last interval's zeros
    // after them are padding.
    std::uint64_t streamBytes() const { return streamBytes_; }
    // Throws std::runtime_error when it cannot be read.
    LzxInterval interval(std::size_t index) const;
    // A page's words, numbered in words(); safe beside interval() on
    // another thread. Throws std::runtime_error when they cannot be read.
    PageWords words(const File &file) const;
    // Every page's words; they live as long as this.
    std::span<const std::string_view> words() const { return words_; }

private:
    struct Interval {
        std::uint64_t at = 0;
        std::uint32_t length = 0, secondFrame = 0;
    };
    PreparedContent() = default;
    bool load();
    std::string readAt(std::uint64_t at, std::uint64_t length) const;

    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::uint64_t streamBytes_ = 0;
    std::unordered_map<std::string, File> files_; // by folded name
    std::vector<Interval> intervals_;
    std::string wordBytes_;
    std::vector<std::string_view> words_; // into wordBytes_
    mutable std::mutex wordsLock_;
    mutable std::string wordsPiece_; // of the file, read ahead for words(file)
    mutable std::uint64_t wordsPieceAt_ = 0;
};

} // namespace quorlix::chm
