#pragma once

// Canonical Huffman codes as LZX readers rebuild them from code lengths:
// shorter codes first, equal lengths in symbol order, read most significant
// bit first. Readers accept only complete codes (or a tree with no symbols at
// all), so a lone symbol gets a partner.

#include <cstdint>
#include <span>

namespace quorlix::chm {

// Code lengths for the given frequencies, none longer than maxLength.
// Symbols with frequency 0 get length 0.
void buildHuffmanLengths(std::span<const std::uint32_t> frequencies, unsigned maxLength,
                         std::span<std::uint8_t> lengths);

// Codes for the lengths, each in the low bits of its entry.
void buildHuffmanCodes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes);

} // namespace quorlix::chm
