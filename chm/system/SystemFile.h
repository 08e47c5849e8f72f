#pragma once

// #SYSTEM: a version dword (3) and then records of a code word, a length
// word and that many bytes. Viewers take the contents and index file names,
// the default topic, the title and the language from it; several read only
// its first 4096 bytes, so the records they need come first.

#include <cstdint>
#include <string>
#include <vector>

namespace quorlix::chm {

struct SystemRecords {
    std::string contentsFile;  // code 0, "" for none
    std::string indexFile;     // code 1, "" for none
    std::string defaultTopic;  // code 2
    std::string title;         // code 3, in the help file's code page
    std::uint32_t languageId;  // in code 4
    bool fullTextSearch;       // in code 4
    std::string compiledStem;  // code 6: the compiled file's name, lower case, no extension
    std::int64_t timestamp;    // seconds since 1970: code 10 and the FILETIME in code 4
    bool keywordIndex = false; // $WWKeywordLinks is stored: code 7, and its flag in code 4
    std::uint32_t indexFileKey = 0; // in code 7: the index file's #URLTBL key (urlHash)
    std::string defaultFont;   // code 16, "" for none: "Arial, 9, 0"
    std::vector<std::uint8_t> indexHeader; // code 13: a copy of #IDXHDR
};

std::vector<std::uint8_t> buildSystemFile(const SystemRecords &records);

// "output" from "Output.CHM", "dir/Output.chm" or "output".
std::string compiledFileStem(const std::string &compiledFileName);

} // namespace quorlix::chm
