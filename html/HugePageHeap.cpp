#include "html/HugePageHeap.h"

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace quorlix::html {

void restartWithHugePageHeap(char **argv)
{
    constexpr const char *kTunable = "glibc.malloc.hugetlb=1";
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    const std::string told = tunables ? tunables : "";
    if (told.find("glibc.malloc.hugetlb") != std::string::npos)
        return;
    const std::string now = told.empty() ? kTunable : told + ":" + kTunable;
    if (::setenv("GLIBC_TUNABLES", now.c_str(), 1) != 0)
        return;
    // By its own path, not /proc/self/exe: the process keeps its name.
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        ::execv(self, argv);
    }
    // Not started again: the environment is as it was.
    if (tunables)
        ::setenv("GLIBC_TUNABLES", tunables, 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
}

} // namespace quorlix::html
