#include "html/HeadingAnchors.h"

#include "html/GumboNodes.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace quorlix::html {

namespace {

// The name a link can point at: any element's id, or an anchor's name.
std::string linkTarget(const GumboNode *node)
{
    if (const char *id = attribute(node, "id"))
        return id;
    if (isHtml(node, GUMBO_TAG_A))
        if (const char *name = attribute(node, "name"))
            return name;
    return {};
}

// Whether an element shows text, before one of its descendants if one is
// given. Looks at a few nodes only; anything larger counts as text.
bool showsText(const GumboNode *element, const GumboNode *before = nullptr, int budget = 16)
{
    std::vector<const GumboNode *> pending{element};
    for (; !pending.empty(); --budget) {
        if (budget == 0)
            return true;
        const GumboNode *node = pending.back();
        pending.pop_back();
        if (node == before)
            return false;
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_CDATA)
            return true;
        if (const GumboVector *children = childrenOf(node))
            for (unsigned int i = children->length; i-- > 0;)
                pending.push_back(child(children, i));
    }
    return false;
}

// An empty anchor or span that only carries an id.
bool showsNoText(const GumboNode *node)
{
    return !showsText(node);
}

// The id of the section a heading heads (Sphinx, MkDocs, HTML5 outlines):
// the heading comes first in it, after nothing but blanks, comments and
// empty elements.
std::string sectionTarget(const GumboNode *heading)
{
    const GumboNode *parent = heading->parent;
    if (!parent
        || !(isHtml(parent, GUMBO_TAG_SECTION) || isHtml(parent, GUMBO_TAG_DIV) || isHtml(parent, GUMBO_TAG_ARTICLE)))
        return {};
    const GumboVector *siblings = childrenOf(parent);
    for (unsigned int i = 0; i < heading->index_within_parent && i < siblings->length; ++i) {
        const GumboNode *sibling = child(siblings, i);
        if (!isBlankText(sibling) && !(sibling->type == GUMBO_NODE_ELEMENT && showsNoText(sibling)))
            return {};
    }
    const char *id = attribute(parent, "id");
    return id ? id : std::string();
}

// An id or anchor name inside the heading (Doxygen, MediaWiki), the first
// in document order.
std::string innerTarget(const GumboNode *heading)
{
    std::vector<const GumboNode *> pending;
    const GumboVector *children = childrenOf(heading);
    for (unsigned int i = children->length; i-- > 0;)
        pending.push_back(child(children, i));
    for (int budget = 256; !pending.empty() && budget > 0; --budget) {
        const GumboNode *node = pending.back();
        pending.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT)
            continue;
        std::string target = linkTarget(node);
        if (!target.empty())
            return target;
        const GumboVector *grandchildren = childrenOf(node);
        for (unsigned int i = grandchildren->length; i-- > 0;)
            pending.push_back(child(grandchildren, i));
    }
    return {};
}

// An empty anchor right before the heading (<a name="x"></a><h2>, as
// older generators and Javadoc write them).
std::string precedingTarget(const GumboNode *heading)
{
    const GumboNode *parent = heading->parent;
    if (!parent)
        return {};
    const GumboVector *siblings = childrenOf(parent);
    for (unsigned int i = heading->index_within_parent; i-- > 0 && i < siblings->length;) {
        const GumboNode *sibling = child(siblings, i);
        if (isBlankText(sibling))
            continue;
        if (sibling->type != GUMBO_NODE_ELEMENT || !showsNoText(sibling))
            return {};
        std::string target = linkTarget(sibling);
        if (!target.empty())
            return target;
        // An empty element without a name (a <br>) does not part them.
    }
    return {};
}

// Whether a block before a heading is the section's navigation line
// ("Next: <a>…</a>, Up: <a>…</a>") or shows nothing: no heading, a link, and
// small. Looks at a few nodes only: anything larger is the section's text.
bool isNavigationOrEmpty(const GumboNode *node)
{
    if (isBlankText(node) || (node->type == GUMBO_NODE_ELEMENT && showsNoText(node)))
        return true;
    bool linked = false;
    std::vector<const GumboNode *> pending{node};
    for (int budget = 64; !pending.empty(); --budget) {
        if (budget == 0)
            return false;
        const GumboNode *next = pending.back();
        pending.pop_back();
        if (headingLevel(next) > 0)
            return false;
        linked = linked || (isHtml(next, GUMBO_TAG_A) && attribute(next, "href"));
        if (const GumboVector *children = childrenOf(next))
            for (unsigned int i = 0; i < children->length; ++i)
                pending.push_back(child(children, i));
    }
    return linked;
}

