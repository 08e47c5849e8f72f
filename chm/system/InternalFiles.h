#pragma once

// The internal files a help file carries beside its pages: #SYSTEM, #ITBITS,
// #STRINGS, #TOPICS, #URLTBL, #URLSTR, #IDXHDR, and with an index the binary
// index ($WWKeywordLinks/*) and $WWAssociativeLinks/Property. Viewers read the title,
// default topic, language and the names of the contents and index files from
// them, and search results name their pages through #TOPICS.

#include "chm/language/LanguageId.h"
#include "chm/system/IndexKeywords.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorlix::chm {

// One page of the help file. Its position in the list handed to
// buildInternalFiles is its topic number; the search index refers to pages by it.
// The contents and index files are not pages: buildInternalFiles adds their
// topics itself, after the pages.
struct Topic {
    std::string name;  // as stored in the help file, with the leading slash: "/site/a.html"
    std::string title; // UTF-8; empty when the page has none (its file name is shown then)
};

struct InternalFileSettings {
    std::string title;            // UTF-8 (stored in the language's code page)
    std::string defaultTopic;     // relative to the help file's root: "site/index.html"
    std::string contentsFile;     // "output.hhc", or empty when there is none
    std::string indexFile;        // "output.hhk", or empty when there is none
    std::string compiledFileName; // "output.chm"
    std::uint32_t languageId = 0x0409; // a Windows LCID; see languageIdFromProject
    bool fullTextSearch = false;       // true when $FIftiMain is stored
    std::int64_t timestamp = 0;        // seconds since 1970-01-01 UTC
    std::string defaultFont;           // "Arial, 9, 0", or empty
    // The index file's keywords, for the binary index ($WWKeywordLinks);
    // none: no binary index. A keyword's place that is not a whole page
    // (an anchor in one, or a file that is no page) gets a topic of its own,
    // after the others.
    std::vector<IndexKeyword> keywords;
};

struct StoredFile {
    std::string name;                // with the leading slash: "/#SYSTEM"; the other
                                     // names in the settings and topics are stored as given
    std::vector<std::uint8_t> bytes;
    bool compressed;                 // false: store in section 0 (uncompressed); true: in the LZX section
};

// The system files for a help file with these settings and topics, in no
// particular order. Pure: the same input always gives the same bytes.
// The help file's header should carry the same languageId.
std::vector<StoredFile> buildInternalFiles(const InternalFileSettings &settings, const std::vector<Topic> &topics);

// languageIdFromProject (chm/LanguageId.h) reads the project's "Language=" value.

} // namespace quorlix::chm
