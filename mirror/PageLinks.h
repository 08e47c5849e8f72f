#pragma once

// The links in a page or a style sheet, where they stand in its bytes, and
// what they are for: followed as pages, needed to show the page (images,
// style sheets, scripts), or only rewritten.

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorlix::html {
class EarlyPageReading;
}

namespace quorlix::mirror {

struct PageLink {
    enum class Form {
        Attribute, // the whole attribute value, quotes included if any
        Plain,     // just the address, inside a style sheet, srcset or refresh
    };
    std::string text; // as written, entities decoded
    std::size_t offset = 0;
    std::size_t length = 0;
    Form form = Form::Attribute;
    bool isInline = false;     // needed to show the page (-p follows it)
    bool expectsHtml = false;  // may be parsed for further links if HTML
    bool expectsCss = false;   // parsed as a style sheet whatever its type
    bool inCss = false;        // written without HTML quoting
    bool followed = true;      // false: only rewritten (a form's action)
    bool isBase = false;       // <base href>: the base of the links after it

    bool operator==(const PageLink &) const = default;
};

struct PageLinks {
    std::vector<PageLink> links;
    bool noFollow = false; // <meta name="robots" content="nofollow">
};

// stop, when given and set, ends the parse of a large page early (with
// no links). reading, when given, reads the page from the same parse.
PageLinks findHtmlLinks(std::string_view page, const std::atomic<bool> *stop = nullptr,
                        html::EarlyPageReading *reading = nullptr);

// A link list as bytes, kept on disk between finding the links of a page
// during the download and converting them at the end (a page is parsed
// once, and memory does not grow with the site).
std::string recordOfLinks(const std::vector<PageLink> &links);
bool linksFromRecord(std::string_view record, std::vector<PageLink> &links);
// offsetBase is added to every offset (a style sheet inside a page).
void findCssLinks(std::string_view sheet, std::size_t offsetBase, std::vector<PageLink> &out);

} // namespace quorlix::mirror
