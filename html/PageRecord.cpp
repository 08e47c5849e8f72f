#include "html/PageRecord.h"

#include "html/RecordBytes.h"

#include <sys/stat.h>

#include <cstring>

namespace quorlix::html {

namespace {

constexpr std::string_view kEarlyMagic = "QER1";
constexpr std::string_view kConversionMagic = "QHC1";

void writePage(Writer &w, const Page &page)
{
    w.text(page.charset);
    w.text(page.title);
    w.text(page.firstHeading);
    w.text(page.text);
    w.number(page.size);
    w.number(page.ownAnchorLinks);
    w.number((page.windows1252 ? 1u : 0u) | (page.linksCut ? 2u : 0u) | (page.headingsCut ? 4u : 0u)
             | (page.outlineLeftOut ? 8u : 0u));
    w.number(page.headings.size());
    for (const Heading &heading : page.headings) {
        w.number(static_cast<std::uint64_t>(heading.level) | (heading.navigation ? 1u << 8 : 0u));
        w.text(heading.text());
        w.text(heading.anchor());
    }
    w.number(page.links.size());
    for (const Link &link : page.links) {
        w.text(link.href());
        w.text(link.text());
        w.text(link.lead());
        w.text(link.outer());
        w.number((link.outerLinked ? 1u : 0u) | (link.leadLinked ? 2u : 0u) | (link.first ? 4u : 0u)
                 | (link.navigation ? 8u : 0u));
        w.number(static_cast<std::uint32_t>(link.list));
        w.number(static_cast<std::uint32_t>(link.depth));
    }
    w.number(page.terms.size());
    for (const Term &term : page.terms) {
        w.text(term.text);
        w.text(term.anchor);
        w.number(term.minorHeading ? 1 : 0);
    }
}

bool readPage(Reader &r, Page &page)
{
    page.charset = r.text();
    page.title = r.text();
    page.firstHeading = r.text();
    page.text = r.text();
    page.size = r.number();
    page.ownAnchorLinks = r.number();
    const std::uint64_t flags = r.number();
    page.windows1252 = flags & 1;
    page.linksCut = flags & 2;
    page.headingsCut = flags & 4;
    page.outlineLeftOut = flags & 8;
    // Each heading, link or term takes at least this many bytes of the record.
    constexpr std::size_t kLeast = 3 * 8;
    for (std::uint64_t i = 0, n = r.count(kLeast); i < n && r.ok(); ++i) {
        const std::uint64_t level = r.number();
        const std::string_view text = r.text(), anchor = r.text();
        Heading &heading = page.headings.emplace_back(static_cast<int>(level & 0xff), text, anchor);
        heading.navigation = level & (1u << 8);
    }
    for (std::uint64_t i = 0, n = r.count(kLeast); i < n && r.ok(); ++i) {
        const std::string_view href = r.text(), text = r.text(), lead = r.text(), outer = r.text();
        Link &link = page.links.emplace_back(href, text, lead, outer);
        const std::uint64_t linkFlags = r.number();
        link.outerLinked = linkFlags & 1;
        link.leadLinked = linkFlags & 2;
        link.first = linkFlags & 4;
        link.navigation = linkFlags & 8;
        link.list = static_cast<int>(static_cast<std::uint32_t>(r.number()));
        link.depth = static_cast<int>(static_cast<std::uint32_t>(r.number()));
    }
    for (std::uint64_t i = 0, n = r.count(kLeast); i < n && r.ok(); ++i) {
        Term &term = page.terms.emplace_back();
        term.text = r.text();
        term.anchor = r.text();
        term.minorHeading = r.number() & 1;
    }
    return r.ok();
}

} // namespace

FileStamp fileStampOf(const struct stat &info)
{
    return {static_cast<std::uint64_t>(info.st_ino), static_cast<std::uint64_t>(info.st_dev),
            static_cast<std::int64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

std::string recordOfEarlyReading(const EarlyReading &early)
{
    Writer w;
    w.out.append(kEarlyMagic);
    writePage(w, early.page);
    w.number(early.linkFacts.size());
    for (const LinkFacts &facts : early.linkFacts) {
        w.number(facts.hrefAt);
        w.number((facts.tableCell ? 1u : 0u) | (facts.linkLedCell ? 2u : 0u));
    }
    w.number(early.selfLinks.size());
    for (const SelfLinkFacts &self : early.selfLinks) {
        w.number(self.hrefAt);
        w.text(self.href);
    }
    return std::move(w.out);
}

std::optional<EarlyReading> earlyReadingFromRecord(std::string_view record)
{
    Reader r(record);
    EarlyReading early;
    if (!r.magic(kEarlyMagic) || !readPage(r, early.page))
        return std::nullopt;
    for (std::uint64_t i = 0, n = r.count(16); i < n && r.ok(); ++i) {
        LinkFacts &facts = early.linkFacts.emplace_back();
        facts.hrefAt = r.number();
        const std::uint64_t flags = r.number();
        facts.tableCell = flags & 1;
        facts.linkLedCell = flags & 2;
    }
    for (std::uint64_t i = 0, n = r.count(16); i < n && r.ok(); ++i) {
        SelfLinkFacts &self = early.selfLinks.emplace_back();
        self.hrefAt = r.number();
        self.href = r.text();
    }
    if (!r.atEnd() || early.linkFacts.size() != early.page.links.size())
        return std::nullopt;
    return early;
}

std::string recordOfPage(const Page &page)
{
    Writer w;
    writePage(w, page);
    return std::move(w.out);
}

std::optional<Page> pageFromRecord(std::string_view record)
{
    Reader r(record);
    Page page;
    if (!readPage(r, page) || !r.atEnd())
        return std::nullopt;
    return page;
}

std::string recordOfHandedConversion(std::string_view name, const HandedConversion &conversion)
{
    Writer w;
    w.out.append(kConversionMagic);
    w.text(name);
    w.number(conversion.stamp.inode);
    w.number(conversion.stamp.device);
    w.number(static_cast<std::uint64_t>(conversion.stamp.size));
    w.number(static_cast<std::uint64_t>(conversion.stamp.modifiedNs));
    w.number(conversion.readingAt);
    w.number(conversion.hrefs.markupMayChange ? 1 : 0);
    w.number(conversion.hrefs.byOffset.size());
    for (const auto &[offset, href] : conversion.hrefs.byOffset) {
        w.number(offset);
        w.number(href ? 1 : 0);
        w.text(href ? *href : std::string_view());
    }
    return std::move(w.out);
}

std::optional<HandedConversion> handedConversionFromRecord(std::string_view record, std::string_view name)
{
    Reader r(record);
    if (!r.magic(kConversionMagic) || r.text() != name)
        return std::nullopt;
    HandedConversion conversion;
    conversion.stamp.inode = r.number();
    conversion.stamp.device = r.number();
    conversion.stamp.size = static_cast<std::int64_t>(r.number());
    conversion.stamp.modifiedNs = static_cast<std::int64_t>(r.number());
    conversion.readingAt = r.number();
    conversion.hrefs.markupMayChange = r.number() != 0;
    std::uint64_t previous = 0;
    for (std::uint64_t i = 0, n = r.count(3 * 8); i < n && r.ok(); ++i) {
        const std::uint64_t offset = r.number();
        const bool known = r.number() != 0;
        const std::string_view href = r.text();
        if (i > 0 && offset <= previous)
            return std::nullopt; // out of order: ConvertedHrefs::after could not find them
        previous = offset;
        conversion.hrefs.byOffset.emplace_back(offset, known ? std::optional(std::string(href)) : std::nullopt);
    }
    if (!r.atEnd())
        return std::nullopt;
    return conversion;
}

RecordKind kindOfRecord(std::string_view recordStart)
{
    const std::string_view magic = recordStart.substr(0, kRecordKindBytes);
    return magic == kEarlyMagic        ? RecordKind::EarlyReading
           : magic == kConversionMagic ? RecordKind::HandedConversion
                                       : RecordKind::Unknown;
}

std::optional<std::string_view> handedConversionName(std::string_view recordStart)
{
    Reader r(recordStart);
    if (!r.magic(kConversionMagic))
        return std::nullopt;
    const std::string_view name = r.text();
    return r.ok() ? std::optional(name) : std::nullopt;
}

std::string frameOf(std::string_view record)
{
    Writer w;
    w.number(record.size());
    w.out += record;
    return std::move(w.out);
}

} // namespace quorlix::html
