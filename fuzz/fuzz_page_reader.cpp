// Downloaded pages are untrusted: any bytes read as a page give a sound
// outline, and the contents and index files written from it stay ASCII.
//  - every text is valid UTF-8 with its white space collapsed (no control
//    characters, no blank at either end, no two blanks in a row);
//  - headings are h1-h3 with text; the first heading is the first h1's;
//  - the charset is lower case;
//  - a reader that may be stopped, and is not, reads the same;
//  - the contents and index files are printable ASCII and name the page.

#include "fuzz/FuzzCheck.h"
#include "html/Charset.h"
#include "html/PageReader.h"
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
        FUZZ_CHECK(heading.level >= 1 && heading.level <= 3);
        FUZZ_CHECK(!heading.text.empty() && collapsed(heading.text));
        if (heading.level == 1 && !firstH1)
            firstH1 = &heading;
    }
    FUZZ_CHECK(page.firstHeading == (firstH1 ? firstH1->text : std::string()));

    std::atomic<bool> stop{false};
    const std::optional<html::Page> again = html::readPage(bytes, html::PageParts::Outline, stop);
    FUZZ_CHECK(again && again->title == page.title && again->headings.size() == page.headings.size()
               && again->text.empty());

    const QStringList files{QStringLiteral("site/dir/page.html")};
    const pipeline::SavedPages pages{{files.first(), page}};
    const pipeline::ContentsFile contents = pipeline::MakeContentsFile(files, pages);
    const pipeline::IndexFile index = pipeline::MakeIndexFile(files, pages);
    FUZZ_CHECK(contents.topics == 1 && printableAscii(contents.bytes));
    FUZZ_CHECK(contents.bytes.contains("value=\"site/dir/page.html\""));
    FUZZ_CHECK(printableAscii(index.bytes));
    FUZZ_CHECK(index.keywords <= static_cast<qsizetype>(page.headings.size()) + 1);
    return 0;
}
