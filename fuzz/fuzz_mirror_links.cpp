// Downloaded pages and style sheets are untrusted: any bytes, read as either,
// give links that lie inside them, and converting them keeps every byte
// outside the links as it was.
//  - every link's place is inside the input and links do not overlap, those
//    the tag scanner finds in a page too;
//  - resolving any link gives an address that parses back to itself;
//  - the converted text, with no file saved, is the input with only the
//    links' places changed (an input without links comes back unchanged).

#include "fuzz/FuzzCheck.h"
#include "mirror/HtmlLinkScanner.h"
#include "mirror/LinkConversion.h"
#include "mirror/LocalName.h"
#include "mirror/PageLinks.h"
#include "mirror/Url.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using namespace quorlix::mirror;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks page or style sheet.
    const bool css = data[0] & 1;
    const std::string_view input(reinterpret_cast<const char *>(data) + 1, size - 1);
    PageLinks found;
    if (css)
        findCssLinks(input, 0, found.links);
    else
        found = findHtmlLinks(input);
    if (!css)
        if (const std::optional<PageLinks> scanned = scanHtmlLinks(input))
            for (const PageLink &link : scanned->links)
                FUZZ_CHECK(link.offset + link.length <= input.size());

    const Url base = *Url::parse("http://example.test:8080/docs/page.html");
    for (const PageLink &link : found.links) {
        FUZZ_CHECK(link.offset + link.length <= input.size());
        if (const auto url = Url::resolve(base, link.text)) {
            const auto again = Url::parse(url->text());
            FUZZ_CHECK(again && again->text() == url->text());
            const std::string name = localName(*url);
            FUZZ_CHECK(name.find("/../") == std::string::npos && name.find('\0') == std::string::npos);
        }
    }

    std::string saved = "example.test+8080/docs/page.html";
    int converted = 0;
    const std::string out = convertLinks(input, css, base, saved, [&](const std::string &address) -> const std::string * {
        return address.size() % 2 ? &saved : nullptr;
    }, &converted);
    if (converted == 0)
        FUZZ_CHECK(out == input);
    return 0;
}
