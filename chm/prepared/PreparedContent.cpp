#include "chm/prepared/PreparedContent.h"

#include "chm/container/DirectoryName.h"
#include "chm/prepared/PreparedRecords.h"
#include "html/FileBytes.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorlix::chm {

namespace {

// Reads the records front to back, each field within the file's bounds, a
// large piece at a time: a skip over an interval's or a page's bytes costs
// no call (a large site's records took 55,000 seeks and reads one by one).
class RecordReader {
public:
    RecordReader(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

    bool bytes(void *into, std::uint64_t length)
    {
        if (length > size_ - at_)
            return false;
        auto *out = static_cast<char *>(into);
        while (length) {
            if (at_ < pieceAt_ || at_ - pieceAt_ >= piece_.size()) {
                pieceAt_ = at_;
                const std::uint64_t want = std::min<std::uint64_t>(kPiece, size_ - at_);
                if (!html::readWholeAt(fd_, at_, static_cast<std::size_t>(want), piece_))
                    return false;
            }
            const std::uint64_t offset = at_ - pieceAt_;
            const std::uint64_t taken = std::min<std::uint64_t>(length, piece_.size() - offset);
            std::memcpy(out, piece_.data() + offset, static_cast<std::size_t>(taken));
            out += taken;
            at_ += taken;
            length -= taken;
        }
        return true;
    }
    bool skip(std::uint64_t length)
    {
        if (length > size_ - at_)
            return false;
        at_ += length;
        return true;
    }
    template <typename T> bool number(T &value)
    {
        std::uint8_t raw[sizeof(T)];
        if (!bytes(raw, sizeof raw))
            return false;
        value = 0;
        for (std::size_t i = sizeof raw; i-- > 0;)
            value = static_cast<T>((value << 8) | raw[i]);
        return true;
    }
    bool text(std::string &into, std::uint64_t length)
    {
        if (length > size_ - at_)
            return false;
        into.resize(length);
        return bytes(into.data(), length);
    }
    bool shortText(std::string &into)
    {
        std::uint32_t length = 0;
        return number(length) && text(into, length);
    }
    std::uint64_t position() const { return at_; }
    bool atEnd() const { return at_ == size_; }

private:
    static constexpr std::uint64_t kPiece = 1u << 20;
    int fd_;
    std::uint64_t size_;
    std::uint64_t at_ = 0;
    std::uint64_t pieceAt_ = 0;
    std::string piece_;
};

// The word list: its words back to back in bytes, and each one's view.
bool readWordList(RecordReader &reader, std::string &bytes, std::vector<std::string_view> &words)
{
    std::uint64_t count = 0;
    if (!reader.number(count) || count > UINT32_MAX)
        return false;
    std::vector<std::uint32_t> ends;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint8_t length = 0;
        std::string word;
        if (!reader.number(length) || !reader.text(word, length))
            return false;
        bytes += word;
        ends.push_back(static_cast<std::uint32_t>(bytes.size()));
    }
    words.reserve(ends.size());
    std::uint32_t start = 0;
    for (const std::uint32_t end : ends) {
        words.emplace_back(bytes.data() + start, end - start);
        start = end;
    }
    return true;
}

} // namespace

std::unique_ptr<PreparedContent> PreparedContent::open(const std::filesystem::path &path)
{
    if (path.empty())
        return nullptr;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status {};
    if (fd < 0)
        return nullptr;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<PreparedContent> content(new PreparedContent);
    content->fd_ = fd;
    content->size_ = static_cast<std::uint64_t>(status.st_size);
    if (!content->load())
        return nullptr;
    return content;
}

