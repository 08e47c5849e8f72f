#include "mirror/FinalFiles.h"

#include "mirror/WgetLog.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quorlix::mirror {

FinalFiles::FinalFiles(const std::string &path)
{
    if (!path.empty())
        mFd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
}

FinalFiles::~FinalFiles()
{
    if (mFd >= 0)
        ::close(mFd);
}

void FinalFiles::add(const std::string &file) const
{
    if (mFd < 0)
        return;
    // shown() escapes every control character: the line holds no newline
    // of the name's own.
    const std::string line = WgetLog::shown(file) + "\n";
    while (::write(mFd, line.data(), line.size()) < 0 && errno == EINTR) {
    }
}

} // namespace quorlix::mirror
