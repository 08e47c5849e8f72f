#include "mirror/ReadingHandover.h"

#include "html/PageRecord.h"
#include "mirror/LinkSearch.h"
#include "mirror/SiteFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace quorlix::mirror {

namespace {

bool writeWhole(const std::string &path, std::string_view bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f)
        ok = std::fclose(f) == 0 && ok;
    return ok;
}

std::optional<html::Page> finishedReading(const Document &document, std::string_view bytes, const ConvertedHrefs &hrefs)
{
    std::string record;
    if (hrefs.markupMayChange || document.readingRecord.empty()
        || !readFileStart(document.readingRecord, record, LinkSearch::kMaxParsedBytes * 8))
        return std::nullopt;
    std::optional<html::EarlyReading> early = html::earlyReadingFromRecord(record);
    if (!early)
        return std::nullopt;
    return html::convertedReading(std::move(*early), bytes, [&hrefs](std::uint64_t at, std::string_view before) {
        return hrefs.after(static_cast<std::size_t>(at), before);
    });
}

} // namespace

void ReadingHandover::hand(const Document &document, std::string_view bytes, const ConvertedHrefs &hrefs) const
{
    if (mFolder.empty())
        return;
    const std::string path = mFolder + "/" + html::handedReadingFileName(document.file);
    struct stat info;
    std::optional<html::Page> page;
    if (::stat(document.file.c_str(), &info) == 0 && static_cast<std::size_t>(info.st_size) == bytes.size())
        page = finishedReading(document, bytes, hrefs);
    if (!page) {
        ::unlink(path.c_str()); // an earlier version's: the window parses this one
        return;
    }
    const html::FileStamp stamp{static_cast<std::uint64_t>(info.st_ino), static_cast<std::uint64_t>(info.st_dev),
                                static_cast<std::int64_t>(info.st_size),
                                static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    // Whole or not at all, for a reader that may look at any moment.
    const std::string temporary = path + ".part";
    if (!writeWhole(temporary, html::recordOfHandedReading(document.file, stamp, *page))
        || ::rename(temporary.c_str(), path.c_str()) != 0)
        ::unlink(temporary.c_str());
}

} // namespace quorlix::mirror