PreparedContent::~PreparedContent()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool PreparedContent::load()
{
    RecordReader reader(fd_, size_);
    std::string magic;
    if (!reader.text(magic, prepared::kMagic.size()) || magic != prepared::kMagic)
        return false;
    std::uint64_t streamEnd = 0, fileCount = 0;
    bool wordsRead = false;
    for (;;) {
        char tag = 0;
        if (!reader.bytes(&tag, 1))
            return false;
        if (tag == prepared::kEndRecord) {
            std::uint64_t files = 0, intervals = 0;
            return wordsRead && reader.number(files) && reader.number(intervals) && reader.number(streamBytes_)
                   && reader.atEnd() && files == fileCount && intervals == intervals_.size()
                   && streamBytes_ == streamEnd && streamEnd <= intervals * kLzxResetInterval;
        }
        if (tag == prepared::kIntervalRecord) {
            Interval interval;
            if (!reader.number(interval.secondFrame) || !reader.number(interval.length)
                || interval.secondFrame > interval.length)
                return false;
            interval.at = reader.position();
            if (!reader.skip(interval.length))
                return false;
            intervals_.push_back(interval);
            continue;
        }
        if (tag == prepared::kWordsRecord) {
            if (wordsRead || !readWordList(reader, wordBytes_, words_))
                return false;
            wordsRead = true;
            continue;
        }
        if (tag != prepared::kFileRecord || wordsRead)
            return false;
        std::string name;
        File file;
        std::uint8_t flags = 0;
        if (!reader.shortText(name) || !reader.number(file.offset) || !reader.number(file.size)
            || !reader.bytes(file.digest.data(), file.digest.size()) || !reader.number(flags))
            return false;
        // Files follow each other in the stream, as they were written.
        if (file.offset != streamEnd || file.size > UINT64_MAX - streamEnd)
            return false;
        streamEnd += file.size;
        file.pageRead = (flags & prepared::kPageRead) != 0;
        file.windows1252 = (flags & prepared::kWindows1252) != 0;
        if (flags & prepared::kStamped) {
            html::FileStamp stamp;
            std::uint64_t size = 0, modified = 0;
            if (!reader.number(stamp.inode) || !reader.number(stamp.device) || !reader.number(size)
                || !reader.number(modified))
                return false;
            stamp.size = static_cast<std::int64_t>(size);
            stamp.modifiedNs = static_cast<std::int64_t>(modified);
            file.stamp = stamp;
        }
        if (file.pageRead) {
            if (!reader.shortText(file.title) || !reader.shortText(file.firstHeading)
                || !reader.number(file.wordsLength))
                return false;
            file.wordsAt = reader.position();
            if (!reader.skip(file.wordsLength))
                return false;
        }
        ++fileCount;
        files_[foldedName(name)] = std::move(file);
    }
}

const PreparedContent::File *PreparedContent::find(const std::string &name) const
{
    const auto found = files_.find(foldedName(name));
    return found == files_.end() ? nullptr : &found->second;
}

// With pread, which leaves the stream's position alone: the search index's
// thread reads texts while the compile reads intervals.
std::string PreparedContent::readAt(std::uint64_t at, std::uint64_t length) const
{
    std::string bytes;
    if (!html::readWholeAt(fd_, at, static_cast<std::size_t>(length), bytes))
        throw std::runtime_error("cannot read the prepared content");
    return bytes;
}

LzxInterval PreparedContent::interval(std::size_t index) const
{
    const Interval &at = intervals_.at(index);
    const std::string bytes = readAt(at.at, at.length);
    LzxInterval interval;
    interval.bytes.assign(bytes.begin(), bytes.end());
    interval.frameStarts = {0, at.secondFrame};
    return interval;
}

PageWords PreparedContent::words(const File &file) const
{
    // Pages' words lie in the file in the order the pages were prepared,
    // mostly the order they are asked for: they are read a piece at a time
    // (a large site's pages took a call each), and one that lies behind or
    // far ahead is read alone, so no byte is read twice for the pieces. The
    // order jumps ahead now and then: a piece that followed it would leave
    // the pages in between behind it (37,000 of 50,000 read alone).
    constexpr std::uint64_t kPiece = 256u << 10;
    std::lock_guard lock(wordsLock_);
    const std::uint64_t at = file.wordsAt, length = file.wordsLength;
    const std::uint64_t pieceEnd = wordsPieceAt_ + wordsPiece_.size();
    std::string alone;
    std::string_view bytes;
    if (at >= wordsPieceAt_ && at + length <= pieceEnd) {
        bytes = std::string_view(wordsPiece_).substr(at - wordsPieceAt_, length);
    } else if (wordsPiece_.empty() || (at >= pieceEnd && at - pieceEnd < kPiece)) {
        wordsPiece_ = readAt(at, std::min(size_ - at, std::max(kPiece, length)));
        wordsPieceAt_ = at;
        bytes = std::string_view(wordsPiece_).substr(0, length);
    } else {
        alone = readAt(at, length);
        bytes = alone;
    }
    std::optional<PageWords> words = PageWords::from(
        std::span(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()), words_.size());
    if (!words)
        throw std::runtime_error("the prepared content's words are damaged");
    return std::move(*words);
}

} // namespace quorlix::chm
