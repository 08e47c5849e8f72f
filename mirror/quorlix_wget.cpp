// quorlix-wget: mirrors a site as GNU Wget does with the options Quorlix
// runs it with, eight requests at a time.
//
//   quorlix-wget [OPTION]... ADDRESS...
//   quorlix-wget --takes [OPTION]... ADDRESS...
//       exits 0 when quorlix-wget takes every option given, else prints the
//       first it does not and exits 1 (bin/wget then runs GNU Wget).
//
// QUORLIX_FINAL_FILES=FILE appends to FILE a line for each saved file once
// its bytes are final (mirror/FinalFiles.h); QUORLIX_PAGE_READINGS=FILE
// hands each converted page's reading on there (mirror/ReadingHandover.h). QUORLIX_WGET_CONVERT_AT_END=1
// converts every page only at the end, as a reference for tests.

#include "html/HugePageHeap.h"
#include "mirror/Mirror.h"
#include "mirror/MirrorOptions.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <malloc.h>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> cancelled{false};

void onSignal(int)
{
    cancelled.store(true);
    // Whoever reads the log through a pipe may have stopped reading it: a
    // write to the full pipe would hold the mirror up for as long. Nothing
    // more of the log is waited for; what does not fit is left out. (Only a
    // pipe: a terminal's mode is shared with the shell that started us.)
    struct stat out;
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    if (flags >= 0 && ::fstat(STDOUT_FILENO, &out) == 0 && S_ISFIFO(out.st_mode))
        ::fcntl(STDOUT_FILENO, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

int main(int argc, char **argv)
{
    quorlix::html::restartWithHugePageHeap(argv);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    bool onlyCheck = false;
    if (!arguments.empty() && arguments.front() == "--takes") {
        onlyCheck = true;
        arguments.erase(arguments.begin());
    }
    const quorlix::mirror::ParsedCommandLine parsed = quorlix::mirror::parseCommandLine(arguments);
    if (onlyCheck) {
        if (parsed.unknown) {
            std::printf("%s\n", parsed.unknown->c_str());
            return 1;
        }
        return 0;
    }
    if (parsed.unknown) {
        std::fprintf(stderr, "quorlix-wget: option not supported: %s (GNU Wget takes it)\n", parsed.unknown->c_str());
        return 2;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "quorlix-wget: %s\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.addresses.empty()) {
        std::fprintf(stderr, "quorlix-wget: missing URL\nUsage: quorlix-wget [OPTION]... [URL]...\n");
        return 1;
    }
    quorlix::mirror::MirrorOptions options = parsed.options;
    if (const char *list = std::getenv("QUORLIX_FINAL_FILES"))
        options.finalFilesList = list;
    if (const char *readings = std::getenv("QUORLIX_PAGE_READINGS"))
        options.pageReadings = readings;
    if (const char *atEnd = std::getenv("QUORLIX_WGET_CONVERT_AT_END"))
        options.convertEarly = std::string(atEnd) != "1";
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // One malloc arena for every thread: pages are parsed on threads of
    // their own, and an arena each would keep the peak of a large page each.
    mallopt(M_ARENA_MAX, 1);
    quorlix::mirror::Mirror mirror(options, cancelled);
    return mirror.run();
}
