// Compiling a help project into a compiled help file: the library call
// behind quorlix-hhc. Messages for the user (progress, warnings, the
// summary) go to log, a few lines in all rather than one per file.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

namespace quorlix::chm {

struct CompileOptions {
    unsigned threads = 0; // compressor threads; 0: every core
    // Told the path of the temporary help file when it is made, and "" once
    // it is renamed or removed: a program can remove it when it is stopped.
    std::function<void(const std::string &)> temporaryFile;
    // A prepared content file (written while the site downloaded): what of
    // it still matches the listed files is taken as it is. None: "".
    std::filesystem::path prepared;
};

// The temporary help file of a compile in folder run by process pid:
// ".hhc-PID.chm". One left by a process that no longer runs is stale.
std::filesystem::path temporaryHelpFile(const std::filesystem::path &folder, long pid);

// Returns 0 when the help file was written, non-zero otherwise; the compiled
// file is then left as it was (the new one is written beside it and renamed
// over it only once complete).
int compileHelpProject(const std::filesystem::path &project, std::ostream &log, CompileOptions options = {});

} // namespace quorlix::chm
