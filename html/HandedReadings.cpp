#include "html/HandedReadings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>

namespace quorlix::html {

namespace {

// A name longer than this is no saved file's.
constexpr std::size_t kLongestName = 64 * 1024;

} // namespace

HandedReadings::~HandedReadings()
{
    if (mFd >= 0)
        ::close(mFd);
}

bool HandedReadings::readAt(std::uint64_t offset, std::size_t size, std::string &out) const
{
    out.resize(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(mFd, out.data() + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

void HandedReadings::catchUp()
{
    if (mFd < 0)
        mFd = ::open(mPath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (mFd < 0 || mBroken || ::fstat(mFd, &info) != 0)
        return;
    const auto end = static_cast<std::uint64_t>(info.st_size);
    std::string head;
    while (end - mIndexed >= kFrameHead) {
        std::uint64_t size = 0;
        if (!readAt(mIndexed, kFrameHead, head))
            return;
        std::memcpy(&size, head.data(), kFrameHead);
        const std::uint64_t record = mIndexed + kFrameHead;
        if (size > end - record)
            return; // still being written
        const std::size_t start = static_cast<std::size_t>(std::min<std::uint64_t>(size, kHandedNameAt + kLongestName));
        std::optional<std::string_view> name;
        if (!readAt(record, start, head) || !(name = handedReadingName(head))) {
            mBroken = true;
            return;
        }
        mFrames.insert_or_assign(std::string(*name), std::pair(record, size));
        mIndexed = record + size;
    }
}

std::optional<Page> HandedReadings::take(std::string_view name, const FileStamp &stamp)
{
    std::uint64_t offset = 0, size = 0;
    {
        std::lock_guard lock(mMutex);
        catchUp();
        const auto frame = mFrames.find(std::string(name));
        if (frame == mFrames.end())
            return std::nullopt;
        std::tie(offset, size) = frame->second;
        mFrames.erase(frame);
    }
    std::string record;
    if (!readAt(offset, static_cast<std::size_t>(size), record))
        return std::nullopt;
    return handedReadingFromRecord(record, name, stamp);
}

} // namespace quorlix::html
