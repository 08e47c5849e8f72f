// The full-text search index of a compiled help file ($FIftiMain).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace quorlix::chm {

// Collects the words of every page and writes the $FIftiMain file that help
// viewers search. Pages are added in topic order (topic N is the N-th page of
// the project, from 0); the same topic numbers appear in #TOPICS.
//
// Words are taken from the page's title and visible text (see WordSplitter)
// and stored as lower-case UTF-8, since readers compare bytes. Every word has
// an entry listing all pages it occurs in, title or text; a word that occurs
// in titles has a second entry, flagged as title hits, listing those pages.
// Memory grows with the number of word occurrences, about two bytes each.
class FullTextIndexBuilder {
public:
    FullTextIndexBuilder();
    ~FullTextIndexBuilder();
    FullTextIndexBuilder(FullTextIndexBuilder&&) noexcept;
    FullTextIndexBuilder& operator=(FullTextIndexBuilder&&) noexcept;

    // title and text are UTF-8; topics must come in increasing order.
    void addDocument(std::uint32_t topic, std::string_view title, std::string_view text);

    // The bytes of the $FIftiMain file.
    std::vector<std::uint8_t> build() const;

private:
    struct Words;
    std::unique_ptr<Words> words_;
};

} // namespace quorlix::chm
