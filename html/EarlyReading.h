#pragma once

// A page's reading made by the downloader from the parse it runs for the
// page's links, before it converts them, and finished once their converted
// form is known: the window then takes the page as read, without parsing it
// again. The reading of the converted page depends on its links in two
// places only (which links an index or a contents can use, and which link
// a heading or term ends with to point back at itself); the early reading
// keeps what decides both, and the finish decides them anew, or gives up
// where it cannot tell.

#include "html/PageReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct GumboInternalNode;

namespace quorlix::html {

inline constexpr std::uint64_t kNoOffset = ~std::uint64_t{0};

// A link the conversion could make one the reading keeps (page.links holds
// it, in document order): where its href's value starts in the page's bytes
// (quotes included, as the downloader's link finder counts it), and what,
// besides its href, decides whether it is kept.
struct LinkFacts {
    std::uint64_t hrefAt = kNoOffset;
    bool tableCell = false;   // the first link of a td or th
    bool linkLedCell = false; // the first link of a div grid's cell
};

// The link a heading or term ends with: where its href's value starts,
// and the href as first written.
struct SelfLinkFacts {
    std::uint64_t hrefAt = kNoOffset;
    std::string href;
};

// An early reading keeps this many candidates at most (a page with more is
// parsed by the window); the cut at kMostLinks is made when it is finished,
// on the links as converted, as the page reader makes it.
inline constexpr std::size_t kMostEarlyCandidates = 4 * kMostLinks;

struct EarlyReading {
    Page page;                        // page.links: every candidate; ownAnchorLinks: not counted yet
    std::vector<LinkFacts> linkFacts; // one for each of page.links
    std::vector<SelfLinkFacts> selfLinks;
};

// Reads the page the downloader parses, from the trees parsePage gives (it
// runs the parse, and takes the page's links from the same trees). utf8
// must be the page's bytes as they are (readsAsUtf8AsIs) and outlive it.
class EarlyPageReading {
public:
    EarlyPageReading(std::string_view utf8, const std::atomic<bool> *stop);
    ~EarlyPageReading();
    EarlyPageReading(const EarlyPageReading &) = delete;
    EarlyPageReading &operator=(const EarlyPageReading &) = delete;

    void take(const GumboInternalNode *root, bool whole);
    // The reading, or nothing when the page cannot be handed on (stopped,
    // more candidate links than a reading keeps).
    std::optional<EarlyReading> finish();

private:
    struct State;
    std::unique_ptr<State> mState;
};

// What the downloader's conversion wrote into the attributes it rewrote,
// as a reader of the page reads them back: for each, by where its value
// starts, the value with its character references decoded, or nothing when
// that cannot be told without a parse; and whether a rewrite may have
// changed more than the values (a name with a quote of its own).
struct ConvertedHrefs {
    std::vector<std::pair<std::uint64_t, std::optional<std::string>>> byOffset; // in the order of the offsets
    bool markupMayChange = false;

    // The value at offset after the conversion: before when it was left.
    std::optional<std::string> after(std::uint64_t offset, std::string_view before) const;
};

// The reading of the converted page, as readPage(converted, OutlineAndText)
// gives it; nothing when it cannot be told without a parse.
std::optional<Page> convertedReading(EarlyReading early, std::string_view converted, const ConvertedHrefs &hrefs);

} // namespace quorlix::html
