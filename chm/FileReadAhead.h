// Reads the listed files ahead of the compile, on worker threads: each is
// checked, read whole when it is small or a page, and a page is parsed for
// its title and text. The compile takes the results in list order, so
// parsing pages runs on every core beside the compressor while the files
// still go into the help file one after another.
//
// At most a window of files, and about kReadAheadBytes of them, are held at
// once; larger files are left to be streamed by the taker.
#pragma once

#include "chm/ProjectFolder.h"
#include "html/PageReader.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorlix::chm {

struct ListedFile {
    std::string name;               // as stored: "/site/a.html"
    std::filesystem::path source;   // where it is read from, inside the project's folder
    std::optional<html::FileStamp> stamp; // a plain file as it was listed
};

struct FileRead {
    enum class Outcome {
        Read,   // bytes holds the file; parsed is set for a page
        Stream, // too large to hold: the taker streams it from source
        Missing,
        NotAFile,
        TooLarge,   // over 4 GB
        Unreadable, // error says why
        Outside,    // opened, it was found outside the project's folder
    };
    Outcome outcome = Outcome::Missing;
    bool page = false;
    std::uint64_t size = 0;
    std::string bytes;
    html::Page parsed;
    std::string error;
};

class FileReadAhead {
public:
    static constexpr std::uint64_t kLargestFile = 0xFFFFFFFFull;    // offsets in the topic tables are 32-bit
    static constexpr std::uint64_t kLargestPageRead = 64ull << 20;  // bigger pages are streamed, unparsed
    static constexpr std::uint64_t kLargestOtherRead = 1ull << 20;
    static constexpr std::uint64_t kReadAheadBytes = 64ull << 20;

    // threads: 0 for one per core. Files are opened through folder.
    FileReadAhead(const ProjectFolder &folder, const std::vector<ListedFile> &files, html::PageParts parts,
                  unsigned threads);
    ~FileReadAhead();
    FileReadAhead(const FileReadAhead &) = delete;
    FileReadAhead &operator=(const FileReadAhead &) = delete;

    // The result for files[index]; blocks until it is there. Indexes must
    // be taken in order, each once.
    FileRead take(std::size_t index);

private:
    void work();
    FileRead readOne(const ListedFile &file) const;

    const ProjectFolder &folder_;
    const std::vector<ListedFile> &files_;
    html::PageParts parts_;
    std::size_t window_;
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::map<std::size_t, FileRead> done_;
    std::size_t nextClaim_ = 0, nextTake_ = 0;
    std::uint64_t heldBytes_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace quorlix::chm
