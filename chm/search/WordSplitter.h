#pragma once

// Splits a page's UTF-8 text into the words the search index stores, in the
// form viewers look them up: lower case, as UTF-8 bytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorlix::chm {

// A word is a run of letters, digits and underscores (with the underscores at
// either end dropped). Letters are ASCII letters and any other character that
// is not punctuation, a symbol or a space. Kana and ideographs, written
// without spaces, give a word for each character: it and the next one of its
// run (the last one alone), so that readers find one- and two-character words.
// ASCII, Latin, Greek and Cyrillic capitals are lower-cased; other characters
// are kept as they are. Words longer than kMaxWordBytes bytes (hashes, encoded
// data) are skipped, but still take a position.
class WordSplitter {
public:
    static constexpr std::size_t kMaxWordBytes = 64;

    explicit WordSplitter(std::string_view text) : text_(text) {}

    // The next word in word (lower case) and its position (0 for the first
    // word of the text, counting skipped ones); false at the end.
    bool next(std::string &word, std::size_t &position);

private:
    std::string_view text_;
    std::size_t offset_ = 0;
    std::size_t position_ = 0;
};

} // namespace quorlix::chm
