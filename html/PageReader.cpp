#include "html/PageReader.h"

#include "html/Charset.h"
#include "html/CollapsedText.h"
#include "html/EarlyReading.h"
#include "html/GumboNodes.h"
#include "html/HeadingAnchors.h"
#include "html/PageParse.h"

#include <gumbo.h>

#include <cstring>
#include <utility>
#include <vector>

namespace quorlix::html {

namespace {

bool hasClass(const GumboNode *node, std::string_view wanted)
{
    const char *classes = attribute(node, "class");
    if (!classes)
        return false;
    std::string_view list(classes);
    while (!list.empty()) {
        const std::size_t end = list.find_first_of(" \t\n\r\f");
        if (list.substr(0, end) == wanted)
            return true;
        if (end == std::string_view::npos)
            break;
        list.remove_prefix(end + 1);
    }
    return false;
}

// Elements whose content nobody reads as text (a button's label is the
// page's furniture: "Copy item path" in a heading).
bool isHidden(const GumboNode *node)
{
    if (node->type != GUMBO_NODE_ELEMENT)
        return false;
    switch (node->v.element.tag) {
    case GUMBO_TAG_BUTTON:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TEMPLATE:
        return true;
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_DESC:
        return node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML;
    default:
        return false;
    }
}

// The permalink sign documentation generators put in a heading ("¶", "#",
// "§"), by its class: Sphinx and MkDocs, GitHub, rustdoc, Docusaurus,
// VuePress and markdown-it, anchor.js, Docsy. One at the end of a heading
// is known by where it leads whatever its class (trailingSelfLink).
bool isPermalink(const GumboNode *node)
{
    if (!isHtml(node, GUMBO_TAG_A))
        return false;
    for (std::string_view name : {"headerlink", "anchor", "doc-anchor", "hash-link", "header-anchor", "anchorjs-link",
                                  "td-heading-self-link", "copiable-anchor", "permalink"})
        if (hasClass(node, name))
            return true;
    return false;
}

// An h5 or h6 heading: below the levels the contents show.
bool isMinorHeading(const GumboNode *node)
{
    return isHtml(node, GUMBO_TAG_H5) || isHtml(node, GUMBO_TAG_H6);
}

// Text elements that do not break a line; every other element does.
bool isInline(const GumboNode *node)
{
    switch (node->v.element.tag) {
    case GUMBO_TAG_A: case GUMBO_TAG_ABBR: case GUMBO_TAG_B: case GUMBO_TAG_BDI: case GUMBO_TAG_BDO:
    case GUMBO_TAG_BIG: case GUMBO_TAG_CITE: case GUMBO_TAG_CODE: case GUMBO_TAG_DATA: case GUMBO_TAG_DFN:
    case GUMBO_TAG_EM: case GUMBO_TAG_FONT: case GUMBO_TAG_I: case GUMBO_TAG_KBD: case GUMBO_TAG_MARK:
    case GUMBO_TAG_NOBR: case GUMBO_TAG_Q: case GUMBO_TAG_S: case GUMBO_TAG_SAMP: case GUMBO_TAG_SMALL:
    case GUMBO_TAG_SPAN: case GUMBO_TAG_STRIKE: case GUMBO_TAG_STRONG: case GUMBO_TAG_SUB: case GUMBO_TAG_SUP:
    case GUMBO_TAG_TIME: case GUMBO_TAG_TT: case GUMBO_TAG_U: case GUMBO_TAG_VAR: case GUMBO_TAG_WBR:
    case GUMBO_TAG_LABEL:
        return true;
    default:
        return false;
    }
}

// Whether a definition list is a list of entries, as a table of contents
// or an index drawn with dl: each dd holds nothing but a nested list (or
// there is none). One whose dd's are descriptions is a glossary's text.
bool isNestedList(const GumboNode *list)
{
    const GumboVector *items = childrenOf(list);
    for (unsigned int i = 0; i < items->length; ++i) {
        const GumboNode *item = child(items, i);
        if (!isHtml(item, GUMBO_TAG_DD))
            continue;
        const GumboVector *inside = childrenOf(item);
        for (unsigned int j = 0; j < inside->length; ++j) {
            const GumboNode *part = child(inside, j);
            if (!isBlankText(part) && !isHtml(part, GUMBO_TAG_DL) && !isHtml(part, GUMBO_TAG_UL)
                && !isHtml(part, GUMBO_TAG_OL))
                return false;
        }
    }
    return true;
}

// A page's navigation, header, footer or sidebar, as its markup names it:
// the same on every page, no part of its content.
bool isNavigation(const GumboNode *node)
{
    switch (node->v.element.tag) {
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_ASIDE:
        return true;
    default:
        break;
    }
    const char *role = attribute(node, "role");
    if (!role)
        return false;
    for (const char *furniture : {"navigation", "banner", "contentinfo", "complementary"})
        if (std::strcmp(role, furniture) == 0)
            return true;
    return false;
}

// Whether a cell begins with a link, through a few inline wrappers
// (<code><a href>).
bool isLinkLed(const GumboNode *cell)
{
    for (int level = 0; level < 4 && cell; ++level) {
        const GumboVector *children = childrenOf(cell);
        if (!children)
            return false;
        const GumboNode *first = nullptr;
        for (unsigned int i = 0; i < children->length && !first; ++i)
            if (!isBlankText(child(children, i)))
                first = child(children, i);
        if (!first || first->type != GUMBO_NODE_ELEMENT)
            return false;
        if (isHtml(first, GUMBO_TAG_A))
            return attribute(first, "href") != nullptr;
        if (!isInline(first))
            return false;
        cell = first;
    }
    return false;
}

// Whether a div is a table drawn with divs (javadoc's package and class
// summaries): its children are all divs, and a run of them, a third or
// more, each begin with a link.
bool isGridOfLinks(const GumboNode *node)
{
    const GumboVector *children = childrenOf(node);
    std::size_t cells = 0, linkLed = 0;
    for (unsigned int i = 0; i < children->length; ++i) {
        const GumboNode *cell = child(children, i);
        if (isBlankText(cell))
            continue;
        if (!isHtml(cell, GUMBO_TAG_DIV))
            return false;
        ++cells;
        linkLed += isLinkLed(cell);
    }
    return linkLed >= 2 && linkLed * 3 >= cells;
}

// A list entry's text as kept: a link's, the text before it, the entry it
// is nested in. Each may be repeated for every link below it, so a long
// one is cut: a page of a few megabytes would otherwise keep gigabytes
// (a long text before 50,000 nested links), and no title or keyword is
// read at such a length anyway.
constexpr std::size_t kLongestEntryText = 512;

std::string entryText(std::string_view text)
{
    if (text.size() <= kLongestEntryText)
        return std::string(text);
    std::size_t end = kLongestEntryText;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end; // not inside a character
    while (end > 0 && text[end - 1] == ' ')
        --end; // collapsed text ends without a blank
    return std::string(text.substr(0, end));
}

// One walk through the tree, in document order, entering and leaving each
// node; with an explicit stack, as pages can nest deeper than a thread's
// stack allows.
// What an early reading keeps besides the page (EarlyReading.h), and where
// the page's bytes lie, to tell where an attribute's value starts.
struct EarlyFacts {
    std::string_view bytes;
    std::vector<LinkFacts> links;
    std::vector<SelfLinkFacts> selfLinks;
    bool overflow = false; // more candidates than a page keeps links

