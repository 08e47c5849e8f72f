// quorlix-hhc PROJECT.HHP: compiles a help project into a compiled help
// file. Messages go to standard output, as the window shows them; the exit
// status is 0 only when the help file was written.
#include "chm/HelpCompiler.h"
#include "html/HugePageHeap.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace {

// The temporary help file being written, for the signal handler: asked to
// stop (the window's Cancel, Exit or close), the tool removes it first.
char temporaryFile[4096];

extern "C" void stop(int signal)
{
    if (temporaryFile[0])
        ::unlink(temporaryFile);
    ::_exit(128 + signal);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorlix-hhc PROJECT.HHP\n");
        return 2;
    }
    quorlix::html::restartWithHugePageHeap(argv);
    std::ios::sync_with_stdio(false);

    struct sigaction action {};
    action.sa_handler = stop;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&action.sa_mask, signal);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    // Past a file size limit a write fails like one to a full disk, so the
    // temporary is removed and the error reported, rather than the tool
    // being ended on the spot.
    std::signal(SIGXFSZ, SIG_IGN);

    quorlix::chm::CompileOptions options;
    // The name is set before the compressor's threads start, with the stop
    // signals blocked so the handler never sees half of it; it is dropped
    // with a single byte.
    options.temporaryFile = [](const std::string &path) {
        if (path.empty()) {
            temporaryFile[0] = '\0';
            return;
        }
        sigset_t stops, old;
        sigemptyset(&stops);
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&stops, signal);
        pthread_sigmask(SIG_BLOCK, &stops, &old);
        if (path.size() < sizeof temporaryFile)
            std::memcpy(temporaryFile, path.c_str(), path.size() + 1);
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    };
    // Set by the window: what it compressed while the site downloaded.
    if (const char *prepared = std::getenv("QUORLIX_HHC_PREPARED"))
        options.prepared = prepared;
    return quorlix::chm::compileHelpProject(argv[1], std::cout, options);
}
