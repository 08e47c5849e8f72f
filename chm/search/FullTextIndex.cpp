#include "chm/search/FullTextIndex.h"

#include "chm/container/ByteLayout.h"
#include "chm/language/AnsiText.h"
#include "chm/language/LanguageId.h"
#include "chm/search/ScaleRootEncoder.h"
#include "chm/search/PageWords.h"
#include "chm/search/SearchTreeWriter.h"
#include "chm/search/WordTable.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace quorlix::chm {

namespace {

constexpr std::size_t kHeaderSize = 0x400;
constexpr std::uint32_t kUtf8CodePage = 65001; // for languages without an ANSI code page

// Pages where one word occurs, held compactly while pages are added: for each
// page the distance from the previous page's topic, the number of hits and the
// distance of each hit from the previous one, as 7-bit groups. These are the
// same numbers the index stores, only packed differently.
struct Postings {
    std::vector<std::uint8_t> packed;
    std::uint32_t pages = 0;
    std::uint32_t lastTopic = 0;
};

struct WordRecord {
    Postings everywhere; // title and text
    Postings inTitles;
};

} // namespace

struct FullTextIndexBuilder::Words {
    std::uint32_t languageId = 0;
    WordTable table;
    std::vector<WordRecord> records; // by word number

    // How many significant bits the stored numbers have, to pick the
    // encoding that packs them tightest.
    ScaleRootEncoder::BitLengthCounts topicDeltaBits{}, hitCountBits{}, hitDeltaBits{};

    bool anyDocument = false;
    std::uint32_t lastTopic = 0;
    std::uint64_t hitCount = 0;
    std::uint64_t hitBytes = 0;

    // One page's words, reused; for a page split before, its words
    // numbered in this table instead of the one they were split against.
    PageWords page;
    std::vector<std::uint32_t> ownNumbers; // by the other table's number, + 1; 0: not yet looked up

    // The page's hits grouped by word, each word's positions in the order
    // they came (which is theirs): a word's list grows the same whichever
    // order the words are taken in, so no sort is needed, only counting.
    struct Group {
        std::uint32_t word = 0, first = 0, count = 0;
    };
    std::vector<Group> groups;
    std::vector<std::uint32_t> positions;               // the page's, group after group
    std::vector<std::uint32_t> pageOfWord, groupOfWord; // by word number
    std::uint32_t pageNumber = 0;

    void startPage(std::uint32_t topic);
    void addPage(std::uint32_t topic);

    void groupHits()
    {
        if (++pageNumber == 0) { // a marker taken before: all forgotten
            std::fill(pageOfWord.begin(), pageOfWord.end(), 0);
            pageNumber = 1;
        }
        if (pageOfWord.size() < records.size()) {
            pageOfWord.resize(records.size(), 0);
            groupOfWord.resize(records.size());
        }
        groups.clear();
        for (const std::uint64_t hit : page.hits) {
            const std::uint32_t word = PageWords::wordOf(hit);
            if (pageOfWord[word] != pageNumber) {
                pageOfWord[word] = pageNumber;
                groupOfWord[word] = static_cast<std::uint32_t>(groups.size());
                groups.push_back({word, 0, 0});
            }
            ++groups[groupOfWord[word]].count;
        }
        std::uint32_t at = 0;
        for (Group &group : groups) {
            group.first = at;
            at += group.count;
            group.count = 0;
        }
        positions.resize(page.hits.size());
        for (const std::uint64_t hit : page.hits) {
            Group &group = groups[groupOfWord[PageWords::wordOf(hit)]];
            positions[group.first + group.count++] = PageWords::positionOf(hit);
        }
    }

    // Appends one page's positions of a word (in order) to its list.
    void append(Postings &postings, std::uint32_t topic, const std::uint32_t *first, const std::uint32_t *last)
    {
        const std::uint32_t topicDelta = topic - postings.lastTopic;
        appendCount(postings.packed, topicDelta);
        ++topicDeltaBits[ScaleRootEncoder::significantBits(topicDelta)];
        const auto count = static_cast<std::uint32_t>(last - first);
        appendCount(postings.packed, count);
        ++hitCountBits[ScaleRootEncoder::significantBits(count)];
        std::uint32_t previous = 0;
        for (const std::uint32_t *position = first; position != last; ++position) {
            const std::uint32_t delta = *position - previous;
            appendCount(postings.packed, delta);
            ++hitDeltaBits[ScaleRootEncoder::significantBits(delta)];
            previous = *position;
        }
        postings.lastTopic = topic;
        ++postings.pages;
    }
};

