#include "mirror/ReadingHandover.h"

#include "html/PageRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quorlix::mirror {

ReadingHandover::ReadingHandover(const std::string &path)
{
    if (path.empty())
        return;
    mFd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    const off_t end = mFd >= 0 ? ::lseek(mFd, 0, SEEK_END) : -1;
    if (end < 0 && mFd >= 0) {
        ::close(mFd);
        mFd = -1;
    }
    mEnd = end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

ReadingHandover::~ReadingHandover()
{
    if (mFd >= 0)
        ::close(mFd);
}

std::optional<std::uint64_t> ReadingHandover::append(const std::string &frame) const
{
    std::lock_guard lock(mWriting);
    const std::uint64_t at = mEnd;
    for (std::size_t done = 0; !mFailed && done < frame.size();) {
        const ssize_t wrote = ::write(mFd, frame.data() + done, frame.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        // The disk is full: the reader stops at the frame cut short, and
        // the pages after it are parsed.
        mFailed = wrote <= 0;
        done += wrote > 0 ? static_cast<std::size_t>(wrote) : 0;
    }
    if (mFailed)
        return std::nullopt;
    mEnd += frame.size();
    return at;
}

void HandedReadingAt::set(std::optional<std::uint64_t> at)
{
    {
        std::lock_guard hold(mLock);
        mAt = at;
        mDone = true;
    }
    mSet.notify_all();
}

std::optional<std::uint64_t> HandedReadingAt::wait() const
{
    std::unique_lock hold(mLock);
    mSet.wait(hold, [this] { return mDone; });
    return mAt;
}

std::optional<std::uint64_t> ReadingHandover::handEarly(std::string_view record) const
{
    if (mFd < 0)
        return std::nullopt;
    return append(html::frameOf(record));
}

void ReadingHandover::hand(const std::string &file, std::optional<std::uint64_t> readingAt, std::string_view bytes,
                           const html::ConvertedHrefs &hrefs) const
{
    struct stat info;
    if (mFd < 0 || !readingAt || hrefs.markupMayChange || ::stat(file.c_str(), &info) != 0
        || static_cast<std::size_t>(info.st_size) != bytes.size())
        return;
    html::HandedConversion conversion;
    conversion.stamp = html::fileStampOf(info);
    conversion.readingAt = *readingAt;
    conversion.hrefs = hrefs;
    append(html::frameOf(html::recordOfHandedConversion(file, conversion)));
}

} // namespace quorlix::mirror
