// The full-text search index of a compiled help file ($FIftiMain).
#pragma once

#include "chm/search/PageWords.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace quorlix::chm {

// Collects the words of every page and writes the $FIftiMain file that help
// viewers search. Pages are added in topic order (topic N is the N-th page of
// the project, from 0); the same topic numbers appear in #TOPICS.
//
// Words are taken from the page's title and visible text (see WordSplitter),
// lower-cased, and stored in the ANSI code page of the help file's language,
// as its titles are: viewers compare bytes, and decode them by that code page.
// A word the code page cannot hold is stored as UTF-8. Every word has
// an entry listing all pages it occurs in, title or text; a word that occurs
// in titles has a second entry, flagged as title hits, listing those pages.
// Memory grows with the number of word occurrences, about two bytes each.
class FullTextIndexBuilder {
public:
    // languageId: the help file's LCID, as in #SYSTEM.
    explicit FullTextIndexBuilder(std::uint32_t languageId = 0x0409);
    ~FullTextIndexBuilder();
    FullTextIndexBuilder(FullTextIndexBuilder&&) noexcept;
    FullTextIndexBuilder& operator=(FullTextIndexBuilder&&) noexcept;

    // title and text are UTF-8; topics must come in increasing order.
    void addDocument(std::uint32_t topic, std::string_view title, std::string_view text);
    // A page split before (PageWords::split) against a table of its own,
    // whose words are words: the same index as addDocument() of the title
    // and text it was split from. Every page added so names the same words.
    void addSplitDocument(std::uint32_t topic, PageWords page, std::span<const std::string_view> words);

    // The help file's language, when it is settled only after the pages
    // were added (words are stored in its code page by build()).
    void setLanguageId(std::uint32_t languageId);

    // The bytes of the $FIftiMain file.
    std::vector<std::uint8_t> build() const;

private:
    struct Words;
    std::unique_ptr<Words> words_;
};

} // namespace quorlix::chm
