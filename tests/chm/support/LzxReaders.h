#pragma once

// Decodes an LZX content stream with the readers help file viewers use,
// libmspack and chmlib. Their LZX decoders are reachable only through their
// help file readers, so the stream is wrapped in the smallest help file that
// holds it: a directory of one chunk, the ::DataSpace files that describe
// the compressed section, and one file "/data" spanning the whole stream.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorlix::chm::test {

struct LzxStream {
    std::vector<std::uint8_t> bytes;
    std::uint64_t uncompressedSize = 0;
    std::vector<std::uint64_t> frameOffsets;
};

// Compresses input with LzxSectionCompressor, fed in pieces of pieceSize bytes.
LzxStream compressStream(std::span<const std::uint8_t> input, unsigned threads, std::size_t pieceSize);

// Writes the help file around the stream.
void writeLzxHelpFile(const std::filesystem::path& file, const LzxStream& stream);

// "/data" read back from a help file written by writeLzxHelpFile; nothing
// when the reader refuses it. error receives the reader's complaint.
std::optional<std::vector<std::uint8_t>> readWithLibmspack(const std::filesystem::path& file, std::string* error);
std::optional<std::vector<std::uint8_t>> readWithChmlib(const std::filesystem::path& file, std::string* error);

} // namespace quorlix::chm::test