    std::uint64_t offsetOf(const GumboAttribute &attribute) const
    {
        const char *data = attribute.original_value.data;
        if (!data || data < bytes.data() || data >= bytes.data() + bytes.size())
            return kNoOffset;
        return static_cast<std::uint64_t>(data - bytes.data());
    }
};

class PageWalk {
public:
    PageWalk(PageParts parts, const std::atomic<bool> *stop, EarlyFacts *early = nullptr)
        : mWithText(parts == PageParts::OutlineAndText), mStop(stop), mEarly(early)
    {
    }

    bool walk(const GumboNode *root, Page &page)
    {
        std::vector<std::pair<const GumboNode *, bool>> pending{{root, false}};
        unsigned int steps = 0;
        while (!pending.empty()) {
            if (mStop && ++steps % 4096 == 0 && mStop->load(std::memory_order_relaxed))
                return false;
            const auto [node, leaving] = pending.back();
            pending.pop_back();
            if (leaving) {
                leave(node, page);
                continue;
            }
            if (!enter(node))
                continue;
            pending.emplace_back(node, true);
            if (const GumboVector *children = childrenOf(node))
                for (unsigned int i = children->length; i-- > 0;)
                    pending.emplace_back(child(children, i), false);
        }
        return true;
    }

private:
    // Gives false for a node whose content is not to be walked.
    bool enter(const GumboNode *node)
    {
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_CDATA || node->type == GUMBO_NODE_WHITESPACE) {
            const char *text = node->v.text.text;
            if (mTitle)
                mTitleText.append(text);
            else if (mWithText)
                mText.append(text);
            if (mHeading && !mPermalink)
                mHeadingText.append(text);
            if (mTerm && !mPermalink)
                mTermText.append(text);
            if (mLink)
                mLinkText.append(text);
            else if (!mItems.empty() && mItems.back().gathering)
                mItems.back().lead.append(text);
            return false;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            return node->type == GUMBO_NODE_DOCUMENT;
        if (isHidden(node))
            return false;
        if (isHtml(node, GUMBO_TAG_TITLE)) {
            if (mTitleDone)
                return false;
            mTitle = node;
        } else if (!mHeading && (headingLevel(node) > 0 || isMinorHeading(node))) {
            mHeading = node;
            mHeadingSelfLink = trailingSelfLink(node);
            noteSelfLink(node);
        } else if ((mHeading || mTerm) && !mPermalink
                   && (isPermalink(node) || node == mHeadingSelfLink || node == mTermSelfLink)) {
            mPermalink = node;
        }
        enterStructure(node);
        separate(node);
        return true;
    }

