// The links in a page, found in gumbo's tree of it; each attribute's value
// still points into the page's own bytes, so a link can be rewritten in
// place.

#include "mirror/PageLinks.h"

#include "mirror/LinkCollector.h"

#include "html/AsciiText.h"
#include "html/EarlyReading.h"
#include "html/PageParse.h"

#include <gumbo.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace quorlix::mirror {

namespace {

// An element's attributes as the collector takes them, in buffer (kept from
// one element to the next).
std::span<const TagAttribute> attributesOf(const GumboElement &element, std::vector<TagAttribute> &buffer)
{
    buffer.clear();
    for (unsigned int i = 0; i < element.attributes.length; ++i) {
        const auto *attribute = static_cast<const GumboAttribute *>(element.attributes.data[i]);
        // Written without a value ("<a href>"), gumbo gives the name as the
        // value as written: no address to rewrite there.
        const bool valued = attribute->original_value.data != attribute->original_name.data;
        buffer.push_back({attribute->name, attribute->value,
                          valued ? std::string_view(attribute->original_value.data, attribute->original_value.length)
                                 : std::string_view()});
    }
    return buffer;
}

} // namespace

PageLinks findHtmlLinks(std::string_view page, const std::atomic<bool> *stop, html::EarlyPageReading *reading)
{
    LinkCollector collector(page);
    std::vector<TagAttribute> attributes;
    // A page too large or too costly to parse whole is read in pieces: its
    // links are those elements and attributes show without their context.
    const auto collect = [&collector, &attributes, reading](const GumboNode *root, bool whole) {
        if (reading)
            reading->take(root, whole);
        // Depth first in document order, without recursion: a page may
        // nest deeper than the stack allows.
        std::vector<const GumboNode *> pending{root};
        while (!pending.empty()) {
            const GumboNode *node = pending.back();
            pending.pop_back();
            if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
                continue;
            const GumboElement &element = node->v.element;
            collector.element(element.tag, attributesOf(element, attributes));
            if (element.tag == GUMBO_TAG_STYLE) {
                for (unsigned int i = 0; i < element.children.length; ++i) {
                    const auto *child = static_cast<const GumboNode *>(element.children.data[i]);
                    if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE
                        || child->type == GUMBO_NODE_CDATA)
                        collector.styleText(
                            std::string_view(child->v.text.original_text.data, child->v.text.original_text.length));
                }
                continue;
            }
            for (unsigned int i = element.children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode *>(element.children.data[i - 1]));
        }
        return true;
    };
    if (html::parsePage(page, stop, collect) == html::PageParse::Stopped)
        return {};
    return std::move(collector.result);
}

} // namespace quorlix::mirror
