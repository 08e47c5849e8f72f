#include "chm/search/PageWords.h"

#include "chm/container/ByteLayout.h"
#include "chm/search/WordSplitter.h"

#include <string>

namespace quorlix::chm {

namespace {

// The words of text from position first on, into hits; returns the
// position after its last word (first when it has none).
std::uint32_t collect(std::string_view text, std::uint32_t first, WordTable &table, std::vector<std::uint64_t> &hits)
{
    WordSplitter splitter(text);
    std::string word;
    std::size_t position = 0;
    std::uint32_t end = first;
    while (splitter.next(word, position)) {
        if (position >= PageWords::kMostWords - first)
            break;
        const auto at = static_cast<std::uint32_t>(first + position);
        hits.push_back(std::uint64_t{table.idOf(word)} << 32 | at);
        end = at + 1;
    }
    return end;
}

} // namespace

void PageWords::split(std::string_view title, std::string_view text, WordTable &table)
{
    hits.clear();
    titleWords = collect(title, 0, table, hits);
    collect(text, titleWords, table, hits);
}

// The title's end, the number of hits, then each hit's word and its
// distance from the previous hit's position (from 0 for the first).
void PageWords::appendTo(std::vector<std::uint8_t> &out) const
{
    appendCount(out, titleWords);
    appendCount(out, static_cast<std::uint32_t>(hits.size()));
    std::uint32_t previous = 0;
    for (const std::uint64_t hit : hits) {
        appendCount(out, wordOf(hit));
        appendCount(out, positionOf(hit) - previous);
        previous = positionOf(hit);
    }
}

std::optional<PageWords> PageWords::from(std::span<const std::uint8_t> bytes, std::size_t wordCount)
{
    PageWords page;
    std::size_t at = 0;
    std::uint32_t count = 0;
    if (!takeCount(bytes, at, page.titleWords) || !takeCount(bytes, at, count) || count > kMostWords
        || count > bytes.size())
        return std::nullopt;
    page.hits.reserve(count);
    std::uint64_t position = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t word = 0, distance = 0;
        if (!takeCount(bytes, at, word) || !takeCount(bytes, at, distance) || word >= wordCount)
            return std::nullopt;
        position += distance;
        // Positions only grow, and stay below the most a page has.
        if ((i > 0 && distance == 0) || position >= kMostWords)
            return std::nullopt;
        page.hits.push_back(std::uint64_t{word} << 32 | position);
    }
    if (at != bytes.size())
        return std::nullopt;
    return page;
}

} // namespace quorlix::chm
