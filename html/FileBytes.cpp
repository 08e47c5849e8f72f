#include "html/FileBytes.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quorlix::html {

bool readAllFrom(int fd, std::string &bytes)
{
    // Read straight into the string, sized for the rest of a file at once:
    // a large file grown a buffer at a time is copied over and over.
    std::size_t filled = bytes.size();
    struct stat status {};
    std::size_t room = 1 << 16;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        // + 1: the end is seen in one more read. A file read again as it
        // grows (a list another program appends to) is mostly read to its
        // end already: its one byte of room is not 64 kB cleared for nothing.
        if (at >= 0)
            room = static_cast<std::size_t>(std::max<off_t>(status.st_size - at, 0)) + 1;
    }
    for (;;) {
        if (bytes.size() - filled < room)
            bytes.resize(filled + room);
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got == 0) {
            bytes.resize(filled);
            return true;
        }
        if (got < 0) {
            if (errno == EINTR)
                continue;
            bytes.resize(filled);
            return false;
        }
        filled += std::size_t(got);
        room = std::max<std::size_t>(1 << 16, filled / 2); // a file that grew as it was read
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
