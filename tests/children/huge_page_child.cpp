// Starts as the tools do (html/HugePageHeap.h) and prints, one a line, how
// many times its main ran (QUORLIX_TEST_STARTS counts them across the
// restart), its process ID, GLIBC_TUNABLES and its arguments.
#include "html/HugePageHeap.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

int main(int argc, char **argv)
{
    const char *before = std::getenv("QUORLIX_TEST_STARTS");
    const std::string starts = std::to_string((before ? std::atoi(before) : 0) + 1);
    ::setenv("QUORLIX_TEST_STARTS", starts.c_str(), 1);
    quorlix::html::restartWithHugePageHeap(argv);
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    std::printf("%s\n%ld\n%s\n", starts.c_str(), static_cast<long>(::getpid()), tunables ? tunables : "(none)");
    for (int i = 1; i < argc; ++i)
        std::printf("%s\n", argv[i]);
    return 0;
}
