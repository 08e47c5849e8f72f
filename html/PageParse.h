#pragma once

// Every parse of a downloaded page (its links, its outline, its title and
// words) goes through here, so that no page takes more than a bounded time
// and memory, whatever its markup.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string_view>

struct GumboInternalNode;

namespace quorlix::html {

enum class PageParse {
    Whole,   // take was given the page's whole tree
    Pieces,  // the page was too large or too costly to parse whole: take was given its pieces
    Stopped, // stop was set
};

// Gives take the root of the page's tree, and whole true. A page larger than
// ParsedDocument::kLargestWholePage, or whose parse passes its bounds, is
// parsed instead in pieces of some tens of kilobytes, each cut before a
// tag, and take is given the root of each in turn (whole false), until it gives false or
// the page's time is up. Only the pieces' elements and text are sure:
// what holds them lies partly in other pieces, and a piece that begins in
// a script or a comment reads its rest as markup.
PageParse parsePage(std::string_view utf8, const std::atomic<bool> *stop,
                    const std::function<bool(const GumboInternalNode *root, bool whole)> &take);

// Where the piece that starts at from ends: before the first tag past
// about kPieceBytes, or at the end.
std::size_t pieceEnd(std::string_view utf8, std::size_t from);
inline constexpr std::size_t kPieceBytes = 64 * 1024;

} // namespace quorlix::html
