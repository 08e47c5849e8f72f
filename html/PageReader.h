#pragma once

// Reading a downloaded page: its charset, title, headings and, on request,
// its visible text. Downloaded pages are untrusted input: any bytes give a
// Page, never an exception or a crash; a page too large, or whose markup
// would take far more time or memory to read than its size calls for
// (elements nested tens of thousands deep), gives only its title and text
// (see parsePage), and no page keeps more than kMostLinks links or
// kMostHeadings headings and terms.

#include "html/Link.h"

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlix::html {

// A term a page defines and anchors: a definition term (<dt>) with an id,
// or a heading below h4 (h5, h6: a method of a class below its module's
// h4), which the index takes as it takes headings and the contents leave
// out.
struct Term {
    std::string text;
    std::string anchor;
    bool minorHeading = false;
};

enum class PageParts { Outline, OutlineAndText };

// A page's links past this many are left out, and its headings and terms
// past the second. Python's genindex-all.html, the largest index page of
// its documentation, holds 17,242 links; this leaves room for an index
// three times as large, and no more than a few megabytes for the outline
// of any page. Node.js's one-page manual has 800 headings.
inline constexpr std::size_t kMostLinks = 50000;
inline constexpr std::size_t kMostHeadings = 100000;

// All text is UTF-8, white space collapsed, character references decoded.
struct Page {
    std::string charset;           // the declared charset, lower case; "" when none was declared
    std::string title;             // <title>; "" when none
    std::string firstHeading;      // text of the first <h1>; "" when none
    std::vector<Heading> headings; // h1-h4 in document order
    std::string text;              // visible text (no script/style); OutlineAndText only
    bool windows1252 = false;      // read as Windows-1252 (declared so, or not valid UTF-8)
    std::vector<Link> links;       // links in list items and table cells that lead to an anchor in
                                   // another page, or that begin an item of a list; in document order
    std::vector<Term> terms;       // anchored definition terms and h5-h6 headings
    std::size_t ownAnchorLinks = 0; // links like those to an anchor in this page ("#name"): counted, not kept
    std::size_t size = 0;          // bytes read
    bool linksCut = false;         // links past kMostLinks were left out
    bool headingsCut = false;      // headings or terms past kMostHeadings were left out
    bool outlineLeftOut = false;   // too large or too costly to read whole: title and text only
};

Page readPage(std::string_view bytes, PageParts parts = PageParts::Outline);

// What a help file names a page's topic, and searches as its title: its
// title, else its first heading.
inline const std::string &topicTitle(const std::string &title, const std::string &firstHeading)
{
    return title.empty() ? firstHeading : title;
}

// The same, for a reader on another thread: gives up as soon as stop is set,
// even in the middle of a big page, and then gives nothing.
std::optional<Page> readPage(std::string_view bytes, PageParts parts, const std::atomic<bool> &stop);

// Whether a saved file is a page (.html, .htm, .xhtml, .shtml, .php, ...), as
// opposed to a style sheet, a script or an image.
bool isPageName(std::string_view fileName);

} // namespace quorlix::html
