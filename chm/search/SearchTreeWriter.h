#pragma once

// The word tree of the search index: 4096-byte leaf nodes holding the words in
// order, front-compressed, each with where its word location codes are, and
// index nodes above them naming the last word of each node below. The root is
// the last node written. Under a root over index nodes, each of those starts
// its entries at the offset of its own entry in the root (after entries no
// word stops at), since python3-chm reads on from there.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlix::chm {

// Where a word's location codes are in the index file and for how many pages.
struct WordLocations {
    std::uint32_t pageCount = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

class SearchTreeWriter {
public:
    static constexpr std::size_t kNodeSize = 4096;

    struct Tree {
        std::uint32_t rootOffset = 0;
        std::uint16_t depth = 0; // 1 when the root is the only leaf
        std::uint32_t leafCount = 0;
        std::uint32_t lastLeafFreeBytes = 0;
    };

    // Appends nodes to file (which already holds everything before them).
    explicit SearchTreeWriter(std::vector<std::uint8_t> &file) : file_(file) {}

    // Words come in increasing byte order. A word found in titles has a second
    // entry, flagged as title hits, right after its first; both stay in one leaf.
    void add(std::string_view word, const WordLocations &everywhere, const WordLocations *inTitles);

    // Writes the last leaf and the index nodes above the leaves.
    Tree finish();

private:
    struct ChildNode {
        std::string lastWord;
        std::uint32_t offset;
    };

    void startLeaf();
    void closeLeaf();
    // The index nodes over children. alignUnderRoot lays them out for the
    // one node above them; nullopt when they need more than one.
    std::optional<std::vector<ChildNode>> writeIndexLevel(const std::vector<ChildNode> &children, bool alignUnderRoot);

    std::vector<std::uint8_t> &file_;
    std::vector<std::uint8_t> leaf_; // the leaf being filled
    std::string previousWord_;       // the last word in leaf_
    std::vector<ChildNode> leaves_;
    std::uint32_t lastLeafFreeBytes_ = 0;
};

} // namespace quorlix::chm