FullTextIndexBuilder::FullTextIndexBuilder(std::uint32_t languageId) : words_(std::make_unique<Words>())
{
    words_->languageId = languageId;
}
FullTextIndexBuilder::~FullTextIndexBuilder() = default;
FullTextIndexBuilder::FullTextIndexBuilder(FullTextIndexBuilder &&) noexcept = default;
FullTextIndexBuilder &FullTextIndexBuilder::operator=(FullTextIndexBuilder &&) noexcept = default;

void FullTextIndexBuilder::Words::startPage(std::uint32_t topic)
{
    if (anyDocument && topic <= lastTopic)
        throw std::invalid_argument("search index pages must come in increasing topic order");
    anyDocument = true;
    lastTopic = topic;
}

// The page's words, numbered in the table, into their words' lists.
void FullTextIndexBuilder::Words::addPage(std::uint32_t topic)
{
    if (records.size() < table.size())
        records.resize(table.size());
    hitCount += page.hits.size();
    for (const std::uint64_t hit : page.hits)
        hitBytes += table.word(PageWords::wordOf(hit)).size();
    groupHits();
    for (const Group &group : groups) {
        const std::uint32_t *first = positions.data() + group.first, *last = first + group.count;
        // The title's positions come first, being the lowest.
        const std::uint32_t *titleEnd = first;
        while (titleEnd != last && *titleEnd < page.titleWords)
            ++titleEnd;
        WordRecord &record = records[group.word];
        append(record.everywhere, topic, first, last);
        if (titleEnd != first)
            append(record.inTitles, topic, first, titleEnd);
    }
}

void FullTextIndexBuilder::addDocument(std::uint32_t topic, std::string_view title, std::string_view text)
{
    Words &w = *words_;
    w.startPage(topic);
    w.page.split(title, text, w.table);
    w.addPage(topic);
}

void FullTextIndexBuilder::addSplitDocument(std::uint32_t topic, PageWords page,
                                            std::span<const std::string_view> words)
{
    Words &w = *words_;
    w.startPage(topic);
    if (w.ownNumbers.size() < words.size())
        w.ownNumbers.resize(words.size(), 0);
    // Each of the other table's words is looked up here once, not at
    // each of its hits.
    for (std::uint64_t &hit : page.hits) {
        const std::uint32_t other = PageWords::wordOf(hit);
        if (other >= words.size())
            throw std::out_of_range("a page's word is not in its word list");
        std::uint32_t &own = w.ownNumbers[other];
        if (own == 0)
            own = w.table.idOf(words[other]) + 1;
        hit = std::uint64_t{own - 1} << 32 | PageWords::positionOf(hit);
    }
    w.page = std::move(page);
    w.addPage(topic);
}

void FullTextIndexBuilder::setLanguageId(std::uint32_t languageId) { words_->languageId = languageId; }

