#include "chm/prepared/PreparedContent.h"

#include "chm/container/DirectoryName.h"
#include "chm/prepared/PreparedRecords.h"
#include "html/FileBytes.h"

#include <cstring>
#include <stdexcept>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorlix::chm {

namespace {

// Reads the records front to back, each field within the file's bounds.
class RecordReader {
public:
    RecordReader(std::FILE *in, std::uint64_t size) : in_(in), left_(size) {}

    bool bytes(void *into, std::uint64_t length)
    {
        if (length > left_ || (length && std::fread(into, 1, length, in_) != length))
            return false;
        left_ -= length;
        return true;
    }
    bool skip(std::uint64_t length)
    {
        if (length > left_ || ::fseeko(in_, static_cast<off_t>(length), SEEK_CUR) != 0)
            return false;
        left_ -= length;
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
        if (length > left_)
            return false;
        into.resize(length);
        return bytes(into.data(), length);
    }
    bool shortText(std::string &into)
    {
        std::uint32_t length = 0;
        return number(length) && text(into, length);
    }
    std::uint64_t position() const { return consumedFrom_ - left_; }
    void setTotal(std::uint64_t total) { consumedFrom_ = total; }
    bool atEnd() const { return left_ == 0; }

private:
    std::FILE *in_;
    std::uint64_t left_;
    std::uint64_t consumedFrom_ = 0;
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
    content->in_ = ::fdopen(fd, "rb");
    if (!content->in_) {
        ::close(fd);
        return nullptr;
    }
    content->size_ = static_cast<std::uint64_t>(status.st_size);
    if (!content->load())
        return nullptr;
    return content;
}

PreparedContent::~PreparedContent()
{
    if (in_)
        std::fclose(in_);
}

bool PreparedContent::load()
{
    RecordReader reader(in_, size_);
    reader.setTotal(size_);
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
    if (!html::readWholeAt(::fileno(in_), at, static_cast<std::size_t>(length), bytes))
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
    const std::string bytes = readAt(file.wordsAt, file.wordsLength);
    std::optional<PageWords> words = PageWords::from(
        std::span(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()), words_.size());
    if (!words)
        throw std::runtime_error("the prepared content's words are damaged");
    return std::move(*words);
}

} // namespace quorlix::chm