// The id of the section a heading heads after its navigation line, as
// makeinfo writes each section: the place a table of contents names for it.
std::string enclosingTarget(const GumboNode *heading)
{
    const GumboNode *parent = heading->parent;
    if (!parent || !(isHtml(parent, GUMBO_TAG_SECTION) || isHtml(parent, GUMBO_TAG_DIV)))
        return {};
    const char *id = attribute(parent, "id");
    if (!id)
        return {};
    const GumboVector *siblings = childrenOf(parent);
    for (unsigned int i = heading->index_within_parent; i-- > 0 && i < siblings->length;)
        if (!isNavigationOrEmpty(child(siblings, i)))
            return {};
    return id;
}

} // namespace

// The anchor a link leads to in the page it is in: "#name", or
// "page.html#name" as the downloader writes it once it converts the links.
// "" for a link into another folder or site, or to no anchor.
std::string_view ownPageFragment(std::string_view href)
{
    const std::size_t hash = href.find('#');
    if (hash == std::string_view::npos || href.substr(0, hash).find_first_of("/:?") != std::string_view::npos)
        return {};
    return href.substr(hash + 1);
}

// The link an element ends with, through the inline wrappers around it
// (<span><a href>); empty elements after it (an anchor that only carries
// an id) do not count. Looks at a few nodes only.
const GumboNode *endingLink(const GumboNode *element)
{
    const GumboNode *node = element;
    for (int level = 0; level < 8; ++level) {
        const GumboVector *children = childrenOf(node);
        if (!children)
            return nullptr;
        const GumboNode *last = nullptr;
        for (unsigned int i = children->length, budget = 64; i-- > 0 && budget-- > 0 && !last;) {
            const GumboNode *candidate = child(children, i);
            if (!isBlankText(candidate) && !(candidate->type == GUMBO_NODE_ELEMENT && showsNoText(candidate)))
                last = candidate;
        }
        if (!last || last->type != GUMBO_NODE_ELEMENT)
            return nullptr;
        if (isHtml(last, GUMBO_TAG_A))
            return attribute(last, "href") ? last : nullptr;
        node = last;
    }
    return nullptr;
}

namespace {

// Whether a name is one the element is reached by: its id, an id or anchor
// name inside it, or that of the section it heads.
bool reachesElement(std::string_view name, const GumboNode *element)
{
    if (name.empty())
        return false;
    if (const char *id = attribute(element, "id"); id && name == id)
        return true;
    std::vector<const GumboNode *> pending{element};
    for (int budget = 256; !pending.empty() && budget > 0; --budget) {
        const GumboNode *node = pending.back();
        pending.pop_back();
        if (node != element && linkTarget(node) == name)
            return true;
        if (const GumboVector *children = childrenOf(node))
            for (unsigned int i = 0; i < children->length; ++i)
                pending.push_back(child(children, i));
    }
    for (auto find : {sectionTarget, enclosingTarget, precedingTarget})
        if (find(element) == name)
            return true;
    return false;
}

} // namespace

const GumboNode *trailingSelfLink(const GumboNode *element)
{
    const GumboNode *link = endingLink(element);
    if (!link || !reachesElement(ownPageFragment(attribute(link, "href")), element) || !showsText(element, link, 256))
        return nullptr;
    return link;
}

std::string anchorOfHeading(const GumboNode *heading)
{
    if (const char *id = attribute(heading, "id"))
        return id;
    for (auto find : {sectionTarget, innerTarget, enclosingTarget, precedingTarget}) {
        std::string target = find(heading);
        if (!target.empty())
            return target;
    }
    return {};
}

// The id a definition term is reached by: its own, or one inside it.
std::string anchorOfTerm(const GumboNode *term)
{
    if (const char *id = attribute(term, "id"))
        return id;
    return innerTarget(term);
}

} // namespace quorlix::html
