#include "html/HandedReadings.h"

#include "html/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
    return readWholeAt(mFd, offset, size, out);
}

bool HandedReadings::readFrame(std::uint64_t offset, std::uint64_t end, std::string &record) const
{
    std::uint64_t size = 0;
    if (offset > end || end - offset < kFrameHead || !readAt(offset, kFrameHead, record))
        return false;
    std::memcpy(&size, record.data(), kFrameHead);
    return size <= end - offset - kFrameHead && readAt(offset + kFrameHead, static_cast<std::size_t>(size), record);
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
        // Early readings are found through their conversions.
        const std::size_t start = static_cast<std::size_t>(std::min<std::uint64_t>(size, kHandedNameAt + kLongestName));
        if (!readAt(record, std::min<std::size_t>(start, kRecordKindBytes), head)
            || kindOfRecord(head) == RecordKind::Unknown) {
            mBroken = true;
            return;
        }
        if (kindOfRecord(head) == RecordKind::HandedConversion) {
            std::optional<std::string_view> name;
            if (!readAt(record, start, head) || !(name = handedConversionName(head))) {
                mBroken = true;
                return;
            }
            mFrames.insert_or_assign(std::string(*name), std::pair(record, size));
        }
        mIndexed = record + size;
    }
}

std::optional<Page> HandedReadings::take(std::string_view name, const FileStamp &stamp, std::string_view bytes)
{
    std::uint64_t offset = 0, size = 0, end = 0;
    {
        std::lock_guard lock(mMutex);
        catchUp();
        const auto frame = mFrames.find(std::string(name));
        if (frame == mFrames.end())
            return std::nullopt;
        std::tie(offset, size) = frame->second;
        mFrames.erase(frame);
        end = mIndexed;
    }
    std::string record;
    if (!readAt(offset, static_cast<std::size_t>(size), record))
        return std::nullopt;
    std::optional<HandedConversion> conversion = handedConversionFromRecord(record, name);
    if (!conversion || conversion->stamp != stamp || !readFrame(conversion->readingAt, end, record))
        return std::nullopt;
    std::optional<EarlyReading> early = earlyReadingFromRecord(record);
    if (!early)
        return std::nullopt;
    return convertedReading(std::move(*early), bytes, conversion->hrefs);
}

} // namespace quorlix::html
