#include "mirror/ReadingHandover.h"

#include "html/PageRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quorlix::mirror {

ReadingHandover::ReadingHandover(const std::string &path)
{
    if (!path.empty())
        mFd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
}

ReadingHandover::~ReadingHandover()
{
    if (mFd >= 0)
        ::close(mFd);
}

void ReadingHandover::hand(const std::string &file, std::string_view early, std::string_view bytes,
                           const ConvertedHrefs &hrefs) const
{
    if (mFd < 0 || early.empty() || hrefs.markupMayChange)
        return;
    std::optional<html::EarlyReading> reading = html::earlyReadingFromRecord(early);
    struct stat info;
    if (!reading || ::stat(file.c_str(), &info) != 0 || static_cast<std::size_t>(info.st_size) != bytes.size())
        return;
    const std::optional<html::Page> page =
        html::convertedReading(std::move(*reading), bytes, [&hrefs](std::uint64_t at, std::string_view before) {
            return hrefs.after(static_cast<std::size_t>(at), before);
        });
    if (!page)
        return;
    const html::FileStamp stamp{static_cast<std::uint64_t>(info.st_ino), static_cast<std::uint64_t>(info.st_dev),
                                static_cast<std::int64_t>(info.st_size),
                                static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    const std::string frame = html::handedReadingFrame(file, stamp, *page);
    std::lock_guard lock(mWriting);
    for (std::size_t done = 0; !mFailed && done < frame.size();) {
        const ssize_t wrote = ::write(mFd, frame.data() + done, frame.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        // The disk is full: the reader stops at the frame cut short, and
        // the pages after it are parsed.
        mFailed = wrote <= 0;
        done += wrote > 0 ? static_cast<std::size_t>(wrote) : 0;
    }
}

} // namespace quorlix::mirror
