// Prepares a compile while a site still downloads: each saved file, as it
// is final, is appended to a content stream that is compressed interval by
// interval on worker threads, and a page's title and text are kept beside
// it. The compile of the project made at the end takes what still matches
// the files (PreparedContent) instead of reading, parsing and compressing
// it again.
#pragma once

#include "chm/lzx/LzxSectionCompressor.h"
#include "chm/search/PageWords.h"
#include "chm/search/WordTable.h"
#include "html/PageReader.h"
#include "html/PageRecord.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorlix::chm {

class PreparedContentWriter {
public:
    // Creates file anew (never through a link). Throws std::runtime_error
    // when it cannot.
    explicit PreparedContentWriter(const std::filesystem::path &file, unsigned threads = 0);
    ~PreparedContentWriter(); // unfinished: the file is removed
    PreparedContentWriter(const PreparedContentWriter &) = delete;
    PreparedContentWriter &operator=(const PreparedContentWriter &) = delete;

    // A file's bytes as saved, under its name as the help file stores it
    // ("/site/a.html"); page is its reading (with PageParts::OutlineAndText)
    // when it is a page: its title, first heading and its text's words as the
    // search index takes them. Style sheets are
    // passed over: the compile rewrites them. stamp, when given, is the file
    // the bytes were read from, as it was then: the compile takes the file
    // as prepared while it finds it so, without reading it again. Not
    // after finish(). Never throws: a failure makes finish() say so.
    void add(const std::string &name, std::string_view bytes, const html::Page *page,
             const std::optional<html::FileStamp> &stamp = std::nullopt);

    // Whatever waited behind the compression is over: it goes on at the
    // caller's priority as well. Callable while another thread adds.
    void hurry() { compressor_->hurry(); }

    // Compresses and writes every interval, the last one padded with
    // zeros. Returns false when the file could not be written whole (it is
    // removed then).
    bool finish();

    // Whether name is kept by the compile as saved: style sheets are not.
    static bool storedAsSaved(std::string_view name);

private:
    void put(const void *bytes, std::size_t length);
    void putText(std::string_view text, bool wide);
    void putWordList();

    std::filesystem::path path_;
    std::FILE *out_ = nullptr;
    std::unique_ptr<LzxSectionCompressor> compressor_;
    std::uint64_t offset_ = 0;
    std::uint64_t files_ = 0, intervals_ = 0;
    // Every page's words, numbered as written; the list goes at the end.
    WordTable words_;
    PageWords pageWords_;
    std::vector<std::uint8_t> encoded_; // reused
    bool failed_ = false;
    bool finished_ = false;
};

} // namespace quorlix::chm
