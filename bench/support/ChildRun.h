#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorlix::bench {

struct ChildRun {
    bool started = false;
    int status = -1; // the exit status; -1 when killed by a signal
    double seconds = 0;
    double cpuSeconds = 0; // user and system, all threads
    long peakKilobytes = 0; // the largest resident set of the child and what it waited for
};

// Runs a program (looked up on PATH) in folder with its output going to log,
// to its end; times it and takes its peak memory from the kernel's accounting
// of the child. extraEnvironment holds "NAME=value" words added to ours.
ChildRun runChild(const std::vector<std::string> &command, const std::filesystem::path &folder,
                  const std::filesystem::path &log, const std::vector<std::string> &extraEnvironment = {});

} // namespace quorlix::bench
