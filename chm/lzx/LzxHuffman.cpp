#include "chm/lzx/LzxHuffman.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace quorlix::chm {

namespace {

// Depth of every leaf of a Huffman tree over the given (frequency, symbol)
// pairs, sorted by frequency. Two queues: the leaves and the merged nodes,
// which come out in non-decreasing weight.
void huffmanDepths(const std::vector<std::pair<std::uint64_t, unsigned>>& leaves, std::vector<unsigned>& depth)
{
    const std::size_t m = leaves.size();
    std::vector<std::uint64_t> weight(2 * m - 1);
    std::vector<std::size_t> parent(2 * m - 1, 0);
    for (std::size_t i = 0; i < m; ++i)
        weight[i] = leaves[i].first;
    std::size_t nextLeaf = 0, nextNode = m;
    auto takeSmallest = [&](std::size_t created) {
        if (nextLeaf < m && (nextNode >= created || weight[nextLeaf] <= weight[nextNode]))
            return nextLeaf++;
        return nextNode++;
    };
    for (std::size_t created = m; created < 2 * m - 1; ++created) {
        const std::size_t a = takeSmallest(created);
        const std::size_t b = takeSmallest(created);
        weight[created] = weight[a] + weight[b];
        parent[a] = parent[b] = created;
    }
    depth.assign(2 * m - 1, 0);
    for (std::size_t k = 2 * m - 1; k-- > 0;)
        depth[k] = k == 2 * m - 2 ? 0 : depth[parent[k]] + 1;
    depth.resize(m);
}

} // namespace

void buildHuffmanLengths(std::span<const std::uint32_t> frequencies, unsigned maxLength,
                         std::span<std::uint8_t> lengths)
{
    assert(lengths.size() == frequencies.size() && frequencies.size() >= 2);
    std::fill(lengths.begin(), lengths.end(), std::uint8_t{0});
    std::vector<std::pair<std::uint64_t, unsigned>> leaves;
    for (unsigned s = 0; s < frequencies.size(); ++s)
        if (frequencies[s] != 0)
            leaves.emplace_back(frequencies[s], s);
    if (leaves.empty())
        return;
    if (leaves.size() == 1) {
        // A one-symbol code is incomplete; readers refuse it.
        const unsigned only = leaves[0].second;
        lengths[only] = 1;
        lengths[only == 0 ? 1 : 0] = 1;
        return;
    }
    std::vector<unsigned> depth;
    for (;;) {
        std::sort(leaves.begin(), leaves.end());
        huffmanDepths(leaves, depth);
        if (*std::max_element(depth.begin(), depth.end()) <= maxLength)
            break;
        // Too deep: flatten the distribution and try again. Rare, and it ends
        // at worst in a balanced tree.
        for (auto& leaf : leaves)
            leaf.first = (leaf.first + 1) / 2;
    }
    for (std::size_t i = 0; i < leaves.size(); ++i)
        lengths[leaves[i].second] = static_cast<std::uint8_t>(depth[i]);
}

void buildHuffmanCodes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes)
{
    unsigned count[17] = {};
    for (const auto length : lengths)
        ++count[length];
    count[0] = 0;
    unsigned next[17] = {};
    unsigned code = 0;
    for (unsigned length = 1; length <= 16; ++length) {
        code = (code + count[length - 1]) << 1;
        next[length] = code;
    }
    for (std::size_t s = 0; s < lengths.size(); ++s)
        codes[s] = lengths[s] ? static_cast<std::uint16_t>(next[lengths[s]]++) : 0;
}

} // namespace quorlix::chm