    // Lists, their items and links, and definition terms.
    void enterStructure(const GumboNode *node)
    {
        if (node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
            return;
        if (isNavigation(node))
            ++mNavigation;
        switch (node->v.element.tag) {
        case GUMBO_TAG_DL:
            mNestedLists.push_back(isNestedList(node));
            if (!mNestedLists.back())
                goto table;
            [[fallthrough]];
        case GUMBO_TAG_UL:
        case GUMBO_TAG_OL:
            ++mListDepth;
            [[fallthrough]];
        case GUMBO_TAG_TABLE:
        table:
            if (mLists++ == 0)
                ++mListOrdinal;
            break;
        case GUMBO_TAG_DIV:
            if (!mGrids.empty() && node->parent == mGrids.back()) {
                openItem(node);
                mItems.back().linkLedCell = isLinkLed(node);
            } else if (isGridOfLinks(node)) {
                mGrids.push_back(node);
                if (mLists++ == 0)
                    ++mListOrdinal;
            }
            break;
        case GUMBO_TAG_DD:
            // The entries of a nested list's dd are the sub-entries of
            // the term before it ("bugs" › "reporting, <a>Title</a>").
            if (!mNestedLists.empty() && mNestedLists.back() && !mLastTerm.empty()) {
                Item item{node, {}, std::move(mLastTerm), {}, false, mLastTermLinked, false, true};
                if (!mItems.empty())
                    mItems.back().gathering = false;
                mItems.push_back(std::move(item));
            }
            mLastTerm.clear();
            break;
        case GUMBO_TAG_LI:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
        case GUMBO_TAG_DT: {
            openItem(node);
            if (node->v.element.tag == GUMBO_TAG_DT && !mTerm) {
                mTermAnchor = anchorOfTerm(node);
                if (!mTermAnchor.empty()) {
                    mTerm = node;
                    mTermSelfLink = trailingSelfLink(node);
                    noteSelfLink(node);
                }
            }
            break;
        }
        case GUMBO_TAG_A:
            // href="" is a link to this page, as the downloader writes it
            // out ("page.html") when it converts the links. A link back to
            // the term it ends counts as one to an anchor of this page, as
            // it did before its sign was known: it tells a reference page's
            // terms from an index's.
            if (!mLink && !mItems.empty() && (!mPermalink || node == mTermSelfLink) && !isPermalink(node))
                if (const GumboAttribute *href = gumbo_get_attribute(&node->v.element.attributes, "href")) {
                    mLink = node;
                    mLinkHref = href->value;
                    mLinkHrefAt = mEarly ? mEarly->offsetOf(*href) : kNoOffset;
                }
            break;
        default:
            break;
        }
    }

    // An entry of a list or table: a list item, a row, a cell, a term.
    void openItem(const GumboNode *node)
    {
        Item item{node, {}, {}, {}, false, false, true, false};
        if (!mItems.empty()) {
            Item &parent = mItems.back();
            parent.gathering = false;
            item.outer = entryText(parent.hasLink ? parent.label : parent.lead.text());
            item.outerLinked = parent.hasLink && parent.labelIsLink;
        }
        mItems.push_back(std::move(item));
    }

    void leaveStructure(const GumboNode *node, Page &page)
    {
        if (node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
            return;
        if (isNavigation(node))
            --mNavigation;
        switch (node->v.element.tag) {
        case GUMBO_TAG_DL: {
            const bool nested = !mNestedLists.empty() && mNestedLists.back();
            if (!mNestedLists.empty())
                mNestedLists.pop_back();
            if (!nested)
                goto table;
        }
            [[fallthrough]];
        case GUMBO_TAG_UL:
        case GUMBO_TAG_OL:
            --mListDepth;
            [[fallthrough]];
        case GUMBO_TAG_TABLE:
        table:
            --mLists;
            break;
        case GUMBO_TAG_DIV:
            if (!mGrids.empty() && node == mGrids.back()) {
                mGrids.pop_back();
                --mLists;
                break;
            }
            [[fallthrough]];
        case GUMBO_TAG_LI:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
        case GUMBO_TAG_DT:
        case GUMBO_TAG_DD:
            if (!mItems.empty() && mItems.back().node == node) {
                Item &item = mItems.back();
                if (node->v.element.tag == GUMBO_TAG_DT) {
                    mLastTerm = entryText(item.hasLink ? item.label : item.lead.text());
                    mLastTermLinked = item.hasLink && item.labelIsLink;
                }
                mItems.pop_back();
            }
            if (node == mTerm) {
                std::string text = mTermText.take();
                if (!text.empty() && kept(page.terms, kMostHeadings, page.headingsCut))
                    page.terms.push_back({std::move(text), std::move(mTermAnchor)});
                mTerm = nullptr;
                mTermSelfLink = nullptr;
            }
            break;
        case GUMBO_TAG_A:
            if (node == mLink && !mItems.empty()) {
                Item &item = mItems.back();
                const bool first = !item.hasLink;
                const std::string text = entryText(mLinkText.take());
                std::string lead;
                bool leadLinked = false;
                if (first) {
                    lead = entryText(item.lead.take());
                    item.label = lead.empty() ? text : lead;
                    item.labelIsLink = lead.empty();
                } else {
                    lead = item.label;
                    leadLinked = item.labelIsLink;
                }
                item.hasLink = true;
                item.gathering = false;
                // Kept only where a table of contents (an item's link in a
                // list) or an index (a link to an anchor in another page)
                // can use it: a big site has many pages of navigation links.
                const std::size_t hash = mLinkHref.find('#');
                // So is a table cell's first link (a hub page's table of
                // its pages, a one-page manual's index entry), and a div
                // grid's first link to another page.
                const bool tableCell = isHtml(item.node, GUMBO_TAG_TD) || isHtml(item.node, GUMBO_TAG_TH);
                const bool cell = tableCell || (item.linkLedCell && hash != 0);
                // Before the conversion, every link it could make one of
                // these: "#name" becomes "page.html#name".
                const bool keep = mEarly
                                      ? hash != std::string::npos
                                            || (first && (mListDepth > 0 || tableCell || item.linkLedCell))
                                      : (hash != std::string::npos && hash > 0) || (first && (mListDepth > 0 || cell));
                if (keep && mEarly && page.links.size() >= kMostEarlyCandidates)
                    mEarly->overflow = true;
                else if (keep && (mEarly || kept(page.links, kMostLinks, page.linksCut))) {
                    if (mEarly)
                        mEarly->links.push_back({mLinkHrefAt, tableCell, item.linkLedCell});
                    Link &link = page.links.emplace_back(mLinkHref, text, lead, item.outer);
                    link.outerLinked = item.outerLinked;
                    link.leadLinked = leadLinked;
                    link.first = first;
                    link.navigation = mNavigation > 0;
                    link.list = mListOrdinal;
                    link.depth = mListDepth;
                } else if (hash == 0 && !mEarly) {
                    ++page.ownAnchorLinks; // written "page.html#name" once the downloader converts the links
                }
                mLink = nullptr;
            }
            break;
        default:
            break;
        }
    }

    void leave(const GumboNode *node, Page &page)
    {
        separate(node);
        if (node->type == GUMBO_NODE_ELEMENT)
            leaveStructure(node, page);
        if (node == mTitle) {
            page.title = mTitleText.take();
            mTitle = nullptr;
            mTitleDone = true;
        } else if (node == mHeading) {
            std::string text = mHeadingText.take();
            mHeading = nullptr;
            mHeadingSelfLink = nullptr;
            if (text.empty())
                return;
            const int level = headingLevel(node);
            if (level == 0) {
                std::string anchor = anchorOfHeading(node);
                if (!anchor.empty() && mNavigation == 0 && kept(page.terms, kMostHeadings, page.headingsCut))
                    page.terms.push_back({std::move(text), std::move(anchor), true});
                return;
            }
            if (level == 1 && page.firstHeading.empty())
                page.firstHeading = text;
            if (kept(page.headings, kMostHeadings, page.headingsCut))
                page.headings.emplace_back(level, text, anchorOfHeading(node)).navigation = mNavigation > 0;
        } else if (node == mPermalink) {
            mPermalink = nullptr;
        }
    }

    // Whether list has room for one more; when not, the page says so.
    template <typename List>
    static bool kept(const List &list, std::size_t most, bool &cut)
    {
        if (list.size() < most)
            return true;
        cut = true;
        return false;
    }

    void separate(const GumboNode *node)
    {
        if (node->type != GUMBO_NODE_ELEMENT || isInline(node))
            return;
        mText.separate();
        mHeadingText.separate();
        mTermText.separate();
        mLinkText.separate();
        if (!mItems.empty())
            mItems.back().lead.separate();
    }

    struct Item {
        const GumboNode *node;
        CollapsedText lead; // text before the item's first link
        std::string label;  // the lead, or the first link's text when there is none
        std::string outer;
        bool outerLinked;
        bool labelIsLink;
        bool gathering;     // still before the first link and any nested item
        bool hasLink;
        bool linkLedCell = false; // a cell of a div grid that begins with a link
    };

    // The link a heading or term ends with, and where it leads in this page
    // as written now: what decides whether it points back at it.
    void noteSelfLink(const GumboNode *element)
    {
        if (!mEarly)
            return;
        const GumboNode *link = endingLink(element);
        if (!link)
            return;
        const GumboAttribute *href = gumbo_get_attribute(&link->v.element.attributes, "href");
        mEarly->selfLinks.push_back({mEarly->offsetOf(*href), href->value});
    }

    const bool mWithText;
    const std::atomic<bool> *mStop;
    EarlyFacts *const mEarly;
    const GumboNode *mTitle = nullptr;
    bool mTitleDone = false;
    const GumboNode *mHeading = nullptr;
    const GumboNode *mPermalink = nullptr;
    const GumboNode *mHeadingSelfLink = nullptr; // the link back to itself the heading ends with
    const GumboNode *mTermSelfLink = nullptr;
    CollapsedText mTitleText;
    CollapsedText mHeadingText;
    CollapsedText mText;
    std::vector<Item> mItems;
    int mLists = 0;
    int mNavigation = 0;                   // navigation blocks open around the node
    std::vector<const GumboNode *> mGrids; // divs drawn as tables of links, open around the node
    std::vector<bool> mNestedLists;        // for each dl open around the node: whether it is a nested list
    std::string mLastTerm;                 // the text of the dt just left, for the dd after it
    bool mLastTermLinked = false;
    int mListOrdinal = 0;
    int mListDepth = 0;
    const GumboNode *mLink = nullptr;
    std::string mLinkHref;
    std::uint64_t mLinkHrefAt = kNoOffset;
    CollapsedText mLinkText;
    const GumboNode *mTerm = nullptr;
    std::string mTermAnchor;
    CollapsedText mTermText;

public:
    std::string takeText() { return mText.take(); }
};

// A page's reading from the trees parsePage gives: the whole page's, or
// each of its pieces' in turn.
class Reading {
public:
    Reading(PageParts parts, const std::atomic<bool> *stop, EarlyFacts *early = nullptr)
        : mParts(parts), mStop(stop), mEarly(early)
    {
    }

    // false once the pieces left can add nothing.
    bool take(const GumboNode *root, bool whole)
    {
        if (mDone)
            return false;
        PageWalk walk(mParts, mStop, whole ? mEarly : nullptr);
        if (whole) {
            mWalked = walk.walk(root, page);
            page.text = walk.takeText();
            mDone = true;
            return true;
        }
        // A piece: its title, if the page's was not in the pieces before,
        // and its text. A title is looked for in the first megabyte only.
        constexpr int kTitlePieces = 16;
        Page piece;
        mWalked = walk.walk(root, piece);
        if (page.title.empty() && mPieces++ < kTitlePieces)
            page.title = std::move(piece.title);
        const bool withText = mParts == PageParts::OutlineAndText;
        if (withText) {
            mText.separate();
            mText.append(walk.takeText());
        }
        mDone = !(mWalked && (withText || (page.title.empty() && mPieces < kTitlePieces)));
        return !mDone;
    }

    // false when the reading was stopped.
    bool finish(PageParse parse)
    {
        if (parse == PageParse::Stopped || !mWalked)
            return false;
        if (parse == PageParse::Pieces) {
            page.outlineLeftOut = true;
            page.text = mText.take();
        }
        // A site's pages are all held until its contents and index are
        // written: the room the lists grew into would be a third of what
        // they hold.
        page.headings.shrink_to_fit();
        page.links.shrink_to_fit();
        page.terms.shrink_to_fit();
        return true;
    }

    Page page;

private:
    const PageParts mParts;
    const std::atomic<bool> *mStop;
    EarlyFacts *mEarly;
    bool mWalked = true;
    bool mDone = false;
    CollapsedText mText;
    int mPieces = 0;
};

std::optional<Page> read(std::string_view bytes, PageParts parts, const std::atomic<bool> *stop)
{
    Reading reading(parts, stop);
    reading.page.size = bytes.size();
    reading.page.charset = declaredCharset(bytes);
    const std::string utf8 = decodeToUtf8(bytes, reading.page.charset, &reading.page.windows1252);
    const PageParse parse = parsePage(utf8, stop,
                                      [&](const GumboNode *root, bool whole) { return reading.take(root, whole); });
    if (!reading.finish(parse))
        return std::nullopt;
    return std::move(reading.page);
}

} // namespace

Page readPage(std::string_view bytes, PageParts parts)
{
    std::optional<Page> page = read(bytes, parts, nullptr);
    return page ? std::move(*page) : Page{};
}

std::optional<Page> readPage(std::string_view bytes, PageParts parts, const std::atomic<bool> &stop)
{
    return read(bytes, parts, &stop);
}

struct EarlyPageReading::State {
    EarlyFacts facts;
    Reading reading;
    bool taken = false;
    bool whole = false;
    State(std::string_view utf8, const std::atomic<bool> *stop)
        : facts{utf8, {}, {}, false}, reading(PageParts::OutlineAndText, stop, &facts)
    {
    }
};

EarlyPageReading::EarlyPageReading(std::string_view utf8, const std::atomic<bool> *stop)
    : mState(std::make_unique<State>(utf8, stop))
{
    mState->reading.page.size = utf8.size();
    mState->reading.page.charset = declaredCharset(utf8);
}

EarlyPageReading::~EarlyPageReading() = default;

void EarlyPageReading::take(const GumboInternalNode *root, bool whole)
{
    mState->taken = true;
    mState->whole = whole;
    mState->reading.take(root, whole);
}

std::optional<EarlyReading> EarlyPageReading::finish()
{
    if (!mState->taken || mState->facts.overflow
        || !mState->reading.finish(mState->whole ? PageParse::Whole : PageParse::Pieces))
        return std::nullopt;
    EarlyReading early;
    early.page = std::move(mState->reading.page);
    early.linkFacts = std::move(mState->facts.links);
    early.selfLinks = std::move(mState->facts.selfLinks);
    return early;
}

} // namespace quorlix::html
