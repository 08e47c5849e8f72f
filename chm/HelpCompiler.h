// Compiling a help project into a compiled help file: the library call
// behind quorlix-hhc. Messages for the user (progress, warnings, the
// summary) go to log, a few lines in all rather than one per file.
#pragma once

#include <filesystem>
#include <ostream>

namespace quorlix::chm {

struct CompileOptions {
    unsigned threads = 0; // compressor threads; 0: every core
};

// Returns 0 when the help file was written, non-zero otherwise; the compiled
// file is then left as it was (the new one is written beside it and renamed
// over it only once complete).
int compileHelpProject(const std::filesystem::path &project, std::ostream &log, CompileOptions options = {});

} // namespace quorlix::chm
