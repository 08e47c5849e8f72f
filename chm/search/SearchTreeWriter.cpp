#include "chm/search/SearchTreeWriter.h"

#include "chm/container/ByteLayout.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace quorlix::chm {

namespace {

constexpr std::size_t kIndexNodeHeaderSize = 2; // free bytes

std::size_t countSize(std::uint32_t value)
{
    std::size_t size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

std::size_t sharedPrefix(std::string_view a, std::string_view b)
{
    const auto limit = std::min<std::size_t>({a.size(), b.size(), 255});
    std::size_t n = 0;
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

// A word as stored after the previous one: its length beyond the shared
// prefix plus one, the prefix length, and the rest of its bytes.
void putWord(std::vector<std::uint8_t> &out, std::string_view word, std::size_t shared)
{
    const auto rest = word.substr(shared);
    out.push_back(static_cast<std::uint8_t>(rest.size() + 1));
    out.push_back(static_cast<std::uint8_t>(shared));
    out.insert(out.end(), rest.begin(), rest.end());
}

std::size_t indexEntrySize(std::size_t restSize)
{
    return 2 + restSize + 4 + 2;
}

std::size_t leafEntrySize(std::size_t restSize, const WordLocations &locations)
{
    return 2 + restSize + 1 + countSize(locations.pageCount) + 4 + 2 + countSize(locations.size);
}

void putLeafEntry(std::vector<std::uint8_t> &out, std::string_view word, std::size_t shared, bool title,
                  const WordLocations &locations)
{
    putWord(out, word, shared);
    out.push_back(title ? 1 : 0);
    appendCount(out, locations.pageCount);
    appendLe32(out, locations.offset);
    appendLe16(out, 0);
    appendCount(out, locations.size);
}

std::uint32_t fileOffset(const std::vector<std::uint8_t> &file)
{
    if (file.size() > UINT32_MAX)
        throw std::length_error("search index over 4 GB");
    return static_cast<std::uint32_t>(file.size());
}

} // namespace

void SearchTreeWriter::add(std::string_view word, const WordLocations &everywhere, const WordLocations *inTitles)
{
    if (word.empty() || word.size() > 254)
        throw std::invalid_argument("search index word of unsupported length");
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool fresh = leaf_.empty();
        if (fresh)
            startLeaf();
        const std::size_t shared = sharedPrefix(previousWord_, word);
        std::size_t size = leafEntrySize(word.size() - shared, everywhere);
        if (inTitles)
            size += leafEntrySize(0, *inTitles);
        if (leaf_.size() + size > kNodeSize) {
            if (fresh)
                throw std::length_error("search index entry larger than a node");
            closeLeaf();
            continue;
        }
        putLeafEntry(leaf_, word, shared, false, everywhere);
        if (inTitles)
            putLeafEntry(leaf_, word, word.size(), true, *inTitles);
        previousWord_.assign(word);
        return;
    }
}

void SearchTreeWriter::startLeaf()
{
    leaf_.reserve(kNodeSize);
    appendLe32(leaf_, 0); // the next leaf, set when it is written
    appendLe16(leaf_, 0);
    appendLe16(leaf_, 0); // free bytes, set when this one is written
    previousWord_.clear();
}

void SearchTreeWriter::closeLeaf()
{
    const std::uint32_t offset = fileOffset(file_);
    if (!leaves_.empty())
        putLe32(file_.data() + leaves_.back().offset, offset);
    lastLeafFreeBytes_ = static_cast<std::uint32_t>(kNodeSize - leaf_.size());
    putLe16(leaf_.data() + 6, static_cast<std::uint16_t>(lastLeafFreeBytes_));
    leaf_.resize(kNodeSize, 0);
    file_.insert(file_.end(), leaf_.begin(), leaf_.end());
    leaves_.push_back({previousWord_, offset});
    leaf_.clear();
    previousWord_.clear();
}

// Index entries no looked-up word stops at, filling bytes: their words, of
// 0x01 bytes, sort below every real word. Each takes 9 to 262 bytes.
void putPadding(std::vector<std::uint8_t> &node, std::size_t bytes, std::uint32_t child)
{
    if (bytes > 0 && bytes < 9)
        throw std::logic_error("search index padding too small");
    while (bytes > 0) {
        std::size_t take = std::min<std::size_t>(bytes, 8 + 254);
        if (bytes - take > 0 && bytes - take < 9)
            take = bytes - 9;
        putWord(node, std::string(take - 8, '\x01'), 0);
        appendLe32(node, child);
        appendLe16(node, 0);
        bytes -= take;
    }
}

std::optional<std::vector<SearchTreeWriter::ChildNode>>
SearchTreeWriter::writeIndexLevel(const std::vector<ChildNode> &children, bool alignUnderRoot)
{
    const std::size_t base = file_.size();
    std::vector<std::uint8_t> written;
    std::vector<ChildNode> nodes;
    std::vector<std::uint8_t> node;
    std::string_view previous;
    // The entries the one node above would hold so far, and its last word.
    std::size_t parentUsed = kIndexNodeHeaderSize;
    std::string previousInParent;
    auto close = [&] {
        if (base + written.size() > UINT32_MAX)
            throw std::length_error("search index over 4 GB");
        const auto offset = static_cast<std::uint32_t>(base + written.size());
        putLe16(node.data() + 0, static_cast<std::uint16_t>(kNodeSize - node.size()));
        node.resize(kNodeSize, 0);
        written.insert(written.end(), node.begin(), node.end());
        nodes.push_back({std::string(previous), offset});
        parentUsed += indexEntrySize(previous.size() - sharedPrefix(previousInParent, previous));
        previousInParent.assign(previous);
        node.clear();
        previous = {};
    };
    for (const auto &child : children) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (node.empty()) {
                appendLe16(node, 0); // free bytes, set when the node is written
                // python3-chm keeps its place in the node above when it reads
                // a node: its entries start where their entry above is.
                if (alignUnderRoot)
                    putPadding(node, parentUsed - kIndexNodeHeaderSize, child.offset);
            }
            const std::size_t shared = sharedPrefix(previous, child.lastWord);
            const std::size_t size = indexEntrySize(child.lastWord.size() - shared);
            if (node.size() + size > kNodeSize) {
                if (previous.empty()) {
                    if (alignUnderRoot)
                        return std::nullopt;
                    throw std::length_error("search index entry larger than a node");
                }
                close();
                continue;
            }
            putWord(node, child.lastWord, shared);
            appendLe32(node, child.offset);
            appendLe16(node, 0);
            previous = child.lastWord;
            break;
        }
    }
    if (!node.empty())
        close();
    if (alignUnderRoot && nodes.size() > 1 && parentUsed > kNodeSize)
        return std::nullopt; // more than one node above: the padding would not line up
    file_.insert(file_.end(), written.begin(), written.end());
    return nodes;
}

SearchTreeWriter::Tree SearchTreeWriter::finish()
{
    if (!leaf_.empty() || leaves_.empty()) {
        if (leaf_.empty())
            startLeaf(); // an index without words still has its one (empty) leaf
        closeLeaf();
    }
    Tree tree;
    tree.leafCount = static_cast<std::uint32_t>(leaves_.size());
    tree.lastLeafFreeBytes = lastLeafFreeBytes_;
    tree.depth = 1;
    std::vector<ChildNode> level = leaves_;
    while (level.size() > 1) {
        auto above = writeIndexLevel(level, true);
        if (!above)
            above = writeIndexLevel(level, false);
        level = std::move(*above);
        ++tree.depth;
    }
    tree.rootOffset = level.front().offset;
    return tree;
}

} // namespace quorlix::chm
