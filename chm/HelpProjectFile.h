// Reading a help project (.HHP): the [OPTIONS] the compiler uses, the list
// of [FILES] and the [INFOTYPES] lines. The project is text in the locale's
// encoding (UTF-8) with CRLF or LF line ends; names are kept as their bytes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorlix::chm {

struct HelpProject {
    std::filesystem::path folder; // paths in the project are relative to it
    std::string compiledFile;     // "Compiled file=", may be absolute (inside folder); "" when not given
    std::string defaultTopic;
    std::string title;
    std::string language;         // "0x409 English (United States)"
    std::string contentsFile;
    std::string indexFile;
    std::string defaultFont;      // "Arial, 9, 0"; "" when not given
    bool fullTextSearch = false;
    std::vector<std::string> files;     // in the project's order, as written
    std::vector<std::string> infoTypes;
};

// Throws std::runtime_error with a message for the user when the project
// cannot be read. Option lines the compiler has no use for are accepted and
// ignored.
HelpProject readHelpProject(const std::filesystem::path &file);

} // namespace quorlix::chm
