#include "html/FileBytes.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

namespace quorlix::html {

bool readAllFrom(int fd, std::string &bytes)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.append(buffer, std::size_t(got));
    }
}

bool readWholeAt(int fd, std::uint64_t offset, std::size_t size, std::string &out)
{
    out.resize(size);
    for (std::size_t done = 0; done < size;) {
        const ssize_t got = ::pread(fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace quorlix::html
