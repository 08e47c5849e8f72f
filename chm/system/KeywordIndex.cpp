#include "chm/system/KeywordIndex.h"

#include "chm/container/ByteLayout.h"

#include <algorithm>

namespace quorlix::chm {

namespace {

constexpr std::size_t kTreeHeaderSize = 0x4c;
constexpr std::size_t kListingBlockHeaderSize = 12; // free bytes, entries, previous and next block
constexpr std::size_t kIndexBlockHeaderSize = 8;    // free bytes, entries, first child block
constexpr std::uint32_t kNoBlock = 0xffffffff;
constexpr std::uint32_t kEntryStep = 13; // each listing entry's last field grows by this

// Field values whose meaning is unknown, as Microsoft's compiler writes
// them for a help file with a keyword index.
constexpr std::uint16_t kTreeFlags = 0x0104;
constexpr std::uint32_t kTreeUnknown = 10031;
constexpr std::uint8_t kDataEntry[13] = {0, 0, 0, 0, 5, 0, 0, 0, 0x80, 0, 0, 0, 0};
constexpr std::uint32_t kPropertyFields[8] = {0, 0, 0, 12, 1, 1, 0, 0};

char16_t folded(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<char16_t>(c + 0x20);
    return c;
}

// The keywords in the binary index's order: their texts compared code unit
// by code unit with letters folded, equal ones as they came. The folded
// texts are made once, not at every comparison.
void sortForIndex(std::vector<BinaryKeyword> &keywords)
{
    std::vector<std::u16string> keys(keywords.size());
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        keys[i] = keywords[i].text;
        for (char16_t &c : keys[i])
            c = folded(c);
    }
    std::vector<std::size_t> order(keywords.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<BinaryKeyword> sorted;
    sorted.reserve(keywords.size());
    for (const std::size_t i : order)
        sorted.push_back(std::move(keywords[i]));
    keywords = std::move(sorted);
}

// A keyword's bytes up to and including its topic numbers; a listing entry
// goes on with a 1 and its running count, an index entry with a block.
std::vector<std::uint8_t> entryHead(const BinaryKeyword &keyword)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(2 * keyword.text.size() + 24 + 4 * keyword.topics.size());
    for (const char16_t c : keyword.text)
        appendLe16(bytes, c);
    appendLe16(bytes, 0);
    appendLe16(bytes, 0); // not a "see also" entry
    appendLe16(bytes, keyword.depth);
    appendLe32(bytes, keyword.lastLevelAt);
    appendLe32(bytes, 0);
    appendLe32(bytes, static_cast<std::uint32_t>(keyword.topics.size()));
    for (const std::uint32_t topic : keyword.topics)
        appendLe32(bytes, topic);
    return bytes;
}

struct Block {
    std::vector<std::uint8_t> bytes;
    std::uint16_t entries = 0;
};

// Closes a block: its free bytes and entry count in its header, padded.
void close(Block &block)
{
    putLe16(block.bytes.data() + 0, static_cast<std::uint16_t>(kKeywordBlockSize - block.bytes.size()));
    putLe16(block.bytes.data() + 2, block.entries);
    block.bytes.resize(kKeywordBlockSize, 0);
}

// One level of index blocks over the blocks numbered from firstChild, each
// of which starts with the entry in heads; firstHeads gets each index
// block's first entry in turn.
std::vector<Block> indexLevel(const std::vector<std::vector<std::uint8_t>> &heads, std::uint32_t firstChild,
                              std::vector<std::vector<std::uint8_t>> &firstHeads)
{
    std::vector<Block> blocks;
    for (std::size_t i = 0; i < heads.size(); ++i) {
        const std::size_t size = heads[i].size() + 4;
        if (blocks.empty() || blocks.back().bytes.size() + size > kKeywordBlockSize) {
            if (!blocks.empty())
                close(blocks.back());
            blocks.emplace_back();
            blocks.back().bytes.resize(kIndexBlockHeaderSize, 0);
            putLe32(blocks.back().bytes.data() + 4, firstChild + static_cast<std::uint32_t>(i));
            firstHeads.push_back(heads[i]);
        }
        Block &block = blocks.back();
        block.bytes.insert(block.bytes.end(), heads[i].begin(), heads[i].end());
        appendLe32(block.bytes, firstChild + static_cast<std::uint32_t>(i));
        ++block.entries;
    }
    close(blocks.back());
    return blocks;
}

} // namespace

