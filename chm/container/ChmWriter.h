// Writes a compiled help file (ITSF version 3): the header, the directory,
// the uncompressed section 0 with the ::DataSpace files that describe the
// LZX section, and the LZX section holding the files themselves.
//
// Files of the compressed section are streamed through the compressor as
// they come; its output goes to an unnamed scratch file beside the result
// and is copied behind the directory at the end, so memory stays small
// whatever the size of the content.
#pragma once

#include "chm/container/DirectoryChunks.h"
#include "chm/lzx/LzxSectionCompressor.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace quorlix::chm {

class ChmWriter {
public:
    struct Options {
        std::uint32_t languageId = 0x0409;
        std::uint32_t timestamp = 0;
        unsigned threads = 0; // 0: every core
    };

    // Creates (truncates) file. Throws std::runtime_error when it cannot.
    ChmWriter(const std::filesystem::path &file, Options options);

    // The language the headers name, when it is settled only after the
    // files were added; before finish().
    void setLanguageId(std::uint32_t languageId) { options_.languageId = languageId; }
    ~ChmWriter();
    ChmWriter(const ChmWriter &) = delete;
    ChmWriter &operator=(const ChmWriter &) = delete;

    // Whether a name is taken already, ignoring the case of ASCII letters.
    bool contains(std::string_view name) const;

    // A file of the compressed section, in pieces: beginFile, write…, endFile.
    void beginFile(std::string name);
    void write(std::span<const std::uint8_t> bytes);
    void endFile();

    // A prepared compile's content: whole compressed intervals, adopted
    // before any file is added, and then files named at their place in
    // them (offset and length in the uncompressed stream). Bytes of the
    // intervals that no file names stay unused.
    void adoptInterval(LzxInterval interval);
    void addPlacedFile(std::string name, std::uint64_t offset, std::uint64_t length);

    // A whole file at once, compressed or stored in section 0.
    void addFile(std::string name, std::span<const std::uint8_t> bytes, bool compressed = true);

    // Writes the directory and everything else; returns the file's size.
    // Throws std::runtime_error on a write error; the file is then incomplete.
    std::uint64_t finish();

private:
    // Where the parts of the file go, once the directory is built.
    struct FileLayout {
        const DirectoryChunks *directory = nullptr;
        std::uint64_t directoryOffset = 0, directoryLength = 0;
        std::uint64_t contentOffset = 0; // section 0; the LZX section follows it
        std::uint64_t fileSize = 0;
    };

    void claim(const std::string &name);
    void append(std::FILE *file, std::span<const std::uint8_t> bytes);
    void addSection0File(const std::string &name, const std::vector<std::uint8_t> &bytes);
    void addFolderEntries();
    void addDataSpaceFiles(const LzxSectionCompressor::Result &lzx);
    std::vector<std::uint8_t> headers(const FileLayout &layout) const;
    void copyScratch();

    Options options_;
    std::filesystem::path path_;
    std::FILE *out_ = nullptr;
    std::FILE *scratch_ = nullptr;
    std::unique_ptr<LzxSectionCompressor> compressor_;
    std::vector<DirectoryEntry> entries_;
    std::unordered_set<std::string> folded_;
    std::vector<std::uint8_t> section0_;
    std::uint64_t contentOffset_ = 0;
};

} // namespace quorlix::chm
