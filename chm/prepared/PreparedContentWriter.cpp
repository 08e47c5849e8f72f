#include "chm/prepared/PreparedContentWriter.h"

#include "chm/container/ByteLayout.h"
#include "chm/prepared/ContentDigest.h"
#include "chm/prepared/PreparedRecords.h"
#include "chm/search/WordSplitter.h"
#include "chm/sheets/StyleSheetFlattener.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace quorlix::chm {

namespace {

constexpr std::size_t kMostListedWords = 1'000'000; // 30 to 60 MB

} // namespace

PreparedContentWriter::PreparedContentWriter(const std::filesystem::path &file, unsigned threads) : path_(file)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    out_ = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && !out_)
        ::close(fd);
    if (!out_)
        throw std::runtime_error("cannot create " + file.string() + ": " + std::strerror(errno));
    put(prepared::kMagic.data(), prepared::kMagic.size());
    compressor_ = std::make_unique<LzxSectionCompressor>(
        [](std::span<const std::uint8_t>) {}, threads, true);
    compressor_->onInterval([this](const LzxInterval &interval) {
        std::vector<std::uint8_t> head;
        head.push_back(static_cast<std::uint8_t>(prepared::kIntervalRecord));
        appendLe32(head, interval.frameStarts.size() > 1 ? interval.frameStarts[1] : 0);
        appendLe32(head, static_cast<std::uint32_t>(interval.bytes.size()));
        put(head.data(), head.size());
        put(interval.bytes.data(), interval.bytes.size());
        ++intervals_;
    });
}

PreparedContentWriter::~PreparedContentWriter()
{
    compressor_.reset();
    if (out_) {
        std::fclose(out_);
        if (!finished_ || failed_)
            ::unlink(path_.c_str());
    }
}

bool PreparedContentWriter::storedAsSaved(std::string_view name)
{
    return !isStyleSheetName(name);
}

void PreparedContentWriter::put(const void *bytes, std::size_t length)
{
    if (!failed_ && length != 0 && std::fwrite(bytes, 1, length, out_) != length)
        failed_ = true;
}

void PreparedContentWriter::putText(std::string_view text, bool wide)
{
    std::vector<std::uint8_t> size;
    if (wide)
        appendLe64(size, text.size());
    else
        appendLe32(size, static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), UINT32_MAX)));
    put(size.data(), size.size());
    put(text.data(), wide ? text.size() : std::min<std::size_t>(text.size(), UINT32_MAX));
}

void PreparedContentWriter::add(const std::string &name, std::string_view bytes, const html::Page *page,
                                const std::optional<html::FileStamp> &stamp)
{
    if (finished_ || failed_ || !storedAsSaved(name))
        return;
    ContentDigest digest;
    try {
        digest = digestOf(bytes);
    } catch (const std::exception &) {
        failed_ = true;
        return;
    }
    const bool read = page != nullptr;
    std::vector<std::uint8_t> head;
    head.push_back(static_cast<std::uint8_t>(prepared::kFileRecord));
    put(head.data(), head.size());
    putText(name, false);
    head.clear();
    appendLe64(head, offset_);
    appendLe64(head, bytes.size());
    head.insert(head.end(), digest.begin(), digest.end());
    head.push_back(static_cast<std::uint8_t>((read ? prepared::kPageRead : 0)
                                             | (read && page->windows1252 ? prepared::kWindows1252 : 0)
                                             | (stamp ? prepared::kStamped : 0)));
    if (stamp) {
        appendLe64(head, stamp->inode);
        appendLe64(head, stamp->device);
        appendLe64(head, static_cast<std::uint64_t>(stamp->size));
        appendLe64(head, static_cast<std::uint64_t>(stamp->modifiedNs));
    }
    put(head.data(), head.size());
    if (read) {
        putText(page->title, false);
        putText(page->firstHeading, false);
        try {
            pageWords_.split(html::topicTitle(page->title, page->firstHeading), page->text, words_);
            encoded_.clear();
            pageWords_.appendTo(encoded_);
        } catch (const std::exception &) {
            failed_ = true; // out of memory, or too many words: the compile starts from scratch
            return;
        }
        // The word list stays in the window until the download ends. Real
        // sites have tens of thousands of words (Python's documentation
        // 34,000); one of millions is data, and is left to the compile.
        if (words_.size() > kMostListedWords) {
            failed_ = true;
            return;
        }
        putText(std::string_view(reinterpret_cast<const char *>(encoded_.data()), encoded_.size()), true);
    }
    ++files_;
    offset_ += bytes.size();
    try {
        compressor_->write(std::span(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()));
    } catch (const std::exception &) {
        failed_ = true; // out of memory: the compile starts from scratch
    }
}

void PreparedContentWriter::putWordList()
{
    std::vector<std::uint8_t> list;
    list.push_back(static_cast<std::uint8_t>(prepared::kWordsRecord));
    appendLe64(list, words_.size());
    for (std::uint32_t id = 0; id < words_.size(); ++id) {
        const std::string_view word = words_.word(id);
        static_assert(WordSplitter::kMaxWordBytes < 256);
        list.push_back(static_cast<std::uint8_t>(word.size()));
        appendBytes(list, word);
    }
    put(list.data(), list.size());
    words_ = WordTable(); // its room is the window's, which needs it next
}

bool PreparedContentWriter::finish()
{
    if (finished_)
        return !failed_;
    try {
        // The last interval too, padded with zeros: a large page at the
        // stream's end would otherwise be left to the compile.
        if (const std::size_t used = offset_ % kLzxResetInterval) {
            const std::vector<std::uint8_t> zeros(kLzxResetInterval - used, 0);
            compressor_->write(zeros);
        }
        compressor_->flush();
    } catch (const std::exception &) {
        failed_ = true;
    }
    putWordList();
    std::vector<std::uint8_t> end;
    end.push_back(static_cast<std::uint8_t>(prepared::kEndRecord));
    appendLe64(end, files_);
    appendLe64(end, intervals_);
    appendLe64(end, offset_);
    put(end.data(), end.size());
    if (std::fflush(out_) != 0)
        failed_ = true;
    finished_ = true;
    return !failed_;
}

} // namespace quorlix::chm