KeywordIndexFiles buildKeywordIndex(std::vector<BinaryKeyword> keywords, std::uint32_t codePage,
                                    std::uint32_t languageId)
{
    sortForIndex(keywords);
    KeywordIndexFiles files;

    // The listing blocks, in keyword order, chained both ways.
    std::vector<Block> listing;
    std::vector<std::vector<std::uint8_t>> firstHeads; // each listing block's first entry
    std::vector<std::uint32_t> firstKeyword;           // and its keyword's number
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        std::vector<std::uint8_t> head = entryHead(keywords[i]);
        const std::size_t size = head.size() + 8;
        if (size + kListingBlockHeaderSize > kKeywordBlockSize)
            continue; // a keyword longer than a block cannot be stored
        if (listing.empty() || listing.back().bytes.size() + size > kKeywordBlockSize) {
            if (!listing.empty())
                close(listing.back());
            listing.emplace_back();
            listing.back().bytes.resize(kListingBlockHeaderSize, 0);
            firstHeads.push_back(head);
            firstKeyword.push_back(static_cast<std::uint32_t>(i));
        }
        Block &block = listing.back();
        block.bytes.insert(block.bytes.end(), head.begin(), head.end());
        appendLe32(block.bytes, 1);
        appendLe32(block.bytes, static_cast<std::uint32_t>(i) * kEntryStep);
        ++block.entries;
        files.data.insert(files.data.end(), std::begin(kDataEntry), std::end(kDataEntry));
    }
    if (listing.empty()) {
        listing.emplace_back();
        listing.back().bytes.resize(kListingBlockHeaderSize, 0);
        firstKeyword.push_back(0);
    }
    close(listing.back());
    const auto listingCount = static_cast<std::uint32_t>(listing.size());
    for (std::uint32_t i = 0; i < listingCount; ++i) {
        putLe32(listing[i].bytes.data() + 4, i == 0 ? kNoBlock : i - 1);
        putLe32(listing[i].bytes.data() + 8, i + 1 == listingCount ? kNoBlock : i + 1);
    }

    // Index levels above them until one block holds the root.
    std::vector<Block> blocks = std::move(listing);
    std::uint16_t depth = 1;
    std::uint32_t levelStart = 0;
    std::vector<std::vector<std::uint8_t>> heads = std::move(firstHeads);
    while (blocks.size() - levelStart > 1) {
        std::vector<std::vector<std::uint8_t>> levelHeads;
        std::vector<Block> level = indexLevel(heads, levelStart, levelHeads);
        levelStart = static_cast<std::uint32_t>(blocks.size());
        blocks.insert(blocks.end(), level.begin(), level.end());
        heads = std::move(levelHeads);
        ++depth;
    }

    std::vector<std::uint8_t> &tree = files.tree;
    tree.resize(kTreeHeaderSize, 0);
    tree[0] = 0x3b;
    tree[1] = 0x29;
    putLe16(tree.data() + 0x02, kTreeFlags);
    putLe16(tree.data() + 0x04, static_cast<std::uint16_t>(kKeywordBlockSize));
    tree[0x06] = 'X';
    tree[0x07] = '4';
    tree[0x08] = '4';
    putLe32(tree.data() + 0x1a, listingCount - 1);                                  // last listing block
    putLe32(tree.data() + 0x1e, static_cast<std::uint32_t>(blocks.size() - 1));    // the root block
    putLe32(tree.data() + 0x22, kNoBlock);
    putLe32(tree.data() + 0x26, static_cast<std::uint32_t>(blocks.size()));
    putLe16(tree.data() + 0x2a, depth);
    putLe32(tree.data() + 0x2c, static_cast<std::uint32_t>(files.data.size() / sizeof kDataEntry));
    putLe32(tree.data() + 0x30, codePage);
    putLe32(tree.data() + 0x34, languageId);
    putLe32(tree.data() + 0x38, 1); // part of a help file
    putLe32(tree.data() + 0x3c, kTreeUnknown);
    tree.reserve(tree.size() + blocks.size() * kKeywordBlockSize);
    for (const Block &block : blocks)
        tree.insert(tree.end(), block.bytes.begin(), block.bytes.end());

    appendLe16(files.map, static_cast<std::uint16_t>(listingCount));
    for (std::uint32_t i = 0; i < listingCount; ++i) {
        appendLe32(files.map, firstKeyword[i]);
        appendLe32(files.map, i);
    }
    for (const std::uint32_t field : kPropertyFields)
        appendLe32(files.property, field);
    return files;
}

} // namespace quorlix::chm
