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
// The frames appended since the last look are read this much at a time: a
// page hands two, and reading each one's head, kind and name apart cost as
// many system calls as the page's own reading.
constexpr std::size_t kCatchUpPiece = 256 * 1024;

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

std::optional<std::string_view> HandedReadings::bytesAt(std::uint64_t offset, std::size_t size, std::uint64_t end)
{
    if (offset < mPieceAt || offset - mPieceAt > mPiece.size() || size > mPiece.size() - (offset - mPieceAt)) {
        // Past what the file holds, the read fails.
        const auto wanted = static_cast<std::size_t>(
            std::max<std::uint64_t>(size, std::min<std::uint64_t>(kCatchUpPiece, end > offset ? end - offset : 0)));
        mPieceAt = offset;
        if (!readAt(offset, wanted, mPiece)) {
            mPiece.clear();
            return std::nullopt;
        }
    }
    return std::string_view(mPiece).substr(static_cast<std::size_t>(offset - mPieceAt), size);
}

void HandedReadings::catchUp()
{
    if (mFd < 0)
        mFd = ::open(mPath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (mFd < 0 || mBroken || ::fstat(mFd, &info) != 0)
        return;
    const auto end = static_cast<std::uint64_t>(info.st_size);
    while (end - mIndexed >= kFrameHead) {
        std::uint64_t size = 0;
        const std::optional<std::string_view> head = bytesAt(mIndexed, kFrameHead, end);
        if (!head)
            return;
        std::memcpy(&size, head->data(), kFrameHead);
        const std::uint64_t record = mIndexed + kFrameHead;
        if (size > end - record)
            return; // still being written
        // Early readings are found through their conversions; where each
        // lies is kept, for its record to be read in one piece.
        const std::size_t start = static_cast<std::size_t>(std::min<std::uint64_t>(size, kHandedNameAt + kLongestName));
        const std::optional<std::string_view> kind = bytesAt(record, std::min(start, kRecordKindBytes), end);
        if (!kind || kindOfRecord(*kind) == RecordKind::Unknown) {
            mBroken = true;
            return;
        }
        if (kindOfRecord(*kind) == RecordKind::HandedConversion) {
            std::optional<std::string_view> name = bytesAt(record, start, end);
            if (!name || !(name = handedConversionName(*name))) {
                mBroken = true;
                return;
            }
            mFrames.insert_or_assign(std::string(*name), std::pair(record, size));
        } else {
            mEarlyReadings.emplace_back(mIndexed, size);
        }
        mIndexed = record + size;
    }
}

std::optional<Page> HandedReadings::take(std::string_view name, const FileStamp &stamp, std::string_view bytes)
{
    std::optional<HandedConversion> conversion;
    std::optional<std::uint64_t> earlySize;
    std::uint64_t end = 0;
    std::string record;
    {
        std::lock_guard lock(mMutex);
        catchUp();
        const auto frame = mFrames.find(std::string(name));
        if (frame == mFrames.end())
            return std::nullopt;
        const auto [offset, size] = frame->second;
        mFrames.erase(frame);
        end = mIndexed;
        // Mostly in the piece just looked over.
        const std::optional<std::string_view> found = bytesAt(offset, static_cast<std::size_t>(size), end);
        if (!found)
            return std::nullopt;
        record.assign(*found);
        conversion = handedConversionFromRecord(record, name);
        if (!conversion || conversion->stamp != stamp)
            return std::nullopt;
        const auto early = std::lower_bound(mEarlyReadings.begin(), mEarlyReadings.end(),
                                            std::pair(conversion->readingAt, std::uint64_t{0}));
        if (early != mEarlyReadings.end() && early->first == conversion->readingAt)
            earlySize = early->second;
    }
    // The early reading's record, read in one piece where it is known.
    if (earlySize ? !readAt(conversion->readingAt + kFrameHead, static_cast<std::size_t>(*earlySize), record)
                  : !readFrame(conversion->readingAt, end, record))
        return std::nullopt;
    std::optional<EarlyReading> early = earlyReadingFromRecord(record);
    if (!early)
        return std::nullopt;
    return convertedReading(std::move(*early), bytes, conversion->hrefs);
}

} // namespace quorlix::html
