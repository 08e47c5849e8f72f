#pragma once

// Reading a downloaded page: its charset, title, headings and, on request,
// its visible text. Downloaded pages are untrusted input: any bytes give a
// Page, never an exception or a crash; a page whose markup would take far
// longer to read than its size calls for (elements nested tens of thousands
// deep) is given up and reads as empty.

#include "html/Link.h"

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlix::html {

// A term a page defines and anchors: a definition term (<dt>) with an id.
struct Term {
    std::string text;
    std::string anchor;
};

enum class PageParts { Outline, OutlineAndText };

// All text is UTF-8, white space collapsed, character references decoded.
struct Page {
    std::string charset;           // the declared charset, lower case; "" when none was declared
    std::string title;             // <title>; "" when none
    std::string firstHeading;      // text of the first <h1>; "" when none
    std::vector<Heading> headings; // h1-h3 in document order
    std::string text;              // visible text (no script/style); OutlineAndText only
    bool windows1252 = false;      // read as Windows-1252 (declared so, or not valid UTF-8)
    std::vector<Link> links;       // links in list items and table cells that lead to an anchor in
                                   // another page, or that begin an item of a list; in document order
    std::vector<Term> terms;       // anchored definition terms
    std::size_t ownAnchorLinks = 0; // links like those to an anchor in this page ("#name"): counted, not kept
    std::size_t size = 0;          // bytes read
};

Page readPage(std::string_view bytes, PageParts parts = PageParts::Outline);

// The same, for a reader on another thread: gives up as soon as stop is set,
// even in the middle of a big page, and then gives nothing.
std::optional<Page> readPage(std::string_view bytes, PageParts parts, const std::atomic<bool> &stop);

// Whether a saved file is a page (.html, .htm, .xhtml, .shtml, .php, ...), as
// opposed to a style sheet, a script or an image.
bool isPageName(std::string_view fileName);

} // namespace quorlix::html
