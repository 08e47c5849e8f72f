#include "chm/FileReadAhead.h"
#include "html/FileBytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace quorlix::chm {

namespace fs = std::filesystem;

FileReadAhead::FileReadAhead(const ProjectFolder &folder, const std::vector<ListedFile> &files, html::PageParts parts,
                             unsigned threads)
    : folder_(folder), files_(files), parts_(parts)
{
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    window_ = 4 * std::size_t(threads);
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(1, files.size())));
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this] { work(); });
}

FileReadAhead::~FileReadAhead()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    room_.notify_all();
    for (std::thread &thread : threads_)
        thread.join();
}

void FileReadAhead::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        // The next file the taker waits for is always read; others only
        // within the window and the byte budget.
        room_.wait(lock, [this] {
            return stopping_ || nextClaim_ >= files_.size() ||
                   nextClaim_ == nextTake_ ||
                   (nextClaim_ < nextTake_ + window_ && heldBytes_ < kReadAheadBytes);
        });
        if (stopping_ || nextClaim_ >= files_.size())
            return;
        const std::size_t index = nextClaim_++;
        lock.unlock();
        FileRead read = readOne(files_[index]);
        lock.lock();
        heldBytes_ += read.bytes.size();
        done_.emplace(index, std::move(read));
        ready_.notify_all();
    }
}

FileRead FileReadAhead::take(std::size_t index)
{
    std::unique_lock lock(mutex_);
    nextTake_ = index;
    room_.notify_all();
    ready_.wait(lock, [&] { return done_.count(index) != 0; });
    auto node = done_.extract(index);
    heldBytes_ -= node.mapped().bytes.size();
    nextTake_ = index + 1;
    room_.notify_all();
    return std::move(node.mapped());
}

FileRead FileReadAhead::readOne(const ListedFile &file) const
{
    FileRead read;
    const UniqueFd in = folder_.openForReading(file.source);
    struct stat status {};
    if (!in) {
        if (errno == EXDEV)
            read.outcome = FileRead::Outcome::Outside;
        else if (errno != ENOENT && errno != ENOTDIR) {
            read.outcome = FileRead::Outcome::Unreadable;
            read.error = std::strerror(errno);
        }
        return read; // Missing otherwise
    }
    if (::fstat(in.get(), &status) != 0) {
        read.outcome = FileRead::Outcome::Unreadable;
        read.error = std::strerror(errno);
        return read;
    }
    if (!S_ISREG(status.st_mode)) {
        read.outcome = FileRead::Outcome::NotAFile;
        return read;
    }
    read.size = static_cast<std::uint64_t>(status.st_size);
    if (read.size > kLargestFile) {
        read.outcome = FileRead::Outcome::TooLarge;
        return read;
    }
    read.page = html::isPageName(file.name);
    if (read.size > (read.page ? kLargestPageRead : kLargestOtherRead)) {
        read.outcome = FileRead::Outcome::Stream;
        return read;
    }
    read.bytes.reserve(read.size);
    if (!html::readAllFrom(in.get(), read.bytes)) {
        read.outcome = FileRead::Outcome::Unreadable;
        read.error = std::strerror(errno);
        read.bytes.clear();
        return read;
    }
    read.outcome = FileRead::Outcome::Read;
    if (read.page)
        read.parsed = html::readPage(read.bytes, parts_);
    return read;
}

} // namespace quorlix::chm
