// Downloaded pages are untrusted: any bytes read as a page give a sound
// outline, and the contents and index files written from it stay ASCII.
//  - every text is valid UTF-8 with its white space collapsed (no control
//    characters, no blank at either end, no two blanks in a row);
//  - headings are h1-h3 with text; the first heading is the first h1's;
//  - the charset is lower case;
//  - a reader that may be stopped, and is not, reads the same;
//  - links and terms have collapsed text, terms an anchor;
//  - the downloader's reading of the same bytes, from the parse it runs for
//    their links and through the records it hands it on in, is the page
//    reader's, when the bytes are read as they are;
//  - the contents and index files are printable ASCII and name every page,
//    with the page read as several pages of one site (its links may make it
//    the site's table of contents or its index page).

#include "fuzz/FuzzCheck.h"
#include "html/Charset.h"
#include "html/PageParse.h"
#include "html/PageReader.h"
#include "html/PageRecord.h"
#include "pipeline/ContentsFile.h"
#include "pipeline/IndexFile.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace quorlix;

namespace {

bool collapsed(std::string_view text)
{
    if (!html::isValidUtf8(text) || text.starts_with(' ') || text.ends_with(' ')
        || text.find("  ") != std::string_view::npos)
        return false;
    for (char c : text)
        if ((static_cast<unsigned char>(c) < 0x20) || c == 0x7F)
            return false;
    return true;
}

bool printableAscii(const QByteArray &bytes)
{
    for (char c : bytes)
        if (!((c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n' || c == '\t'))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const html::Page page = html::readPage(bytes, html::PageParts::OutlineAndText);

    FUZZ_CHECK(collapsed(page.title));
    FUZZ_CHECK(collapsed(page.firstHeading));
    FUZZ_CHECK(collapsed(page.text));
    for (char c : page.charset)
        FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
    const html::Heading *firstH1 = nullptr;
    for (const html::Heading &heading : page.headings) {
        FUZZ_CHECK(heading.level >= 1 && heading.level <= 4);
        FUZZ_CHECK(!heading.text().empty() && collapsed(heading.text()));
        if (heading.level == 1 && !firstH1)
            firstH1 = &heading;
    }
    FUZZ_CHECK(page.firstHeading == (firstH1 ? firstH1->text() : std::string_view()));

    for (const html::Link &link : page.links) {
        FUZZ_CHECK(collapsed(link.text()) && collapsed(link.lead()) && collapsed(link.outer()));
        FUZZ_CHECK(link.depth >= 0 && link.list >= 0);
    }
    for (const html::Term &term : page.terms)
        FUZZ_CHECK(!term.text.empty() && collapsed(term.text) && !term.anchor.empty());
    FUZZ_CHECK(page.size == size);

    std::atomic<bool> stop{false};
    const std::optional<html::Page> again = html::readPage(bytes, html::PageParts::Outline, stop);
    FUZZ_CHECK(again && again->title == page.title && again->headings.size() == page.headings.size()
               && again->text.empty());

    if (html::readsAsUtf8AsIs(bytes)) {
        html::EarlyPageReading early(bytes, nullptr);
        html::parsePage(bytes, nullptr, [&early](const GumboInternalNode *root, bool whole) {
            early.take(root, whole);
            return true; // as the downloader's link finder, which reads every piece
        });
        std::optional<html::EarlyReading> reading = early.finish();
        FUZZ_CHECK(reading);
        std::optional<html::EarlyReading> kept = html::earlyReadingFromRecord(html::recordOfEarlyReading(*reading));
        FUZZ_CHECK(kept);
        const std::optional<html::Page> handed = html::convertedReading(std::move(*kept), bytes, {});
        FUZZ_CHECK(handed);
        const std::string record = html::recordOfPage(*handed);
        FUZZ_CHECK(record == html::recordOfPage(page));
        const std::optional<html::Page> back = html::pageFromRecord(record);
        FUZZ_CHECK(back && html::recordOfPage(*back) == record);
    }

    const QStringList files{QStringLiteral("site/dir/page.html"), QStringLiteral("site/dir/a.html"),
                            QStringLiteral("site/index.html"), QStringLiteral("site/dir/page-b.html")};
    pipeline::SavedPages pages;
    for (const QString &file : files)
        pages.insert(file, page);
    const pipeline::ContentsFile contents = pipeline::MakeContentsFile(files, pages);
    const pipeline::IndexFile index = pipeline::MakeIndexFile(files, pages);
    FUZZ_CHECK(contents.topics == files.size() && printableAscii(contents.bytes));
    for (const QString &file : files)
        FUZZ_CHECK(contents.bytes.contains("value=\"" + file.toLatin1() + '"'));
    FUZZ_CHECK(printableAscii(index.bytes));
    const auto perPage = static_cast<qsizetype>(page.headings.size() + page.terms.size() + page.links.size()) + 1;
    FUZZ_CHECK(index.keywords <= 2 * perPage * files.size());
    return 0;
}