std::vector<std::uint8_t> FullTextIndexBuilder::build() const
{
    const Words &w = *words_;

    // Each word as stored, in the order of its bytes.
    const unsigned codePage = codePageOf(w.languageId);
    const AnsiText ansi(codePage);
    std::vector<std::string> stored(w.records.size());
    for (std::uint32_t i = 0; i < stored.size(); ++i) {
        stored[i] = ansi.fromUtf8(w.table.word(i));
        if (stored[i].find('?') != std::string::npos) // a character the code page lacks ('?' is no word character)
            stored[i] = w.table.word(i);
    }
    std::vector<std::uint32_t> order(w.records.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return stored[a] < stored[b]; });
    // A word kept as UTF-8 could equal another one's ANSI bytes: one entry for both.
    order.erase(std::unique(order.begin(), order.end(),
                            [&](std::uint32_t a, std::uint32_t b) { return stored[a] == stored[b]; }),
                order.end());

    const unsigned topicRoot = ScaleRootEncoder::bestRoot(w.topicDeltaBits);
    const unsigned countRoot = ScaleRootEncoder::bestRoot(w.hitCountBits);
    const unsigned hitRoot = ScaleRootEncoder::bestRoot(w.hitDeltaBits);

    // Room for the words' codes at once: they take fewer bytes than their
    // packing here, and a large site's 20 MB grown by doubling was copied
    // and cleared over and over.
    std::size_t packedBytes = 0;
    for (const WordRecord &record : w.records)
        packedBytes += record.everywhere.packed.size() + record.inTitles.packed.size();
    std::vector<std::uint8_t> file(kHeaderSize, 0);
    file.reserve(kHeaderSize + packedBytes);

    // The word location codes of every word, then the word tree that points at them.
    auto writeLocations = [&](const Postings &postings) {
        WordLocations locations;
        locations.pageCount = postings.pages;
        locations.offset = static_cast<std::uint32_t>(file.size());
        ScaleRootEncoder encoder(file);
        std::size_t at = 0;
        const auto next = [&] {
            std::uint32_t value = 0;
            takeCount(postings.packed, at, value); // its own packing: whole
            return value;
        };
        for (std::uint32_t page = 0; page < postings.pages; ++page) {
            encoder.put(next(), topicRoot);
            const std::uint32_t count = next();
            encoder.put(count, countRoot);
            for (std::uint32_t i = 0; i < count; ++i)
                encoder.put(next(), hitRoot);
            encoder.alignToByte();
        }
        if (file.size() > UINT32_MAX)
            throw std::length_error("search index over 4 GB");
        locations.size = static_cast<std::uint32_t>(file.size() - locations.offset);
        return locations;
    };
    struct Placed {
        WordLocations everywhere, inTitles;
    };
    std::vector<Placed> placed(order.size());
    std::uint32_t longestWord = 0;
    std::uint64_t wordBytes = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const WordRecord &record = w.records[order[i]];
        placed[i].everywhere = writeLocations(record.everywhere);
        if (record.inTitles.pages)
            placed[i].inTitles = writeLocations(record.inTitles);
        longestWord = std::max<std::uint32_t>(longestWord, static_cast<std::uint32_t>(stored[order[i]].size()));
        wordBytes += stored[order[i]].size();
    }

    SearchTreeWriter tree(file);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const WordRecord &record = w.records[order[i]];
        tree.add(stored[order[i]], placed[i].everywhere, record.inTitles.pages ? &placed[i].inTitles : nullptr);
    }
    const SearchTreeWriter::Tree shape = tree.finish();

    const std::uint32_t topics = w.anyDocument ? w.lastTopic + 1 : 0;
    const auto clamp = [](std::uint64_t value) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, UINT32_MAX));
    };
    file[0x02] = 0x28; // signature 00 00 28 00
    putLe32(file.data() + 0x04, topics);
    putLe32(file.data() + 0x08, shape.rootOffset);
    putLe32(file.data() + 0x10, shape.leafCount);
    // The root once more, the tree's depth (1: the root is a leaf), a fixed 7,
    // then scale and root of the topic deltas, hit counts and hit deltas.
    putLe32(file.data() + 0x14, shape.rootOffset); // where viewers start their descent
    file[0x18] = static_cast<std::uint8_t>(shape.depth);
    file[0x19] = static_cast<std::uint8_t>(shape.depth >> 8);
    putLe32(file.data() + 0x1A, 7);
    const std::uint8_t encodings[] = {2, static_cast<std::uint8_t>(topicRoot), 2, static_cast<std::uint8_t>(countRoot),
                                      2, static_cast<std::uint8_t>(hitRoot)};
    std::copy(std::begin(encodings), std::end(encodings), file.begin() + 0x1E);
    putLe32(file.data() + 0x2E, SearchTreeWriter::kNodeSize);
    putLe32(file.data() + 0x36, 1); // two values of unknown use, as other compilers write them
    putLe32(file.data() + 0x3A, 5);
    // Word statistics: the longest, hits, distinct words, their lengths.
    putLe32(file.data() + 0x3E, longestWord);
    putLe32(file.data() + 0x42, clamp(w.hitCount));
    putLe32(file.data() + 0x46, clamp(order.size()));
    putLe32(file.data() + 0x4A, static_cast<std::uint32_t>(w.hitBytes)); // 64 bits, low half first
    putLe32(file.data() + 0x4E, static_cast<std::uint32_t>(w.hitBytes >> 32));
    putLe32(file.data() + 0x52, clamp(wordBytes));
    putLe32(file.data() + 0x56, shape.lastLeafFreeBytes);
    putLe32(file.data() + 0x5E, topics ? topics - 1 : 0);
    // The code page of the words and the language; python3-chm takes the
    // help file's language from here.
    putLe32(file.data() + 0x7A, codePage ? codePage : kUtf8CodePage);
    putLe32(file.data() + 0x7E, w.languageId);
    return file;
}

} // namespace quorlix::chm
