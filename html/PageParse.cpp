#include "html/PageParse.h"

#include "html/ParsedDocument.h"

#include <gumbo.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace quorlix::html {

namespace {

bool startsTag(std::string_view utf8, std::size_t at)
{
    if (utf8[at] != '<' || at + 1 >= utf8.size())
        return false;
    const char next = utf8[at + 1];
    return next == '/' || next == '!' || (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
}

} // namespace

std::size_t pieceEnd(std::string_view utf8, std::size_t from)
{
    const std::size_t wanted = from + kPieceBytes;
    if (wanted >= utf8.size())
        return utf8.size();
    // Text without a tag for as long again is cut where a character begins.
    const std::size_t furthest = std::min(utf8.size(), wanted + kPieceBytes);
    for (std::size_t at = wanted; at < furthest; ++at)
        if (startsTag(utf8, at))
            return at;
    std::size_t at = wanted;
    while (at > from + 1 && (static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

PageParse parsePage(std::string_view utf8, const std::atomic<bool> *stop,
                    const std::function<bool(const GumboNode *root, bool whole)> &take)
{
    const auto stopped = [stop] { return stop && stop->load(std::memory_order_relaxed); };
    if (utf8.size() <= ParsedDocument::kLargestWholePage) {
        if (const std::unique_ptr<ParsedDocument> document = ParsedDocument::parse(utf8, stop)) {
            take(document->root(), true);
            return PageParse::Whole;
        }
        if (stopped())
            return PageParse::Stopped;
    }
    // Each piece has the bounds of its own size; all of them together have
    // the page's time once more.
    const auto deadline = std::chrono::steady_clock::now() + ParsedDocument::timeFor(utf8.size());
    for (std::size_t from = 0; from < utf8.size() && std::chrono::steady_clock::now() < deadline;) {
        const std::size_t end = pieceEnd(utf8, from);
        const std::unique_ptr<ParsedDocument> piece = ParsedDocument::parse(utf8.substr(from, end - from), stop);
        if (stopped())
            return PageParse::Stopped;
        if (piece && !take(piece->root(), false))
            break;
        from = end;
    }
    return PageParse::Pieces;
}

} // namespace quorlix::html
